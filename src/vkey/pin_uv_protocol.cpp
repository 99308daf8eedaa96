#include "vkey/pin_uv_protocol.h"

#include <cstring>

#include <mbedtls/aes.h>
#include <mbedtls/hkdf.h>
#include <mbedtls/md.h>
#include <mbedtls/sha256.h>

namespace pinvale::vkey {

namespace {

bool Hkdf(const std::uint8_t z[32], const char* info, std::uint8_t out[32]) {
  static const std::uint8_t kSalt[32] = {};
  return mbedtls_hkdf(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), kSalt, sizeof kSalt, z, 32,
                      reinterpret_cast<const unsigned char*>(info), std::strlen(info), out,
                      32) == 0;
}

bool Cbc(int mode, const std::uint8_t* key, const std::uint8_t ivIn[kIvSize],
         const std::uint8_t* in, std::size_t length, std::uint8_t* out) {
  if (length == 0 || length % 16 != 0) return false;
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  unsigned char iv[kIvSize];
  std::memcpy(iv, ivIn, kIvSize);  // CBC overwrites its IV
  int rc = mode == MBEDTLS_AES_ENCRYPT ? mbedtls_aes_setkey_enc(&aes, key, 256)
                                       : mbedtls_aes_setkey_dec(&aes, key, 256);
  if (rc == 0) rc = mbedtls_aes_crypt_cbc(&aes, mode, length, iv, in, out);
  mbedtls_aes_free(&aes);
  return rc == 0;
}

const std::uint8_t kZeroIv[kIvSize] = {};

}  // namespace

bool ProtocolSecret::Derive(std::uint32_t protocol, const std::uint8_t z[32]) {
  keys_.Wipe();
  protocol_ = protocol;
  if (protocol == 1) return mbedtls_sha256_ret(z, 32, keys_.data(), 0) == 0;
  if (protocol != 2) return false;
  const bool ok =
      Hkdf(z, "CTAP2 HMAC key", keys_.data()) && Hkdf(z, "CTAP2 AES key", keys_.data() + 32);
  if (!ok) keys_.Wipe();
  return ok;
}

std::size_t MacSize(std::uint32_t protocol) {
  return protocol == 2 ? 32 : 16;
}

std::size_t CiphertextSize(std::uint32_t protocol, std::size_t plaintext) {
  return protocol == 2 ? kIvSize + plaintext : plaintext;
}

bool ProtocolEncryptWithIv(const ProtocolSecret& secret, const std::uint8_t iv[kIvSize],
                           const std::uint8_t* in, std::size_t length, std::uint8_t* out) {
  if (secret.protocol() != 2) return false;
  std::memcpy(out, iv, kIvSize);
  return Cbc(MBEDTLS_AES_ENCRYPT, secret.AesKey(), iv, in, length, out + kIvSize);
}

bool ProtocolEncrypt(const ProtocolSecret& secret, RandomSource& random, const std::uint8_t* in,
                     std::size_t length, std::uint8_t* out) {
  if (secret.protocol() == 1)
    return Cbc(MBEDTLS_AES_ENCRYPT, secret.AesKey(), kZeroIv, in, length, out);
  std::uint8_t iv[kIvSize];
  random.Fill(iv, sizeof iv);
  return ProtocolEncryptWithIv(secret, iv, in, length, out);
}

bool ProtocolDecrypt(const ProtocolSecret& secret, const std::uint8_t* in, std::size_t length,
                     std::uint8_t* out, std::size_t& outLength) {
  outLength = 0;
  const std::uint8_t* iv = kZeroIv;
  if (secret.protocol() == 2) {
    if (length < kIvSize) return false;
    iv = in;
    in += kIvSize;
    length -= kIvSize;
  }
  if (!Cbc(MBEDTLS_AES_DECRYPT, secret.AesKey(), iv, in, length, out)) return false;
  outLength = length;
  return true;
}

void ProtocolAuthenticate(std::uint32_t protocol, const std::uint8_t* key, std::size_t keyLength,
                          const std::uint8_t* message, std::size_t length,
                          std::uint8_t out[kMaxMacSize]) {
  SecretBuffer<32> mac;
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key, keyLength, message, length,
                  mac.data());
  std::memcpy(out, mac.data(), MacSize(protocol));
}

bool ProtocolVerify(std::uint32_t protocol, const std::uint8_t* key, std::size_t keyLength,
                    const std::uint8_t* message, std::size_t length, const std::uint8_t* mac,
                    std::size_t macLength) {
  if (macLength != MacSize(protocol)) return false;
  std::uint8_t expected[kMaxMacSize];
  ProtocolAuthenticate(protocol, key, keyLength, message, length, expected);
  const bool ok = EqualInConstantTime(expected, mac, macLength);
  mbedtls_platform_zeroize(expected, sizeof expected);
  return ok;
}

}  // namespace pinvale::vkey
