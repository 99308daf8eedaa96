#include "app/main_wnd.h"

#include <thread>

#include "app/app_texts.h"
#include "app/device_path_match.h"
#include "dialogs/device_absent.h"
#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "platform/build_branch.h"
#include "platform/debug_log.h"
#include "platform/device_access_help.h"
#include "platform/device_notices.h"
#include "platform/elevation.h"
#include "transport/maker_ids.h"
#include "ui/off_ui_thread.h"

namespace pinvale {
namespace {

// Posted to the window itself: once the first frame is shown, and when the first
// connection's worker has finished (wParam 1 when a key was selected).
constexpr UINT kStartFirstConnection = WM_USER + 0x140;
constexpr UINT kFirstConnectionDone = WM_USER + 0x141;

// The window's timers: the wait before connecting again after a device notice, and the
// busy cue of the first connection.
constexpr std::uintptr_t kConnectionTimer = 0x5056;
constexpr std::uintptr_t kFirstConnectionCueTimer = 0x5057;
// While another exchange runs, a due connection is tried again this often.
constexpr UINT kConnectionRetryMs = 100;

}  // namespace

CMainWnd::CMainWnd(std::shared_ptr<HidPlatform> platform) : token_(std::move(platform)) {}

CMainWnd::~CMainWnd() {
  // A window closed during its first connection waits for the worker, which uses token_.
  if (firstConnectionWorker_.joinable()) firstConnectionWorker_.join();
}

void CMainWnd::SetDeviceChangeWaits(std::chrono::milliseconds arrival,
                                    std::chrono::milliseconds removal) {
  arrivalWait_ = arrival;
  removalWait_ = removal;
}

void CMainWnd::InitWindow() {
  btnVerify_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_Verify");
  btnEnroll_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_Enroll");
  btnFormat_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_Format");
  btnChangePin_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_change_pin");
  btnHelp_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_help");
  btnFingerprints_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_fingerprints");
  btnPasskeys_ = m_pm.FindControlAs<ui::CButtonUI>(u"btn_passkeys");
  contentRow_ = m_pm.FindControl(u"content_row");
  logoRow_ = m_pm.FindControl(u"logo_row");
  labelStatus_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_status");
  labelIconKeyStatus_ = m_pm.FindControlAs<ui::CLabelUI>(u"label_icon_key_status");
  labelHelp_ = m_pm.FindControlAs<ui::CTextUI>(u"label_help");
  switch_ = m_pm.FindControlAs<ui::CTabLayoutUI>(u"switch");
  switchFp_ = m_pm.FindControl(u"switch_fp");
  // Device notices reach this window as WM_DEVICECHANGE; on Linux start-up points
  // the watcher thread at this window's handle.
}

std::uint16_t CMainWnd::GetInfo(TokenInfo& info) {
  return ::pinvale::GetInfo(token_, info);
}

void CMainWnd::ConnectToken() {
  KeyState state;
  RunExchange([&] { state = FindKey(); });
  if (!::IsWindow(GetHWND())) return;
  ShowConnectionOutcome(state);
}

CMainWnd::KeyState CMainWnd::FindKey() {
  if (!SelectMakerKey()) return KeyState{};
  return AskKeyState();
}

CMainWnd::KeyState CMainWnd::AskKeyState() {
  KeyState state;
  state.selected = true;
  const auto started = std::chrono::steady_clock::now();
  std::uint16_t status = GetInfo(state.info);
  // A key that stayed silent for the whole limit is not asked again: that would only
  // double the wait before the window can say so.
  const bool silent = status == kExchangeFailed &&
                      std::chrono::steady_clock::now() - started >=
                          std::chrono::milliseconds(token_.DeviceList().SilenceLimitMs());
  if (!state.info.pinSet && !state.info.uvSet && !silent) {
    // A key that has only just been opened may not have answered the first time.
    const std::uint16_t first = status;
    state.info = {};
    status = GetInfo(state.info);
    if (status == kExchangeFailed) status = first;
  }
  state.answered = status != kExchangeFailed;
  if (status != 0) DebugLog("GetInfo ERR: 0x%04X", status);
  return state;
}

void CMainWnd::RunExchange(std::function<void()> work) {
  ui::RunOffUiThread(GetHWND(), std::move(work), [this](bool busy) { ShowBusyCue(busy); });
}

void CMainWnd::ShowBusyCue(bool busy) {
  DebugLog("Busy cue %s", busy ? "shown" : "gone");
  if (!labelStatus_) return;
  if (busy) {
    statusBeforeCue_ = labelStatus_->GetText();
    labelStatus_->SetText(kBusyText);
  } else {
    labelStatus_->SetText(statusBeforeCue_);
  }
}

bool CMainWnd::SelectMakerKey() {
  token_.SetTransport(kTransportUsbHid);
  token_.EnumerateDevices();
  for (std::uint16_t productId : kMakerProductIds) {
    if (token_.SelectDevice(kMakerVendorId, productId)) return true;
  }
  return false;
}

void CMainWnd::ShowConnectionOutcome(const KeyState& state) {
  if (state.selected) {
    DeviceAbsent = false;
    ShowKeyState(state);
    return;
  }
  DeviceAbsent = true;
  if (HidAccessFailureFlag()) WarnAboutAccess();
  ShowDeviceState(false);
  ClearHidAccessFailureFlag();
}

// Neither state: what is known before the first connection attempt has ended.
void CMainWnd::ShowConnecting() {
  for (ui::CButtonUI* button : {btnEnroll_, btnVerify_, btnFormat_, btnChangePin_}) {
    if (button) button->SetEnabled(false);
  }
  if (switch_) switch_->SelectItem(1);
  ShowContentActions(nullptr);
  if (labelStatus_) labelStatus_->SetText(u"");
  if (labelIconKeyStatus_) {
    labelIconKeyStatus_->SetToolTip(u"");
    labelIconKeyStatus_->SetBkImage(u"");
  }
}

void CMainWnd::StartFirstConnection() {
  if (afterFirstFrame_) afterFirstFrame_();
  HWND hwnd = GetHWND();
  ::SetTimer(hwnd, kFirstConnectionCueTimer, static_cast<UINT>(ui::kBusyCueDelay.count()), nullptr);
  firstConnectionWorker_ = std::thread([this, hwnd] {
    firstConnection_ = FindKey();
    // Dropped when the window has gone meanwhile; the destructor joins this thread.
    ::PostMessage(hwnd, kFirstConnectionDone, 0, 0);
  });
}

void CMainWnd::EndFirstConnection() {
  if (firstConnectionWorker_.joinable()) firstConnectionWorker_.join();
  ::KillTimer(GetHWND(), kFirstConnectionCueTimer);
  firstConnectionPending_ = false;
  ShowConnectionOutcome(firstConnection_);
  if (connectAgain_) {
    // A key came or went while the first attempt ran.
    connectAgain_ = false;
    ConnectToken();
  }
  if (ResetOnStart.exchange(false)) RunResetAction();
}

// A key of the maker is there but could not be opened.
void CMainWnd::WarnAboutAccess() {
  std::optional<std::u16string> branch = ReadBuildBranch();
  if (branch) {
    // Pre-release Windows builds let only administrators open security keys.
    if (*branch == kPrereleaseBuildBranch) {
      ShowMessageBox(GetHWND(), kWarningCaption, kAdministratorWarningText, 0x31);
      return;
    }
    if (ElevationMightHelp()) OfferStartAsAdministrator();
    return;
  }
  std::u16string_view help = DeviceAccessHelpText();
  // Advice, not a question: OK alone, with the warning icon.
  if (!help.empty()) {
    ShowMessageBox(GetHWND(), kWarningCaption, help, kMessageBoxOk | kMessageBoxIconWarning);
  }
}

void CMainWnd::OfferStartAsAdministrator() {
  if (elevationOffered_) return;  // once a run: a "no" stands
  elevationOffered_ = true;
  if (ShowMessageBox(GetHWND(), kWarningCaption, kStartAsAdministratorText,
                     kMessageBoxOkCancel | kMessageBoxIconWarning) != kMessageBoxResultOk) {
    return;
  }
  const std::string_view argument = kAfterElevationArgument;
  // The new copy takes over; this one ends so that it can claim the single instance.
  if (StartElevated(u"", std::u16string(argument.begin(), argument.end()))) Close(0);
}

void CMainWnd::EnableForPinState(bool pinSet) {
  if (btnChangePin_) btnChangePin_->SetEnabled(pinSet);
  if (btnVerify_) btnVerify_->SetEnabled(pinSet);
  if (btnEnroll_) btnEnroll_->SetEnabled(!pinSet);
}

void CMainWnd::ShowDeviceState(bool present) {
  if (present) {
    KeyState state;
    RunExchange([&] { state = AskKeyState(); });
    if (::IsWindow(GetHWND())) ShowKeyState(state);
    return;
  }
  DebugLog("ShowDeviceState absent");
  CloseCurrentMessageBox();
  for (ui::CButtonUI* button : {btnEnroll_, btnVerify_, btnFormat_, btnChangePin_}) {
    if (button) button->SetEnabled(false);
  }
  if (switch_) switch_->SelectItem(0);
  ShowContentActions(nullptr);
  if (labelStatus_) labelStatus_->SetText(u"Device NOT Inserted");
  if (labelIconKeyStatus_) {
    labelIconKeyStatus_->SetToolTip(u"Device NOT Insert");
    labelIconKeyStatus_->SetBkImage(u"Tactova-FIDO-UI-Elements-15.png");
  }
}

void CMainWnd::ShowKeyState(const KeyState& state) {
  DebugLog("ShowDeviceState %s", state.answered ? "present" : "silent");
  if (switch_) switch_->SelectItem(1);
  if (labelIconKeyStatus_) {
    labelIconKeyStatus_->SetToolTip(u"Device Inserted");
    labelIconKeyStatus_->SetBkImage(u"Tactova-FIDO-UI-Elements-14.png");
  }
  if (!state.answered) {
    // Plugged in but silent: every action needs an answer, so none is offered.
    if (labelStatus_) labelStatus_->SetText(kKeySilentText);
    ShowContentActions(nullptr);
    for (ui::CButtonUI* button : {btnEnroll_, btnVerify_, btnFormat_, btnChangePin_}) {
      if (button) button->SetEnabled(false);
    }
    return;
  }
  if (btnFormat_) btnFormat_->SetEnabled(true);
  ShowContentActions(&state.info);
  if (state.info.pinSet && state.info.forcePinChange) {
    // The key takes its PIN only to change it: Change PIN is the way on, and no PIN
    // goes to Verify PIN (some such keys answer the right one as wrong).
    if (labelStatus_) labelStatus_->SetText(kPinChangeWantedText);
    EnableForPinState(true);
    if (btnVerify_) btnVerify_->SetEnabled(false);
    return;
  }
  if (labelStatus_) labelStatus_->SetText(u"Device Inserted");
  EnableForPinState(state.info.pinSet);
}

void CMainWnd::ScheduleConnection(std::chrono::milliseconds wait) {
  connectionScheduled_ = true;
  ::SetTimer(GetHWND(), kConnectionTimer, static_cast<UINT>(wait.count()), nullptr);
}

void CMainWnd::OnConnectionTimer() {
  ::KillTimer(GetHWND(), kConnectionTimer);
  if (ui::OffUiThreadWorkPending()) {
    // Exchanges never overlap: connect once the one under way has ended. A key that
    // went meanwhile is found gone then (its dialog has closed on the notice).
    ::SetTimer(GetHWND(), kConnectionTimer, kConnectionRetryMs, nullptr);
    return;
  }
  connectionScheduled_ = false;
  if (firstConnectionPending_) {
    removalSeen_ = false;
    // The first attempt may have opened a key that has gone since: it is made again.
    connectAgain_ = true;
    return;
  }
  if (resetRunning_) {
    // Nothing is enumerated beside the reset request; a pulled-out key is shown at
    // once, since the reset dialog watches for it.
    reconnectAfterReset_ = true;
    if (removalSeen_) {
      removalSeen_ = false;
      DeviceAbsent = true;
      ShowDeviceState(false);
    }
    return;
  }
  // After a removal as after an arrival: another of the maker's keys may still be there.
  removalSeen_ = false;
  ConnectToken();
}

void CMainWnd::OnDeviceChange(WPARAM event, LPARAM notice) {
  if (event != kDeviceArrival && event != kDeviceRemoveComplete) return;
  const auto* change = reinterpret_cast<const DeviceChangeNotice*>(notice);
  if (!change || change->deviceType != kDeviceTypeInterface) return;
  if (!PathNamesMakerProduct(change->devicePath)) return;

  if (event == kDeviceRemoveComplete) removalSeen_ = true;
  ScheduleConnection(event == kDeviceArrival ? arrivalWait_ : removalWait_);
}

LRESULT CMainWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  // Enter and Escape must not close the main window.
  if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
    bHandled = true;
    return 0;
  }
  return WindowImplBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

LRESULT CMainWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_DEVICECHANGE) OnDeviceChange(wParam, lParam);
  if (uMsg == kStartFirstConnection) {
    StartFirstConnection();
    return 0;
  }
  if (uMsg == kFirstConnectionDone) {
    EndFirstConnection();
    return 0;
  }
  if (uMsg == WM_TIMER && wParam == kConnectionTimer) {
    OnConnectionTimer();
    return 0;
  }
  if (uMsg == WM_TIMER && wParam == kFirstConnectionCueTimer) {
    ::KillTimer(GetHWND(), kFirstConnectionCueTimer);
    if (firstConnectionPending_ && labelStatus_) labelStatus_->SetText(kBusyText);
    return 0;
  }
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void CMainWnd::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == u"windowinit") {
    // Sent during the first layout, before the first frame is drawn: the message
    // posted here is handled once that frame is on the screen.
    ShowConnecting();
    PostMessage(kStartFirstConnection);
  } else if (msg.sType == u"click" && msg.pSender) {
    const std::u16string& name = msg.pSender->GetName();
    if (name == u"btn_Verify") {
      OnVerifyClicked();
    } else if (name == u"btn_Enroll") {
      OnSetPinClicked();
    } else if (name == u"btn_change_pin") {
      OnChangePinClicked();
    } else if (name == u"btn_Format") {
      RunResetAction();
    } else if (name == u"btn_fingerprints") {
      OnManagementClicked(ManagementKind::kFingerprints);
    } else if (name == u"btn_passkeys") {
      OnManagementClicked(ManagementKind::kPasskeys);
    } else if (name == u"btn_help") {
      ShowMessageBox(GetHWND(), kProgramCaption, kHelpText, 0);
    } else if (name == u"btn_about") {
      ShowMessageBox(GetHWND(), kAboutCaption, kAboutText, 0);
    }
  }
  WindowImplBase::Notify(msg);
}

void CMainWnd::OnVerifyClicked() {
  OpenVerifyPinDialog();
}

bool CMainWnd::OnSetPinClicked() {
  TokenInfo info{};
  std::uint16_t result = 0;
  RunExchange([&] { result = GetInfo(info); });
  if (result != 0) DebugLog("GetInfo ERR: 0x%04X", result);
  // A key with user verification configured gets its PIN elsewhere.
  if (info.pinSet || info.uvSet || !::IsWindow(GetHWND())) return false;
  if (OpenSetPinDialog() != 1 || !::IsWindow(GetHWND())) return false;
  info = {};
  RunExchange([&] { GetInfo(info); });
  if (info.pinSet && ::IsWindow(GetHWND())) EnableForPinState(true);
  return info.pinSet != 0;
}

bool CMainWnd::OnChangePinClicked() {
  TokenInfo info{};
  RunExchange([&] { GetInfo(info); });
  if (!info.pinSet || !::IsWindow(GetHWND())) return false;
  const bool changed = OpenChangePinDialog() == 1;
  // A change also ends the key's wish for a new PIN: the status row follows it.
  if (changed && info.forcePinChange && ::IsWindow(GetHWND())) ShowDeviceState(true);
  return changed;
}

void CMainWnd::RunResetAction() {
  TokenInfo info{};
  // The answer is not needed; the key is woken before the warning.
  RunExchange([&] { GetInfo(info); });
  if (!::IsWindow(GetHWND())) return;
  if (ShowMessageBox(GetHWND(), kWarningCaption, kResetWarningText, 0x31) != 1) return;
  if (DeviceAbsent) {
    // Only "-E" reaches here without a key (the button is disabled then); a reset
    // dialog would only flash and close, telling the user nothing.
    ShowMessageBox(GetHWND(), kProgramCaption, kNoDeviceForResetText, kMessageBoxIconError);
    return;
  }

  resetRunning_ = true;
  std::optional<std::uint16_t> outcome = OpenResetDialog();
  resetRunning_ = false;
  if (reconnectAfterReset_) {
    reconnectAfterReset_ = false;
    ConnectToken();
  }
  if (!outcome || *outcome != 0 || !::IsWindow(GetHWND())) return;
  ShowDeviceState(true);
}

int CMainWnd::RunModalDialog(ui::WindowImplBase& dialog) {
  if (!dialog.Create(GetHWND(), kProgramCaption, UI_WNDSTYLE_FRAME, 0)) return 0;
  dialog.CenterWindow();
  return static_cast<int>(dialog.ShowModal());
}

}  // namespace pinvale
