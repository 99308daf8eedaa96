// ui-demo: shows one layout in a skinned window.
//
//   ui-demo SKIN.zip [LAYOUT]          layout from the archive (default main.xml)
//   ui-demo DIR/LAYOUT.xml             layout and images from the folder
// Options:
//   --png FILE          draw the window into FILE (PNG) and exit
//   --quit-after-first-frame
//                       close right after the first frame was shown (start-up timing)
//   --print-notify      print every notification as "type sender"
//   --start-ns NS       wall-clock start in ns ($(date +%s%N)), for the first-frame time
//   --sample-rows N     fill every List of the layout with N made-up rows and select the
//                       second (0: leave them empty, to show the empty text)
//
// The time from process start to the first frame is printed on stderr as
// "first frame after N ms".

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui/ui.h"
#include "ui/ui_testing.h"

using namespace pinvale::ui;

namespace {

// Wall-clock nanoseconds when the process was started: --start-ns (e.g. $(date +%s%N) in the
// shell that starts it), else the entry of main.
long long g_startNs = 0;

long long RealtimeNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

double MsSinceProcessStart() {
  return static_cast<double>(RealtimeNs() - g_startNs) / 1e6;
}

}  // namespace

namespace {

class DemoWindow : public WindowImplBase {
 public:
  DemoWindow(std::u16string layout, bool printNotify, bool quitAfterFirstFrame, int sampleRows)
      : m_layout(std::move(layout)),
        m_printNotify(printNotify),
        m_quitAfterFirstFrame(quitAfterFirstFrame),
        m_sampleRows(sampleRows) {}

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
      if (m_sampleRows >= 0) FillLists();
      // The first frame is shown right after the first layout; a posted task runs after it.
      pinvale::ui::testing::PostTask([this] {
        std::fprintf(stderr, "first frame after %.0f ms\n", MsSinceProcessStart());
        if (m_quitAfterFirstFrame) Close(0);
      });
    }
    WindowImplBase::Notify(msg);
  }

  void FillLists() {
    static const char16_t* const kSites[] = {u"example.com", u"accounts.example.org",
                                             u"mail.example.net",
                                             u"a-rather-long-name-for-a-"
                                             u"relying-party.example"};
    static const char16_t* const kUsers[] = {u"alice \u00B7 Alice Example", u"bob \u00B7 Bob",
                                             u"carol@example.net \u00B7 Carol Example-Smith"};
    GetPaintManager().GetRoot()->ForEach([&](CControlUI& control) {
      auto* list = dynamic_cast<CListUI*>(&control);
      if (!list) return;
      std::vector<ListItem> rows;
      for (int i = 0; i < m_sampleRows; ++i) {
        rows.push_back({kSites[i % 4], kUsers[i % 3], static_cast<std::uintptr_t>(i)});
      }
      list->SetItems(std::move(rows));
      list->SelectItem(std::min(1, m_sampleRows - 1));
    });
  }

 private:
  std::u16string m_layout;
  bool m_printNotify;
  bool m_quitAfterFirstFrame;
  int m_sampleRows;
};

}  // namespace

int main(int argc, char** argv) {
  g_startNs = RealtimeNs();
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string png;
  bool printNotify = false;
  bool quitAfterFirstFrame = false;
  int sampleRows = -1;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--png" && i + 1 < args.size()) {
      png = args[++i];
    } else if (args[i] == "--start-ns" && i + 1 < args.size()) {
      g_startNs = std::stoll(args[++i]);
    } else if (args[i] == "--sample-rows" && i + 1 < args.size()) {
      sampleRows = std::stoi(args[++i]);
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
  DemoWindow window(Utf8ToUtf16(layout), printNotify, quitAfterFirstFrame, sampleRows);
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
