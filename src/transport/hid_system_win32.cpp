#include "transport/hid_system.h"

#include "transport/hid_win32.h"

namespace pinvale {

// Windows has no virtual-key sockets; the in-process virtual key of the demo
// mode plugs in above this (see the application's HID set-up).
std::shared_ptr<HidPlatform> CreateSystemHidPlatform(const std::string& /*virtualKeyDir*/) {
  return std::make_shared<WinHidPlatform>();
}

}  // namespace pinvale
