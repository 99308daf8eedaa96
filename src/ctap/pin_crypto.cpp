#include "ctap/pin_crypto.h"

#include <mbedtls/aes.h>
#include <mbedtls/md.h>
#include <mbedtls/sha256.h>

#include <cstring>

namespace pinvale {

int PinCipher(const std::uint8_t* key, const std::uint8_t* input, std::size_t length,
              std::uint8_t* output) {
  // A fresh zero IV for every encryption: PIN protocol 1 never chains blocks
  // across messages.
  std::uint8_t iv[16] = {};
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  int result = mbedtls_aes_setkey_enc(&aes, key, 256);
  if (result == 0) {
    result = mbedtls_aes_crypt_cbc(&aes, MBEDTLS_AES_ENCRYPT, length, iv, input, output);
  }
  mbedtls_aes_free(&aes);  // zeroises the round keys
  mbedtls_platform_zeroize(iv, sizeof iv);
  return result;
}

int ComputePinAuth(const std::uint8_t* key, std::size_t keyLength, const std::uint8_t* message,
                   std::size_t messageLength, std::uint8_t* pinAuth) {
  SecretArray<32> mac;
  const int result = mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key, keyLength,
                                     message, messageLength, mac.data());
  if (result == 0) std::memcpy(pinAuth, mac.data(), kPinAuthSize);
  return result;
}

int ComputePinHash(std::span<const std::uint8_t> pin, PinHash& hash) {
  SecretArray<32> digest;
  const int result = mbedtls_sha256_ret(pin.data(), pin.size(), digest.data(), 0 /* not SHA-224 */);
  if (result == 0) std::memcpy(hash.data(), digest.data(), kPinHashSize);
  return result;
}

bool BuildNewPinBlock(std::span<const std::uint8_t> pin, NewPinBlock& block) {
  block.Wipe();
  if (pin.size() > kNewPinBlockSize) return false;
  if (!pin.empty()) std::memcpy(block.data(), pin.data(), pin.size());
  return true;
}

}  // namespace pinvale
