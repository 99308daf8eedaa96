#pragma once

// Internal: what the framework keeps for each live window besides the window object.

#include <cstdint>
#include <memory>
#include <string>

#include "ui/native_window.h"
#include "ui/win_types.h"

namespace pinvale::ui {

class WindowImplBase;

class WindowRecord {
 public:
  WindowImplBase* window = nullptr;
  HWND hwnd = nullptr;
  HWND owner = nullptr;
  DWORD style = 0;
  std::u16string caption;
  std::u16string className;
  std::unique_ptr<INativeWindow> native;
  std::unique_ptr<IRenderTarget> frame;  // off-screen frame, client size
  RECT rect{};                           // desktop rectangle
  bool visible = false;                  // shown as far as the program is concerned
  bool nativeShown = false;              // the native window is mapped (after a first frame)
  bool enabled = true;
  // Work the window waits on runs off the UI thread: it takes no input meanwhile, but
  // stays enabled as the system sees it, so it keeps its activation and keyboard focus.
  bool inputBlocked = false;
  bool AcceptsInput() const { return enabled && !inputBlocked; }
  bool minimized = false;
  bool destroying = false;
  bool exposed = true;
  // wParam of the last WM_CLOSE posted to the window (ShowModal's result).
  std::shared_ptr<UINT> closeCode = std::make_shared<UINT>(0);
  // Caption dragging.
  bool dragging = false;
  POINT dragStartScreen{};
  RECT dragStartRect{};
  POINT dragLastScreen{};  // where the pointer was at the last step of the drag
  bool mouseInside = false;
  // Modal windows. One runs its loop now (`modal`) and holds its owner disabled while it
  // shows (`holdsOwner`); `modalHolds` counts the modal windows holding this one, so that
  // the owner comes back only when the last of them lets go.
  bool modal = false;
  bool holdsOwner = false;
  int modalHolds = 0;

  // EnableWindow's end: a disabled window takes no input, so nothing in it stays hot.
  void SetEnabled(bool enable);
  // Disables the owner while this window runs modal. Given back (ReleaseOwner) before the
  // window hides or goes, not after its loop has ended: a click on the owner in between
  // would be lost, and Windows would activate some other program's window instead of the
  // owner, which was still disabled when its modal window went.
  void HoldOwner();
  void ReleaseOwner();

  // Moves and resizes the native window; the layout follows a new size.
  void SetRect(const RECT& r);
  // The window's last call: clears its handle and runs OnFinalMessage.
  static void FinalMessage(WindowImplBase& window, HWND hwnd);
};

}  // namespace pinvale::ui
