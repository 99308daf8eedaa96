#include "dialogs/pin_watchdog.h"

#include "ui/window_messages.h"

namespace pinvale {

PinWatchdog::~PinWatchdog() {
  RequestStop();
  Join();
}

void PinWatchdog::Start(HWND window, std::chrono::milliseconds period, Delivery delivery) {
  if (thread_.joinable()) return;
  liveThreads_.fetch_add(1);
  thread_ = std::thread([this, window, period, delivery] {
    Run(window, period, delivery);
    liveThreads_.fetch_sub(1);
  });
}

void PinWatchdog::RequestStop() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
}

void PinWatchdog::Join() {
  if (thread_.joinable()) thread_.join();
}

bool PinWatchdog::JoinUnlessSending() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (sending_) return false;
  }
  Join();
  return true;
}

void PinWatchdog::Run(HWND window, std::chrono::milliseconds period, Delivery delivery) {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    if (wake_.wait_for(hold, period, [this] { return stop_; })) return;
    if (!deviceAbsent_.load()) continue;
    threadResult_ = kDeviceGone;
    if (delivery == Delivery::kPostClose) {
      // Posted under the lock, so RequestStop cannot return while a post is under way.
      ::PostMessage(window, WM_CLOSE, 0, 0);
      return;
    }
    // A send blocks until the UI thread has handled it, and the UI thread may be
    // asking us to stop meanwhile: send without the lock.
    sending_ = true;
    hold.unlock();
    ::SendMessage(window, WM_CLOSE, 0, 0);
    return;
  }
}

}  // namespace pinvale
