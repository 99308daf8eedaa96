#include "vkey/client_pin_request.h"

#include <algorithm>

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorMap = 5;

}  // namespace

std::uint8_t ReadPinRequest(const std::uint8_t* cbor, std::size_t length,
                            const PinRequestRules& rules, PinRequest& request) {
  CborItem map;
  if (std::uint8_t status = OpenRequestMap(cbor, length, map); status != kStatusOk) return status;

  const CborItem protocol = map.mapValueByInt(1);
  const CborItem subCommand = map.mapValueByInt(2);
  if (!Present(subCommand)) return kStatusMissingParameter;
  // getPINRetries and getUVRetries use no protocol, and a 2.1 key does not ask for
  // one: libfido2 sends protocol 1 whatever the key speaks.
  std::uint32_t number = 0;
  const bool protocolUnused = rules.ctap21 && subCommand.head().majorType == kMajorUnsigned &&
                              subCommand.getUnsigned(number) && (number == 1 || number == 7);
  if (!Present(protocol) && !protocolUnused) return kStatusMissingParameter;
  if ((Present(protocol) &&
       (protocol.head().majorType != kMajorUnsigned || !protocol.getUnsigned(request.protocol))) ||
      subCommand.head().majorType != kMajorUnsigned ||
      !subCommand.getUnsigned(request.subCommand)) {
    return kStatusCborUnexpectedType;
  }
  if (!protocolUnused && std::find(rules.protocols.begin(), rules.protocols.end(),
                                   request.protocol) == rules.protocols.end()) {
    return kStatusInvalidParameter;
  }

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
  if (!rules.ctap21) return kStatusOk;
  if (const CborItem permissions = map.mapValueByInt(9); Present(permissions)) {
    if (permissions.head().majorType != kMajorUnsigned ||
        !permissions.getUnsigned(request.permissions)) {
      return kStatusCborUnexpectedType;
    }
    request.hasPermissions = true;
  }
  if (const CborItem rpId = map.mapValueByInt(10); Present(rpId)) {
    if (!rpId.getText(request.rpId, request.rpIdLength)) return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

}  // namespace pinvale::vkey
