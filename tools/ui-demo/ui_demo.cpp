// ui-demo: shows one layout in a skinned window.
//
//   ui-demo SKIN.zip [LAYOUT]          layout from the archive (default main.xml)
//   ui-demo DIR/LAYOUT.xml             layout and images from the folder
// Options:
//   --png FILE          draw the window into FILE (PNG) and exit
//   --quit-after-first-frame
//                       close right after the first frame was shown (start-up timing)
//   --print-notify      print every notification as "type sender"
//
// The time from process start to the first frame is printed on stderr as
// "first frame after N ms".

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "ui/ui.h"
#include "ui/ui_testing.h"

using namespace pinvale::ui;

namespace {

// Milliseconds since this process started (from /proc, so loader time counts too).
double MsSinceProcessStart() {
  FILE* stat = std::fopen("/proc/self/stat", "r");
  if (!stat) return -1;
  char buffer[1024] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, stat);
  std::fclose(stat);
  buffer[n] = 0;
  const char* p = std::strrchr(buffer, ')');
  if (!p) return -1;
  unsigned long long start = 0;
  // Field 22 (starttime) is the 20th after the closing parenthesis.
  int field = 2;
  for (const char* q = p + 2; *q && field < 22; ++q) {
    if (*q == ' ') {
      ++field;
      if (field == 22) start = std::strtoull(q + 1, nullptr, 10);
    }
  }
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  return (static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9 - start / ticks) * 1000.0;
}

class DemoWindow : public WindowImplBase {
 public:
  DemoWindow(std::u16string layout, bool printNotify, bool quitAfterFirstFrame)
      : m_layout(std::move(layout)),
        m_printNotify(printNotify),
        m_quitAfterFirstFrame(quitAfterFirstFrame) {}

  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return {}; }
  std::u16string GetSkinFile() override { return m_layout; }

  void Notify(TNotifyUI& msg) override {
    if (m_printNotify) {
      std::printf("%s %s\n", Utf16ToUtf8(msg.sType).c_str(),
                  msg.pSender ? Utf16ToUtf8(msg.pSender->GetName()).c_str() : "");
      std::fflush(stdout);
    }
    if (msg.sType == u"windowinit") {
      // The first frame is shown right after the first layout; a posted task runs after it.
      pinvale::ui::testing::PostTask([this] {
        std::fprintf(stderr, "first frame after %.0f ms\n", MsSinceProcessStart());
        if (m_quitAfterFirstFrame) Close(0);
      });
    }
    WindowImplBase::Notify(msg);
  }

 private:
  std::u16string m_layout;
  bool m_printNotify;
  bool m_quitAfterFirstFrame;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string png;
  bool printNotify = false;
  bool quitAfterFirstFrame = false;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--png" && i + 1 < args.size()) {
      png = args[++i];
    } else if (args[i] == "--print-notify") {
      printNotify = true;
    } else if (args[i] == "--quit-after-first-frame") {
      quitAfterFirstFrame = true;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.empty()) {
    std::fprintf(stderr, "usage: ui-demo SKIN.zip [LAYOUT] | DIR/LAYOUT.xml [--png FILE]\n");
    return 2;
  }

  std::vector<std::uint8_t> archive;
  std::string layout;
  const std::string& source = positional[0];
  if (source.size() > 4 && source.substr(source.size() - 4) == ".zip") {
    if (!ReadWholeFile(source, archive) || !CPaintManagerUI::SetResourceZip(archive)) {
      std::fprintf(stderr, "ui-demo: cannot read archive %s\n", source.c_str());
      return 1;
    }
    layout = positional.size() > 1 ? positional[1] : "main.xml";
  } else {
    const size_t slash = source.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : source.substr(0, slash);
    layout = slash == std::string::npos ? source : source.substr(slash + 1);
    CPaintManagerUI::SetResourcePath(Utf8ToUtf16(dir));
  }

  if (!UiInitialize()) {
    std::fprintf(stderr, "ui-demo: no display\n");
    return 1;
  }
  DemoWindow window(Utf8ToUtf16(layout), printNotify, quitAfterFirstFrame);
  if (!window.Create(nullptr, u"Pinvale", UI_WNDSTYLE_FRAME, 0)) {
    std::fprintf(stderr, "ui-demo: cannot build %s\n", layout.c_str());
    return 1;
  }
  window.CenterWindow();
  if (!png.empty()) {
    const bool ok = pinvale::ui::testing::RenderWindowToPng(window.GetHWND(), png);
    return ok ? 0 : 1;
  }
  window.ShowModal();
  UiShutdown();
  return 0;
}
