#include "vkey/get_assertion_request.h"

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorArray = 4;
constexpr std::uint8_t kMajorMap = 5;
constexpr std::uint8_t kMajorSimple = 7;
constexpr std::uint8_t kSimpleFalse = 20;
constexpr std::uint8_t kSimpleTrue = 21;
constexpr std::size_t kClientDataHashSize = 32;

bool IsText(const CborItem& item) {
  const char* text = nullptr;
  std::uint32_t length = 0;
  return item.getText(text, length);
}

// A boolean option: absent keeps the default.
bool ReadOption(const CborItem& options, const char* name, std::uint32_t nameLength, bool& value,
                bool& present) {
  const CborItem item = options.mapValueByText(name, nameLength);
  if (!Present(item)) return true;
  const CborHead head = item.head();
  if (head.majorType != kMajorSimple ||
      (head.additionalInfo != kSimpleFalse && head.additionalInfo != kSimpleTrue)) {
    return false;
  }
  value = head.additionalInfo == kSimpleTrue;
  present = true;
  return true;
}

// One PublicKeyCredentialDescriptor: a map with the text "type" and the bytes "id".
std::uint8_t CheckDescriptor(const CborItem& descriptor) {
  if (descriptor.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  const CborItem type = descriptor.mapValueByText("type", 4);
  ByteField id;
  if (!Present(type) || !Present(descriptor.mapValueByText("id", 2))) {
    return kStatusMissingParameter;
  }
  if (!IsText(type) || !ReadBytes(descriptor.mapValueByText("id", 2), id)) {
    return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

std::uint8_t CheckAllowList(const CborItem& list) {
  const CborHead head = list.head();
  if (head.majorType != kMajorArray) return kStatusCborUnexpectedType;
  const bool indefinite = isIndefinite(head);
  CborItem element(list.data() + head.headLength, list.length() - head.headLength);
  // The request was checked whole before, so the elements and the break are there.
  for (std::uint64_t i = 0; indefinite || i < head.argument; ++i) {
    if (indefinite && isBreak(element.head())) break;
    if (std::uint8_t status = CheckDescriptor(element); status != kStatusOk) return status;
    CborItem after;
    if (!element.nextItem(after)) return kStatusInvalidCbor;
    element = after;
  }
  return kStatusOk;
}

std::uint8_t ReadOptions(const CborItem& options, AssertionRequest& request) {
  if (options.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  bool present = false;
  bool rkValue = false;
  if (!ReadOption(options, "up", 2, request.up, present) ||
      !ReadOption(options, "uv", 2, request.uv, present) ||
      !ReadOption(options, "rk", 2, rkValue, request.rk)) {
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
    if (std::uint8_t status = CheckAllowList(allowList); status != kStatusOk) return status;
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
