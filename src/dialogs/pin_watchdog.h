#pragma once

// The PIN dialogs' watchdog: a thread that looks at DeviceAbsent every period and,
// once the key has gone, closes its dialog with WM_CLOSE (wParam 0) and ends.
// The set-PIN and change-PIN dialogs post the close; the verify-PIN dialog sends it.
//
// A dialog stops its watchdog when its window is destroyed and joins it once the
// window is gone from the message hub (OnFinalMessage), so the thread never posts
// or sends to a window that has gone. A send still waiting for the window was
// released with 0 when the window was unregistered, and a send started afterwards
// returns 0 at once. One case is left: the window may be closing because the UI
// thread is handling the watchdog's own sent WM_CLOSE, and that send ends only
// when the handling returns. Joining there would wait for ourselves, so a watchdog
// that has begun its send is joined by the dialog's destructor instead, after the
// modal loop has returned.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "dialogs/device_absent.h"
#include "ui/win_types.h"

namespace pinvale {

class PinWatchdog {
 public:
  enum class Delivery { kPostClose, kSendClose };

  static constexpr std::chrono::milliseconds kPinDialogPeriod{100};
  static constexpr std::chrono::milliseconds kVerifyDialogPeriod{500};

  // Thread results.
  static constexpr std::uint32_t kStopped = 0;
  static constexpr std::uint32_t kDeviceGone = 1001;

  explicit PinWatchdog(const std::atomic<bool>& deviceAbsent = DeviceAbsent)
      : deviceAbsent_(deviceAbsent) {}
  // Stops and joins; the owner makes sure its window is gone first.
  ~PinWatchdog();
  PinWatchdog(const PinWatchdog&) = delete;
  PinWatchdog& operator=(const PinWatchdog&) = delete;

  // Starts watching for `window`. Once only.
  void Start(HWND window, std::chrono::milliseconds period, Delivery delivery);
  // After this returns no close is posted any more; a send already under way ends
  // when the UI thread handles it or the window goes.
  void RequestStop();
  // Waits for the thread. Call on the UI thread only once the window is gone and
  // no message of the window is being handled.
  void Join();
  // After RequestStop, once the window is gone: joins unless the close is being
  // sent (it may be the message the caller is handling). True when joined.
  bool JoinUnlessSending();

  bool Started() const { return thread_.joinable(); }
  std::uint32_t ThreadResult() const { return threadResult_.load(); }

  // Watchdog threads alive in the process (tests check that closed dialogs left none).
  static int LiveThreads() { return liveThreads_.load(); }

 private:
  void Run(HWND window, std::chrono::milliseconds period, Delivery delivery);

  const std::atomic<bool>& deviceAbsent_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool sending_ = false;
  std::atomic<std::uint32_t> threadResult_{kStopped};
  std::thread thread_;

  static inline std::atomic<int> liveThreads_{0};
};

}  // namespace pinvale
