#pragma once

// The authenticator data a key signs: the site's rpId hash, the flags, the signature
// counter, and on makeCredential the attested credential data (the key's aaguid, the
// credential id and its COSE public key) and the extension outputs.

#include <array>
#include <cstdint>
#include <vector>

#include "vkey/credential_crypto.h"

namespace pinvale::vkey {

constexpr std::uint8_t kFlagUserPresent = 0x01;
constexpr std::uint8_t kFlagUserVerified = 0x04;
constexpr std::uint8_t kFlagAttestedData = 0x40;
constexpr std::uint8_t kFlagExtensionData = 0x80;

struct AttestedCredential {
  const std::array<std::uint8_t, 16>* aaguid = nullptr;
  const std::vector<std::uint8_t>* credentialId = nullptr;
  const PublicPoint* publicKey = nullptr;
};

// rpIdHash, flags, counter; then the attested credential data when `attested` is
// given, and {"credProtect": level} when `credProtectOutput` is 1 to 3. The AT and ED
// flags follow from what is there.
std::vector<std::uint8_t> AuthenticatorData(const Sha256Digest& rpIdHash, std::uint8_t flags,
                                            std::uint32_t signCount,
                                            const AttestedCredential* attested = nullptr,
                                            std::uint8_t credProtectOutput = 0);

}  // namespace pinvale::vkey
