#include "vkey/credential_management_request.h"

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorMap = 5;

bool ReadText(const CborItem& item, TextField& field) {
  if (!Present(item)) return true;
  field.present = item.getText(field.data, field.length);
  return field.present;
}

bool ReadUnsigned(const CborItem& item, bool& present, std::uint32_t& value) {
  if (!Present(item)) return true;
  present = item.head().majorType == kMajorUnsigned && item.getUnsigned(value);
  return present;
}

// A PublicKeyCredentialDescriptor: {"id": bytes, "type": text}.
std::uint8_t ReadDescriptor(const CborItem& item, CredentialManagementRequest& request) {
  if (item.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  request.hasCredential = true;
  if (!ReadBytes(item.mapValueByText("id", 2), request.credentialId) ||
      !ReadText(item.mapValueByText("type", 4), request.credentialType)) {
    return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

// A PublicKeyCredentialUserEntity: {"id": bytes, "name"?: text, "displayName"?: text};
// other members (an icon) are not kept.
std::uint8_t ReadUser(const CborItem& item, CredentialManagementRequest& request) {
  if (item.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  request.hasUser = true;
  if (!ReadBytes(item.mapValueByText("id", 2), request.userId) ||
      !ReadText(item.mapValueByText("name", 4), request.userName) ||
      !ReadText(item.mapValueByText("displayName", 11), request.userDisplayName)) {
    return kStatusCborUnexpectedType;
  }
  return kStatusOk;
}

std::uint8_t ReadParams(const CborItem& params, CredentialManagementRequest& request) {
  if (params.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  CborItem after;
  if (!params.nextItem(after)) return kStatusInvalidCbor;
  request.params = params.data();
  request.paramsLength = static_cast<std::uint32_t>(after.data() - params.data());

  if (!ReadBytes(params.mapValueByInt(1), request.rpIdHash)) return kStatusCborUnexpectedType;
  if (const CborItem descriptor = params.mapValueByInt(2); Present(descriptor)) {
    if (std::uint8_t status = ReadDescriptor(descriptor, request); status != kStatusOk) {
      return status;
    }
  }
  if (const CborItem user = params.mapValueByInt(3); Present(user)) {
    if (std::uint8_t status = ReadUser(user, request); status != kStatusOk) return status;
  }
  return kStatusOk;
}

}  // namespace

std::uint8_t ReadCredentialManagementRequest(const std::uint8_t* cbor, std::size_t length,
                                             CredentialManagementRequest& request) {
  CborItem map;
  if (std::uint8_t status = OpenRequestMap(cbor, length, map); status != kStatusOk) return status;
  if (!ReadUnsigned(map.mapValueByInt(1), request.hasSubCommand, request.subCommand) ||
      !ReadUnsigned(map.mapValueByInt(3), request.hasProtocol, request.protocol) ||
      !ReadBytes(map.mapValueByInt(4), request.pinUvAuthParam)) {
    return kStatusCborUnexpectedType;
  }
  if (const CborItem params = map.mapValueByInt(2); Present(params)) {
    if (std::uint8_t status = ReadParams(params, request); status != kStatusOk) return status;
  }
  return kStatusOk;
}

int CredentialManagementSubCommand(const std::uint8_t* cbor, std::size_t length) {
  CborItem map;
  if (OpenRequestMap(cbor, length, map) != kStatusOk) return -1;
  const CborItem item = map.mapValueByInt(1);
  std::uint32_t subCommand = 0;
  if (!Present(item) || item.head().majorType != kMajorUnsigned || !item.getUnsigned(subCommand) ||
      subCommand > 0xFF) {
    return -1;
  }
  return static_cast<int>(subCommand);
}

}  // namespace pinvale::vkey
