#pragma once

// The one PIN entry before the Fingerprints or Passkeys window ("ManagementPIN.xml"):
// it shows the key's minimum length and the attempts left, asks the key for a token
// with only the permission the window needs, and hands the opened access to the
// caller. Modal result: 1 with the access ready (TakeAccess), 2 after "closebtn" or
// Escape, 0 when the key went away.

#include <memory>
#include <string>

#include "dialogs/management_access.h"
#include "dialogs/pin_dialog_base.h"

namespace pinvale {

class CManagementPinWnd : public CPinDialogBase {
 public:
  CManagementPinWnd(std::u16string layout, CFidoToken* device, ManagementKind kind,
                    ManagementPrecheckResult precheck);
  ~CManagementPinWnd() override;

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;

  // 0 once the access is open, ValidationRefused after a local refusal, otherwise the
  // key's status or the exchange's code.
  int Submit();
  std::unique_ptr<ManagementAccess> TakeAccess() { return std::move(access_); }

 private:
  void ShowHint();
  void SubmitAndCloseOnSuccess();

  ManagementKind kind_;
  ManagementPrecheckResult precheck_;
  std::unique_ptr<ManagementAccess> access_;
  ui::CEditUI* editPin_ = nullptr;
  ui::CLabelUI* labelStatus_ = nullptr;
  ui::CLabelUI* labelHint_ = nullptr;
};

}  // namespace pinvale
