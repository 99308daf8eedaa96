#include "dialogs/management_wnd_base.h"

#include "ctap/management_request.h"

namespace pinvale {
namespace {
// Posted to the window from InitWindow: handled once the first frame is on the screen.
constexpr UINT kWindowShown = WM_USER + 0x160;
}  // namespace

CManagementWndBase::CManagementWndBase(std::u16string layout, CFidoToken* device,
                                       std::unique_ptr<ManagementAccess> access)
    : CPinDialogBase(std::move(layout), device), access_(std::move(access)) {
  SetBusyCueControl(u"label_busy");
}

CManagementWndBase::~CManagementWndBase() {
  if (access_) access_->session.Close();
}

void CManagementWndBase::InitWindow() {
  StartWatchdog(PinWatchdog::Delivery::kPostClose);
  RegisterForDeviceNotices();
  PostMessage(kWindowShown);
}

LRESULT CManagementWndBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (CloseOnKeyRemoval(uMsg, wParam, lParam)) return 0;
  if (uMsg == kWindowShown) {
    OnWindowShown();
    return 0;
  }
  return CPinDialogBase::HandleMessage(uMsg, wParam, lParam);
}

LRESULT CManagementWndBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam,
                                           bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    bHandled = OnEnterKey();
    if (bHandled) return 0;
  }
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    bHandled = true;
    OnEscapeKey();
    return 0;
  }
  return CPinDialogBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

bool CManagementWndBase::OnEscapeKey() {
  Close(1);
  return true;
}

void CManagementWndBase::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == u"click" && msg.pSender && msg.pSender->GetName() == u"closebtn") {
    Close(1);
    return;
  }
  CPinDialogBase::Notify(msg);
}

int CManagementWndBase::RunSessionCommand(const ManagementSession::Command& command,
                                          ui::OffUiInput input) {
  if (!access_) return kManagementRequestUnbuildable;
  return RunExchange([&] { return access_->session.Run(command); }, input);
}

}  // namespace pinvale
