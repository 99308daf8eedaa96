#pragma once

// The device-interface notice that Windows hands a window with WM_DEVICECHANGE
// (a DEV_BROADCAST_DEVICEINTERFACE_W record, read here byte by byte so the rules
// are tested on any platform):
//   offset 0  size of the record in bytes
//   offset 4  device type (5: device interface)
//   offset 8  reserved
//   offset 12 interface class GUID (16 bytes)
//   offset 28 NUL-terminated UTF-16 interface name, e.g.
//             "\\?\USB#VID_3F8C&PID_2D71#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"

#include <cstdint>
#include <span>
#include <string>

namespace pinvale {

constexpr std::size_t kDeviceInterfaceNameOffset = 28;

// The interface name of an arrival (0x8000) or removal (0x8004) notice about a
// device interface. False for other events, other device types, and records
// too short for a name; the name never reaches beyond the record's own size.
bool ParseDeviceInterfaceNotice(std::uint32_t event, std::span<const std::uint8_t> record,
                                std::u16string& name);

}  // namespace pinvale
