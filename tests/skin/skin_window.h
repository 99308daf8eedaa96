#pragma once

// A bare window built from one layout of the embedded skin, headless, for looking at the
// layout alone: no program logic behind it.

#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "embedded_skin.h"
#include "ui/ui.h"
#include "ui/ui_testing.h"

namespace pinvale::skin_test {

class LayoutWindow : public ui::WindowImplBase {
 public:
  explicit LayoutWindow(std::u16string layout) : m_layout(std::move(layout)) {}
  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return {}; }
  std::u16string GetSkinFile() override { return m_layout; }

 private:
  std::u16string m_layout;
};

// Initialises the headless UI and the embedded skin once per test program.
class SkinWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(ui::testing::InitHeadless());
    ASSERT_TRUE(ui::testing::UseSkinArchive(EmbeddedSkinArchive()));
  }
  // Every window and the font caches go with the backend.
  static void TearDownTestSuite() { ui::UiShutdown(); }

  // Creates the window for `layout` and lays it out once; nullptr on failure.
  std::unique_ptr<LayoutWindow> Open(const std::u16string& layout) {
    auto window = std::make_unique<LayoutWindow>(layout);
    if (window->Create(nullptr, u"Pinvale", 0x10CA0000, 0) == nullptr) return nullptr;
    int width = 0;
    int height = 0;
    ui::testing::RenderWindowPixels(window->GetHWND(), &width, &height);
    ui::testing::PumpUntilIdle();
    return window;
  }
};

}  // namespace pinvale::skin_test
