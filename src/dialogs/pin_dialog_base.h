#pragma once

// What the set-PIN, change-PIN and verify-PIN dialogs have in common: the window
// hooks (class "DUIMainFrame", no skin folder, the layout named at construction),
// the device pointer, the watchdog's life, the device-notice registration, and
// the rules for Escape and for closing.

#include <chrono>
#include <functional>
#include <string>

#include "dialogs/device_notification.h"
#include "dialogs/pin_watchdog.h"
#include "secret/wiping_text.h"
#include "transport/fido_token.h"
#include "ui/off_ui_thread.h"
#include "ui/ui.h"

namespace pinvale {

class CPinDialogBase : public ui::WindowImplBase {
 public:
  CPinDialogBase(std::u16string layout, CFidoToken* device);
  // Ends the window first if it is still there, so the watchdog is joined only
  // once nothing can wait for the window any more.
  ~CPinDialogBase() override;

  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return u""; }
  std::u16string GetSkinFile() override { return layout_; }

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;

  // Tests shorten the watchdog's period; set before Create.
  void SetWatchdogPeriod(std::chrono::milliseconds period) { watchdogPeriod_ = period; }
  const PinWatchdog& Watchdog() const { return watchdog_; }
  // The control whose text says "Please wait..." while the key is slow ("btn_ok").
  void SetBusyCueControl(std::u16string name) { busyCueControl_ = std::move(name); }

 protected:
  void StartWatchdog(PinWatchdog::Delivery delivery);
  void RegisterForDeviceNotices() { notices_.Register(GetHWND()); }
  // The removal of one of the maker's keys sends the window its close at once
  // (modal result 0). Returns true when the window has gone.
  bool CloseOnKeyRemoval(UINT uMsg, WPARAM wParam, LPARAM lParam);
  // A nested modal loop (a message box) may have seen the dialog closed under it.
  bool WindowAlive() const { return GetHWND() != nullptr && ::IsWindow(GetHWND()); }
  // The text of a control, or empty when it is missing. The PIN edits hold secrets, so the
  // copy is one that is wiped when it goes.
  static WipingU16Text TextOf(const ui::CControlUI* control);
  static void SetTextOf(ui::CControlUI* control, std::u16string_view text);
  // "setfocus" from an edit: select its whole text.
  static void SelectAll(ui::CControlUI* control);

  // Runs one exchange with the key off the UI thread and returns what it returned: the
  // dialog keeps painting and answering meanwhile, takes no input (so OK cannot be
  // pressed twice), and its OK button says "Please wait..." once the key is slow to
  // answer. The dialog may have been closed meanwhile: check WindowAlive() afterwards.
  // With ui::OffUiInput::kLive the dialog keeps taking input (a Cancel while the key waits
  // for a finger) and disables itself what must not be pressed meanwhile.
  template <typename Exchange>
  auto RunExchange(Exchange exchange, ui::OffUiInput input = ui::OffUiInput::kBlocked)
      -> decltype(exchange()) {
    decltype(exchange()) result{};
    RunExchangeWork([&] { result = exchange(); }, input);
    return result;
  }

  CFidoToken* device_;

 private:
  void RunExchangeWork(std::function<void()> work, ui::OffUiInput input);
  void ShowBusyCue(bool busy);

  std::u16string layout_;
  std::u16string busyCueControl_ = u"btn_ok";
  std::u16string okText_;  // the cue control's own text while it shows the busy cue
  std::chrono::milliseconds watchdogPeriod_;
  PinWatchdog watchdog_;
  DeviceNotificationRegistration notices_;
};

}  // namespace pinvale
