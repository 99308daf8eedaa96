#pragma once

// What to tell the user when a security key is present but the program may not
// open it. On Windows the administrator warning covers this (see the main
// window), so there is nothing to add; on Linux access comes from a udev rule.

#include <string_view>

namespace pinvale {

// Empty when the platform has no such advice.
std::u16string_view DeviceAccessHelpText();

}  // namespace pinvale
