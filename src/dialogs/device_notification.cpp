#include "dialogs/device_notification.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "transport/maker_ids.h"
#include "ui/window_messages.h"

namespace pinvale {

namespace {

// Written on the UI thread, read by the notice watcher's thread.
std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::vector<HWND>& Registered() {
  static std::vector<HWND> windows;
  return windows;
}

char16_t LowerAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string HexDigits(std::uint16_t value) {
  constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text(4, u'0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  return text;
}

}  // namespace

void DeviceNotificationRegistration::Register(HWND window) {
  Unregister();
  std::lock_guard<std::mutex> hold(RegistryLock());
  Registered().push_back(window);
  window_ = window;
}

void DeviceNotificationRegistration::Unregister() {
  if (!window_) return;
  std::lock_guard<std::mutex> hold(RegistryLock());
  auto& windows = Registered();
  windows.erase(std::remove(windows.begin(), windows.end(), window_), windows.end());
  window_ = nullptr;
}

void PostDeviceChangeToRegisteredWindows(std::uint32_t event, std::u16string_view devicePath) {
  std::vector<HWND> windows;
  {
    std::lock_guard<std::mutex> hold(RegistryLock());
    windows = Registered();
  }
  for (HWND window : windows) {
    auto notice = std::make_shared<DeviceInterfaceNotice>();
    notice->devicePath = std::u16string(devicePath);
    // A window that has gone meanwhile drops the message.
    ::PostMessage(window, WM_DEVICECHANGE, event, std::shared_ptr<const void>(std::move(notice)));
  }
}

bool IsMakerKeyRemoval(WPARAM event, LPARAM notice) {
  if (event != kDbtDeviceRemoveComplete || notice == 0) return false;
  const auto* header = reinterpret_cast<const DeviceInterfaceNotice*>(notice);
  if (header->deviceType != kDbtDevtypDeviceInterface) return false;
  if (header->devicePath.size() <= 4) return false;
  std::u16string name = header->devicePath.substr(4);
  std::transform(name.begin(), name.end(), name.begin(), LowerAscii);
  return std::any_of(kMakerProductIds.begin(), kMakerProductIds.end(), [&](std::uint16_t id) {
    return name.find(HexDigits(id)) != std::u16string::npos;
  });
}

}  // namespace pinvale
