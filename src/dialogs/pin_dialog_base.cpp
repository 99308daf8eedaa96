#include "dialogs/pin_dialog_base.h"

#include "dialogs/pin_dialog_texts.h"
#include "ui/off_ui_thread.h"

namespace pinvale {

CPinDialogBase::CPinDialogBase(std::u16string layout, CFidoToken* device)
    : device_(device), layout_(std::move(layout)), watchdogPeriod_(PinWatchdog::kPinDialogPeriod) {}

CPinDialogBase::~CPinDialogBase() {
  if (WindowAlive()) ::DestroyWindow(GetHWND());
  watchdog_.RequestStop();
  watchdog_.Join();
}

void CPinDialogBase::StartWatchdog(PinWatchdog::Delivery delivery) {
  watchdog_.Start(GetHWND(), watchdogPeriod_, delivery);
}

LRESULT CPinDialogBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_DESTROY) {
    // From here on the watchdog closes nothing; it is joined in OnFinalMessage,
    // when the window has left the message hub.
    watchdog_.RequestStop();
    notices_.Unregister();
  }
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void CPinDialogBase::OnFinalMessage(HWND hWnd) {
  watchdog_.RequestStop();
  // When the window is closing under the watchdog's own sent close, the
  // destructor joins it once that send has returned.
  watchdog_.JoinUnlessSending();
  WindowImplBase::OnFinalMessage(hWnd);
}

bool CPinDialogBase::CloseOnKeyRemoval(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg != WM_DEVICECHANGE || !IsMakerKeyRemoval(wParam, lParam)) return false;
  ::SendMessage(GetHWND(), WM_CLOSE, 0, 0);
  return !WindowAlive();
}

WipingU16Text CPinDialogBase::TextOf(const ui::CControlUI* control) {
  if (const auto* edit = dynamic_cast<const ui::CEditUI*>(control)) return edit->GetSecretText();
  return control ? WipingU16Text(control->GetText()) : WipingU16Text();
}

void CPinDialogBase::SetTextOf(ui::CControlUI* control, std::u16string_view text) {
  if (control) control->SetText(text);
}

void CPinDialogBase::SelectAll(ui::CControlUI* control) {
  if (auto* edit = dynamic_cast<ui::CEditUI*>(control)) {
    edit->SetSel(0, edit->GetTextLength());
  }
}

void CPinDialogBase::RunExchangeWork(std::function<void()> work, ui::OffUiInput input) {
  ui::RunOffUiThread(
      GetHWND(), std::move(work), [this](bool busy) { ShowBusyCue(busy); }, ui::kBusyCueDelay,
      input);
}

void CPinDialogBase::ShowBusyCue(bool busy) {
  ui::CControlUI* ok = m_pm.FindControl(busyCueControl_);
  if (!ok) return;
  if (busy) {
    okText_ = ok->GetText();
    ok->SetText(kBusyText);
  } else {
    ok->SetText(okText_);
  }
}

}  // namespace pinvale
