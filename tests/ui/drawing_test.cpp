// What ends up on screen: backgrounds, gradients, images with source and mask, hover states.

#include <gtest/gtest.h>

#include "test_skin.h"
#include "ui/dialog_builder.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"
#include "ui/ui_testing.h"

namespace pinvale::ui {
namespace {

using test::RecordingWindow;
namespace t = ui::testing;

class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseTestSkin();
    hwnd = test::CreateTestWindow(window);
    t::PumpUntilIdle();
    Render();
  }
  void Render() { pixels = t::RenderWindowPixels(hwnd, &width, &height); }
  std::uint32_t At(long x, long y) const { return pixels[static_cast<size_t>(y * width + x)]; }
  RECT Pos(std::u16string_view name) {
    return window.GetPaintManager().FindControl(name)->GetPos();
  }

  RecordingWindow window;
  HWND hwnd = nullptr;
  std::vector<std::uint32_t> pixels;
  int width = 0;
  int height = 0;
};

TEST_F(DrawingTest, BackgroundAndBorderColours) {
  ASSERT_EQ(width, 300);
  ASSERT_EQ(height, 280);
  EXPECT_EQ(At(0, 100), 0xFF1883D7u);   // 1-pixel border of the root
  EXPECT_EQ(At(1, 100), 0xFFFFFFFFu);   // white background
  EXPECT_EQ(At(150, 20), 0xFF0168B7u);  // title bar, colour written without "#"
}

TEST_F(DrawingTest, SourceDrawsOnlyThatCellOfTheImage) {
  const RECT p = Pos(u"picture");
  for (long y = p.top; y < p.bottom; ++y) {
    for (long x = p.left; x < p.right; ++x) ASSERT_EQ(At(x, y), 0xFF0000FFu);
  }
}

TEST_F(DrawingTest, MaskColourIsTransparent) {
  const RECT p = Pos(u"masked");
  EXPECT_EQ(At(p.left + 8, p.top + 8), 0xFF00FF00u);  // the background shows through
}

TEST_F(DrawingTest, Bkcolor2MakesAVerticalGradient) {
  const RECT p = Pos(u"gradient");
  EXPECT_EQ(At(p.left + 5, p.top), 0xFF000000u);
  EXPECT_EQ(At(p.left + 5, p.bottom - 1), 0xFFFFFFFFu);
  const std::uint32_t middle = At(p.left + 5, (p.top + p.bottom) / 2) & 0xFF;
  EXPECT_GT(middle, 0x60u);
  EXPECT_LT(middle, 0xA0u);
}

// A gradient is computed over the whole rectangle but drawn only where the target shows it:
// a control taller than any window (a layout may make one two billion pixels high) used to
// take a step for every row.
TEST(GradientBeyondTheTarget, OnlyTheVisibleRowsAreDrawnWithTheirShareOfTheGradient) {
  ASSERT_TRUE(t::InitHeadless());
  std::unique_ptr<IRenderTarget> target = Backend()->CreateOffscreen(4, 10);
  ASSERT_NE(target, nullptr);
  target->SetClip(RECT{0, 0, 4, 10});
  // Rows -10 .. 9 of a black-to-white gradient over 21 rows: row 0 is half way.
  target->FillGradientV(RECT{0, -10, 4, 11}, 0xFF000000u, 0xFFFFFFFFu);
  std::vector<std::uint32_t> pixels = target->ReadPixels();
  EXPECT_EQ(pixels[0] & 0xFF, 0x7Fu);
  EXPECT_EQ(pixels[9 * 4] & 0xFF, 0xF2u);

  target->FillGradientV(RECT{0, 0, 4, 2000000000}, 0xFF0000FFu, 0xFF0000FFu);
  pixels = target->ReadPixels();
  EXPECT_EQ(pixels[0], 0xFF0000FFu);
  EXPECT_EQ(pixels[39], 0xFF0000FFu);
}

TEST_F(DrawingTest, HoverShowsTheHotStateAndLeavingRestoresIt) {
  const RECT close = Pos(u"closebtn");
  const POINT centre{(close.left + close.right) / 2, (close.top + close.bottom) / 2};
  EXPECT_EQ(At(centre.x, centre.y), 0xFF0168B7u);
  t::MoveMouse(hwnd, centre);
  Render();
  EXPECT_EQ(At(centre.x, centre.y), 0xFFE81123u);
  t::MoveMouse(hwnd, POINT{150, 150});
  Render();
  EXPECT_EQ(At(centre.x, centre.y), 0xFF0168B7u);
}

TEST_F(DrawingTest, WindowRendersToPng) {
  const std::string path = ::testing::TempDir() + "ui-drawing.png";
  EXPECT_TRUE(t::RenderWindowToPng(hwnd, path));
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(ReadWholeFile(path, bytes));
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(bytes[1], 'P');
  EXPECT_EQ(bytes[2], 'N');
  EXPECT_EQ(bytes[3], 'G');
}

TEST_F(DrawingTest, ChangingTheBackgroundImageRedraws) {
  CControlUI* picture = window.GetPaintManager().FindControl(u"picture");
  picture->SetBkImage(u"red_blue.png");  // the whole image: red above, blue below
  Render();
  const RECT p = Pos(u"picture");
  EXPECT_EQ(At(p.left + 8, p.top + 2), 0xFFFF0000u);
  EXPECT_EQ(At(p.left + 8, p.bottom - 2), 0xFF0000FFu);
  picture->SetBkImage(u"missing.png");  // a missing image draws nothing and breaks nothing
  Render();
  EXPECT_EQ(At(p.left + 8, p.top + 2), 0xFFFFFFFFu);
}

// Widths measured once in a layout pass are used again in that pass only as long as the
// fonts stay: after the font table changes, the next layout and paint measure anew.
TEST(TextWidthsOfAPass, FollowAChangeOfFont) {
  ASSERT_TRUE(t::InitHeadless());
  auto layOut = [](int size, bool changeTo20) {
    auto pm = std::make_unique<CPaintManagerUI>();
    CDialogBuilder builder;
    pm->AttachDialog(builder.CreateFromXml(
        "<Window><VerticalLayout><Text name=\"t\" text=\"wide words {b}and bold{/b} words\" "
        "showhtml=\"true\" /></VerticalLayout></Window>",
        nullptr, pm.get()));
    pm->SetDefaultFont(u"DejaVu Sans", size, false, false, false);
    pm->SetClientSize(SIZE{1000, 200});
    std::unique_ptr<IRenderTarget> target = Backend()->CreateOffscreen(100, 50);
    pm->Paint(*target);
    if (changeTo20) {
      pm->SetDefaultFont(u"DejaVu Sans", 20, false, false, false);
      pm->Paint(*target);
    }
    pm->DoLayout();
    return pm->FindControl(u"t")->EstimateSize(SIZE{1000, 0});
  };
  const SIZE small = layOut(10, false);
  const SIZE large = layOut(20, false);
  EXPECT_GT(large.cx, small.cx);
  const SIZE changed = layOut(10, true);
  EXPECT_EQ(changed.cx, large.cx);
  EXPECT_EQ(changed.cy, large.cy);
}

}  // namespace
}  // namespace pinvale::ui
