#include "dialogs/management_pin_wnd.h"

#include "ctap/pin_text.h"
#include "ctap/pin_token.h"
#include "dialogs/management_texts.h"
#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"
#include "dialogs/pin_outcome.h"

namespace pinvale {

CManagementPinWnd::CManagementPinWnd(std::u16string layout, CFidoToken* device, ManagementKind kind,
                                     ManagementPrecheckResult precheck)
    : CPinDialogBase(std::move(layout), device), kind_(kind), precheck_(std::move(precheck)) {}

CManagementPinWnd::~CManagementPinWnd() = default;

void CManagementPinWnd::InitWindow() {
  editPin_ = m_pm.FindControlAs<ui::CEditUI>(u"edit_pin");
  labelStatus_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_status");
  labelHint_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_hint");
  const ManagementTexts& texts = TextsFor(kind_);
  SetTextOf(m_pm.FindControl(u"label_title"), texts.title);
  SetTextOf(m_pm.FindControl(u"label_prompt"), texts.prompt);
  ShowHint();
  if (editPin_) editPin_->SetFocus();
  StartWatchdog(PinWatchdog::Delivery::kPostClose);
  RegisterForDeviceNotices();
}

// "At least 6 characters · 8 attempts left": what the key said before the entry opened,
// and after every wrong PIN.
void CManagementPinWnd::ShowHint() {
  std::u16string hint =
      FormatCount(kMinimumLengthFormat, precheck_.rules.minPinLength
                                            ? precheck_.rules.minPinLength
                                            : static_cast<std::uint32_t>(kMinPinLength));
  if (precheck_.pinRetries) {
    hint.append(u" \u00B7 ");
    hint.append(FormatCount(kAttemptsLeftFormat, *precheck_.pinRetries));
  }
  SetTextOf(labelHint_, hint);
}

LRESULT CManagementPinWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (CloseOnKeyRemoval(uMsg, wParam, lParam)) return 0;
  return CPinDialogBase::HandleMessage(uMsg, wParam, lParam);
}

LRESULT CManagementPinWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    bHandled = true;
    SubmitAndCloseOnSuccess();
    return 0;
  }
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    bHandled = true;
    Close(2);
    return 0;
  }
  return CPinDialogBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

void CManagementPinWnd::Notify(ui::TNotifyUI& msg) {
  const std::u16string name = msg.pSender ? msg.pSender->GetName() : std::u16string();
  if (msg.sType == u"click") {
    if (name == u"btn_ok") {
      SubmitAndCloseOnSuccess();
    } else if (name == u"closebtn") {
      Close(2);
      return;
    }
  } else if (msg.sType == u"textchanged" && name == u"edit_pin") {
    SetTextOf(labelStatus_, u"");
  } else if (msg.sType == u"setfocus" && name == u"edit_pin") {
    SelectAll(msg.pSender);
  }
  CPinDialogBase::Notify(msg);
}

void CManagementPinWnd::SubmitAndCloseOnSuccess() {
  if (Submit() == 0 && WindowAlive()) Close(1);
}

int CManagementPinWnd::Submit() {
  const WipingU16Text pin = TextOf(editPin_);
  if (std::u16string_view refusal = PinLengthRefusal(pin, kVerifyPinTooLongText);
      !refusal.empty()) {
    SetTextOf(labelStatus_, refusal);
    return ValidationRefused;
  }
  SecretBytes utf8;
  if (!PinToUtf8(pin, utf8)) {
    SetTextOf(labelStatus_, kPinInvalidCharacterText);
    return ValidationRefused;
  }
  if (BelowKeyMinimum(precheck_.rules, utf8.span())) {
    SetTextOf(labelStatus_, KeyMinimumText(precheck_.rules.minPinLength));
    return ValidationRefused;
  }
  if (!device_) return ValidationRefused;

  struct Opening {
    std::unique_ptr<ManagementAccess> access;
    PinRequestResult result;
    PinRetriesAnswer retries;
  };
  Opening opening = RunExchange([&] {
    Opening o;
    o.access = OpenManagementAccess(*device_, precheck_, kind_, utf8.span(), o.result);
    // A wrong PIN costs an attempt: the hint shows what is left.
    if (o.result.requestSent && o.result.code == kStatusPinInvalid)
      o.retries = AskPinRetries(*device_);
    return o;
  });
  const PinRequestResult& result = opening.result;
  if (!WindowAlive()) return result.requestSent ? result.code : kExchangeFailed;
  if (opening.access) {
    access_ = std::move(opening.access);
    return 0;
  }
  if (!result.requestSent && result.code == kNoPermissionSupported) {
    ShowMessageBox(GetHWND(), kDialogCaption, TextsFor(kind_).notOffered, kMessageBoxIconError);
    return result.code;
  }
  if (!result.requestSent || IsExchangeFailure(result.code) ||
      result.code == kPinAnswerNotUnderstood) {
    SetTextOf(labelStatus_, u"");
    ShowCommunicationFailure(GetHWND());
    return result.code;
  }
  if (result.code == kStatusPinInvalid) {
    if (opening.retries.read) {
      precheck_.pinRetries = opening.retries.retries;
      ShowHint();
      SetTextOf(labelStatus_, PinRetriesText(opening.retries.retries));
    } else {
      SetTextOf(labelStatus_, kPinIncorrectText);
    }
    if (editPin_) editPin_->SetFocus();
    return result.code;
  }
  if (result.code == kStatusPinBlocked) {
    SetTextOf(labelStatus_, kDeviceLockedText);
    ShowMessageBox(GetHWND(), kDialogCaption, kManagementPinBlockedText, kMessageBoxIconError);
    return result.code;
  }
  if (result.code == kStatusPinAuthBlocked) {
    SetTextOf(labelStatus_, kDeviceLockedText);
    ShowMessageBox(GetHWND(), kDialogCaption, kPinAuthBlockedText, kMessageBoxIconError);
    return result.code;
  }
  SetTextOf(labelStatus_, u"");
  ShowRequestRefused(GetHWND(), result.code);
  return result.code;
}

}  // namespace pinvale
