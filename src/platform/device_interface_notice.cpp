#include "platform/device_interface_notice.h"

#include <algorithm>

#include "platform/device_notices.h"

namespace pinvale {

namespace {

std::uint32_t ReadUint32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

}  // namespace

bool ParseDeviceInterfaceNotice(std::uint32_t event, std::span<const std::uint8_t> record,
                                std::u16string& name) {
  name.clear();
  if (event != kDeviceArrival && event != kDeviceRemoveComplete) return false;
  if (record.size() < 8) return false;
  // The record says how long it is; believe it only as far as the bytes go.
  const std::size_t size = std::min<std::size_t>(ReadUint32(record, 0), record.size());
  if (ReadUint32(record, 4) != kDeviceTypeInterface) return false;
  if (size < kDeviceInterfaceNameOffset + sizeof(char16_t)) return false;
  for (std::size_t at = kDeviceInterfaceNameOffset; at + 1 < size; at += 2) {
    const auto unit = static_cast<char16_t>(record[at] | (record[at + 1] << 8));
    if (unit == u'\0') break;
    name.push_back(unit);
  }
  return !name.empty();
}

}  // namespace pinvale
