#pragma once

// The authenticatorReset request and the worker that carries it. The key answers
// a reset only after the user touches it, so the request runs off the UI thread;
// the worker reports to the reset dialog by posted window messages, through the
// narrow ResetMessagePoster interface so its sequence can be tested without a
// window.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "transport/fido_token.h"

namespace pinvale {

constexpr std::uint8_t kResetCommand = 0x07;
constexpr std::uint32_t kResetAnswerCapacity = 256;

// Sends the one-byte reset request with a 256-byte answer buffer and returns
// the status (0 when the key was reset) or the exchange's own code.
std::uint16_t SendReset(CFidoToken& device);

// Window messages from the worker to the reset dialog (WM_USER + 101, + 102).
constexpr std::uint32_t WM_RESET_RESULT = 0x0400 + 101;  // wParam: the status, lParam 0
constexpr std::uint32_t WM_RESET_CLOSE = 0x0400 + 102;   // wParam: 1 or 2, lParam 0
constexpr std::uintptr_t kResetCloseAfterResult = 1;
constexpr std::uintptr_t kResetCloseDeviceGone = 2;

// Thread results of the worker.
constexpr std::uint32_t kResetWorkerDone = 0;
constexpr std::uint32_t kResetWorkerDeviceGone = 1001;

// How long the dialog shows the outcome before the worker closes it.
constexpr std::chrono::milliseconds kResetResultPause{500};

class ResetMessagePoster {
 public:
  virtual ~ResetMessagePoster() = default;
  // Queues a message for the dialog's window and returns at once.
  virtual void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

// The worker's sequence:
//   send 0x07 and wait for the answer;
//   key gone meanwhile (deviceAbsent set): post WM_RESET_CLOSE(2), result 1001;
//   otherwise post WM_RESET_RESULT(status), pause, post WM_RESET_CLOSE(1), result 0.
//
// The dialog owns the worker and must never be posted to once its window is
// gone. It calls Start() when its window is initialised; when the window is
// destroyed (whatever closed it) it calls DetachPoster(), after which no Post
// call is made or still under way, and then destroys the worker, which joins the
// thread. The join is short after the worker's own WM_RESET_CLOSE; after any
// other close it waits for the key's answer (a key that stops answering makes
// the exchange fail, so it does end). The device object must outlive the worker.
class ResetWorker {
 public:
  using Sleeper = std::function<void(std::chrono::milliseconds)>;

  ResetWorker(CFidoToken& device, ResetMessagePoster& poster, const std::atomic<bool>& deviceAbsent,
              Sleeper sleeper = {}, std::chrono::milliseconds pause = kResetResultPause);
  ~ResetWorker();
  ResetWorker(const ResetWorker&) = delete;
  ResetWorker& operator=(const ResetWorker&) = delete;

  // Runs the sequence on the calling thread and returns the thread result.
  std::uint32_t Run();

  // Runs the sequence on the worker's own thread. Once only.
  void Start();
  void Join();
  void DetachPoster();

  // The result of the last Run (kResetWorkerDone until one has finished).
  std::uint32_t ThreadResult() const { return threadResult_.load(); }

 private:
  void Post(std::uint32_t message, std::uintptr_t wParam);

  CFidoToken& device_;
  const std::atomic<bool>& deviceAbsent_;
  Sleeper sleeper_;
  std::chrono::milliseconds pause_;
  std::mutex posterLock_;
  ResetMessagePoster* poster_;
  std::atomic<std::uint32_t> threadResult_{kResetWorkerDone};
  std::thread thread_;
};

}  // namespace pinvale
