#pragma once

// Work that may take seconds (an exchange with a slow device, a wait for the user to touch
// something) runs on a worker thread while the UI thread goes on dispatching: every window
// keeps painting, moving and answering its messages. The window that asked takes no input
// meanwhile, so no second action can start, and after a moment it shows a busy cue.
//
// The call itself returns only when the work has ended, so a caller reads as a plain
// sequence: ask, then show the answer. Messages dispatched meanwhile may close the window
// that asked (a device pulled out, a quit): check that it still exists afterwards.

#include <chrono>
#include <functional>

#include "ui/win_types.h"

namespace pinvale::ui {

// How long work may run before the busy cue shows: shorter waits pass without a flicker.
inline constexpr std::chrono::milliseconds kBusyCueDelay{500};

// Whether the window that asked takes input while the work runs. kBlocked (the rule): no
// mouse, keyboard or frame close reaches it. kLive: it goes on taking clicks and keys, so it
// can offer a way to stop work that waits for the user (a Cancel); the window itself then
// disables whatever must not start meanwhile.
enum class OffUiInput { kBlocked, kLive };

// Runs `work` on a worker thread and dispatches messages until it has ended. `window`
// takes no mouse or keyboard input meanwhile (nor a close from its frame) unless `input` is
// kLive.
// `cue(true)` is called on the UI thread once the work has run for `cueDelay`, and
// `cue(false)` when it ends, only if the cue was shown and the window still exists.
// A WM_QUIT seen meanwhile is posted again once the work has ended, so the loops further out
// end as they would have. Nested calls are allowed (each waits for its own work).
void RunOffUiThread(HWND window, std::function<void()> work, std::function<void(bool)> cue = {},
                    std::chrono::milliseconds cueDelay = kBusyCueDelay,
                    OffUiInput input = OffUiInput::kBlocked);

// True while a RunOffUiThread call is waiting on this thread: a window that must not start
// another exchange meanwhile (a device notice arriving) defers it until the wait has ended.
bool OffUiThreadWorkPending();

}  // namespace pinvale::ui
