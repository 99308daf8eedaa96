#pragma once

// What a virtual key keeps while it is unplugged, and what a state file keeps across
// runs: the PIN and its counters, the passkeys it stores, the fingerprints enrolled
// and the secrets of its own. A power cycle keeps all of it; a reset wipes it.
// The key-agreement key and the PIN token are not here: they live one power cycle.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vkey/ctap_status.h"
#include "vkey/pin_crypto.h"
#include "vkey/secret_buffer.h"

namespace pinvale::vkey {

// The longest credential id the key hands out (getInfo's maxCredentialIdLength) and
// the most descriptors it reads from an allow or exclude list.
constexpr std::size_t kMaxCredentialIdLength = 128;
constexpr std::size_t kMaxCredentialCountInList = 8;

// A discoverable credential (a passkey), stored on the key. A non-discoverable one is
// not stored: its credential id carries its private key, wrapped with `credentialKey`.
struct StoredCredential {
  std::vector<std::uint8_t> id;  // the credential id the key handed out
  std::string rpId;
  std::string rpName;  // empty: the platform sent none
  std::vector<std::uint8_t> userId;
  std::string userName;         // empty: none sent
  std::string userDisplayName;  // empty: none sent
  SecretBuffer<32> privateKey;  // the P-256 scalar, big-endian
  std::uint8_t credProtect =
      1;  // 1 userVerificationOptional, 2 ...WithCredentialIDList, 3 ...Required
};

struct EnrolledFingerprint {
  std::vector<std::uint8_t> templateId;
  std::string friendlyName;  // UTF-8, empty: none given
};

struct KeyState {
  bool pinSet = false;
  PinHash pinHash;
  std::uint32_t pinRetries = kMaxPinRetries;
  bool forcePinChange = false;
  std::uint32_t uvRetries = kMaxUvRetries;

  // One signature counter for every credential.
  std::uint32_t signCount = 0;
  // Wraps the private keys of non-discoverable credentials into their ids; made at
  // the first power-up and anew at every reset, which makes every such id worthless.
  SecretBuffer<32> credentialKey;

  // Oldest first.
  std::vector<StoredCredential> credentials;
  std::vector<EnrolledFingerprint> fingerprints;
};

}  // namespace pinvale::vkey
