#pragma once

// The cryptography of CTAP2 PIN protocol 1: the ECDH key agreement with the key,
// the AES-256-CBC cipher for PIN blocks, the HMAC-SHA-256 pinAuth, the PIN hash
// and the padded new-PIN block. Everything here is pure computation; the
// requests that carry the results are built in pin_protocol.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ctap/secret_buffer.h"

namespace pinvale {

constexpr std::size_t kCoordinateSize = 32;
constexpr std::size_t kSharedSecretSize = 32;
constexpr std::size_t kPinAuthSize = 16;
constexpr std::size_t kPinHashSize = 16;
constexpr std::size_t kNewPinBlockSize = 64;

// The getKeyAgreement answer cannot be used (no COSE key, a missing, empty or
// short coordinate, a body that is not CBOR), or the random generator could not
// be seeded.
constexpr int kKeyAgreementUnusable = 0x12;

// A new PIN whose UTF-8 form does not fit the 64-byte new-PIN block is refused
// before anything is sent, with the status a key gives for a PIN it will not take.
constexpr int kNewPinTooLong = 0x37;  // CTAP2_ERR_PIN_POLICY_VIOLATION

using SharedSecret = SecretArray<kSharedSecretSize>;
using PinHash = SecretArray<kPinHashSize>;
using NewPinBlock = SecretArray<kNewPinBlockSize>;

// The platform's half of the key agreement, as sent in key 3 of the requests.
struct PlatformPublicKey {
  std::array<std::uint8_t, kCoordinateSize> x{};
  std::array<std::uint8_t, kCoordinateSize> y{};
};

// Reads the key's COSE key (member 1, coordinates -2 and -3) from a
// getKeyAgreement answer body, makes a fresh P-256 key pair and derives the
// shared secret, SHA-256 of the ECDH x coordinate. Returns 0,
// kKeyAgreementUnusable, or the mbedTLS error of a failed curve step (a device
// point off the curve, for one).
int DeriveSharedSecret(const std::uint8_t* body, std::uint32_t length, SharedSecret& secret,
                       PlatformPublicKey& platformKey);

// The same from the key's coordinates themselves.
int DeriveSharedSecretFromPoint(std::span<const std::uint8_t, kCoordinateSize> deviceX,
                                std::span<const std::uint8_t, kCoordinateSize> deviceY,
                                SharedSecret& secret, PlatformPublicKey& platformKey);

// AES-256-CBC encryption under `key` (32 bytes) with a zero IV and no padding;
// `length` must be a multiple of 16. Returns 0 or the mbedTLS error.
int PinCipher(const std::uint8_t* key, const std::uint8_t* input, std::size_t length,
              std::uint8_t* output);

// The first 16 bytes of HMAC-SHA-256(key, message). Returns 0 or the mbedTLS error.
int ComputePinAuth(const std::uint8_t* key, std::size_t keyLength, const std::uint8_t* message,
                   std::size_t messageLength, std::uint8_t* pinAuth);

// The first 16 bytes of SHA-256 over the PIN's UTF-8 bytes.
int ComputePinHash(std::span<const std::uint8_t> pin, PinHash& hash);

// The PIN's bytes followed by zeros up to 64 bytes. False, with the block all
// zero, when the PIN does not fit; exactly 64 bytes fill it with no zero byte.
bool BuildNewPinBlock(std::span<const std::uint8_t> pin, NewPinBlock& block);

}  // namespace pinvale
