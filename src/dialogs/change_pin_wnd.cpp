#include "dialogs/change_pin_wnd.h"

#include "ctap/pin_protocol.h"
#include "ctap/pin_text.h"
#include "dialogs/key_pin_rules.h"
#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"
#include "dialogs/pin_outcome.h"

namespace pinvale {

CChangePINWnd::CChangePINWnd(std::u16string layout, CFidoToken* device)
    : CPinDialogBase(std::move(layout), device) {}

CChangePINWnd::~CChangePINWnd() = default;

void CChangePINWnd::InitWindow() {
  btnOk_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_ok");
  editPinOld_ = m_pm.FindControlAs<ui::CEditUI>(u"edit_pin_old");
  editPinNew_ = m_pm.FindControlAs<ui::CEditUI>(u"edit_pin_new");
  editPinNew2_ = m_pm.FindControlAs<ui::CEditUI>(u"edit_pin_new2");
  labelOldPin_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_old_pin");
  labelNewPin_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_new_pin");
  labelNewPin2_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_new_pin2");
  if (editPinOld_) editPinOld_->SetFocus();
  // This dialog relies on the watchdog alone to notice a pulled-out key.
  StartWatchdog(PinWatchdog::Delivery::kPostClose);
}

LRESULT CChangePINWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    bHandled = true;
    if (btnOk_) btnOk_->SetFocus();
    SubmitAndCloseOnSuccess();
    return 0;
  }
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    bHandled = true;
    return 0;
  }
  return CPinDialogBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

void CChangePINWnd::Notify(ui::TNotifyUI& msg) {
  const std::u16string name = msg.pSender ? msg.pSender->GetName() : std::u16string();
  if (msg.sType == u"click") {
    if (name == u"btn_ok") {
      SubmitAndCloseOnSuccess();
    } else if (name == u"closebtn" || name == u"btn_cancel") {
      Close(2);
      return;  // closed here; the base would close with 1
    }
  } else if (msg.sType == u"textchanged") {
    if (name == u"edit_pin_new" || name == u"edit_pin_new2") {
      if (TextOf(editPinNew_).size() >= kMinPinLength) SetTextOf(labelNewPin_, u"");
      if (TextOf(editPinNew2_).size() >= kMinPinLength) SetTextOf(labelNewPin2_, u"");
    } else if (name == u"edit_pin_old") {
      SetTextOf(labelOldPin_, u"");
    }
  } else if (msg.sType == u"setfocus" &&
             (name == u"edit_pin_old" || name == u"edit_pin_new" || name == u"edit_pin_new2")) {
    SelectAll(msg.pSender);
  }
  CPinDialogBase::Notify(msg);
}

void CChangePINWnd::SubmitAndCloseOnSuccess() {
  if (SubmitChangePin() == 0 && WindowAlive()) Close(1);
}

int CChangePINWnd::SubmitChangePin() {
  const WipingU16Text current = TextOf(editPinOld_);
  const WipingU16Text next = TextOf(editPinNew_);
  const WipingU16Text confirmation = TextOf(editPinNew2_);

  const struct {
    std::u16string_view text;
    ui::CLabelUI* label;
  } fields[] = {{current, labelOldPin_}, {next, labelNewPin_}, {confirmation, labelNewPin2_}};
  for (const auto& field : fields) {
    if (std::u16string_view refusal = PinLengthRefusal(field.text, kChangePinTooLongText);
        !refusal.empty()) {
      SetTextOf(field.label, refusal);
      return ValidationRefused;
    }
  }
  if (next != confirmation) {
    SetTextOf(labelNewPin2_, kChangePinMismatchText);
    return ValidationRefused;
  }
  if (!device_) return ValidationRefused;
  SecretBytes currentUtf8;
  if (!PinToUtf8(current, currentUtf8)) {
    SetTextOf(labelOldPin_, kPinInvalidCharacterText);
    return ValidationRefused;
  }
  SecretBytes nextUtf8;
  if (!PinToUtf8(next, nextUtf8)) {
    SetTextOf(labelNewPin_, kPinInvalidCharacterText);
    return ValidationRefused;
  }

  if (nextUtf8.size() > kNewPinBlockSize) {
    // 63 characters outside ASCII can need more than the 64 bytes a PIN block holds.
    SetTextOf(labelNewPin_, kPinTooManyBytesText);
    return ValidationRefused;
  }
  const RuledPinRequest request = RunExchange([&] {
    RuledPinRequest r;
    r.rules = ReadKeyPinRules(*device_);
    r.belowKeyMinimum = BelowKeyMinimum(r.rules, nextUtf8);
    if (r.rules.refusal == 0 && !r.belowKeyMinimum) {
      r.result = SendChangePin(*device_, *r.rules.protocol, currentUtf8, nextUtf8);
    }
    return r;
  });
  const PinRequestResult& change = request.result;
  if (!WindowAlive()) return change.requestSent ? change.code : kExchangeFailed;
  if (request.rules.refusal != 0) {
    ShowMessageBox(GetHWND(), kDialogCaption, kNoSupportedProtocolText, kMessageBoxIconError);
    return request.rules.refusal;
  }
  if (request.belowKeyMinimum) {
    SetTextOf(labelNewPin_, KeyMinimumText(request.rules.minPinLength));
    return ValidationRefused;
  }
  if (!change.requestSent && change.code == kNewPinTooLong) {
    // 63 characters outside ASCII can need more than the 64 bytes a PIN block holds.
    SetTextOf(labelNewPin_, kPinTooManyBytesText);
    return ValidationRefused;
  }
  if (!change.requestSent || IsExchangeFailure(change.code)) {
    // No verdict came back: the PIN may be right, and no count was reported.
    SetTextOf(labelOldPin_, u"");
    ShowCommunicationFailure(GetHWND());
    return change.code;
  }
  if (change.code == 0) {
    ShowMessageBox(GetHWND(), kDialogCaption, kChangePinSuccessText, kMessageBoxOk);
    // The new PIN is proved once. It is in place whatever this step answers, so
    // the dialog closes with its success result even when the step fails.
    RunExchange([&] { return ObtainPinToken(*device_, *request.rules.protocol, nextUtf8); });
    return 0;
  }
  if (change.code == kStatusPinBlocked || change.code == kStatusPinAuthBlocked) {
    SetTextOf(labelOldPin_, kDeviceLockedText);
    return change.code;
  }
  if (change.code == kStatusPinPolicyViolation) {
    SetTextOf(labelOldPin_, u"");
    ShowMessageBox(GetHWND(), kDialogCaption, kPinPolicyRefusedText, kMessageBoxIconError);
    return change.code;
  }
  if (change.code != kStatusPinInvalid) {
    // Refused for another reason: the current PIN was not judged and no attempt was used.
    SetTextOf(labelOldPin_, u"");
    ShowRequestRefused(GetHWND(), change.code);
    return change.code;
  }
  const PinRetriesAnswer left = RunExchange([&] { return AskPinRetries(*device_); });
  if (!WindowAlive()) return change.code;
  // Refused as wrong; without a count the message says only that.
  SetTextOf(labelOldPin_,
            left.read ? PinRetriesText(left.retries) : std::u16string(kPinIncorrectText));
  return change.code;
}

}  // namespace pinvale
