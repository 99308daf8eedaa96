#pragma once

// The two PIN/UV auth protocols on the key's side.
//   Protocol 1: SHA-256 of the ECDH x-coordinate is one key for AES-256-CBC with a
//   zero IV and for the left 16 bytes of HMAC-SHA-256.
//   Protocol 2: HKDF-SHA-256 makes an HMAC key and an AES key; every ciphertext
//   carries its own random IV in front, and a MAC is all 32 bytes of HMAC-SHA-256.
// A platform that mixes the two up gets a MAC or a length that does not fit, so the
// key never has to guess which protocol a field was made with.

#include <cstddef>
#include <cstdint>

#include "vkey/pin_crypto.h"

namespace pinvale::vkey {

constexpr std::size_t kIvSize = 16;
constexpr std::size_t kMaxMacSize = 32;

// kdf(Z) of one protocol.
class ProtocolSecret {
 public:
  // False for a protocol other than 1 and 2.
  bool Derive(std::uint32_t protocol, const std::uint8_t z[32]);
  std::uint32_t protocol() const { return protocol_; }
  const std::uint8_t* HmacKey() const { return keys_.data(); }
  const std::uint8_t* AesKey() const { return protocol_ == 2 ? keys_.data() + 32 : keys_.data(); }
  static constexpr std::size_t kKeySize = 32;

 private:
  std::uint32_t protocol_ = 1;
  SecretBuffer<64> keys_;  // protocol 1: the key, twice over the same bytes; 2: HMAC then AES
};

// The MAC length of a protocol (16 or 32) and the ciphertext length of `plaintext`
// bytes (the IV added for protocol 2).
std::size_t MacSize(std::uint32_t protocol);
std::size_t CiphertextSize(std::uint32_t protocol, std::size_t plaintext);

// encrypt: `length` a non-zero multiple of 16; `out` takes CiphertextSize bytes.
bool ProtocolEncrypt(const ProtocolSecret& secret, RandomSource& random, const std::uint8_t* in,
                     std::size_t length, std::uint8_t* out);
// The same with a given IV (protocol 2 only): the published vectors fix theirs.
bool ProtocolEncryptWithIv(const ProtocolSecret& secret, const std::uint8_t iv[kIvSize],
                           const std::uint8_t* in, std::size_t length, std::uint8_t* out);
// decrypt: false for input that is no whole number of blocks, holds no block, or (protocol 2)
// is shorter than an IV and a block. `out` takes length bytes; `outLength` is the plaintext's.
bool ProtocolDecrypt(const ProtocolSecret& secret, const std::uint8_t* in, std::size_t length,
                     std::uint8_t* out, std::size_t& outLength);

// authenticate(key, message): MacSize(protocol) bytes into `out`.
void ProtocolAuthenticate(std::uint32_t protocol, const std::uint8_t* key, std::size_t keyLength,
                          const std::uint8_t* message, std::size_t length,
                          std::uint8_t out[kMaxMacSize]);
// verify: the MAC has exactly the protocol's length and matches, compared in constant time.
bool ProtocolVerify(std::uint32_t protocol, const std::uint8_t* key, std::size_t keyLength,
                    const std::uint8_t* message, std::size_t length, const std::uint8_t* mac,
                    std::size_t macLength);

}  // namespace pinvale::vkey
