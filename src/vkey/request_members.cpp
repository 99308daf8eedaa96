#include "vkey/request_members.h"

#include "cbor/cbor_walk.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

std::uint8_t OpenRequestMap(const std::uint8_t* cbor, std::size_t length, CborItem& map) {
  constexpr std::uint8_t kMajorMap = 5;
  if (length == 0) return kStatusMissingParameter;
  std::uint32_t end = 0;
  CborOpenContainers open;
  if (!skipCborItem(cbor, static_cast<std::uint32_t>(length), end, open) || end != length) {
    return kStatusInvalidCbor;
  }
  map = CborItem(cbor, static_cast<std::uint32_t>(length));
  if (map.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  return kStatusOk;
}

bool Present(const CborItem& item) {
  return item.data() != nullptr && item.length() > 0;
}

bool ReadBytes(const CborItem& item, ByteField& field) {
  if (!Present(item)) return true;
  field.present = item.getBytes(field.data, field.length);
  return field.present;
}

}  // namespace pinvale::vkey
