#include "ui/ui_testing.h"

#include <cstdlib>

#include "ui/message_hub.h"
#include "ui/message_loop.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"
#include "ui/window_impl_base.h"
#include "ui/window_record.h"

namespace pinvale::ui::testing {
namespace {

using detail::MessageHub;

std::shared_ptr<WindowRecord> Record(HWND hwnd) {
  return MessageHub::Get().Lookup(hwnd);
}

// Input goes the way real input goes: as a native event of the window. Points come in the
// controls' units and go out as the first pixel of that unit.
void Inject(HWND hwnd, NativeEvent event) {
  auto record = Record(hwnd);
  if (!record || !record->native) return;
  if (record->window) {
    const ScaleFactor scale = record->window->GetPaintManager().GetScale();
    event.x = static_cast<int>(scale.ToPixels(event.x));
    event.y = static_cast<int>(scale.ToPixels(event.y));
  }
  event.window = record->native->Id();
  event.screenX = static_cast<int>(record->rect.left) + event.x;
  event.screenY = static_cast<int>(record->rect.top) + event.y;
  detail::HandleNativeEvent(event);
}

void EnsureLayout(WindowRecord& record) {
  if (!record.window) return;
  CPaintManagerUI& pm = record.window->GetPaintManager();
  pm.SetClientSize(pm.GetScale().ToUnits(SIZE{Width(record.rect), Height(record.rect)}));
  if (pm.IsUpdateNeeded()) pm.DoLayout();
}

}  // namespace

bool InitHeadless() {
#ifndef _WIN32
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  // A test run must stay killable by its time-out; SDL would turn SIGTERM into a quit event.
  setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
#endif
  return UiInitialize();
}

bool UseSkinArchive(std::span<const std::uint8_t> zipBytes) {
  return CPaintManagerUI::SetResourceZip(zipBytes);
}

bool RenderWindowToPng(HWND hwnd, const std::string& path) {
  auto record = Record(hwnd);
  if (!record || !detail::PaintWindow(*record, false) || !record->frame) return false;
  return Backend()->SavePng(*record->frame, path);
}

std::vector<std::uint32_t> RenderWindowPixels(HWND hwnd, int* width, int* height) {
  std::vector<std::uint32_t> pixels;
  auto record = Record(hwnd);
  if (!record || !detail::PaintWindow(*record, false) || !record->frame) return pixels;
  const SIZE size = record->frame->Size();
  if (width) *width = static_cast<int>(size.cx);
  if (height) *height = static_cast<int>(size.cy);
  pixels = record->frame->ReadPixels();
  return pixels;
}

void SetScale(HWND hwnd, double factor) {
  auto record = Record(hwnd);
  if (!record) return;
  detail::ChangeScale(*record, ScaleFactor::FromDpi(factor * 96.0), nullptr);
}

bool Click(HWND hwnd, std::u16string_view controlName) {
  auto record = Record(hwnd);
  if (!record || !record->window) return false;
  EnsureLayout(*record);
  CControlUI* control = record->window->GetPaintManager().FindControl(controlName);
  if (!control || !control->IsVisible()) return false;
  const RECT& pos = control->GetPos();
  return ClickAt(hwnd, POINT{(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2});
}

bool ClickAt(HWND hwnd, POINT pt) {
  auto record = Record(hwnd);
  if (!record) return false;
  EnsureLayout(*record);
  NativeEvent event;
  event.x = static_cast<int>(pt.x);
  event.y = static_cast<int>(pt.y);
  event.kind = NativeEvent::Kind::kMouseMove;
  Inject(hwnd, event);
  event.kind = NativeEvent::Kind::kMouseDown;
  Inject(hwnd, event);
  event.kind = NativeEvent::Kind::kMouseUp;
  Inject(hwnd, event);
  return true;
}

void MoveMouse(HWND hwnd, POINT pt) {
  auto record = Record(hwnd);
  if (!record) return;
  EnsureLayout(*record);
  NativeEvent event;
  event.kind = NativeEvent::Kind::kMouseMove;
  event.x = static_cast<int>(pt.x);
  event.y = static_cast<int>(pt.y);
  Inject(hwnd, event);
}

void Wheel(HWND hwnd, POINT pt, int notches) {
  MoveMouse(hwnd, pt);
  NativeEvent event;
  event.kind = NativeEvent::Kind::kMouseWheel;
  event.wheel = notches * WHEEL_DELTA;
  Inject(hwnd, event);
}

void Drag(HWND hwnd, POINT from, POINT to) {
  auto record = Record(hwnd);
  if (!record) return;
  EnsureLayout(*record);
  NativeEvent event;
  event.x = static_cast<int>(from.x);
  event.y = static_cast<int>(from.y);
  event.kind = NativeEvent::Kind::kMouseMove;
  Inject(hwnd, event);
  event.kind = NativeEvent::Kind::kMouseDown;
  Inject(hwnd, event);
  event.x = static_cast<int>(to.x);
  event.y = static_cast<int>(to.y);
  event.kind = NativeEvent::Kind::kMouseMove;
  Inject(hwnd, event);
  event.kind = NativeEvent::Kind::kMouseUp;
  Inject(hwnd, event);
}

void TypeText(HWND hwnd, std::string_view utf8) {
  NativeEvent event;
  event.kind = NativeEvent::Kind::kText;
  event.text.Assign(utf8);
  Inject(hwnd, event);
}

void KeyDown(HWND hwnd, UINT vk, bool shift, bool control) {
  NativeEvent event;
  event.kind = NativeEvent::Kind::kKeyDown;
  event.vk = vk;
  event.shift = shift;
  event.control = control;
  Inject(hwnd, event);
  event.kind = NativeEvent::Kind::kKeyUp;
  event.shift = false;
  event.control = false;
  Inject(hwnd, event);
}

void SystemClose(HWND hwnd) {
  NativeEvent event;
  event.kind = NativeEvent::Kind::kCloseRequest;
  Inject(hwnd, event);
}

void RunWhenModal(std::function<void(HWND)> task) {
  detail::QueueModalTask(std::move(task));
}

int PendingModalTasks() {
  return detail::PendingModalTasks();
}

void PostTask(std::function<void()> task) {
  detail::QueuedMessage message;
  message.task = std::move(task);
  MessageHub::Get().PostUnbound(std::move(message));
}

int PumpUntilIdle(int maxSteps) {
  int steps = 0;
  while (steps < maxSteps) {
    int quitCode = 0;
    const detail::StepResult result = detail::Step(&quitCode);
    if (result == detail::StepResult::kIdle) break;
    ++steps;
    if (result == detail::StepResult::kQuit) {
      PostQuitMessage(quitCode);  // left for the loop that owns it
      break;
    }
  }
  return steps;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  IUiBackend* backend = Backend();
  if (!backend) return done();
  const std::uint64_t end = backend->NowMs() + static_cast<std::uint64_t>(timeoutMs);
  while (!done()) {
    const std::uint64_t now = backend->NowMs();
    if (now >= end) return false;
    int quitCode = 0;
    const detail::StepResult result = detail::Step(&quitCode);
    if (result == detail::StepResult::kQuit) {
      PostQuitMessage(quitCode);
      return done();
    }
    if (result == detail::StepResult::kIdle) {
      detail::WaitForWork(static_cast<int>(std::min<std::uint64_t>(end - now, 50)));
    }
  }
  return true;
}

std::vector<HWND> ListWindows() {
  std::vector<HWND> out;
  for (auto& record : MessageHub::Get().Windows()) out.push_back(record->hwnd);
  return out;
}

HWND FindWindowByCaption(std::u16string_view caption, std::u16string_view className) {
  for (auto& record : MessageHub::Get().Windows()) {
    if (record->caption != caption) continue;
    if (!className.empty() && record->className != className) continue;
    return record->hwnd;
  }
  return nullptr;
}

CControlUI* FindControl(HWND hwnd, std::u16string_view name) {
  WindowImplBase* window = WindowFromHandle(hwnd);
  return window ? window->GetPaintManager().FindControl(name) : nullptr;
}

HWND CurrentModalWindow() {
  return detail::CurrentModalWindow();
}

}  // namespace pinvale::ui::testing
