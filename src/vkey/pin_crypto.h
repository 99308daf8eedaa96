#pragma once

// The authenticator's side of PIN protocol 1, on mbedTLS: its random source, its
// key-agreement key pair, the shared secret, AES-256-CBC with a zero IV, the
// left half of HMAC-SHA-256 and the left half of SHA-256 for PIN hashes.

#include <cstddef>
#include <cstdint>

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecp.h>
#include <mbedtls/entropy.h>

#include "vkey/secret_buffer.h"

namespace pinvale::vkey {

using SharedSecret = SecretBuffer<32>;
using PinHash = SecretBuffer<16>;

class RandomSource {
 public:
  RandomSource();
  ~RandomSource();
  RandomSource(const RandomSource&) = delete;
  RandomSource& operator=(const RandomSource&) = delete;

  bool ok() const { return ok_; }
  void Fill(std::uint8_t* out, std::size_t length);

  static int Callback(void* self, unsigned char* out, std::size_t length);

 private:
  mbedtls_entropy_context entropy_;
  mbedtls_ctr_drbg_context drbg_;
  bool ok_ = false;
};

// The key-agreement key pair of one power cycle (renewed after a wrong PIN).
class KeyAgreementKey {
 public:
  KeyAgreementKey();
  ~KeyAgreementKey();
  KeyAgreementKey(const KeyAgreementKey&) = delete;
  KeyAgreementKey& operator=(const KeyAgreementKey&) = delete;

  bool Generate(RandomSource& random);
  // Big-endian affine coordinates of the public point.
  void PublicCoordinates(std::uint8_t x[32], std::uint8_t y[32]) const;

  // Z, the x coordinate of d * (platform point). False when the platform point is
  // not a valid P-256 point.
  bool ComputeZ(const std::uint8_t* x, std::size_t xLength, const std::uint8_t* y,
                std::size_t yLength, RandomSource& random, SecretBuffer<32>& z);
  // SHA-256 of Z: protocol 1's shared secret.
  bool DeriveSharedSecret(const std::uint8_t* x, std::size_t xLength, const std::uint8_t* y,
                          std::size_t yLength, RandomSource& random, SharedSecret& secret);

 private:
  mbedtls_ecp_group group_;
  mbedtls_mpi d_;
  mbedtls_ecp_point q_;
};

// AES-256-CBC, IV zero, no padding; `length` is a multiple of 16. False otherwise.
bool PinEncrypt(const SharedSecret& key, const std::uint8_t* in, std::size_t length,
                std::uint8_t* out);
bool PinDecrypt(const SharedSecret& key, const std::uint8_t* in, std::size_t length,
                std::uint8_t* out);

// First 16 bytes of HMAC-SHA-256(key, message): the shared secret's for clientPIN,
// the PIN token's for the commands a token authorises.
void PinAuth16(const std::uint8_t* key, std::size_t keyLength, const std::uint8_t* message,
               std::size_t length, std::uint8_t out[16]);
inline void PinAuth16(const SharedSecret& key, const std::uint8_t* message, std::size_t length,
                      std::uint8_t out[16]) {
  PinAuth16(key.data(), key.size(), message, length, out);
}

// First 16 bytes of SHA-256(pin).
void HashPin(const std::uint8_t* pin, std::size_t length, PinHash& hash);

// Compares without an early exit, so timing says nothing about where bytes differ.
bool EqualInConstantTime(const std::uint8_t* a, const std::uint8_t* b, std::size_t length);

}  // namespace pinvale::vkey
