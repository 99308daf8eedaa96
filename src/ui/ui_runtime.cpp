#include <atomic>

#include "ui/message_hub.h"
#include "ui/native_window.h"
#include "ui/window_impl_base.h"
#include "ui/window_record.h"

namespace pinvale::ui {
namespace {

// UiShutdown ends the backend. At process exit nothing is torn down: exit may come from
// inside the display library (Xlib ends the process when the X server goes away), and
// closing the display then would hang.
struct BackendHolder {
  std::unique_ptr<IUiBackend> backend;
  ~BackendHolder() { (void)backend.release(); }
};

std::unique_ptr<IUiBackend>& BackendSlot() {
  static BackendHolder holder;
  return holder.backend;
}
std::atomic<IUiBackend*> g_backend{nullptr};

}  // namespace

IUiBackend* Backend() {
  return g_backend.load();
}

void SetBackend(std::unique_ptr<IUiBackend> backend) {
  g_backend = backend.get();
  BackendSlot() = std::move(backend);
}

bool UiInitialize() {
  detail::MessageHub& hub = detail::MessageHub::Get();
  if (Backend()) return hub.IsUiThread();
  std::unique_ptr<IUiBackend> backend = CreatePlatformBackend();
  if (!backend) return false;
  hub.SetUiThread();
  SetBackend(std::move(backend));
  return true;
}

void UiShutdown() {
  detail::MessageHub& hub = detail::MessageHub::Get();
  for (auto& record : hub.Windows()) DestroyWindow(record->hwnd);
  hub.Clear();
  SetBackend(nullptr);
}

}  // namespace pinvale::ui
