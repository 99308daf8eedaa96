#include <atomic>

#include "ui/message_hub.h"
#include "ui/native_window.h"
#include "ui/window_impl_base.h"
#include "ui/window_record.h"

namespace pinvale::ui {
namespace {

std::unique_ptr<IUiBackend>& BackendSlot() {
  static std::unique_ptr<IUiBackend> backend;
  return backend;
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
