#pragma once

// The cryptography of the key's credentials, on mbedTLS: ES256 key pairs and
// signatures, the COSE form of a public key, and the credential ids of
// non-discoverable credentials, which carry their private key sealed with the key's
// own credential key (AES-256-GCM), bound to the site by its rpId hash.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vkey/pin_crypto.h"
#include "vkey/secret_buffer.h"

namespace pinvale::vkey {

using PrivateKey = SecretBuffer<32>;  // a P-256 scalar, big-endian
using Sha256Digest = std::array<std::uint8_t, 32>;

constexpr std::int32_t kCoseAlgorithmEs256 = -7;
// A DER ECDSA P-256 signature is at most this long.
constexpr std::size_t kMaxSignatureSize = 72;
// A COSE EC2 P-256 key as writeCoseKey writes it: map head, five pairs, two 32-byte
// coordinates.
constexpr std::size_t kCoseKeySize = 77;

Sha256Digest Sha256(const std::uint8_t* data, std::size_t length);

struct PublicPoint {
  std::uint8_t x[32];
  std::uint8_t y[32];
};

// A fresh key pair. False when the random source failed.
bool GenerateCredentialKey(RandomSource& random, PrivateKey& privateKey, PublicPoint& publicKey);
// The public point of a stored private key (credential management shows it).
bool CredentialPublicKey(const PrivateKey& privateKey, RandomSource& random,
                         PublicPoint& publicKey);
// ECDSA over SHA-256 of the message's two parts, DER-encoded into `signature`.
bool SignEs256(const PrivateKey& privateKey, RandomSource& random, const std::uint8_t* first,
               std::size_t firstLength, const std::uint8_t* second, std::size_t secondLength,
               std::vector<std::uint8_t>& signature);

// {1: 2, 3: -7, -1: 1, -2: x, -3: y}, canonical, kCoseKeySize bytes appended.
void AppendCoseKey(const PublicPoint& publicKey, std::vector<std::uint8_t>& out);

// What a non-discoverable credential id carries.
struct WrappedCredential {
  PrivateKey privateKey;
  std::uint8_t credProtect = 1;
};

// A version byte, a random 12-byte nonce, the sealed private key and credProtect
// level, and the 16-byte tag: kWrappedIdSize bytes.
constexpr std::size_t kWrappedIdSize = 1 + 12 + 33 + 16;

bool WrapCredentialId(const SecretBuffer<32>& credentialKey, RandomSource& random,
                      const Sha256Digest& rpIdHash, const WrappedCredential& credential,
                      std::vector<std::uint8_t>& id);
// False for an id this key did not make for this site, or made before a reset.
bool UnwrapCredentialId(const SecretBuffer<32>& credentialKey, const Sha256Digest& rpIdHash,
                        const std::uint8_t* id, std::size_t length, WrappedCredential& credential);

}  // namespace pinvale::vkey
