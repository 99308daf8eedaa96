#include "ui/window_messages.h"

#include <map>

#include "ui/message_hub.h"
#include "ui/message_loop.h"
#include "ui/native_window.h"
#include "ui/window_impl_base.h"
#include "ui/window_record.h"

using pinvale::ui::WindowRecord;
using pinvale::ui::detail::MessageHub;
using pinvale::ui::detail::QueuedMessage;

namespace pinvale::ui::detail {
namespace {

struct Timer {
  UINT interval;
  std::uint64_t due;
};
// UI thread only.
std::map<std::pair<HWND, std::uintptr_t>, Timer>& Timers() {
  static std::map<std::pair<HWND, std::uintptr_t>, Timer> timers;
  return timers;
}

[[maybe_unused]] std::uint64_t Now() {
  IUiBackend* backend = Backend();
  return backend ? backend->NowMs() : 0;
}

}  // namespace

bool RunDueWindowTimers(std::uint64_t now) {
  for (auto it = Timers().begin(); it != Timers().end();) {
    if (!MessageHub::Get().Exists(it->first.first)) {
      it = Timers().erase(it);
      continue;
    }
    if (it->second.due <= now) {
      it->second.due = now + it->second.interval;
      const auto [hwnd, id] = it->first;
      QueuedMessage message;
      message.hwnd = hwnd;
      message.msg = WM_TIMER;
      message.wParam = id;
      MessageHub::Get().Post(std::move(message));
      return true;
    }
    ++it;
  }
  return false;
}

std::uint64_t NextWindowTimerDeadline() {
  std::uint64_t next = 0;
  for (const auto& [key, timer] : Timers()) {
    if (next == 0 || timer.due < next) next = timer.due;
  }
  return next;
}

}  // namespace pinvale::ui::detail

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, std::shared_ptr<const void> payload) {
  QueuedMessage message;
  message.hwnd = hwnd;
  message.msg = msg;
  message.wParam = wParam;
  message.payload = std::move(payload);
  return MessageHub::Get().Post(std::move(message)) ? 1 : 0;
}

#ifndef _WIN32

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  QueuedMessage message;
  message.hwnd = hwnd;
  message.msg = msg;
  message.wParam = wParam;
  message.lParam = lParam;
  return MessageHub::Get().Post(std::move(message)) ? 1 : 0;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return MessageHub::Get().Send(hwnd, msg, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  QueuedMessage message;
  message.msg = WM_QUIT;
  message.wParam = static_cast<WPARAM>(exitCode);
  MessageHub::Get().PostUnbound(std::move(message));
}

BOOL IsWindow(HWND hwnd) {
  return hwnd && MessageHub::Get().Exists(hwnd) ? 1 : 0;
}

BOOL IsWindowEnabled(HWND hwnd) {
  auto record = MessageHub::Get().Lookup(hwnd);
  return record && record->enabled ? 1 : 0;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  auto record = MessageHub::Get().Lookup(hwnd);
  if (!record) return 0;
  const bool wasDisabled = !record->enabled;
  record->SetEnabled(enable != 0);
  return wasDisabled ? 1 : 0;
}

BOOL DestroyWindow(HWND hwnd) {
  auto record = MessageHub::Get().Lookup(hwnd);
  if (!record || record->destroying) return 0;
  record->destroying = true;
  // Owned windows go first, as on Windows.
  for (auto& other : MessageHub::Get().Windows()) {
    if (other->owner == hwnd) DestroyWindow(other->hwnd);
  }
  // The owner takes input again before this window's own end runs and before it is hidden.
  record->ReleaseOwner();
  pinvale::ui::WindowImplBase* window = record->window;
  if (window) window->HandleMessage(WM_DESTROY, 0, 0);
  MessageHub::Get().Unregister(hwnd);
  if (record->native) record->native->Show(false);
  record->native.reset();
  record->frame.reset();
  record->window = nullptr;
  if (window) WindowRecord::FinalMessage(*window, hwnd);
  return 1;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  auto record = MessageHub::Get().Lookup(hwnd);
  if (!record || !rect) return 0;
  *rect = record->rect;
  return 1;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  auto record = MessageHub::Get().Lookup(hwnd);
  if (!record || !rect) return 0;
  *rect = RECT{0, 0, pinvale::ui::Width(record->rect), pinvale::ui::Height(record->rect)};
  return 1;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL /*repaint*/) {
  auto record = MessageHub::Get().Lookup(hwnd);
  if (!record) return 0;
  record->SetRect(RECT{x, y, x + width, y + height});
  return 1;
}

HWND GetParent(HWND hwnd) {
  auto record = MessageHub::Get().Lookup(hwnd);
  return record ? record->owner : nullptr;
}

std::uintptr_t SetTimer(HWND hwnd, std::uintptr_t id, UINT elapseMs, void* /*unused*/) {
  if (!IsWindow(hwnd) || id == 0) return 0;
  const UINT interval = elapseMs == 0 ? 1 : elapseMs;
  pinvale::ui::detail::Timers()[{hwnd, id}] =
      pinvale::ui::detail::Timer{interval, pinvale::ui::detail::Now() + interval};
  return id;
}

BOOL KillTimer(HWND hwnd, std::uintptr_t id) {
  return pinvale::ui::detail::Timers().erase({hwnd, id}) != 0 ? 1 : 0;
}

#endif  // _WIN32
