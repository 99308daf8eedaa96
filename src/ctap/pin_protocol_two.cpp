// PIN/UV auth protocol 2: HKDF-SHA-256 makes two keys from the ECDH value (the
// HMAC key first, then the AES key), every encryption carries its own random IV
// in front of the ciphertext, and a MAC is the whole HMAC-SHA-256.

#include <mbedtls/hkdf.h>
#include <mbedtls/md.h>

#include <cstring>

#include "ctap/pin_uv_auth_protocol.h"

namespace pinvale {

namespace {

constexpr std::size_t kKeyHalf = 32;
constexpr char kHmacKeyInfo[] = "CTAP2 HMAC key";
constexpr char kAesKeyInfo[] = "CTAP2 AES key";

int Hkdf(std::span<const std::uint8_t, kCoordinateSize> z, const char* info, std::size_t infoLength,
         std::uint8_t* out) {
  const std::uint8_t salt[32] = {};
  return mbedtls_hkdf(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), salt, sizeof salt, z.data(),
                      z.size(), reinterpret_cast<const unsigned char*>(info), infoLength, out,
                      kKeyHalf);
}

const std::uint8_t* AesKey(const PinSharedSecret& secret) {
  return secret.data() + kKeyHalf;
}

}  // namespace

int PinUvAuthProtocolTwo::Kdf(std::span<const std::uint8_t, kCoordinateSize> z,
                              PinSharedSecret& secret) const {
  int result = Hkdf(z, kHmacKeyInfo, sizeof kHmacKeyInfo - 1, secret.data());
  if (result == 0) result = Hkdf(z, kAesKeyInfo, sizeof kAesKeyInfo - 1, secret.data() + kKeyHalf);
  if (result != 0) {
    secret.Wipe();
    return result;
  }
  secret.SetSize(2 * kKeyHalf);
  return 0;
}

int PinUvAuthProtocolTwo::Encrypt(const PinSharedSecret& secret,
                                  std::span<const std::uint8_t> plaintext, SecretBytes& out) const {
  out.Clear();
  if (secret.size() != 2 * kKeyHalf || plaintext.size() % kCipherBlockSize != 0) {
    return kPinAnswerNotUnderstood;
  }
  SecretBytes result;
  result.Resize(kCipherBlockSize + plaintext.size());
  std::uint8_t* iv = result.data();
  int code =
      random_ ? random_(std::span<std::uint8_t>(iv, kCipherBlockSize)) : kKeyAgreementUnusable;
  if (code == 0) {
    code = AesCbc(true, AesKey(secret), iv, plaintext.data(), plaintext.size(),
                  result.data() + kCipherBlockSize);
  }
  if (code == 0) out = std::move(result);
  return code;
}

int PinUvAuthProtocolTwo::Decrypt(const PinSharedSecret& secret,
                                  std::span<const std::uint8_t> ciphertext,
                                  SecretBytes& out) const {
  out.Clear();
  // An IV alone, or less, carries nothing; a key that sends it has not
  // understood the protocol.
  if (secret.size() != 2 * kKeyHalf || ciphertext.size() <= kCipherBlockSize ||
      ciphertext.size() % kCipherBlockSize != 0) {
    return kPinAnswerNotUnderstood;
  }
  const std::size_t length = ciphertext.size() - kCipherBlockSize;
  SecretBytes result;
  result.Resize(length);
  const int code = AesCbc(false, AesKey(secret), ciphertext.data(),
                          ciphertext.data() + kCipherBlockSize, length, result.data());
  if (code == 0) out = std::move(result);
  return code;
}

int PinUvAuthProtocolTwo::Authenticate(std::span<const std::uint8_t> key,
                                       std::span<const std::uint8_t> message,
                                       PinUvAuthParam& param) const {
  // Under a shared secret the HMAC key is its first half; a token is used whole.
  param.size = 0;
  if (key.size() < kKeyHalf) return kPinAnswerNotUnderstood;
  const int code = mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key.data(),
                                   kKeyHalf, message.data(), message.size(), param.bytes);
  if (code == 0) param.size = kKeyHalf;
  return code;
}

const PinUvAuthProtocol& PinProtocolTwo() {
  static const PinUvAuthProtocolTwo protocol;
  return protocol;
}

}  // namespace pinvale
