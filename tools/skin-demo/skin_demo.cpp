// Shows the skin's windows one after another, each as a bare window built from its layout,
// so they can be looked at and photographed without a key or any program logic.
//
//   pinvale-skin-demo [--close-after MS] [--page N] [LAYOUT.xml...]
//
// Without layouts it shows all six. A window stays until it is closed (its close button, or
// Escape) or, with --close-after, for that many milliseconds. --page selects a page of the
// main window's "switch" (1: the four actions as with a key present).

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "embedded_skin.h"
#include "ui/ui.h"

namespace {

using namespace pinvale;

class LayoutWindow : public ui::WindowImplBase {
 public:
  LayoutWindow(std::u16string layout, int page) : m_layout(std::move(layout)), m_page(page) {}
  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return {}; }
  std::u16string GetSkinFile() override { return m_layout; }

  void InitWindow() override {
    auto* tab = m_pm.FindControlAs<ui::CTabLayoutUI>(u"switch");
    if (tab != nullptr && m_page > 0) {
      tab->SelectItem(m_page);
      // As with a key that has a PIN: set-PIN is not offered.
      if (auto* enroll = m_pm.FindControl(u"btn_Enroll")) enroll->SetEnabled(false);
      if (auto* icon = m_pm.FindControl(u"label_icon_key_status"))
        icon->SetBkImage(u"Tactova-FIDO-UI-Elements-14.png");
      if (auto* status = m_pm.FindControl(u"label_status")) status->SetText(u"Device Inserted");
    }
  }

 private:
  std::u16string m_layout;
  int m_page;
};

// Closes a window from another thread after a delay, unless it was closed before.
class CloseTimer {
 public:
  CloseTimer(HWND hwnd, int delayMs) {
    if (delayMs <= 0) return;
    m_thread = std::thread([this, hwnd, delayMs] {
      std::unique_lock lock(m_mutex);
      if (!m_cv.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return m_done; }))
        PostMessage(hwnd, WM_CLOSE, 0, 0);
    });
  }
  ~CloseTimer() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }
  CloseTimer(const CloseTimer&) = delete;
  CloseTimer& operator=(const CloseTimer&) = delete;

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;
  std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
  int closeAfterMs = 0;
  int page = 0;
  std::vector<std::u16string> layouts;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--close-after" && i + 1 < argc) {
      closeAfterMs = std::atoi(argv[++i]);
    } else if (arg == "--page" && i + 1 < argc) {
      page = std::atoi(argv[++i]);
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "usage: %s [--close-after MS] [--page N] [LAYOUT.xml...]\n", argv[0]);
      return 2;
    } else {
      layouts.push_back(ui::Utf8ToUtf16(arg));
    }
  }
  if (layouts.empty()) {
    layouts = {u"main.xml",      u"SetPIN.xml",      u"ChangePIN.xml",
               u"verifyPIN.xml", u"resetDevice.xml", u"MsgBox.xml"};
  }

  if (!ui::UiInitialize()) {
    std::fprintf(stderr, "pinvale-skin-demo: no display\n");
    return 1;
  }
  if (!ui::CPaintManagerUI::SetResourceZip(EmbeddedSkinArchive())) {
    std::fprintf(stderr, "pinvale-skin-demo: the embedded skin is not a ZIP archive\n");
    return 1;
  }
  int status = 0;
  for (const auto& layout : layouts) {
    LayoutWindow window(layout, page);
    if (window.Create(nullptr, u"Pinvale", 0x10CA0000, 0) == nullptr) {
      std::fprintf(stderr, "pinvale-skin-demo: cannot build %s\n", ui::Utf16ToUtf8(layout).c_str());
      status = 1;
      continue;
    }
    window.CenterWindow();
    CloseTimer timer(window.GetHWND(), closeAfterMs);
    window.ShowModal();
  }
  ui::UiShutdown();
  return status;
}
