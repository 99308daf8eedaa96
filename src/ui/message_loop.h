#pragma once

// Internal: the message loop shared by ShowModal and the test helpers.

#include <functional>

#include "ui/native_window.h"
#include "ui/win_types.h"

namespace pinvale::ui {
class WindowRecord;
}

namespace pinvale::ui::detail {

enum class StepResult { kIdle, kWorked, kQuit };

// Does one piece of work: a native event, a queued message, a due timer or a paint.
StepResult Step(int* quitCode);
// Blocks until there may be work (an event, a wake, the next timer), at most maxMs (-1: no
// limit).
void WaitForWork(int maxMs = -1);
// Runs the loop until `hwnd` is gone. Returns false when WM_QUIT ended it (quitCode set).
bool RunModalLoop(HWND hwnd, int* quitCode);

// Input as the user gives it: message filters first, then the window.
void DeliverInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void HandleNativeEvent(const NativeEvent& event);
// The window now shows at `scale`: it keeps its size in units (or takes the frame the system
// suggests, in pixels), opens its fonts and images for the new scale and lays out again.
void ChangeScale(WindowRecord& record, ScaleFactor scale, const RECT* suggestedFrame);
// Lays out and draws the window into its off-screen frame; shows it when `present`.
bool PaintWindow(WindowRecord& record, bool present);

void SetModifiers(bool shift, bool control, bool alt);

// Tasks for the next modal loops (tests).
void QueueModalTask(std::function<void(HWND)> task);
int PendingModalTasks();
HWND CurrentModalWindow();

}  // namespace pinvale::ui::detail
