#pragma once

// The set-PIN dialog ("SetPIN.xml"): gives a key without a PIN its first PIN.
// It checks both entries, sends setPIN, reports the outcome in a message box and
// proves the new PIN once with a getPINToken. Modal result: 1 when the PIN was
// set, 2 when the user closed it, 0 when the key went away.

#include <string>

#include "dialogs/pin_dialog_base.h"

namespace pinvale {

class CSetPINWnd : public CPinDialogBase {
 public:
  CSetPINWnd(std::u16string layout, CFidoToken* device);
  ~CSetPINWnd() override;

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;

  // Checks and sends. 0 when the PIN was set (and the token step could start),
  // ValidationRefused after a local refusal, otherwise the code of the last
  // device step.
  int SubmitSetPin();

 private:
  void SubmitAndCloseOnSuccess();

  ui::CButtonUI* btnOk_ = nullptr;
  ui::CEditUI* editPin_ = nullptr;
  ui::CEditUI* editPin2_ = nullptr;
  ui::CLabelUI* labelPin_ = nullptr;
  ui::CLabelUI* labelPin2_ = nullptr;
};

}  // namespace pinvale
