#include "ctap/authenticator_info.h"

#include <algorithm>

#include "cbor/cbor_item.h"
#include "cbor/cbor_item_walk.h"

namespace pinvale {

namespace {

constexpr std::uint8_t kCommandGetInfo = 0x04;
constexpr std::uint8_t kSimpleFalse = 20;
constexpr std::uint8_t kSimpleTrue = 21;

bool ReadBool(const CborItem& item, bool& out) {
  const CborHead head = item.head();
  if (!isWellFormed(head) || head.majorType != 7) return false;
  if (head.additionalInfo == kSimpleTrue) {
    out = true;
    return true;
  }
  if (head.additionalInfo == kSimpleFalse) {
    out = false;
    return true;
  }
  return false;
}

bool ReadUnsigned(const CborItem& item, std::optional<std::uint32_t>& out) {
  std::uint32_t value = 0;
  if (!item.getUnsigned(value)) return false;
  out = value;
  return true;
}

bool ReadTexts(const CborItem& item, std::vector<std::string>& out) {
  CborItemWalk walk(item, 4, false);
  CborItem element;
  while (walk.Next(element)) {
    const char* text = nullptr;
    std::uint32_t length = 0;
    if (!element.getText(text, length)) return false;
    out.emplace_back(text, length);
  }
  return !walk.Broken();
}

bool ReadUnsignedList(const CborItem& item, std::vector<std::uint32_t>& out) {
  CborItemWalk walk(item, 4, false);
  CborItem element;
  while (walk.Next(element)) {
    std::uint32_t value = 0;
    if (!element.getUnsigned(value)) return false;
    out.push_back(value);
  }
  return !walk.Broken();
}

bool ReadOptions(const CborItem& item, std::vector<std::pair<std::string, bool>>& out) {
  CborItemWalk walk(item, 5, true);
  CborItem key;
  CborItem value;
  while (walk.Next(key)) {
    const char* text = nullptr;
    std::uint32_t length = 0;
    bool flag = false;
    if (!walk.Next(value) || !key.getText(text, length) || !ReadBool(value, flag)) return false;
    out.emplace_back(std::string(text, length), flag);
  }
  return !walk.Broken();
}

bool ReadAaguid(const CborItem& item, std::optional<std::array<std::uint8_t, 16>>& out) {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;
  if (!item.getBytes(bytes, length) || length != 16) return false;
  std::array<std::uint8_t, 16> aaguid{};
  std::copy_n(bytes, 16, aaguid.begin());
  out = aaguid;
  return true;
}

bool ReadMember(std::int32_t key, const CborItem& value, AuthenticatorInfo& info) {
  switch (key) {
    case 0x01:
      return ReadTexts(value, info.versions);
    case 0x02:
      return ReadTexts(value, info.extensions);
    case 0x03:
      return ReadAaguid(value, info.aaguid);
    case 0x04:
      return ReadOptions(value, info.options);
    case 0x05:
      return ReadUnsigned(value, info.maxMsgSize);
    case 0x06:
      return ReadUnsignedList(value, info.pinUvAuthProtocols);
    case 0x07:
      return ReadUnsigned(value, info.maxCredentialCountInList);
    case 0x0C:
      return ReadBool(value, info.forcePinChange);
    case 0x0D:
      return ReadUnsigned(value, info.minPinLength);
    case 0x0E:
      return ReadUnsigned(value, info.firmwareVersion);
    case 0x12:
      return ReadUnsigned(value, info.uvModality);
    case 0x14:
      return ReadUnsigned(value, info.remainingDiscoverableCredentials);
    default:
      return true;  // not read
  }
}

}  // namespace

std::optional<bool> AuthenticatorInfo::Option(std::string_view name) const {
  for (const auto& [option, value] : options) {
    if (option == name) return value;
  }
  return std::nullopt;
}

bool AuthenticatorInfo::HasVersion(std::string_view version) const {
  return std::find(versions.begin(), versions.end(), version) != versions.end();
}

std::uint16_t ParseAuthenticatorInfo(const std::uint8_t* body, std::uint32_t length,
                                     AuthenticatorInfo& info) {
  info = AuthenticatorInfo{};
  CborItemWalk walk(CborItem(body, length), 5, true);
  CborItem key;
  CborItem value;
  while (walk.Next(key)) {
    std::int32_t number = 0;
    // Text keys belong to no version of getInfo; they are passed over.
    const bool numbered = key.getInt(number);
    if (!walk.Next(value) || (numbered && !ReadMember(number, value, info))) {
      info = AuthenticatorInfo{};
      return kInfoNotUnderstood;
    }
  }
  if (walk.Broken()) {
    info = AuthenticatorInfo{};
    return kInfoNotUnderstood;
  }
  return 0;
}

std::uint16_t ReadAuthenticatorInfo(CFidoToken& token, AuthenticatorInfo& info) {
  info = AuthenticatorInfo{};
  std::vector<std::uint8_t> answer(kReceiveBufferSize, 0);
  std::uint32_t answerLength = kReceiveBufferSize;
  const std::uint8_t request = kCommandGetInfo;
  const std::uint16_t result = token.SendCborCommand(&request, 1, answer.data(), &answerLength);
  if (result != 0) return result;
  if (answerLength > answer.size()) return kAnswerTooLarge;
  return ParseAuthenticatorInfo(answer.data(), answerLength, info);
}

}  // namespace pinvale
