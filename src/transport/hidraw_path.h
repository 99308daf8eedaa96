#pragma once

// Device paths of hidraw nodes, shaped like Windows HID interface paths so that
// the rest of the program treats them alike: the vendor-id test finds the vid as
// four lower-case hex digits, and device notices find the product id in it.
//   \\?\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3

#include <cstdint>
#include <string>
#include <string_view>

namespace pinvale {

std::string BuildHidrawPath(std::uint16_t vendorId, std::uint16_t productId,
                            std::string_view deviceNode);

// The device node a path names, or false when the path is not a hidraw path.
bool ParseHidrawPath(std::string_view path, std::string& deviceNode);

// The ids of udev's HID_ID property, "bus:vendor:product" in hex
// ("0003:00003F8C:00002D71").
bool ParseHidId(std::string_view hidId, std::uint16_t& vendorId, std::uint16_t& productId);

}  // namespace pinvale
