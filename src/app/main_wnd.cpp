#include "app/main_wnd.h"

#include <thread>

#include "app/app_texts.h"
#include "app/device_path_match.h"
#include "dialogs/device_absent.h"
#include "dialogs/message_box.h"
#include "platform/build_branch.h"
#include "platform/debug_log.h"
#include "platform/device_access_help.h"
#include "platform/device_notices.h"
#include "transport/maker_ids.h"

namespace pinvale {
namespace {

// Posted to the window itself: once the first frame is shown, and when the first
// connection's worker has finished (wParam 1 when a key was selected).
constexpr UINT kStartFirstConnection = WM_USER + 0x140;
constexpr UINT kFirstConnectionDone = WM_USER + 0x141;

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
  ShowConnectionOutcome(SelectMakerKey());
}

bool CMainWnd::SelectMakerKey() {
  token_.SetTransport(kTransportUsbHid);
  token_.EnumerateDevices();
  for (std::uint16_t productId : kMakerProductIds) {
    if (token_.SelectDevice(kMakerVendorId, productId)) return true;
  }
  return false;
}

void CMainWnd::ShowConnectionOutcome(bool selected) {
  if (selected) {
    DeviceAbsent = false;
    ShowDeviceState(true);
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
  if (labelStatus_) labelStatus_->SetText(u"");
  if (labelIconKeyStatus_) {
    labelIconKeyStatus_->SetToolTip(u"");
    labelIconKeyStatus_->SetBkImage(u"");
  }
}

void CMainWnd::StartFirstConnection() {
  if (afterFirstFrame_) afterFirstFrame_();
  HWND hwnd = GetHWND();
  firstConnectionWorker_ = std::thread([this, hwnd] {
    const bool selected = SelectMakerKey();
    // Dropped when the window has gone meanwhile; the destructor joins this thread.
    ::PostMessage(hwnd, kFirstConnectionDone, selected ? 1 : 0, 0);
  });
}

void CMainWnd::EndFirstConnection(bool selected) {
  if (firstConnectionWorker_.joinable()) firstConnectionWorker_.join();
  firstConnectionPending_ = false;
  ShowConnectionOutcome(selected);
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
    }
    return;
  }
  std::u16string_view help = DeviceAccessHelpText();
  // Advice, not a question: OK alone, with the warning icon.
  if (!help.empty()) {
    ShowMessageBox(GetHWND(), kWarningCaption, help, kMessageBoxOk | kMessageBoxIconWarning);
  }
}

void CMainWnd::EnableForPinState(bool pinSet) {
  if (btnChangePin_) btnChangePin_->SetEnabled(pinSet);
  if (btnVerify_) btnVerify_->SetEnabled(pinSet);
  if (btnEnroll_) btnEnroll_->SetEnabled(!pinSet);
}

void CMainWnd::ShowDeviceState(bool present) {
  DebugLog("ShowDeviceState %s", present ? "present" : "absent");
  if (present) {
    if (switch_) switch_->SelectItem(1);
    if (labelIconKeyStatus_) {
      labelIconKeyStatus_->SetToolTip(u"Device Inserted");
      labelIconKeyStatus_->SetBkImage(u"Tactova-FIDO-UI-Elements-14.png");
    }
    if (labelStatus_) labelStatus_->SetText(u"Device Inserted");
    if (btnFormat_) btnFormat_->SetEnabled(true);
    TokenInfo info{};
    GetInfo(info);
    EnableForPinState(info.pinSet);
    if (!info.pinSet && !info.uvSet) {
      // A key that has only just been opened may not have answered the first time.
      info = {};
      GetInfo(info);
      EnableForPinState(info.pinSet);
    }
    return;
  }
  CloseCurrentMessageBox();
  for (ui::CButtonUI* button : {btnEnroll_, btnVerify_, btnFormat_, btnChangePin_}) {
    if (button) button->SetEnabled(false);
  }
  if (switch_) switch_->SelectItem(0);
  if (labelStatus_) labelStatus_->SetText(u"Device NOT Inserted");
  if (labelIconKeyStatus_) {
    labelIconKeyStatus_->SetToolTip(u"Device NOT Insert");
    labelIconKeyStatus_->SetBkImage(u"Tactova-FIDO-UI-Elements-15.png");
  }
}

void CMainWnd::OnDeviceChange(WPARAM event, LPARAM notice) {
  if (event != kDeviceArrival && event != kDeviceRemoveComplete) return;
  const auto* change = reinterpret_cast<const DeviceChangeNotice*>(notice);
  if (!change || change->deviceType != kDeviceTypeInterface) return;
  if (!PathNamesMakerProduct(change->devicePath)) return;

  if (event == kDeviceArrival) {
    std::this_thread::sleep_for(arrivalWait_);
    if (firstConnectionPending_) {
      connectAgain_ = true;
      return;
    }
    if (resetRunning_) {
      reconnectAfterReset_ = true;
      return;
    }
    ConnectToken();
    return;
  }
  std::this_thread::sleep_for(removalWait_);
  if (firstConnectionPending_) {
    // The first attempt may have opened the key just removed: it is made again.
    connectAgain_ = true;
    return;
  }
  DeviceAbsent = true;
  ShowDeviceState(false);
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
    EndFirstConnection(wParam != 0);
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

void CMainWnd::OnSetPinClicked() {
  TokenInfo info{};
  std::uint16_t result = GetInfo(info);
  if (result != 0) DebugLog("GetInfo ERR: 0x%04X", result);
  // A key with user verification configured gets its PIN elsewhere.
  if (info.pinSet || info.uvSet) return;
  if (OpenSetPinDialog() != 1) return;
  info = {};
  GetInfo(info);
  if (info.pinSet) EnableForPinState(true);
}

void CMainWnd::OnChangePinClicked() {
  TokenInfo info{};
  GetInfo(info);
  if (info.pinSet) OpenChangePinDialog();
}

void CMainWnd::RunResetAction() {
  TokenInfo info{};
  GetInfo(info);  // the answer is not needed; the key is woken before the warning
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
  if (!outcome || *outcome != 0) return;
  info = {};
  std::uint16_t result = GetInfo(info);
  if (result != 0) DebugLog("GetInfo ERR: 0x%04X", result);
  ShowDeviceState(true);
}

int CMainWnd::RunModalDialog(ui::WindowImplBase& dialog) {
  if (!dialog.Create(GetHWND(), kProgramCaption, UI_WNDSTYLE_FRAME, 0)) return 0;
  dialog.CenterWindow();
  return static_cast<int>(dialog.ShowModal());
}

}  // namespace pinvale
