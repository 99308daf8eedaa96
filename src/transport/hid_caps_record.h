#pragma once

// What kind of interface Windows' HID capabilities record (HIDP_CAPS) describes,
// read from its bytes so that the rule is tested without Windows. The record
// starts with the top-level collection's usage and usage page, 16 bits each,
// little-endian.

#include <cstddef>
#include <cstdint>
#include <span>

#include "transport/hid_platform.h"

namespace pinvale {

constexpr std::size_t kCapsUsageOffset = 0;
constexpr std::size_t kCapsUsagePageOffset = 2;

// kFido for usage page 0xF1D0 with usage 0x01, kOther for any other usage;
// kUnknown when the record is too short to say.
HidInterfaceKind KindOfCapsRecord(std::span<const std::uint8_t> record);

}  // namespace pinvale
