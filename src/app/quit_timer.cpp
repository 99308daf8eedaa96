#include "app/quit_timer.h"

#include <charconv>
#include <cstring>

namespace pinvale {

std::optional<unsigned> ParseQuitDelay(const char* text) {
  if (text == nullptr) return std::nullopt;
  const char* end = text + std::strlen(text);
  unsigned value = 0;
  auto [last, error] = std::from_chars(text, end, value);
  if (error != std::errc() || last != end || value == 0) return std::nullopt;
  return value;
}

QuitTimer::QuitTimer(HWND window, std::chrono::milliseconds delay) {
  thread_ = std::thread([this, window, delay] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!stopped_.wait_for(lock, delay, [this] { return stopping_; }))
      PostMessage(window, WM_CLOSE, 0, 0);
  });
}

QuitTimer::~QuitTimer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  thread_.join();
}

}  // namespace pinvale
