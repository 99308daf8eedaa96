// The main window's four action dialogs. Each function creates its dialog with
// the layout named below and a pointer to the window's device object, runs it
// with RunModalDialog and returns its modal result.

#include "app/main_wnd.h"
#include "dialogs/change_pin_wnd.h"
#include "dialogs/device_absent.h"
#include "dialogs/pin_verify_wnd.h"
#include "dialogs/reset_wnd.h"
#include "dialogs/set_pin_wnd.h"

namespace pinvale {

// CSetPINWnd, layout "SetPIN.xml". The caller refreshes the buttons on result 1.
int CMainWnd::OpenSetPinDialog() {
  CSetPINWnd dialog(u"SetPIN.xml", &token_);
  return RunModalDialog(dialog);
}

// CChangePINWnd, layout "ChangePIN.xml".
int CMainWnd::OpenChangePinDialog() {
  CChangePINWnd dialog(u"ChangePIN.xml", &token_);
  return RunModalDialog(dialog);
}

// CPINVerifyWnd, layout "verifyPIN.xml". The result is not used.
int CMainWnd::OpenVerifyPinDialog() {
  CPINVerifyWnd dialog(u"verifyPIN.xml", &token_);
  return RunModalDialog(dialog);
}

// CResetWnd, layout "resetDevice.xml": returns the dialog's ResetOutcome after its
// modal loop; 0 makes the main window refresh its view of the key.
//
// A key pulled out during the reset leaves ResetOutcome at 0 (the worker only
// closes the dialog), and refreshing then would show "Device Inserted" for a key
// that has gone. So the outcome is withheld while DeviceAbsent is set: the window
// keeps the no-key state its removal handling showed. A key plugged in again
// during the reset is connected by the caller right after this returns.
std::optional<std::uint16_t> CMainWnd::OpenResetDialog() {
  CResetWnd dialog(u"resetDevice.xml", &token_);
  RunModalDialog(dialog);
  if (!dialog.WorkerStarted() || DeviceAbsent.load()) return std::nullopt;
  return static_cast<std::uint16_t>(dialog.ResetOutcome());
}

}  // namespace pinvale
