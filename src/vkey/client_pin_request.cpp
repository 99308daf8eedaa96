#include "vkey/client_pin_request.h"

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorMap = 5;

}  // namespace

std::uint8_t ReadPinRequest(const std::uint8_t* cbor, std::size_t length, PinRequest& request) {
  CborItem map;
  if (std::uint8_t status = OpenRequestMap(cbor, length, map); status != kStatusOk) return status;

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
