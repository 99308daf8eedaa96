#pragma once

// The HID interfaces this machine offers: the hidraw nodes, and beside them the
// virtual keys of `virtualKeyDir` when it is not empty.

#include <memory>
#include <string>

#include "transport/hid_platform.h"

namespace pinvale {

std::shared_ptr<HidPlatform> CreateSystemHidPlatform(const std::string& virtualKeyDir);

}  // namespace pinvale
