#include "ctap/reset.h"

namespace pinvale {

std::uint16_t SendReset(CFidoToken& device) {
  const std::uint8_t request[1] = {kResetCommand};
  std::uint8_t answer[kResetAnswerCapacity] = {};
  std::uint32_t answerLength = sizeof answer;
  return device.SendCborCommand(request, sizeof request, answer, &answerLength);
}

ResetWorker::ResetWorker(CFidoToken& device, ResetMessagePoster& poster,
                         const std::atomic<bool>& deviceAbsent, Sleeper sleeper,
                         std::chrono::milliseconds pause)
    : device_(device),
      deviceAbsent_(deviceAbsent),
      sleeper_(std::move(sleeper)),
      pause_(pause),
      poster_(&poster) {
  if (!sleeper_) sleeper_ = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
}

ResetWorker::~ResetWorker() {
  Join();
}

std::uint32_t ResetWorker::Run() {
  const std::uint16_t status = SendReset(device_);
  // A key pulled out while the user was asked to touch it: the status means
  // nothing, so the dialog is only closed.
  if (deviceAbsent_.load()) {
    Post(WM_RESET_CLOSE, kResetCloseDeviceGone);
    threadResult_ = kResetWorkerDeviceGone;
    return kResetWorkerDeviceGone;
  }
  Post(WM_RESET_RESULT, status);
  sleeper_(pause_);  // leaves the outcome on screen for a moment
  Post(WM_RESET_CLOSE, kResetCloseAfterResult);
  threadResult_ = kResetWorkerDone;
  return kResetWorkerDone;
}

void ResetWorker::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

void ResetWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void ResetWorker::DetachPoster() {
  std::lock_guard<std::mutex> hold(posterLock_);
  poster_ = nullptr;
}

void ResetWorker::Post(std::uint32_t message, std::uintptr_t wParam) {
  std::lock_guard<std::mutex> hold(posterLock_);
  if (poster_ != nullptr) poster_->Post(message, wParam, 0);
}

}  // namespace pinvale
