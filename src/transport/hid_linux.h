#pragma once

// The hidraw nodes of the machine, found through libudev. Paths carry the node's
// HID ids (see hidraw_path.h); report lengths come from the report descriptor.

#include "transport/hid_platform.h"

namespace pinvale {

class LinuxHidPlatform : public HidPlatform {
 public:
  bool ListInterfaces(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;
  // From the report descriptor in sysfs, which anyone may read.
  HidInterfaceKind Kind(const std::string& path) override;
};

}  // namespace pinvale
