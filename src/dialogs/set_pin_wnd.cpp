#include "dialogs/set_pin_wnd.h"

#include "ctap/pin_protocol.h"
#include "ctap/pin_text.h"
#include "dialogs/key_pin_rules.h"
#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"
#include "dialogs/pin_outcome.h"

namespace pinvale {

CSetPINWnd::CSetPINWnd(std::u16string layout, CFidoToken* device)
    : CPinDialogBase(std::move(layout), device) {}

CSetPINWnd::~CSetPINWnd() = default;

void CSetPINWnd::InitWindow() {
  btnOk_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_ok");
  editPin_ = m_pm.FindControlAs<ui::CEditUI>(u"edit_pin");
  editPin2_ = m_pm.FindControlAs<ui::CEditUI>(u"edit_pin2");
  labelPin_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_pin");
  labelPin2_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_pin2");
  if (editPin_) editPin_->SetFocus();
  StartWatchdog(PinWatchdog::Delivery::kPostClose);
  RegisterForDeviceNotices();
}

LRESULT CSetPINWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (CloseOnKeyRemoval(uMsg, wParam, lParam)) return 0;
  return CPinDialogBase::HandleMessage(uMsg, wParam, lParam);
}

LRESULT CSetPINWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    bHandled = true;
    SubmitAndCloseOnSuccess();
    return 0;
  }
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    bHandled = true;  // Escape does not close this dialog
    return 0;
  }
  return CPinDialogBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

void CSetPINWnd::Notify(ui::TNotifyUI& msg) {
  const std::u16string name = msg.pSender ? msg.pSender->GetName() : std::u16string();
  if (msg.sType == u"click") {
    if (name == u"btn_ok") {
      SubmitAndCloseOnSuccess();
    } else if (name == u"closebtn" || name == u"btn_cancel") {
      Close(2);
      return;  // closed here; the base would close with 1
    }
  } else if (msg.sType == u"textchanged" && (name == u"edit_pin" || name == u"edit_pin2")) {
    const WipingU16Text first = TextOf(editPin_);
    const WipingU16Text second = TextOf(editPin2_);
    if (first.size() >= kMinPinLength) SetTextOf(labelPin_, u"");
    if (second.size() >= kMinPinLength) SetTextOf(labelPin2_, u"");
    if (first != second) SetTextOf(labelPin2_, u"");
  } else if (msg.sType == u"setfocus" && (name == u"edit_pin" || name == u"edit_pin2")) {
    SelectAll(msg.pSender);
  }
  CPinDialogBase::Notify(msg);
}

void CSetPINWnd::SubmitAndCloseOnSuccess() {
  if (SubmitSetPin() == 0 && WindowAlive()) Close(1);
}

int CSetPINWnd::SubmitSetPin() {
  const WipingU16Text pin = TextOf(editPin_);
  if (std::u16string_view refusal = PinLengthRefusal(pin, kSetPinTooLongText); !refusal.empty()) {
    SetTextOf(labelPin_, refusal);
    return ValidationRefused;
  }
  const WipingU16Text confirmation = TextOf(editPin2_);
  if (std::u16string_view refusal = PinLengthRefusal(confirmation, kSetPinTooLongText);
      !refusal.empty()) {
    SetTextOf(labelPin2_, refusal);
    return ValidationRefused;
  }
  if (pin != confirmation) {
    SetTextOf(labelPin2_, kSetPinMismatchText);
    return ValidationRefused;
  }
  if (!device_) return ValidationRefused;
  SecretBytes utf8;
  if (!PinToUtf8(pin, utf8)) {
    SetTextOf(labelPin_, kPinInvalidCharacterText);
    return ValidationRefused;
  }

  if (utf8.size() > kNewPinBlockSize) {
    // 63 characters outside ASCII can need more than the 64 bytes a PIN block holds.
    SetTextOf(labelPin_, kPinTooManyBytesText);
    return ValidationRefused;
  }
  const RuledPinRequest request = RunExchange([&] {
    RuledPinRequest r;
    r.rules = ReadKeyPinRules(*device_);
    r.belowKeyMinimum = BelowKeyMinimum(r.rules, utf8);
    if (r.rules.refusal == 0 && !r.belowKeyMinimum) {
      r.result = SendSetPin(*device_, *r.rules.protocol, utf8);
    }
    return r;
  });
  const PinRequestResult& set = request.result;
  if (!WindowAlive()) return set.requestSent ? set.code : kExchangeFailed;
  if (request.rules.refusal != 0) {
    ShowMessageBox(GetHWND(), kDialogCaption, kNoSupportedProtocolText, kMessageBoxIconError);
    return request.rules.refusal;
  }
  if (request.belowKeyMinimum) {
    SetTextOf(labelPin_, KeyMinimumText(request.rules.minPinLength));
    return ValidationRefused;
  }
  if (!set.requestSent && set.code == kNewPinTooLong) {
    // 63 characters outside ASCII can need more than the 64 bytes a PIN block holds.
    SetTextOf(labelPin_, kPinTooManyBytesText);
    return ValidationRefused;
  }
  if (!set.requestSent || IsExchangeFailure(set.code)) {
    // The key agreement or the exchange failed: the key gave no verdict on the PIN.
    ShowCommunicationFailure(GetHWND());
    return set.code;
  }
  if (set.code == kStatusPinPolicyViolation) {
    ShowMessageBox(GetHWND(), kDialogCaption, kPinPolicyRefusedText, kMessageBoxIconError);
    return set.code;
  }
  if (set.code != 0) {
    ShowMessageBox(GetHWND(), kDialogCaption, kSetPinFailedText, kMessageBoxIconError);
    return set.code;
  }
  ShowMessageBox(GetHWND(), kDialogCaption, kSetPinSuccessText, kMessageBoxOk);
  // The new PIN is proved once. It is set whatever this step answers, so the
  // dialog closes with its success result even when the step fails.
  RunExchange([&] { return ObtainPinToken(*device_, *request.rules.protocol, utf8); });
  return 0;
}

}  // namespace pinvale
