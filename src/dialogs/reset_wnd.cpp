#include "dialogs/reset_wnd.h"

#include "dialogs/device_absent.h"
#include "dialogs/pin_dialog_texts.h"

namespace pinvale {

// The worker reaches the window only through posted messages.
class CResetWnd::WindowPoster : public ResetMessagePoster {
 public:
  explicit WindowPoster(HWND window) : window_(window) {}
  void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
    ::PostMessage(window_, message, wParam, lParam);
  }

 private:
  HWND window_;
};

CResetWnd::CResetWnd(std::u16string layout, CFidoToken* device)
    : device_(device), layout_(std::move(layout)) {}

CResetWnd::~CResetWnd() {
  if (GetHWND() != nullptr && ::IsWindow(GetHWND())) {
    workerClosed_ = true;  // the owner is going away: let the window end
    ::DestroyWindow(GetHWND());
  }
  StopWorker();
}

void CResetWnd::InitWindow() {
  imageShow_ = m_pm.FindControlAs<ui::CTextUI>(u"image_show");
  txtShow_ = m_pm.FindControlAs<ui::CLabelUI>(u"txt_show");
  if (!device_) {
    // Nothing to reset with: report a failed exchange and let the window close.
    ::PostMessage(GetHWND(), WM_RESET_RESULT, kExchangeFailed, 0);
    ::PostMessage(GetHWND(), WM_RESET_CLOSE, kResetCloseAfterResult, 0);
    return;
  }
  poster_ = std::make_unique<WindowPoster>(GetHWND());
  worker_ = std::make_unique<ResetWorker>(*device_, *poster_, DeviceAbsent, ResetWorker::Sleeper{},
                                          resultPause_);
  worker_->Start();
}

void CResetWnd::ShowOutcome(std::uint16_t status) {
  if (status == 0) {
    if (txtShow_) txtShow_->SetText(kResetPassText);
    if (imageShow_) imageShow_->SetBkImage(kResetPassImage);
    return;
  }
  if (txtShow_) txtShow_->SetText(kResetFailedText);
  if (imageShow_) imageShow_->SetBkImage(kResetFailImage);
}

LRESULT CResetWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_RESET_RESULT:
      resetOutcome_ = static_cast<int>(static_cast<std::uint16_t>(wParam));
      ShowOutcome(static_cast<std::uint16_t>(wParam));
      break;
    case WM_RESET_CLOSE:
      // The worker's word ends the dialog, whatever wParam says.
      workerClosed_ = true;
      Close(2);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE && !workerClosed_) return 0;
      break;
    case WM_CLOSE:
      // While the key waits for its touch, the reset cannot be abandoned.
      if (!workerClosed_) return 0;
      break;
    case WM_DESTROY:
      // No message reaches this window any more; the worker may still be finishing.
      if (worker_) worker_->DetachPoster();
      break;
    default:
      break;
  }
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

LRESULT CResetWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
    bHandled = true;
    return 0;
  }
  return WindowImplBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

void CResetWnd::Notify(ui::TNotifyUI& msg) {
  WindowImplBase::Notify(msg);
}

void CResetWnd::OnFinalMessage(HWND hWnd) {
  StopWorker();
  WindowImplBase::OnFinalMessage(hWnd);
}

void CResetWnd::StopWorker() {
  if (!worker_) return;
  worker_->DetachPoster();
  // After the worker's own close this returns at once: posting the close was its
  // last step.
  worker_->Join();
}

}  // namespace pinvale
