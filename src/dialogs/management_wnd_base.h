#pragma once

// What the Fingerprints and Passkeys windows share: they are modal dialogs like the
// PIN dialogs (closed by a pull-out through the watchdog and the device notices,
// every exchange off the UI thread with the busy cue, Escape closes), and each owns
// the access the PIN entry opened: the session's PIN and token are wiped when the
// window goes. Modal result: 1 when closed by the user, 0 when the key went away.

#include <functional>
#include <memory>
#include <string>

#include "dialogs/management_access.h"
#include "dialogs/pin_dialog_base.h"

namespace pinvale {

class CManagementWndBase : public CPinDialogBase {
 public:
  CManagementWndBase(std::u16string layout, CFidoToken* device,
                     std::unique_ptr<ManagementAccess> access);
  ~CManagementWndBase() override;

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;

  ManagementAccess* Access() { return access_.get(); }

 protected:
  // Runs `command` with the session's token off the UI thread (a token that expired
  // meanwhile is renewed once with the kept PIN) and returns its result. The window
  // may have gone meanwhile: check WindowAlive() afterwards.
  // With ui::OffUiInput::kLive the window keeps taking input meanwhile (see RunExchange).
  int RunSessionCommand(const ManagementSession::Command& command,
                        ui::OffUiInput input = ui::OffUiInput::kBlocked);
  // Called once the window is shown and its first frame painted; the windows read
  // their list here.
  virtual void OnWindowShown() {}
  // Enter on the window; Escape closes it (unless a derived window takes it first).
  virtual bool OnEnterKey() { return false; }
  virtual bool OnEscapeKey();

  std::unique_ptr<ManagementAccess> access_;
};

}  // namespace pinvale
