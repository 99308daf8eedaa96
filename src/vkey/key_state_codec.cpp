#include "vkey/key_state_codec.h"

#include <cstring>

#include <mbedtls/sha256.h>

#include "cbor/cbor_head.h"
#include "cbor/cbor_writer.h"
#include "vkey/key_state_body.h"

namespace pinvale::vkey {

namespace {

constexpr std::size_t kHeaderLength = kStateMagicLength + 2 + 4;
constexpr std::size_t kChecksumLength = 32;

// The most a head adds to a member: its key's head and its value's.
constexpr std::size_t kMemberOverhead = 2 * 5;

std::size_t TextSize(const std::string& text) {
  return text.size() + kMemberOverhead;
}

std::size_t BytesSize(std::size_t length) {
  return length + kMemberOverhead;
}

// An upper bound of the body's size, so the writer (which skips what does not fit)
// always has room.
std::size_t BodyBound(const KeyState& state) {
  std::size_t bound = 128;
  for (const StoredCredential& credential : state.credentials) {
    bound += 16 + BytesSize(credential.id.size()) + TextSize(credential.rpId) +
             TextSize(credential.rpName) + BytesSize(credential.userId.size()) +
             TextSize(credential.userName) + TextSize(credential.userDisplayName) +
             BytesSize(credential.privateKey.size()) + kMemberOverhead;
  }
  for (const EnrolledFingerprint& fingerprint : state.fingerprints) {
    bound += 8 + BytesSize(fingerprint.templateId.size()) + TextSize(fingerprint.friendlyName);
  }
  return bound;
}

void PutText(CborWriter& writer, const std::string& text) {
  writer.putText(text.data(), static_cast<std::uint32_t>(text.size()));
}

void PutBytes(CborWriter& writer, const std::uint8_t* data, std::size_t length) {
  writer.putBytes(data, static_cast<std::uint32_t>(length));
}

void PutUnsigned(CborWriter& writer, std::uint32_t value) {
  writer.putHead(0, value);
}

void WriteBody(const KeyState& state, CtapProfile profile, CborWriter& writer) {
  writer.beginMap(state.pinSet ? 9 : 8);
  writer.putInt(kStateProfile);
  PutText(writer, ProfileName(profile));
  if (state.pinSet) {
    writer.putInt(kStatePinHash);
    PutBytes(writer, state.pinHash.data(), state.pinHash.size());
  }
  writer.putInt(kStatePinRetries);
  PutUnsigned(writer, state.pinRetries);
  writer.putInt(kStateForcePinChange).putBool(state.forcePinChange);
  writer.putInt(kStateUvRetries);
  PutUnsigned(writer, state.uvRetries);
  writer.putInt(kStateSignCount);
  PutUnsigned(writer, state.signCount);
  writer.putInt(kStateCredentialKey);
  PutBytes(writer, state.credentialKey.data(), state.credentialKey.size());

  writer.putInt(kStateCredentials).beginArray(static_cast<std::uint32_t>(state.credentials.size()));
  for (const StoredCredential& credential : state.credentials) {
    writer.beginMap(8);
    writer.putInt(kCredentialId);
    PutBytes(writer, credential.id.data(), credential.id.size());
    writer.putInt(kCredentialRpId);
    PutText(writer, credential.rpId);
    writer.putInt(kCredentialRpName);
    PutText(writer, credential.rpName);
    writer.putInt(kCredentialUserId);
    PutBytes(writer, credential.userId.data(), credential.userId.size());
    writer.putInt(kCredentialUserName);
    PutText(writer, credential.userName);
    writer.putInt(kCredentialUserDisplayName);
    PutText(writer, credential.userDisplayName);
    writer.putInt(kCredentialPrivateKey);
    PutBytes(writer, credential.privateKey.data(), credential.privateKey.size());
    writer.putInt(kCredentialProtect);
    PutUnsigned(writer, credential.credProtect);
  }

  writer.putInt(kStateFingerprints)
      .beginArray(static_cast<std::uint32_t>(state.fingerprints.size()));
  for (const EnrolledFingerprint& fingerprint : state.fingerprints) {
    writer.beginMap(2);
    writer.putInt(kFingerprintTemplateId);
    PutBytes(writer, fingerprint.templateId.data(), fingerprint.templateId.size());
    writer.putInt(kFingerprintFriendlyName);
    PutText(writer, fingerprint.friendlyName);
  }
}

void PutBigEndian(StateBytes& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out[at + static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
  }
}

std::uint32_t GetBigEndian(const std::uint8_t* data, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | data[i];
  return value;
}

bool ChecksumMatches(const std::uint8_t* data, std::size_t length, const std::uint8_t* expected) {
  std::uint8_t digest[kChecksumLength];
  if (mbedtls_sha256_ret(data, length, digest, 0) != 0) return false;
  return EqualInConstantTime(digest, expected, kChecksumLength);
}

StateReadResult Fault(StateFault fault, std::string detail = {}) {
  return StateReadResult{fault, std::move(detail)};
}

}  // namespace

const char* ProfileName(CtapProfile profile) {
  switch (profile) {
    case CtapProfile::kCtap20:
      return "2.0";
    case CtapProfile::kCtap21Pre:
      return "2.1-pre";
    case CtapProfile::kCtap21:
      return "2.1";
  }
  return "?";
}

StateBytes EncodeKeyState(const KeyState& state, CtapProfile profile) {
  StateBytes out(kHeaderLength + BodyBound(state) + kChecksumLength);
  std::memcpy(out.data(), kStateMagic, kStateMagicLength);
  PutBigEndian(out, kStateMagicLength, kStateFormatVersion, 2);
  CborWriter writer(out.data() + kHeaderLength,
                    static_cast<std::uint32_t>(out.size() - kHeaderLength - kChecksumLength));
  WriteBody(state, profile, writer);
  PutBigEndian(out, kStateMagicLength + 2, writer.length(), 4);
  const std::size_t checksumAt = kHeaderLength + writer.length();
  mbedtls_sha256_ret(out.data(), checksumAt, out.data() + checksumAt, 0);
  out.resize(checksumAt + kChecksumLength);
  return out;
}

StateReadResult DecodeKeyState(const std::uint8_t* data, std::size_t length,
                               const VirtualKeyConfig& config, KeyState& state) {
  const std::size_t magicSeen = length < kStateMagicLength ? length : kStateMagicLength;
  if (length == 0 || std::memcmp(data, kStateMagic, magicSeen) != 0) {
    return Fault(StateFault::kForeign);
  }
  if (length < kHeaderLength) return Fault(StateFault::kDamaged, "truncated");
  const std::uint32_t version = GetBigEndian(data + kStateMagicLength, 2);
  if (version > kStateFormatVersion) {
    std::string detail = "format ";
    detail.append(std::to_string(version));
    return Fault(StateFault::kNewerVersion, std::move(detail));
  }
  if (version == 0) return Fault(StateFault::kForeign);
  const std::uint64_t bodyLength = GetBigEndian(data + kStateMagicLength + 2, 4);
  const std::uint64_t expected = kHeaderLength + bodyLength + kChecksumLength;
  if (length < expected) return Fault(StateFault::kDamaged, "truncated");
  if (length > expected) return Fault(StateFault::kDamaged, "bytes after its end");
  const std::size_t checksumAt = kHeaderLength + static_cast<std::size_t>(bodyLength);
  if (!ChecksumMatches(data, checksumAt, data + checksumAt))
    return Fault(StateFault::kDamaged, "checksum");

  KeyState read;
  StateReadResult result =
      ReadStateBody(data + kHeaderLength, static_cast<std::uint32_t>(bodyLength), config, read);
  if (result.ok()) state = std::move(read);
  return result;
}

std::string DescribeStateFault(const StateReadResult& result) {
  std::string text;
  switch (result.fault) {
    case StateFault::kNone:
      return "sound";
    case StateFault::kForeign:
      return "not a virtual key state file";
    case StateFault::kDamaged:
      text = "damaged (";
      text.append(result.detail).append(")");
      return text;
    case StateFault::kNewerVersion:
      text = "made by a newer version of pinvale-vkey (";
      text.append(result.detail).append(")");
      return text;
    case StateFault::kOtherProfile:
      text = "made by a key of another kind (";
      text.append(result.detail).append(")");
      return text;
    case StateFault::kInvalid:
      text = "not a sound state (";
      text.append(result.detail).append(")");
      return text;
  }
  return "unreadable";
}

bool IsUtf8(const char* text, std::size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  while (i < length) {
    const unsigned char lead = bytes[i];
    std::size_t extra = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (length - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const unsigned char next = bytes[i + k];
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    // The shortest form only, no surrogate halves, nothing past the last code point.
    const std::uint32_t smallest = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    if (code < smallest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace pinvale::vkey
