#include "dialogs/pin_verify_wnd.h"

#include "ctap/pin_protocol.h"
#include "ctap/pin_text.h"
#include "ctap/pin_token.h"
#include "dialogs/key_pin_rules.h"
#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"
#include "dialogs/pin_outcome.h"

namespace pinvale {

namespace {
// The key said yes but gave no token to show for it.
constexpr int kSuccessWithoutToken = 0xFF;
}  // namespace

CPINVerifyWnd::CPINVerifyWnd(std::u16string layout, CFidoToken* device)
    : CPinDialogBase(std::move(layout), device) {
  SetWatchdogPeriod(PinWatchdog::kVerifyDialogPeriod);
}

CPINVerifyWnd::~CPINVerifyWnd() = default;

void CPINVerifyWnd::InitWindow() {
  btnOk_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_ok");
  editPin_ = m_pm.FindControlAs<ui::CEditUI>(u"edit_pin");
  labelStatus_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_status");
  // The PIN is all this dialog asks for: typing goes straight into its field.
  if (editPin_) editPin_->SetFocus();
  StartWatchdog(PinWatchdog::Delivery::kSendClose);
  RegisterForDeviceNotices();
}

LRESULT CPINVerifyWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (CloseOnKeyRemoval(uMsg, wParam, lParam)) return 0;
  return CPinDialogBase::HandleMessage(uMsg, wParam, lParam);
}

LRESULT CPINVerifyWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    bHandled = true;
    SubmitAndCloseOnSuccess();
    return 0;
  }
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    bHandled = true;
    return 0;
  }
  return CPinDialogBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

void CPINVerifyWnd::Notify(ui::TNotifyUI& msg) {
  const std::u16string name = msg.pSender ? msg.pSender->GetName() : std::u16string();
  if (msg.sType == u"click") {
    if (name == u"btn_ok") {
      SubmitAndCloseOnSuccess();
    } else if (name == u"closebtn") {
      Close(2);
      return;  // closed here; the base would close with 1
    }
  } else if (msg.sType == u"textchanged" && name == u"edit_pin") {
    if (TextOf(editPin_).size() >= kMinPinLength) SetTextOf(labelStatus_, u"");
  } else if (msg.sType == u"setfocus" && name == u"edit_pin") {
    SelectAll(msg.pSender);
  }
  CPinDialogBase::Notify(msg);
}

void CPINVerifyWnd::SubmitAndCloseOnSuccess() {
  if (SubmitVerifyPin() == 0 && WindowAlive()) Close(1);
}

int CPINVerifyWnd::SubmitVerifyPin() {
  const WipingU16Text pin = TextOf(editPin_);
  if (std::u16string_view refusal = PinLengthRefusal(pin, kVerifyPinTooLongText);
      !refusal.empty()) {
    SetTextOf(labelStatus_, refusal);
    return ValidationRefused;
  }
  if (!device_) return ValidationRefused;
  SecretBytes utf8;
  if (!PinToUtf8(pin, utf8)) {
    SetTextOf(labelStatus_, kPinInvalidCharacterText);
    return ValidationRefused;
  }

  struct Verification {
    KeyPinRules rules;
    PinRequestResult result;
  };
  const Verification verification = RunExchange([&] {
    Verification v;
    v.rules = ReadKeyPinRules(*device_);
    if (v.rules.refusal == 0) v.result = VerifyPin(*device_, v.rules.info, *v.rules.protocol, utf8);
    return v;
  });
  const PinRequestResult& token = verification.result;
  if (!WindowAlive()) return token.requestSent ? token.code : kExchangeFailed;
  if (verification.rules.refusal != 0) {
    ShowMessageBox(GetHWND(), kDialogCaption, kNoSupportedProtocolText, kMessageBoxIconError);
    return verification.rules.refusal;
  }
  if (!token.requestSent && token.code == kPinChangeRequired) {
    // Such a key may answer the right PIN with 0x31: it is not asked at all.
    SetTextOf(labelStatus_, u"");
    ShowMessageBox(GetHWND(), kDialogCaption, kPinChangeRequiredText,
                   kMessageBoxOk | kMessageBoxIconWarning);
    return token.code;
  }
  if (!token.requestSent && token.code == kNoPermissionSupported) {
    SetTextOf(labelStatus_, u"");
    ShowMessageBox(GetHWND(), kDialogCaption, kCannotVerifyText, kMessageBoxIconError);
    return token.code;
  }
  if (token.requestSent && token.code == kPinAnswerNotUnderstood) {
    // Nothing was verified: a success needs a token that proves it.
    SetTextOf(labelStatus_, u"");
    ShowMessageBox(GetHWND(), kDialogCaption, kAnswerNotUnderstoodText, kMessageBoxIconError);
    return kSuccessWithoutToken;
  }
  if (!token.requestSent || IsExchangeFailure(token.code)) {
    // The key agreement or the exchange failed: nothing is known about the PIN.
    SetTextOf(labelStatus_, u"");
    ShowCommunicationFailure(GetHWND());
    return token.code;
  }
  if (token.code == 0) {
    ShowMessageBox(GetHWND(), kDialogCaption, kVerifyPinSuccessText, kMessageBoxOk);
    return 0;
  }
  if (token.code == kStatusPinInvalid) {
    SetTextOf(labelStatus_, kPinIncorrectText);
    return token.code;
  }
  if (token.code == kStatusPinBlocked || token.code == kStatusPinAuthBlocked) {
    SetTextOf(labelStatus_, kDeviceLockedText);
    return token.code;
  }
  // Refused for another reason: the PIN was not judged, so no count or lock is shown.
  SetTextOf(labelStatus_, u"");
  ShowRequestRefused(GetHWND(), token.code);
  return token.code;
}

}  // namespace pinvale
