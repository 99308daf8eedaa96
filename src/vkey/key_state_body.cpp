#include "vkey/key_state_body.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include <mbedtls/bignum.h>
#include <mbedtls/ecp.h>

#include "cbor/cbor_item.h"

namespace pinvale::vkey {

namespace {

// The members of one definite-length map, in strictly ascending integer keys: the
// canonical order the writer uses, so a repeated or unknown key reads as a fault.
class MapReader {
 public:
  bool Open(const CborItem& item) {
    const CborHead head = item.head();
    if (!isWellFormed(head) || head.majorType != 5 || head.tag != CBOR_NO_TAG ||
        isIndefinite(head)) {
      return false;
    }
    remaining_ = head.argument;
    next_.assign(item.data() + head.headLength, item.length() - head.headLength);
    return true;
  }

  // The next member, false at the end or when it is not an integer key above the last.
  bool Next(std::int32_t& key, CborItem& value) {
    if (remaining_ == 0) return false;
    CborItem afterKey;
    CborItem afterValue;
    if (next_.head().majorType != 0 || !next_.getInt(key) || key <= lastKey_ ||
        !next_.nextItem(afterKey) || !afterKey.nextItem(afterValue)) {
      broken_ = true;
      return false;
    }
    value = afterKey;
    next_ = afterValue;
    lastKey_ = key;
    --remaining_;
    return true;
  }

  bool Broken() const { return broken_; }

 private:
  CborItem next_;
  std::uint32_t remaining_ = 0;
  std::int32_t lastKey_ = 0;
  bool broken_ = false;
};

bool IsArray(const CborItem& item, std::uint32_t& count, CborItem& first) {
  const CborHead head = item.head();
  if (!isWellFormed(head) || head.majorType != 4 || head.tag != CBOR_NO_TAG || isIndefinite(head)) {
    return false;
  }
  count = head.argument;
  first.assign(item.data() + head.headLength, item.length() - head.headLength);
  return true;
}

bool ReadUnsigned(const CborItem& item, std::uint32_t highest, std::uint32_t& out) {
  std::uint32_t value = 0;
  if (item.head().majorType != 0 || item.head().tag != CBOR_NO_TAG || !item.getUnsigned(value) ||
      value > highest) {
    return false;
  }
  out = value;
  return true;
}

bool ReadBool(const CborItem& item, bool& out) {
  const CborHead head = item.head();
  if (!isWellFormed(head) || head.majorType != 7 || head.tag != CBOR_NO_TAG ||
      (head.additionalInfo != 20 && head.additionalInfo != 21)) {
    return false;
  }
  out = head.additionalInfo == 21;
  return true;
}

bool ReadByteString(const CborItem& item, std::size_t shortest, std::size_t longest,
                    const std::uint8_t*& data, std::uint32_t& length) {
  return item.head().tag == CBOR_NO_TAG && item.getBytes(data, length) && length >= shortest &&
         length <= longest;
}

bool ReadBytes(const CborItem& item, std::size_t shortest, std::size_t longest,
               std::vector<std::uint8_t>& out) {
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  if (!ReadByteString(item, shortest, longest, data, length)) return false;
  out.assign(data, data + length);
  return true;
}

template <std::size_t N>
bool ReadSecret(const CborItem& item, SecretBuffer<N>& out) {
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  if (!ReadByteString(item, N, N, data, length)) return false;
  std::memcpy(out.data(), data, N);
  return true;
}

bool ReadText(const CborItem& item, std::size_t shortest, std::size_t longest, std::string& out) {
  const char* text = nullptr;
  std::uint32_t length = 0;
  if (item.head().tag != CBOR_NO_TAG || !item.getText(text, length) || length < shortest ||
      length > longest || !IsUtf8(text, length)) {
    return false;
  }
  out.assign(text, length);
  return true;
}

// A P-256 private key is a scalar from 1 to n - 1.
class ScalarCheck {
 public:
  ScalarCheck() {
    mbedtls_ecp_group_init(&group_);
    mbedtls_mpi_init(&d_);
    loaded_ = mbedtls_ecp_group_load(&group_, MBEDTLS_ECP_DP_SECP256R1) == 0;
  }
  ~ScalarCheck() {
    mbedtls_mpi_free(&d_);  // wipes the limbs
    mbedtls_ecp_group_free(&group_);
  }
  ScalarCheck(const ScalarCheck&) = delete;
  ScalarCheck& operator=(const ScalarCheck&) = delete;

  bool Valid(const SecretBuffer<32>& key) {
    return loaded_ && mbedtls_mpi_read_binary(&d_, key.data(), key.size()) == 0 &&
           mbedtls_ecp_check_privkey(&group_, &d_) == 0;
  }

 private:
  mbedtls_ecp_group group_;
  mbedtls_mpi d_;
  bool loaded_ = false;
};

// Appends the parts: chains of operator+ on literals draw false warnings from GCC 12 at -O3.
std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text.append(part);
  return text;
}

StateReadResult Invalid(std::string detail) {
  return StateReadResult{StateFault::kInvalid, std::move(detail)};
}

std::string Numbered(const char* what, std::size_t index, const char* member) {
  std::string text = what;
  text.append(" ").append(std::to_string(index + 1)).append(": ").append(member);
  return text;
}

bool ReadCredential(const CborItem& item, std::size_t longestText, ScalarCheck& scalars,
                    StoredCredential& credential, const char*& wrong) {
  MapReader map;
  wrong = "not a map";
  if (!map.Open(item)) return false;
  std::int32_t key = 0;
  CborItem value;
  std::uint32_t protect = 0;
  std::int32_t expected = kCredentialId;
  static const char* const kNames[] = {"",           "id",       "rpId",        "rpName",
                                       "userId",     "userName", "displayName", "private key",
                                       "credProtect"};
  while (map.Next(key, value)) {
    wrong = key == expected && key <= kCredentialProtect ? kNames[key] : "unknown member";
    bool ok = key == expected;
    if (!ok) return false;
    switch (key) {
      case kCredentialId:
        ok = ReadBytes(value, 1, kMaxCredentialIdLength, credential.id);
        break;
      case kCredentialRpId:
        ok = ReadText(value, 1, longestText, credential.rpId);
        break;
      case kCredentialRpName:
        ok = ReadText(value, 0, longestText, credential.rpName);
        break;
      case kCredentialUserId:
        ok = ReadBytes(value, 0, kMaxUserIdLength, credential.userId);
        break;
      case kCredentialUserName:
        ok = ReadText(value, 0, longestText, credential.userName);
        break;
      case kCredentialUserDisplayName:
        ok = ReadText(value, 0, longestText, credential.userDisplayName);
        break;
      case kCredentialPrivateKey:
        ok = ReadSecret(value, credential.privateKey) && scalars.Valid(credential.privateKey);
        break;
      case kCredentialProtect:
        ok = ReadUnsigned(value, 3, protect) && protect >= 1;
        credential.credProtect = static_cast<std::uint8_t>(protect);
        break;
      default:
        ok = false;
    }
    if (!ok) return false;
    ++expected;
  }
  wrong = expected <= kCredentialProtect ? "a member missing" : "malformed";
  return !map.Broken() && expected > kCredentialProtect;
}

bool ReadFingerprint(const CborItem& item, std::size_t longestName,
                     EnrolledFingerprint& fingerprint, const char*& wrong) {
  MapReader map;
  wrong = "not a map";
  if (!map.Open(item)) return false;
  std::int32_t key = 0;
  CborItem value;
  std::int32_t expected = kFingerprintTemplateId;
  while (map.Next(key, value)) {
    if (key != expected || key > kFingerprintFriendlyName) {
      wrong = "unknown member";
      return false;
    }
    if (key == kFingerprintTemplateId) {
      wrong = "templateId";
      if (!ReadBytes(value, 1, kMaxTemplateIdLength, fingerprint.templateId)) return false;
    } else {
      wrong = "friendly name";
      if (!ReadText(value, 0, longestName, fingerprint.friendlyName)) return false;
    }
    ++expected;
  }
  wrong = expected <= kFingerprintFriendlyName ? "a member missing" : "malformed";
  return !map.Broken() && expected > kFingerprintFriendlyName;
}

StateReadResult ReadCredentials(const CborItem& item, const VirtualKeyConfig& config,
                                std::vector<StoredCredential>& credentials) {
  std::uint32_t count = 0;
  CborItem element;
  if (!IsArray(item, count, element)) return Invalid("passkeys");
  if (count > static_cast<std::uint32_t>(std::max(config.capacity, 0))) {
    return Invalid(Joined({std::to_string(count), " passkeys, more than the key's ",
                           std::to_string(config.capacity)}));
  }
  ScalarCheck scalars;
  for (std::uint32_t i = 0; i < count; ++i) {
    StoredCredential credential;
    const char* wrong = "";
    CborItem after;
    if (!ReadCredential(element, config.maxMsgSize, scalars, credential, wrong) ||
        !element.nextItem(after)) {
      return Invalid(Numbered("passkey", i, wrong));
    }
    for (const StoredCredential& earlier : credentials) {
      if (earlier.id == credential.id) return Invalid(Numbered("passkey", i, "id seen before"));
    }
    credentials.push_back(std::move(credential));
    element = after;
  }
  return {};
}

StateReadResult ReadFingerprints(const CborItem& item, const VirtualKeyConfig& config,
                                 std::vector<EnrolledFingerprint>& fingerprints) {
  std::uint32_t count = 0;
  CborItem element;
  if (!IsArray(item, count, element)) return Invalid("fingerprints");
  const int capacity = config.profile == CtapProfile::kCtap20 ? 0 : config.fingerprintCapacity;
  if (count > static_cast<std::uint32_t>(std::max(capacity, 0))) {
    return Invalid(Joined(
        {std::to_string(count), " fingerprints, more than the key's ", std::to_string(capacity)}));
  }
  const std::size_t longestName =
      static_cast<std::size_t>(std::max(config.maxFriendlyNameBytes, 0));
  for (std::uint32_t i = 0; i < count; ++i) {
    EnrolledFingerprint fingerprint;
    const char* wrong = "";
    CborItem after;
    if (!ReadFingerprint(element, longestName, fingerprint, wrong) || !element.nextItem(after)) {
      return Invalid(Numbered("fingerprint", i, wrong));
    }
    for (const EnrolledFingerprint& earlier : fingerprints) {
      if (earlier.templateId == fingerprint.templateId) {
        return Invalid(Numbered("fingerprint", i, "templateId seen before"));
      }
    }
    fingerprints.push_back(std::move(fingerprint));
    element = after;
  }
  return {};
}

// The profile comes first: a file of another kind of key is refused as such, whatever
// it holds that this key could not.
StateReadResult ReadProfile(const CborItem& value, CtapProfile profile) {
  std::string name;
  if (!ReadText(value, 1, 16, name)) return Invalid("profile");
  if (name == ProfileName(profile)) return {};
  for (CtapProfile other : {CtapProfile::kCtap20, CtapProfile::kCtap21Pre, CtapProfile::kCtap21}) {
    if (name == ProfileName(other)) {
      return StateReadResult{StateFault::kOtherProfile,
                             Joined({"a ", name, " key's, this key is ", ProfileName(profile),
                                     ": start it with --profile ", name})};
    }
  }
  return Invalid(Joined({"profile ", name}));
}

}  // namespace

StateReadResult ReadStateBody(const std::uint8_t* body, std::uint32_t length,
                              const VirtualKeyConfig& config, KeyState& state) {
  const CborItem whole(body, length);
  CborItem after;
  if (!whole.nextItem(after) || after.length() != 0) return Invalid("body is not one CBOR item");
  MapReader map;
  if (!map.Open(whole)) return Invalid("body is not a map");

  std::int32_t key = 0;
  CborItem value;
  std::int32_t expected = kStateProfile;
  while (map.Next(key, value)) {
    // The PIN hash alone may be missing: a key without a PIN.
    if (expected == kStatePinHash && key != kStatePinHash) ++expected;
    if (key != expected || key > kStateFingerprints) return Invalid("unknown or missing member");
    ++expected;
    StateReadResult result;
    switch (key) {
      case kStateProfile:
        result = ReadProfile(value, config.profile);
        break;
      case kStatePinHash:
        state.pinSet = true;
        if (!ReadSecret(value, state.pinHash)) result = Invalid("PIN hash");
        break;
      case kStatePinRetries:
        if (!ReadUnsigned(value, kMaxPinRetries, state.pinRetries)) result = Invalid("PIN retries");
        break;
      case kStateForcePinChange:
        if (!ReadBool(value, state.forcePinChange) || (state.forcePinChange && !state.pinSet)) {
          result = Invalid("forcePinChange");
        }
        break;
      case kStateUvRetries:
        if (!ReadUnsigned(value, kMaxUvRetries, state.uvRetries)) result = Invalid("UV retries");
        break;
      case kStateSignCount:
        if (!ReadUnsigned(value, 0xFFFFFFFFu, state.signCount)) result = Invalid("sign count");
        break;
      case kStateCredentialKey:
        if (!ReadSecret(value, state.credentialKey)) result = Invalid("credential key");
        break;
      case kStateCredentials:
        result = ReadCredentials(value, config, state.credentials);
        break;
      case kStateFingerprints:
        result = ReadFingerprints(value, config, state.fingerprints);
        break;
      default:
        result = Invalid("unknown member");
    }
    if (!result.ok()) return result;
  }
  if (map.Broken()) return Invalid("malformed member");
  if (expected <= kStateFingerprints) return Invalid("a member missing");
  return {};
}

}  // namespace pinvale::vkey
