#include "vkey/client_pin_request.h"

#include "cbor/cbor_item.h"
#include "cbor/cbor_walk.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorMap = 5;

bool Present(const CborItem& item) {
  return item.data() != nullptr && item.length() > 0;
}

// A byte-string member: absent is fine, anything else than a byte string is not.
bool ReadBytes(const CborItem& item, ByteField& field) {
  if (!Present(item)) return true;
  field.present = item.getBytes(field.data, field.length);
  return field.present;
}

}  // namespace

std::uint8_t ReadPinRequest(const std::uint8_t* cbor, std::size_t length, PinRequest& request) {
  if (length == 0) return kStatusMissingParameter;
  std::uint32_t end = 0;
  CborOpenContainers open;
  if (!skipCborItem(cbor, static_cast<std::uint32_t>(length), end, open) || end != length) {
    return kStatusInvalidCbor;
  }
  const CborItem map(cbor, static_cast<std::uint32_t>(length));
  if (map.head().majorType != kMajorMap) return kStatusCborUnexpectedType;

  const CborItem protocol = map.mapValueByInt(1);
  const CborItem subCommand = map.mapValueByInt(2);
  if (!Present(protocol) || !Present(subCommand)) return kStatusMissingParameter;
  std::uint32_t protocolNumber = 0;
  if (protocol.head().majorType != kMajorUnsigned || !protocol.getUnsigned(protocolNumber) ||
      subCommand.head().majorType != kMajorUnsigned ||
      !subCommand.getUnsigned(request.subCommand)) {
    return kStatusCborUnexpectedType;
  }
  if (protocolNumber != 1) return kStatusInvalidParameter;

  const CborItem keyAgreement = map.mapValueByInt(3);
  if (Present(keyAgreement)) {
    if (keyAgreement.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
    request.hasKeyAgreement = true;
    if (!ReadBytes(keyAgreement.mapValueByInt(-2), request.x) ||
        !ReadBytes(keyAgreement.mapValueByInt(-3), request.y)) {
      return kStatusCborUnexpectedType;
    }
  }
  if (!ReadBytes(map.mapValueByInt(4), request.pinAuth) ||
      !ReadBytes(map.mapValueByInt(5), request.newPinEnc) ||
      !ReadBytes(map.mapValueByInt(6), request.pinHashEnc)) {
    return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

}  // namespace pinvale::vkey
