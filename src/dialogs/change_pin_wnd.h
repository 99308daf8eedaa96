#pragma once

// The change-PIN dialog ("ChangePIN.xml"): replaces the key's PIN. It checks the
// three entries, sends changePIN, reports a wrong PIN with the attempts left and a
// blocked key under the current-PIN field, and after a success proves the new PIN
// once. Modal result: 1 after a change, 2 when the user closed it ("Cancel" and
// the title-bar button are both "closebtn"), 0 when the watchdog closed it.

#include <string>

#include "dialogs/pin_dialog_base.h"

namespace pinvale {

class CChangePINWnd : public CPinDialogBase {
 public:
  explicit CChangePINWnd(std::u16string layout, CFidoToken* device = nullptr);
  ~CChangePINWnd() override;

  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;

  // 0 after a change, ValidationRefused after a local refusal, otherwise the code
  // of the last device step.
  int SubmitChangePin();

 private:
  void SubmitAndCloseOnSuccess();

  ui::CButtonUI* btnOk_ = nullptr;
  ui::CEditUI* editPinOld_ = nullptr;
  ui::CEditUI* editPinNew_ = nullptr;
  ui::CEditUI* editPinNew2_ = nullptr;
  ui::CLabelUI* labelOldPin_ = nullptr;
  ui::CLabelUI* labelNewPin_ = nullptr;
  ui::CLabelUI* labelNewPin2_ = nullptr;
};

}  // namespace pinvale
