#pragma once

// The HID interfaces of a Windows machine, found through SetupAPI and opened
// with CreateFileW: a write-only handle and a read-only handle, both overlapped,
// so that neither a write nor a read waits for a key beyond its limit.

#include "transport/hid_platform.h"

namespace pinvale {

class WinHidPlatform : public HidPlatform {
 public:
  bool ListInterfaces(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;
  // From the capabilities of a handle opened with no access rights, which the
  // HID class driver grants even for interfaces it keeps to itself (keyboards).
  HidInterfaceKind Kind(const std::string& path) override;
};

}  // namespace pinvale
