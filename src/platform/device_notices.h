#pragma once

// Device-change notices: a HID interface or a virtual-key socket came or went.
// They are reported from a watcher thread with the event numbers and a device
// path in which the product id stands as four hexadecimal digits, the way
// Windows reports device interfaces, so the main window reads the same notice on
// every platform.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pinvale {

constexpr std::uint32_t kDeviceArrival = 0x8000;
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;
constexpr std::uint32_t kDeviceTypeInterface = 5;

// Called on the watcher thread.
using DeviceNoticeCallback = std::function<void(std::uint32_t event, std::u16string devicePath)>;

struct DeviceNoticeSources {
  bool hidraw = true;               // the system's hidraw nodes (udev)
  std::string virtualKeyDirectory;  // sockets of pinvale-vkey; empty: none
};

// Watches while it lives; destruction stops the thread and joins it.
class DeviceNoticeWatcher {
 public:
  virtual ~DeviceNoticeWatcher() = default;
};

// Null when no source could be watched at all.
std::unique_ptr<DeviceNoticeWatcher> StartDeviceNoticeWatcher(const DeviceNoticeSources& sources,
                                                              DeviceNoticeCallback callback);

// The notice path of a hidraw node: "\\?\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3". The
// ids come from the HID device's sysfs name ("0003:3F8C:2D71.0001") in `sysPath`,
// which the kernel names in removal events too; without it the ids are left out.
std::u16string HidrawNoticePath(std::string_view sysPath, std::string_view devNode);

// Whether a file name in the virtual-key directory is a key's socket
// ("<vid>-<pid>-<label>.sock").
bool IsVirtualKeySocketName(std::string_view fileName);

// Byte-wise widening; device paths are ASCII in practice, and only their hex ids
// are ever looked at.
std::u16string WidenPath(std::string_view path);

}  // namespace pinvale
