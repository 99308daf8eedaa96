#pragma once

// A small skin for window tests: layouts and PNG images zipped in memory, loaded headless.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/ui.h"

namespace pinvale::ui::test {

using ZipEntries = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

std::vector<std::uint8_t> MakeZip(const ZipEntries& entries);
// A PNG of width x height whose top half is `top` and bottom half `bottom` (ARGB).
std::vector<std::uint8_t> MakePng(int width, int height, std::uint32_t top, std::uint32_t bottom);
std::vector<std::uint8_t> Bytes(const std::string& text);

// Initialises the UI headless once and loads the test skin (dialog.xml, child.xml, list.xml and
// the images red_blue.png 16x32 and magenta.png).
void UseTestSkin();

// A window of the test skin that records what reaches it.
class RecordingWindow : public WindowImplBase {
 public:
  explicit RecordingWindow(std::u16string layout = u"dialog.xml") : m_layout(std::move(layout)) {}
  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return {}; }
  std::u16string GetSkinFile() override { return m_layout; }

  void Notify(TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void InitWindow() override { ++initWindowCalls; }

  // "type:sender" of every notification.
  std::vector<std::string> notes;
  std::vector<UINT> keyDownsSeen;    // WM_KEYDOWN wParams reaching HandleMessage
  std::vector<WPARAM> userMessages;  // wParam of WM_USER + 1 messages
  int initWindowCalls = 0;
  bool consumeEscape = false;
  bool refuseClose = false;
  int Count(const std::string& note) const;

 private:
  std::u16string m_layout;
};

HWND CreateTestWindow(RecordingWindow& window, HWND parent = nullptr);

}  // namespace pinvale::ui::test
