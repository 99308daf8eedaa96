#include "ui/off_ui_thread.h"

#include <atomic>
#include <thread>

#include "ui/message_hub.h"
#include "ui/message_loop.h"
#include "ui/native_window.h"
#include "ui/window_impl_base.h"
#include "ui/window_messages.h"
#include "ui/window_record.h"

namespace pinvale::ui {
namespace {

int g_pendingWaits = 0;  // UI thread only

// Input is refused by the framework rather than by disabling the native window, which on
// Windows would take the keyboard focus away for good. The hover goes as it would for a
// disabled window, so nothing looks clickable meanwhile.
void BlockInput(HWND window, bool blocked) {
  std::shared_ptr<WindowRecord> record = detail::MessageHub::Get().Lookup(window);
  if (!record) return;
  record->inputBlocked = blocked;
  if (blocked && record->window) record->window->GetPaintManager().DropHover();
}

}  // namespace

bool OffUiThreadWorkPending() {
  return g_pendingWaits > 0;
}

void RunOffUiThread(HWND window, std::function<void()> work, std::function<void(bool)> cue,
                    std::chrono::milliseconds cueDelay, OffUiInput input) {
  IUiBackend* backend = Backend();
  if (!backend) {
    // Without a loop to keep running there is nothing to gain from a thread.
    work();
    return;
  }
  const bool block = input == OffUiInput::kBlocked;
  if (block) BlockInput(window, true);
  ++g_pendingWaits;

  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done.store(true);
    backend->Wake();
  });

  const std::uint64_t cueAt = backend->NowMs() + static_cast<std::uint64_t>(cueDelay.count());
  bool cueShown = false;
  bool quit = false;
  int quitCode = 0;
  while (!done.load()) {
    int code = 0;
    const detail::StepResult result = detail::Step(&code);
    if (result == detail::StepResult::kQuit) {
      // Held until the work has ended: the worker still uses what the caller owns.
      quit = true;
      quitCode = code;
      continue;
    }
    if (result != detail::StepResult::kIdle) continue;
    const std::uint64_t now = backend->NowMs();
    if (!cueShown && cue && now >= cueAt) {
      cueShown = true;
      if (IsWindow(window)) cue(true);
      continue;
    }
    if (done.load()) break;
    const int untilCue = cueShown || !cue ? -1 : static_cast<int>(cueAt - now);
    detail::WaitForWork(untilCue);
  }
  worker.join();

  --g_pendingWaits;
  if (block) BlockInput(window, false);
  if (cueShown && IsWindow(window)) cue(false);
  if (quit) PostQuitMessage(quitCode);
}

}  // namespace pinvale::ui
