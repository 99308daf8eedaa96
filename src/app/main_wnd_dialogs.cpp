// The main window's four action dialogs. Each function creates its dialog with
// the layout named below and a pointer to the window's device object, runs it
// with RunModalDialog and returns its modal result. A function whose dialog does
// not exist yet opens nothing.

#include "app/main_wnd.h"

namespace pinvale {

// CSetPINWnd, layout "SetPIN.xml". The caller refreshes the buttons on result 1.
int CMainWnd::OpenSetPinDialog() {
  return 0;
}

// CChangePINWnd, layout "ChangePIN.xml".
int CMainWnd::OpenChangePinDialog() {
  return 0;
}

// CPINVerifyWnd, layout "verifyPIN.xml". The result is not used.
int CMainWnd::OpenVerifyPinDialog() {
  return 0;
}

// CResetWnd, layout "resetDevice.xml": returns the dialog's ResetOutcome after its
// modal loop; 0 makes the main window refresh its view of the key.
std::optional<std::uint16_t> CMainWnd::OpenResetDialog() {
  return std::nullopt;
}

}  // namespace pinvale
