#include "ui/message_hub.h"

#include "ui/native_window.h"
#include "ui/window_impl_base.h"
#include "ui/window_record.h"

namespace pinvale::ui::detail {

void SendState::Finish(LRESULT value) {
  {
    std::lock_guard lock(mutex);
    if (finished) return;
    finished = true;
    result = value;
  }
  done.notify_all();
}

MessageHub& MessageHub::Get() {
  static MessageHub hub;
  return hub;
}

void MessageHub::SetUiThread() {
  std::lock_guard lock(m_mutex);
  m_uiThread = std::this_thread::get_id();
  m_hasUiThread = true;
}

bool MessageHub::IsUiThread() const {
  std::lock_guard lock(m_mutex);
  return m_hasUiThread && m_uiThread == std::this_thread::get_id();
}

bool MessageHub::HasUiThread() const {
  std::lock_guard lock(m_mutex);
  return m_hasUiThread;
}

HWND MessageHub::Register(std::shared_ptr<WindowRecord> record) {
  std::lock_guard lock(m_mutex);
#ifdef _WIN32
  // The native window's own handle, so that Win32 calls (PostMessageW, SendMessageW,
  // IsWindow, DestroyWindow...) work on the framework's handles. Window handles are
  // 32-bit values, sign-extended.
  const std::uintptr_t id = record->native ? static_cast<std::uintptr_t>(static_cast<std::intptr_t>(
                                                 static_cast<std::int32_t>(record->native->Id())))
                                           : m_nextId++;
#else
  const std::uintptr_t id = m_nextId++;
#endif
  record->hwnd = reinterpret_cast<HWND>(id);
  m_windows[id] = std::move(record);
  return reinterpret_cast<HWND>(id);
}

void MessageHub::Unregister(HWND hwnd) {
  std::vector<std::shared_ptr<SendState>> abandoned;
  {
    std::lock_guard lock(m_mutex);
    m_windows.erase(reinterpret_cast<std::uintptr_t>(hwnd));
    // Nothing queued for the window can be delivered any more; a waiting sender is
    // released with 0 instead of hanging.
    for (auto it = m_queue.begin(); it != m_queue.end();) {
      if (it->hwnd == hwnd) {
        if (it->send) abandoned.push_back(it->send);
        it = m_queue.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& state : abandoned) state->Finish(0);
}

std::shared_ptr<WindowRecord> MessageHub::Lookup(HWND hwnd) const {
  std::lock_guard lock(m_mutex);
  auto it = m_windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
  return it == m_windows.end() ? nullptr : it->second;
}

bool MessageHub::Exists(HWND hwnd) const {
  std::lock_guard lock(m_mutex);
  return m_windows.count(reinterpret_cast<std::uintptr_t>(hwnd)) != 0;
}

std::vector<std::shared_ptr<WindowRecord>> MessageHub::Windows() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::shared_ptr<WindowRecord>> out;
  for (const auto& [id, record] : m_windows) out.push_back(record);
  return out;
}

bool MessageHub::Post(QueuedMessage message) {
  {
    std::lock_guard lock(m_mutex);
    if (m_windows.count(reinterpret_cast<std::uintptr_t>(message.hwnd)) == 0) return false;
    m_queue.push_back(std::move(message));
  }
  if (IUiBackend* backend = Backend()) backend->Wake();
  return true;
}

void MessageHub::PostUnbound(QueuedMessage message) {
  {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(message));
  }
  if (IUiBackend* backend = Backend()) backend->Wake();
}

LRESULT MessageHub::Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (IsUiThread()) {
    std::shared_ptr<WindowRecord> record = Lookup(hwnd);
    if (!record || !record->window) return 0;
    return record->window->HandleMessage(msg, wParam, lParam);
  }
  auto state = std::make_shared<SendState>();
  {
    std::lock_guard lock(m_mutex);
    if (!m_hasUiThread || m_windows.count(reinterpret_cast<std::uintptr_t>(hwnd)) == 0) return 0;
    QueuedMessage message;
    message.hwnd = hwnd;
    message.msg = msg;
    message.wParam = wParam;
    message.lParam = lParam;
    message.send = state;
    // Sent messages go before posted ones, as on Windows.
    auto firstPosted = m_queue.begin();
    while (firstPosted != m_queue.end() && firstPosted->send) ++firstPosted;
    m_queue.insert(firstPosted, std::move(message));
  }
  if (IUiBackend* backend = Backend()) backend->Wake();
  std::unique_lock lock(state->mutex);
  state->done.wait(lock, [&] { return state->finished; });
  return state->result;
}

bool MessageHub::Pop(QueuedMessage& out) {
  std::lock_guard lock(m_mutex);
  if (m_queue.empty()) return false;
  out = std::move(m_queue.front());
  m_queue.pop_front();
  return true;
}

bool MessageHub::HasQueued() const {
  std::lock_guard lock(m_mutex);
  return !m_queue.empty();
}

void MessageHub::Clear() {
  std::deque<QueuedMessage> dropped;
  {
    std::lock_guard lock(m_mutex);
    dropped.swap(m_queue);
  }
  for (auto& message : dropped) {
    if (message.send) message.send->Finish(0);
  }
}

bool DispatchQueued(QueuedMessage& message, int* quitCode) {
  if (message.task) {
    message.task();
    return true;
  }
  if (message.msg == WM_QUIT && message.hwnd == nullptr) {
    if (quitCode) *quitCode = static_cast<int>(message.wParam);
    return false;
  }
  std::shared_ptr<WindowRecord> record = MessageHub::Get().Lookup(message.hwnd);
  if (!record || !record->window) {
    if (message.send) message.send->Finish(0);
    return true;  // the window has gone: dropped
  }
  const LPARAM lParam =
      message.payload ? reinterpret_cast<LPARAM>(message.payload.get()) : message.lParam;
  WindowImplBase* window = record->window;
  if (message.send) {
    message.send->Finish(window->HandleMessage(message.msg, message.wParam, lParam));
    return true;
  }
  if (message.msg == WM_CLOSE) *record->closeCode = static_cast<UINT>(message.wParam);
  LRESULT result = 0;
  if (window->GetPaintManager().PreMessageHandler(message.msg, message.wParam, lParam, result)) {
    return true;
  }
  window->HandleMessage(message.msg, message.wParam, lParam);
  return true;
}

}  // namespace pinvale::ui::detail
