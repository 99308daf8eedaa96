#pragma once

// Device-interface notices for the dialogs that watch for their key being pulled
// out (set PIN and verify PIN). A dialog registers its window while it is open;
// the platform's notice watcher hands every notice to
// PostDeviceChangeToRegisteredWindows, which posts WM_DEVICECHANGE to each
// registered window, the way Windows delivers notices to the windows that asked
// for them.

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/win_types.h"

namespace pinvale {

constexpr WPARAM kDbtDeviceArrival = 0x8000;
constexpr WPARAM kDbtDeviceRemoveComplete = 0x8004;
constexpr std::uint32_t kDbtDevtypDeviceInterface = 5;

// What lParam of such a WM_DEVICECHANGE points at while it is handled.
struct DeviceInterfaceNotice {
  std::uint32_t deviceType = kDbtDevtypDeviceInterface;
  std::u16string devicePath;  // e.g. "\\?\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3"
};

// Registers a window for notices while it lives; unregisters on destruction.
class DeviceNotificationRegistration {
 public:
  DeviceNotificationRegistration() = default;
  ~DeviceNotificationRegistration() { Unregister(); }
  DeviceNotificationRegistration(const DeviceNotificationRegistration&) = delete;
  DeviceNotificationRegistration& operator=(const DeviceNotificationRegistration&) = delete;

  void Register(HWND window);
  void Unregister();

 private:
  HWND window_ = nullptr;
};

// Any thread. Posts WM_DEVICECHANGE(event, notice) to every registered window.
void PostDeviceChangeToRegisteredWindows(std::uint32_t event, std::u16string_view devicePath);

// True for the removal (0x8004) of a device interface whose name, from its fifth
// character on (after "\\?\"), carries one of the maker's four product ids as
// four hexadecimal digits, in either letter case.
bool IsMakerKeyRemoval(WPARAM event, LPARAM notice);

}  // namespace pinvale
