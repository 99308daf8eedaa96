#pragma once

// The CBOR body of a state file (see key_state_codec.h): its members' keys, and the
// reader that checks every one of them.

#include <cstdint>

#include "vkey/key_state.h"
#include "vkey/key_state_codec.h"
#include "vkey/vkey_config.h"

namespace pinvale::vkey {

enum StateMember : std::int32_t {
  kStateProfile = 1,
  kStatePinHash = 2,
  kStatePinRetries = 3,
  kStateForcePinChange = 4,
  kStateUvRetries = 5,
  kStateSignCount = 6,
  kStateCredentialKey = 7,
  kStateCredentials = 8,
  kStateFingerprints = 9,
};

enum CredentialMember : std::int32_t {
  kCredentialId = 1,
  kCredentialRpId = 2,
  kCredentialRpName = 3,
  kCredentialUserId = 4,
  kCredentialUserName = 5,
  kCredentialUserDisplayName = 6,
  kCredentialPrivateKey = 7,
  kCredentialProtect = 8,
};

enum FingerprintMember : std::int32_t {
  kFingerprintTemplateId = 1,
  kFingerprintFriendlyName = 2,
};

// Reads the body into `state` (a fresh KeyState the caller keeps only on success):
// kNone, kOtherProfile, or kInvalid naming the first member that is wrong.
StateReadResult ReadStateBody(const std::uint8_t* body, std::uint32_t length,
                              const VirtualKeyConfig& config, KeyState& state);

}  // namespace pinvale::vkey
