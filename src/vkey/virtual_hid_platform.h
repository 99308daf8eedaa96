#pragma once

// The in-process virtual key on the transport's HID platform interface, so tests and
// the demo mode reach it through the same CHidDeviceList and CFidoToken as a real key.
//
// Each key added is listed as \\?\virtual#vid_xxxx&pid_xxxx#<label> while it is
// plugged in. Reports are 65 bytes, report id 0 first. All handles opened during one
// plug-in share one connection to the key; pulling the key out (VirtualKey::Unplug)
// makes every open handle fail and hides the path until VirtualKey::Plug.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/hid_platform.h"
#include "vkey/virtual_key.h"

namespace pinvale::vkey {

// Platform error codes the handles report, as the Windows HID stack numbers them.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

constexpr std::uint16_t kVirtualReportLength = 65;

// \\?\virtual#vid_3f8c&pid_2d71#<label>
std::string VirtualKeyDevicePath(std::uint16_t vendorId, std::uint16_t productId,
                                 const std::string& label);

class VirtualHidPlatform : public HidPlatform {
 public:
  // Adds a key and returns its device path. A second key under the same path
  // replaces the first. The platform becomes the key's plug listener.
  std::string AddKey(std::shared_ptr<VirtualKey> key, const std::string& label = "vkey");

  // Told the path whenever a key added here is plugged in or pulled out (by
  // VirtualKey::Plug/Unplug or its pull-out fault), the way device-change notices
  // report a real key. Called on the thread that changed the key.
  using PresenceListener = std::function<void(const std::string& path, bool present)>;
  void SetPresenceListener(PresenceListener listener);

  bool ListInterfaces(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;

 private:
  struct Entry {
    std::shared_ptr<VirtualKey> key;
    std::shared_ptr<VirtualKeyLink> link;  // the connection of the current plug-in
  };
  struct ListenerSlot {
    std::mutex mutex;
    PresenceListener listener;
  };
  std::shared_ptr<ListenerSlot> listener_ = std::make_shared<ListenerSlot>();
  std::mutex mutex_;
  std::vector<std::string> order_;
  std::map<std::string, Entry> keys_;
};

}  // namespace pinvale::vkey
