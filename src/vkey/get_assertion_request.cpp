#include "vkey/get_assertion_request.h"

#include "cbor/cbor_item.h"
#include "vkey/credential_request_parts.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorMap = 5;
constexpr std::size_t kClientDataHashSize = 32;

std::uint8_t ReadOptions(const CborItem& options, AssertionRequest& request) {
  if (options.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  bool present = false;
  bool rkValue = false;
  if (!ReadBooleanOption(options, "up", 2, request.up, present) ||
      !ReadBooleanOption(options, "uv", 2, request.uv, present) ||
      !ReadBooleanOption(options, "rk", 2, rkValue, request.rk)) {
    return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

}  // namespace

std::uint8_t ReadAssertionRequest(const std::uint8_t* cbor, std::size_t length,
                                  AssertionRequest& request) {
  CborItem map;
  if (std::uint8_t status = OpenRequestMap(cbor, length, map); status != kStatusOk) return status;

  const CborItem rpId = map.mapValueByInt(1);
  const CborItem clientDataHash = map.mapValueByInt(2);
  if (!Present(rpId) || !Present(clientDataHash)) return kStatusMissingParameter;
  if (!rpId.getText(request.rpId, request.rpIdLength) ||
      !ReadBytes(clientDataHash, request.clientDataHash)) {
    return kStatusCborUnexpectedType;
  }
  if (request.clientDataHash.length != kClientDataHashSize) return kStatusInvalidLength;

  if (const CborItem allowList = map.mapValueByInt(3); Present(allowList)) {
    request.hasAllowList = true;
    if (std::uint8_t status =
            ReadCredentialList(allowList, kMaxCredentialCountInList, request.allowList);
        status != kStatusOk) {
      return status;
    }
  }
  if (const CborItem extensions = map.mapValueByInt(4);
      Present(extensions) && extensions.head().majorType != kMajorMap) {
    return kStatusCborUnexpectedType;
  }
  if (const CborItem options = map.mapValueByInt(5); Present(options)) {
    if (std::uint8_t status = ReadOptions(options, request); status != kStatusOk) return status;
  }
  if (!ReadBytes(map.mapValueByInt(6), request.pinAuth)) return kStatusCborUnexpectedType;
  if (const CborItem protocol = map.mapValueByInt(7); Present(protocol)) {
    if (protocol.head().majorType != kMajorUnsigned || !protocol.getUnsigned(request.pinProtocol)) {
      return kStatusCborUnexpectedType;
    }
    request.hasPinProtocol = true;
  }
  return kStatusOk;
}

}  // namespace pinvale::vkey
