#pragma once
// Closes a window after a delay, from a thread of its own: lets a script check that
// Pinvale starts, shows its main window and ends cleanly without touching the
// mouse (PINVALE_QUIT_AFTER_MS).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "ui/window_messages.h"

namespace pinvale {

// Milliseconds from PINVALE_QUIT_AFTER_MS-style text; nothing for empty, zero,
// negative or malformed text, so a stray value never closes the window at once.
std::optional<unsigned> ParseQuitDelay(const char* text);

class QuitTimer {
 public:
  QuitTimer(HWND window, std::chrono::milliseconds delay);
  ~QuitTimer();  // stops waiting; the window is left alone when it ends first
  QuitTimer(const QuitTimer&) = delete;
  QuitTimer& operator=(const QuitTimer&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace pinvale
