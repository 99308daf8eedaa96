#pragma once

// The verify-PIN dialog ("verifyPIN.xml"): proves a PIN to the key by asking it
// for a PIN token. Modal result: 1 after a successful verification, 2 after
// "closebtn", 0 when the key went away. Its watchdog looks every 500 ms and sends
// (not posts) the close.

#include <string>

#include "dialogs/pin_dialog_base.h"

namespace pinvale {

class CPINVerifyWnd : public CPinDialogBase {
 public:
  explicit CPINVerifyWnd(std::u16string layout, CFidoToken* device = nullptr);
  ~CPINVerifyWnd() override;

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;

  // 0 when the key gave a PIN token, 0xFF when it said yes without one,
  // ValidationRefused after a local refusal, otherwise the code of the last step.
  int SubmitVerifyPin();

 private:
  void SubmitAndCloseOnSuccess();

  ui::CButtonUI* btnOk_ = nullptr;
  ui::CEditUI* editPin_ = nullptr;
  ui::CLabelUI* labelStatus_ = nullptr;
};

}  // namespace pinvale
