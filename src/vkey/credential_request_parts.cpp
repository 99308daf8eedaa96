#include "vkey/credential_request_parts.h"

#include <cstring>

#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorText = 3;
constexpr std::uint8_t kMajorArray = 4;
constexpr std::uint8_t kMajorMap = 5;
constexpr std::uint8_t kMajorSimple = 7;
constexpr std::uint8_t kSimpleFalse = 20;
constexpr std::uint8_t kSimpleTrue = 21;

// One PublicKeyCredentialDescriptor: a map with the text "type" and the bytes "id".
std::uint8_t ReadDescriptor(const CborItem& descriptor, bool& publicKey, ByteField& id) {
  if (descriptor.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  const CborItem type = descriptor.mapValueByText("type", 4);
  const CborItem idItem = descriptor.mapValueByText("id", 2);
  if (!Present(type) || !Present(idItem)) return kStatusMissingParameter;
  const char* text = nullptr;
  std::uint32_t length = 0;
  if (!type.getText(text, length) || !ReadBytes(idItem, id)) return kStatusCborUnexpectedType;
  publicKey = length == 10 && std::memcmp(text, "public-key", 10) == 0;
  return kStatusOk;
}

}  // namespace

std::uint8_t ReadCredentialList(const CborItem& list, std::size_t keep,
                                std::vector<ByteField>& ids) {
  const CborHead head = list.head();
  if (head.majorType != kMajorArray) return kStatusCborUnexpectedType;
  const bool indefinite = isIndefinite(head);
  CborItem element(list.data() + head.headLength, list.length() - head.headLength);
  // The request was checked whole before, so the elements and the break are there.
  for (std::uint64_t i = 0; indefinite || i < head.argument; ++i) {
    if (indefinite && isBreak(element.head())) break;
    bool publicKey = false;
    ByteField id;
    if (std::uint8_t status = ReadDescriptor(element, publicKey, id); status != kStatusOk) {
      return status;
    }
    if (publicKey && ids.size() < keep) ids.push_back(id);
    CborItem after;
    if (!element.nextItem(after)) return kStatusInvalidCbor;
    element = after;
  }
  return kStatusOk;
}

bool ReadBooleanOption(const CborItem& options, const char* name, std::uint32_t nameLength,
                       bool& value, bool& present) {
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

std::uint8_t ReadExtensions(const CborItem& extensions, std::uint8_t& credProtect) {
  const CborHead head = extensions.head();
  if (head.majorType != kMajorMap) return kStatusCborUnexpectedType;
  const bool indefinite = isIndefinite(head);
  CborItem member(extensions.data() + head.headLength, extensions.length() - head.headLength);
  for (std::uint64_t i = 0; indefinite || i < head.argument; ++i) {
    if (indefinite && isBreak(member.head())) break;
    if (member.head().majorType != kMajorText) return kStatusCborUnexpectedType;
    CborItem value;
    CborItem after;
    if (!member.nextItem(value) || !value.nextItem(after)) return kStatusInvalidCbor;
    member = after;
  }
  credProtect = 0;
  const CborItem level = extensions.mapValueByText("credProtect", 11);
  if (!Present(level)) return kStatusOk;
  std::uint32_t number = 0;
  if (level.head().majorType != kMajorUnsigned || !level.getUnsigned(number)) {
    return kStatusCborUnexpectedType;
  }
  if (number < 1 || number > 3) return kStatusInvalidParameter;
  credProtect = static_cast<std::uint8_t>(number);
  return kStatusOk;
}

}  // namespace pinvale::vkey
