#include "transport/hid_caps_record.h"

#include "transport/hid_report_descriptor.h"

namespace pinvale {

namespace {
std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
}  // namespace

HidInterfaceKind KindOfCapsRecord(std::span<const std::uint8_t> record) {
  if (record.size() < kCapsUsagePageOffset + 2) return HidInterfaceKind::kUnknown;
  const bool fido = Le16(record, kCapsUsagePageOffset) == kFidoUsagePage &&
                    Le16(record, kCapsUsageOffset) == kFidoUsageCtaphid;
  return fido ? HidInterfaceKind::kFido : HidInterfaceKind::kOther;
}

}  // namespace pinvale
