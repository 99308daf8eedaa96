#include "test_skin.h"

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>

#include "ui/ui_testing.h"

namespace pinvale::ui::test {
namespace {

std::string TempPath(const char* suffix) {
  const char* dir = std::getenv("TMPDIR");
  static int counter = 0;
  return std::string(dir ? dir : "/tmp") + "/pinvale-ui-test-" + std::to_string(getpid()) + "-" +
         std::to_string(++counter) + suffix;
}

const char* kDialog = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="300,280" mininfo="300,280" maxinfo="300,280" caption="0,0,0,40">
  <Font name="微软雅黑" size="14" default="true" />
  <VerticalLayout name="root" bkcolor="#FFFFFFFF" bordercolor="#FF1883D7" bordersize="1">
    <HorizontalLayout name="title" height="40" bkcolor="FF0168B7">
      <Label name="caption" text="Title" width="120" />
      <Control />
      <Button name="minbtn" width="32" height="32" tooltip="Minimum" />
      <Button name="closebtn" width="48" height="32" hotbkcolor="#FFE81123" tooltip="Close" />
    </HorizontalLayout>
    <Edit name="edit_pin" width="200" height="30" padding="8,9,0,0" password="true" />
    <Edit name="edit_two" width="200" height="30" padding="8,9,0,0" />
    <Text name="txt" showhtml="true" height="30" text="see {a first}here{/a} and {a second}there{/a}" />
    <Label name="picture" width="16" height="16" padding="4,0,0,0" bkimage="file='red_blue.png' source='0,16,16,32'" />
    <Label name="masked" width="16" height="16" bkcolor="#FF00FF00" bkimage="file='magenta.png' mask='#FFFF00FF'" />
    <Label name="gradient" width="20" height="20" bkcolor="#FF000000" bkcolor2="#FFFFFFFF" />
    <Control />
    <Button name="btn_ok" text="OK" width="120" height="30" padding="155,0,0,10" bkcolor="#FFCCCCCC" />
  </VerticalLayout>
</Window>)";

const char* kChild = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="200,120" caption="0,0,0,30">
  <Font name="微软雅黑" size="14" default="true" />
  <VerticalLayout bkcolor="#FFFFFFFF">
    <Button name="closebtn" height="30" text="x" />
    <Button name="btn_ok" height="30" text="OK" />
  </VerticalLayout>
</Window>)";

// A list of rows over a button and a progress bar: colours picked so that pixels tell the
// parts apart.
const char* kList = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="300,280">
  <Font name="DejaVu Sans" size="14" default="true" />
  <VerticalLayout bkcolor="#FFFFFFFF">
    <List name="list" height="200" itemheight="40" bordersize="1" bordercolor="#FF808080"
          bkcolor="#FFFFFFFF" selectedbkcolor="#FF00C000" itemtextcolor="#FF000000"
          scrollbarwidth="10" scrollbartrackcolor="#FFF0F0F0" scrollbarthumbcolor="#FF404040"
          scrollbarthumbhotcolor="#FF404040" emptytext="No passkeys" />
    <Button name="after" height="30" text="After" />
    <Progress name="progress" width="200" height="20" max="3" value="1" bkcolor="#FFE0E0E0"
              forecolor="#FF0000C0" />
  </VerticalLayout>
</Window>)";

}  // namespace

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> MakeZip(const ZipEntries& entries) {
  const std::string path = TempPath(".zip");
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return {};
  for (const auto& [name, data] : entries) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
  }
  zip_close(archive);  // writes the file; the buffers above are still alive
  std::vector<std::uint8_t> bytes;
  ReadWholeFile(path, bytes);
  std::remove(path.c_str());
  return bytes;
}

std::vector<std::uint8_t> MakePng(int width, int height, std::uint32_t top, std::uint32_t bottom) {
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
  SDL_Rect upper{0, 0, width, height / 2};
  SDL_Rect lower{0, height / 2, width, height - height / 2};
  SDL_FillRect(surface, &upper, top);
  SDL_FillRect(surface, &lower, bottom);
  const std::string path = TempPath(".png");
  IMG_SavePNG(surface, path.c_str());
  SDL_FreeSurface(surface);
  std::vector<std::uint8_t> bytes;
  ReadWholeFile(path, bytes);
  std::remove(path.c_str());
  return bytes;
}

void UseTestSkin() {
  static std::vector<std::uint8_t> archive;
  ASSERT_TRUE(ui::testing::InitHeadless());
  if (archive.empty()) {
    archive = MakeZip({{"dialog.xml", Bytes(kDialog)},
                       {"child.xml", Bytes(kChild)},
                       {"list.xml", Bytes(kList)},
                       {"red_blue.png", MakePng(16, 32, 0xFFFF0000, 0xFF0000FF)},
                       {"magenta.png", MakePng(16, 16, 0xFFFF00FF, 0xFFFF00FF)}});
  }
  ASSERT_TRUE(CPaintManagerUI::SetResourceZip(archive));
}

void RecordingWindow::Notify(TNotifyUI& msg) {
  notes.push_back(Utf16ToUtf8(msg.sType) + ":" +
                  (msg.pSender ? Utf16ToUtf8(msg.pSender->GetName()) : std::string()));
  WindowImplBase::Notify(msg);
}

LRESULT RecordingWindow::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (consumeEscape && uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    bHandled = true;
    return 0;
  }
  return WindowImplBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

LRESULT RecordingWindow::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_KEYDOWN) keyDownsSeen.push_back(static_cast<UINT>(wParam));
  if (uMsg == WM_USER + 1) {
    userMessages.push_back(wParam);
    return static_cast<LRESULT>(wParam * 2);
  }
  if (uMsg == WM_CLOSE && refuseClose) return 0;
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

int RecordingWindow::Count(const std::string& note) const {
  return static_cast<int>(std::count(notes.begin(), notes.end(), note));
}

HWND CreateTestWindow(RecordingWindow& window, HWND parent) {
  return window.Create(parent, u"Pinvale", UI_WNDSTYLE_FRAME, 0);
}

namespace {

// The UI is shut down once, after the last test (the framework tears nothing down at exit).
class UiEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { UiShutdown(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace
}  // namespace pinvale::ui::test
