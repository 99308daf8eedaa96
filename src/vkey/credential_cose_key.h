#pragma once

// The COSE form of a stored credential's public key, as credential management lists
// it: {1: 2 (EC2), 3: -7 (ES256), -1: 1 (P-256), -2: x, -3: y}. Made from the private
// key each time, so the store keeps one secret per credential and nothing derived.

#include <cstdint>
#include <vector>

#include "vkey/pin_crypto.h"
#include "vkey/secret_buffer.h"

namespace pinvale::vkey {

// False when the scalar is not a valid P-256 private key.
bool StoredCredentialCoseKey(const SecretBuffer<32>& privateKey, RandomSource& random,
                             std::vector<std::uint8_t>& cose);

}  // namespace pinvale::vkey
