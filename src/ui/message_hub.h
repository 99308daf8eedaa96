#pragma once

// Internal: the window registry and the thread-safe message queue behind PostMessage and
// SendMessage. Handles are ids that are never reused; only the UI thread maps them to
// window objects.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "ui/win_types.h"

namespace pinvale::ui {

class WindowImplBase;
class WindowRecord;

namespace detail {

// A cross-thread send waits on this until the UI thread has handled the message or the
// window has gone.
struct SendState {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  LRESULT result = 0;
  void Finish(LRESULT value);
};

struct QueuedMessage {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::shared_ptr<const void> payload;  // kept alive until handled; lParam points at it
  std::shared_ptr<SendState> send;      // set for a send from another thread
  std::function<void()> task;           // a function to run on the UI thread
};

class MessageHub {
 public:
  static MessageHub& Get();

  void SetUiThread();
  bool IsUiThread() const;
  bool HasUiThread() const;

  HWND Register(std::shared_ptr<WindowRecord> record);
  // Removes the window and ends every send waiting for it with 0.
  void Unregister(HWND hwnd);
  // UI thread only.
  std::shared_ptr<WindowRecord> Lookup(HWND hwnd) const;
  bool Exists(HWND hwnd) const;
  std::vector<std::shared_ptr<WindowRecord>> Windows() const;

  // Any thread. False (nothing queued) when the window does not exist.
  bool Post(QueuedMessage message);
  // Queues a task or WM_QUIT, which belong to no window.
  void PostUnbound(QueuedMessage message);
  LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  bool Pop(QueuedMessage& out);
  bool HasQueued() const;
  // Ends every waiting send with 0 and empties the queue (shutdown).
  void Clear();

 private:
  mutable std::mutex m_mutex;
  std::thread::id m_uiThread;
  bool m_hasUiThread = false;
  std::uintptr_t m_nextId = 0x1000;
  std::map<std::uintptr_t, std::shared_ptr<WindowRecord>> m_windows;
  std::deque<QueuedMessage> m_queue;
};

// Handles one queued message on the UI thread. Returns false for WM_QUIT.
bool DispatchQueued(QueuedMessage& message, int* quitCode);

}  // namespace detail
}  // namespace pinvale::ui
