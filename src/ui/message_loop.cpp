#include "ui/message_loop.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <vector>

#include "ui/message_hub.h"
#include "ui/ui_text.h"
#include "ui/window_impl_base.h"
#include "ui/window_record.h"

namespace pinvale::ui::detail {
namespace {

std::atomic<bool> g_shift{false};
std::atomic<bool> g_control{false};
std::atomic<bool> g_alt{false};

std::deque<std::function<void(HWND)>>& ModalTasks() {
  static std::deque<std::function<void(HWND)>> tasks;
  return tasks;
}

std::vector<HWND>& ModalStack() {
  static std::vector<HWND> stack;
  return stack;
}

std::shared_ptr<WindowRecord> RecordForNative(std::uint32_t nativeId) {
  for (auto& record : MessageHub::Get().Windows()) {
    if (record->native && record->native->Id() == nativeId) return record;
  }
  return nullptr;
}

// A mouse event's client pixels as the controls' units.
LPARAM PointInUnits(const WindowRecord& record, const NativeEvent& event) {
  const ScaleFactor scale = record.window->GetPaintManager().GetScale();
  return MAKELPARAM(scale.UnitAt(event.x), scale.UnitAt(event.y));
}

bool NeedsPaint(const WindowRecord& record) {
  if (!record.visible || record.minimized || !record.window) return false;
  CPaintManagerUI& pm = record.window->GetPaintManager();
  return record.exposed || !record.nativeShown || pm.IsInvalid() || pm.IsUpdateNeeded();
}

// Tooltip hover deadlines: the only timers the framework itself needs.
bool RunDueHoverTimers(std::uint64_t now) {
  bool any = false;
  for (auto& record : MessageHub::Get().Windows()) {
    if (record->window && record->window->GetPaintManager().HoverTimerDue(now)) any = true;
  }
  return any;
}

std::uint64_t NextHoverDeadline() {
  std::uint64_t next = 0;
  for (auto& record : MessageHub::Get().Windows()) {
    if (!record->window) continue;
    const std::uint64_t d = record->window->GetPaintManager().HoverDeadline();
    if (d != 0 && (next == 0 || d < next)) next = d;
  }
  return next;
}

}  // namespace

// Window timers (SetTimer); defined in window_messages.cpp.
bool RunDueWindowTimers(std::uint64_t now);
std::uint64_t NextWindowTimerDeadline();

void SetModifiers(bool shift, bool control, bool alt) {
  g_shift = shift;
  g_control = control;
  g_alt = alt;
}

}  // namespace pinvale::ui::detail

#ifndef _WIN32
short GetKeyState(int vk) {
  using namespace pinvale::ui::detail;
  bool down = false;
  if (vk == VK_SHIFT) down = g_shift;
  if (vk == VK_CONTROL) down = g_control;
  if (vk == VK_MENU) down = g_alt;
  return down ? static_cast<short>(0x8000) : 0;
}
#endif

namespace pinvale::ui::detail {

void QueueModalTask(std::function<void(HWND)> task) {
  ModalTasks().push_back(std::move(task));
}
int PendingModalTasks() {
  return static_cast<int>(ModalTasks().size());
}
HWND CurrentModalWindow() {
  return ModalStack().empty() ? nullptr : ModalStack().back();
}

void DeliverInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<WindowRecord> record = MessageHub::Get().Lookup(hwnd);
  if (!record || !record->window) return;
  LRESULT result = 0;
  if (record->window->GetPaintManager().PreMessageHandler(msg, wParam, lParam, result)) return;
  record->window->HandleMessage(msg, wParam, lParam);
}

void HandleNativeEvent(const NativeEvent& event) {
  using Kind = NativeEvent::Kind;
  if (event.kind == Kind::kWake || event.kind == Kind::kNone) return;
  if (event.kind == Kind::kQuit) {
    PostQuitMessage(0);
    return;
  }
  std::shared_ptr<WindowRecord> record = RecordForNative(event.window);
  if (!record || !record->window) return;  // the window has gone already
  const HWND hwnd = record->hwnd;
  if (event.kind == Kind::kKeyDown || event.kind == Kind::kKeyUp) {
    SetModifiers(event.shift, event.control, event.alt);
  }
  switch (event.kind) {
    case Kind::kExposed:
      record->exposed = true;
      record->minimized = false;
      break;
    case Kind::kMoved:
      if (!record->dragging) {
        const long w = Width(record->rect);
        const long h = Height(record->rect);
        record->rect = RECT{event.screenX, event.screenY, event.screenX + w, event.screenY + h};
      }
      break;
    case Kind::kScaleChanged: {
      const RECT suggested{event.screenX, event.screenY, event.screenX + event.x,
                           event.screenY + event.y};
      if (record->native) ChangeScale(*record, record->native->Scale(), &suggested);
      break;
    }
    case Kind::kCloseRequest:
      // A disabled window (the owner of a modal dialog) cannot be closed by the user.
      if (record->AcceptsInput()) SendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case Kind::kFocusGained:
      SendMessage(hwnd, WM_SETFOCUS, 0, 0);
      break;
    case Kind::kFocusLost:
      record->dragging = false;
      SendMessage(hwnd, WM_KILLFOCUS, 0, 0);
      break;
    case Kind::kMouseMove:
      if (record->dragging) {
        // Moving by hand works with and without a window manager.
        RECT r = record->dragStartRect;
        const long dx = event.screenX - record->dragStartScreen.x;
        const long dy = event.screenY - record->dragStartScreen.y;
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
        record->dragLastScreen = POINT{event.screenX, event.screenY};
        record->SetRect(r);
        break;
      }
      if (!record->AcceptsInput()) break;
      record->mouseInside = true;
      DeliverInput(hwnd, WM_MOUSEMOVE, 0, PointInUnits(*record, event));
      break;
    case Kind::kMouseLeave:
      record->mouseInside = false;
      DeliverInput(hwnd, WM_MOUSELEAVE, 0, 0);
      break;
    case Kind::kMouseWheel:
      // The wheel turns what is under the pointer, as the last move left it.
      if (!record->AcceptsInput()) break;
      DeliverInput(hwnd, WM_MOUSEWHEEL,
                   static_cast<WPARAM>(static_cast<std::uint16_t>(event.wheel)) << 16, 0);
      break;
    case Kind::kMouseDown: {
      if (!record->AcceptsInput()) break;
      const LPARAM units = PointInUnits(*record, event);
      if (record->window->GetPaintManager().IsCaptionHit(
              POINT{GET_X_LPARAM(units), GET_Y_LPARAM(units)})) {
        record->dragging = true;
        record->dragStartScreen = POINT{event.screenX, event.screenY};
        record->dragLastScreen = record->dragStartScreen;
        record->dragStartRect = record->rect;
        if (record->native) record->native->CaptureMouse(true);
        break;
      }
      if (record->native) record->native->CaptureMouse(true);
      DeliverInput(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, units);
      break;
    }
    case Kind::kMouseUp:
      if (record->native) record->native->CaptureMouse(false);
      if (record->dragging) {
        record->dragging = false;
        break;
      }
      if (!record->AcceptsInput()) break;
      DeliverInput(hwnd, WM_LBUTTONUP, 0, PointInUnits(*record, event));
      break;
    case Kind::kKeyDown:
      if (!record->AcceptsInput()) break;
      // Alt+F4 is the keyboard's system close.
      if (event.alt && event.vk == VK_F4) {
        SendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      }
      DeliverInput(hwnd, WM_KEYDOWN, event.vk, 0);
      break;
    case Kind::kKeyUp:
      if (!record->AcceptsInput()) break;
      DeliverInput(hwnd, WM_KEYUP, event.vk, 0);
      break;
    case Kind::kText: {
      if (!record->AcceptsInput()) break;
      // Typed text may be a password: its UTF-16 form is wiped once delivered.
      WipingU16Text units;
      Utf8ToUtf16(event.text, units);
      for (char16_t unit : units.view()) {
        if (!MessageHub::Get().Exists(hwnd)) break;
        DeliverInput(hwnd, WM_CHAR, unit, 0);
      }
      break;
    }
    default:
      break;
  }
}

void ChangeScale(WindowRecord& record, ScaleFactor scale, const RECT* suggestedFrame) {
  if (!record.window) return;
  CPaintManagerUI& pm = record.window->GetPaintManager();
  const SIZE units = pm.GetScale().ToUnits(SIZE{Width(record.rect), Height(record.rect)});
  pm.SetScale(scale);
  RECT frame{};
  if (suggestedFrame && !IsEmpty(*suggestedFrame)) {
    frame = *suggestedFrame;
  } else {
    const SIZE pixels = scale.ToPixels(units);
    frame = RECT{record.rect.left, record.rect.top, record.rect.left + pixels.cx,
                 record.rect.top + pixels.cy};
  }
  record.SetRect(frame);
  pm.SetClientSize(scale.ToUnits(SIZE{Width(frame), Height(frame)}));
  record.exposed = true;
  if (record.dragging) {
    // Dragged onto a monitor of another scale: the drag goes on from the new frame, or the
    // next step would give the window its old size in pixels back.
    record.dragStartRect = frame;
    record.dragStartScreen = record.dragLastScreen;
  }
}

bool PaintWindow(WindowRecord& record, bool present) {
  if (!record.window) return false;
  const HWND hwnd = record.hwnd;
  CPaintManagerUI& pm = record.window->GetPaintManager();
  const SIZE client{Width(record.rect), Height(record.rect)};  // pixels
  pm.SetClientSize(pm.GetScale().ToUnits(client));
  // The first layout sends "windowinit", whose handler may run a nested modal loop or close
  // the window; draw only what is still there afterwards.
  if (pm.IsUpdateNeeded()) pm.DoLayout();
  if (!MessageHub::Get().Exists(hwnd)) return false;
  IUiBackend* backend = Backend();
  if (!backend || client.cx <= 0 || client.cy <= 0) return false;
  // Shown again after an exposure with nothing changed since: the last frame is still right.
  bool current = present && record.nativeShown && !pm.IsInvalid() && !pm.IsUpdateNeeded();
  if (!record.frame || record.frame->Size().cx != client.cx ||
      record.frame->Size().cy != client.cy) {
    record.frame =
        backend->CreateOffscreen(static_cast<int>(client.cx), static_cast<int>(client.cy));
    if (!record.frame) return false;
    current = false;
  }
  if (!current) pm.Paint(*record.frame);
  record.exposed = false;
  if (present && record.native) {
    record.native->Present(*record.frame);
    if (!record.nativeShown && record.visible) {
      // Mapped only once its first frame exists, so no empty window flashes up.
      record.native->Show(true);
      record.nativeShown = true;
      record.native->Present(*record.frame);
    }
  }
  return true;
}

StepResult Step(int* quitCode) {
  IUiBackend* backend = Backend();
  bool worked = false;
  NativeEvent event;
  if (backend && backend->PollEvent(event)) {
    HandleNativeEvent(event);
    worked = true;
  }
  QueuedMessage message;
  if (MessageHub::Get().Pop(message)) {
    if (!DispatchQueued(message, quitCode)) return StepResult::kQuit;
    return StepResult::kWorked;
  }
  if (worked) return StepResult::kWorked;
  const std::uint64_t now = backend ? backend->NowMs() : 0;
  if (RunDueWindowTimers(now)) return StepResult::kWorked;
  if (RunDueHoverTimers(now)) return StepResult::kWorked;
  for (auto& record : MessageHub::Get().Windows()) {
    if (NeedsPaint(*record)) {
      PaintWindow(*record, true);
      return StepResult::kWorked;
    }
  }
  return StepResult::kIdle;
}

void WaitForWork(int maxMs) {
  IUiBackend* backend = Backend();
  if (!backend) return;
  if (MessageHub::Get().HasQueued()) return;
  int timeout = maxMs;
  const std::uint64_t now = backend->NowMs();
  for (std::uint64_t deadline : {NextHoverDeadline(), NextWindowTimerDeadline()}) {
    if (deadline == 0) continue;
    const int until = deadline > now ? static_cast<int>(deadline - now) : 0;
    timeout = timeout < 0 ? until : std::min(timeout, until);
  }
  backend->WaitEvent(timeout);
}

bool RunModalLoop(HWND hwnd, int* quitCode) {
  ModalStack().push_back(hwnd);
  bool taskTaken = false;
  bool quit = false;
  while (MessageHub::Get().Exists(hwnd)) {
    const StepResult result = Step(quitCode);
    if (result == StepResult::kQuit) {
      quit = true;
      break;
    }
    if (result != StepResult::kIdle) continue;
    if (!taskTaken) {
      // Shown and laid out: a test's task for this loop runs now.
      taskTaken = true;
      if (!ModalTasks().empty()) {
        std::function<void(HWND)> task = std::move(ModalTasks().front());
        ModalTasks().pop_front();
        task(hwnd);
        continue;
      }
    }
    WaitForWork();
  }
  ModalStack().erase(std::find(ModalStack().begin(), ModalStack().end(), hwnd));
  return !quit;
}

}  // namespace pinvale::ui::detail
