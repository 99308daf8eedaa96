// PIN/UV auth protocol 1: SHA-256 of the ECDH value is the one key for AES and
// HMAC, every encryption starts from a zero IV, and a MAC is the first half of
// HMAC-SHA-256.

#include <mbedtls/aes.h>
#include <mbedtls/sha256.h>

#include "ctap/pin_uv_auth_protocol.h"

namespace pinvale {

int AesCbc(bool encrypt, const std::uint8_t* key, const std::uint8_t* iv, const std::uint8_t* input,
           std::size_t length, std::uint8_t* output) {
  // mbedTLS moves the IV along as it goes: work on a copy.
  std::uint8_t chain[kCipherBlockSize];
  for (std::size_t i = 0; i < kCipherBlockSize; ++i) chain[i] = iv == nullptr ? 0 : iv[i];
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  int result =
      encrypt ? mbedtls_aes_setkey_enc(&aes, key, 256) : mbedtls_aes_setkey_dec(&aes, key, 256);
  if (result == 0) {
    result = mbedtls_aes_crypt_cbc(&aes, encrypt ? MBEDTLS_AES_ENCRYPT : MBEDTLS_AES_DECRYPT,
                                   length, chain, input, output);
  }
  mbedtls_aes_free(&aes);  // zeroises the round keys
  mbedtls_platform_zeroize(chain, sizeof chain);
  return result;
}

int PinUvAuthProtocolOne::Kdf(std::span<const std::uint8_t, kCoordinateSize> z,
                              PinSharedSecret& secret) const {
  const int result = mbedtls_sha256_ret(z.data(), z.size(), secret.data(), 0 /* not SHA-224 */);
  secret.SetSize(result == 0 ? kSharedSecretSize : 0);
  return result;
}

int PinUvAuthProtocolOne::Encrypt(const PinSharedSecret& secret,
                                  std::span<const std::uint8_t> plaintext, SecretBytes& out) const {
  out.Clear();
  if (secret.size() != kSharedSecretSize || plaintext.size() % kCipherBlockSize != 0) {
    return kPinAnswerNotUnderstood;
  }
  SecretBytes result;
  result.Resize(plaintext.size());
  const int code =
      AesCbc(true, secret.data(), nullptr, plaintext.data(), plaintext.size(), result.data());
  if (code == 0) out = std::move(result);
  return code;
}

int PinUvAuthProtocolOne::Decrypt(const PinSharedSecret& secret,
                                  std::span<const std::uint8_t> ciphertext,
                                  SecretBytes& out) const {
  out.Clear();
  if (secret.size() != kSharedSecretSize || ciphertext.size() % kCipherBlockSize != 0) {
    return kPinAnswerNotUnderstood;
  }
  SecretBytes result;
  result.Resize(ciphertext.size());
  const int code =
      AesCbc(false, secret.data(), nullptr, ciphertext.data(), ciphertext.size(), result.data());
  if (code == 0) out = std::move(result);
  return code;
}

int PinUvAuthProtocolOne::Authenticate(std::span<const std::uint8_t> key,
                                       std::span<const std::uint8_t> message,
                                       PinUvAuthParam& param) const {
  param.size = 0;
  const int code =
      ComputePinAuth(key.data(), key.size(), message.data(), message.size(), param.bytes);
  if (code == 0) param.size = kPinAuthSize;
  return code;
}

const PinUvAuthProtocol& PinProtocolOne() {
  static const PinUvAuthProtocolOne protocol;
  return protocol;
}

}  // namespace pinvale
