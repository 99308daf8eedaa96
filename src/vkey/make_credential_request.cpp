#include "vkey/make_credential_request.h"

#include <cstring>

#include "cbor/cbor_item.h"
#include "vkey/credential_request_parts.h"
#include "vkey/ctap_status.h"
#include "vkey/key_state.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorNegative = 1;
constexpr std::uint8_t kMajorArray = 4;
constexpr std::uint8_t kMajorMap = 5;
constexpr std::size_t kClientDataHashSize = 32;
constexpr std::int32_t kEs256 = -7;

// A text member: absent is fine, anything else than a text string is not.
bool ReadText(const CborItem& item, TextField& field) {
  if (!Present(item)) return true;
  return item.getText(field.data, field.length);
}

std::uint8_t ReadRp(const CborItem& rp, MakeCredentialRequest& request) {
  if (rp.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  const CborItem id = rp.mapValueByText("id", 2);
  if (!Present(id)) return kStatusMissingParameter;
  if (!ReadText(id, request.rpId) || !ReadText(rp.mapValueByText("name", 4), request.rpName)) {
    return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

std::uint8_t ReadUser(const CborItem& user, MakeCredentialRequest& request) {
  if (user.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  const CborItem id = user.mapValueByText("id", 2);
  if (!Present(id)) return kStatusMissingParameter;
  if (!ReadBytes(id, request.userId) ||
      !ReadText(user.mapValueByText("name", 4), request.userName) ||
      !ReadText(user.mapValueByText("displayName", 11), request.userDisplayName)) {
    return kStatusCborUnexpectedType;
  }
  if (request.userId.length == 0 || request.userId.length > kMaxUserIdLength) {
    return kStatusInvalidLength;
  }
  return kStatusOk;
}

// Every entry is {"alg": integer, "type": text}; the key makes ES256 public-key
// credentials and passes over any other entry.
std::uint8_t ReadAlgorithms(const CborItem& list, MakeCredentialRequest& request) {
  const CborHead head = list.head();
  if (head.majorType != kMajorArray) return kStatusCborUnexpectedType;
  const bool indefinite = isIndefinite(head);
  CborItem entry(list.data() + head.headLength, list.length() - head.headLength);
  for (std::uint64_t i = 0; indefinite || i < head.argument; ++i) {
    if (indefinite && isBreak(entry.head())) break;
    if (entry.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
    const CborItem alg = entry.mapValueByText("alg", 3);
    const CborItem type = entry.mapValueByText("type", 4);
    if (!Present(alg) || !Present(type)) return kStatusMissingParameter;
    TextField typeText;
    const std::uint8_t algMajor = alg.head().majorType;
    if ((algMajor != kMajorUnsigned && algMajor != kMajorNegative) || !ReadText(type, typeText)) {
      return kStatusCborUnexpectedType;
    }
    std::int32_t number = 0;
    if (alg.getInt(number) && number == kEs256 && typeText.length == 10 &&
        std::memcmp(typeText.data, "public-key", 10) == 0) {
      request.es256 = true;
    }
    CborItem after;
    if (!entry.nextItem(after)) return kStatusInvalidCbor;
    entry = after;
  }
  return kStatusOk;
}

std::uint8_t ReadOptions(const CborItem& options, MakeCredentialRequest& request) {
  if (options.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  bool present = false;
  if (!ReadBooleanOption(options, "rk", 2, request.rk, present) ||
      !ReadBooleanOption(options, "up", 2, request.up, present) ||
      !ReadBooleanOption(options, "uv", 2, request.uv, present)) {
    return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

}  // namespace

std::uint8_t ReadMakeCredentialRequest(const std::uint8_t* cbor, std::size_t length,
                                       MakeCredentialRequest& request) {
  CborItem map;
  if (std::uint8_t status = OpenRequestMap(cbor, length, map); status != kStatusOk) return status;

  const CborItem clientDataHash = map.mapValueByInt(1);
  const CborItem rp = map.mapValueByInt(2);
  const CborItem user = map.mapValueByInt(3);
  const CborItem algorithms = map.mapValueByInt(4);
  if (!Present(clientDataHash) || !Present(rp) || !Present(user) || !Present(algorithms)) {
    return kStatusMissingParameter;
  }
  if (!ReadBytes(clientDataHash, request.clientDataHash)) return kStatusCborUnexpectedType;
  if (request.clientDataHash.length != kClientDataHashSize) return kStatusInvalidLength;
  if (std::uint8_t status = ReadRp(rp, request); status != kStatusOk) return status;
  if (std::uint8_t status = ReadUser(user, request); status != kStatusOk) return status;
  if (std::uint8_t status = ReadAlgorithms(algorithms, request); status != kStatusOk) {
    return status;
  }
  if (const CborItem excludeList = map.mapValueByInt(5); Present(excludeList)) {
    if (std::uint8_t status =
            ReadCredentialList(excludeList, kMaxCredentialCountInList, request.excludeList);
        status != kStatusOk) {
      return status;
    }
  }
  if (const CborItem extensions = map.mapValueByInt(6); Present(extensions)) {
    if (std::uint8_t status = ReadExtensions(extensions, request.credProtect);
        status != kStatusOk) {
      return status;
    }
  }
  if (const CborItem options = map.mapValueByInt(7); Present(options)) {
    if (std::uint8_t status = ReadOptions(options, request); status != kStatusOk) return status;
  }
  if (!ReadBytes(map.mapValueByInt(8), request.pinAuth)) return kStatusCborUnexpectedType;
  if (const CborItem protocol = map.mapValueByInt(9); Present(protocol)) {
    if (protocol.head().majorType != kMajorUnsigned || !protocol.getUnsigned(request.pinProtocol)) {
      return kStatusCborUnexpectedType;
    }
    request.hasPinProtocol = true;
  }
  return kStatusOk;
}

}  // namespace pinvale::vkey
