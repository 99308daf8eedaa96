#include "vkey/pin_crypto.h"

#include <cstring>

#include <mbedtls/aes.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/md.h>
#include <mbedtls/sha256.h>

namespace pinvale::vkey {

RandomSource::RandomSource() {
  mbedtls_entropy_init(&entropy_);
  mbedtls_ctr_drbg_init(&drbg_);
  static const unsigned char kPersonalisation[] = "pinvale-vkey";
  ok_ = mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, kPersonalisation,
                              sizeof(kPersonalisation) - 1) == 0;
}

RandomSource::~RandomSource() {
  mbedtls_ctr_drbg_free(&drbg_);
  mbedtls_entropy_free(&entropy_);
}

void RandomSource::Fill(std::uint8_t* out, std::size_t length) {
  // The DRBG hands out at most MBEDTLS_CTR_DRBG_MAX_REQUEST bytes per call.
  while (length > 0) {
    std::size_t chunk =
        length < MBEDTLS_CTR_DRBG_MAX_REQUEST ? length : MBEDTLS_CTR_DRBG_MAX_REQUEST;
    if (!ok_ || mbedtls_ctr_drbg_random(&drbg_, out, chunk) != 0) {
      // A key without randomness must not hand out predictable secrets silently;
      // the callers check ok() at power-up, so this only guards the impossible.
      std::memset(out, 0, chunk);
    }
    out += chunk;
    length -= chunk;
  }
}

int RandomSource::Callback(void* self, unsigned char* out, std::size_t length) {
  auto* source = static_cast<RandomSource*>(self);
  if (!source->ok_) return -1;
  return mbedtls_ctr_drbg_random(&source->drbg_, out, length);
}

KeyAgreementKey::KeyAgreementKey() {
  mbedtls_ecp_group_init(&group_);
  mbedtls_mpi_init(&d_);
  mbedtls_ecp_point_init(&q_);
  mbedtls_ecp_group_load(&group_, MBEDTLS_ECP_DP_SECP256R1);
}

KeyAgreementKey::~KeyAgreementKey() {
  mbedtls_ecp_point_free(&q_);
  mbedtls_mpi_free(&d_);  // mbedtls_mpi_free wipes the limbs
  mbedtls_ecp_group_free(&group_);
}

bool KeyAgreementKey::Generate(RandomSource& random) {
  return mbedtls_ecp_gen_keypair(&group_, &d_, &q_, RandomSource::Callback, &random) == 0;
}

void KeyAgreementKey::PublicCoordinates(std::uint8_t x[32], std::uint8_t y[32]) const {
  mbedtls_mpi_write_binary(&q_.X, x, 32);
  mbedtls_mpi_write_binary(&q_.Y, y, 32);
}

bool KeyAgreementKey::ComputeZ(const std::uint8_t* x, std::size_t xLength, const std::uint8_t* y,
                               std::size_t yLength, RandomSource& random, SecretBuffer<32>& z) {
  if (xLength != 32 || yLength != 32) return false;
  mbedtls_ecp_point peer;
  mbedtls_mpi shared;
  mbedtls_ecp_point_init(&peer);
  mbedtls_mpi_init(&shared);
  bool ok = mbedtls_mpi_read_binary(&peer.X, x, 32) == 0 &&
            mbedtls_mpi_read_binary(&peer.Y, y, 32) == 0 && mbedtls_mpi_lset(&peer.Z, 1) == 0 &&
            mbedtls_ecp_check_pubkey(&group_, &peer) == 0 &&
            mbedtls_ecdh_compute_shared(&group_, &shared, &peer, &d_, RandomSource::Callback,
                                        &random) == 0 &&
            mbedtls_mpi_write_binary(&shared, z.data(), z.size()) == 0;
  mbedtls_mpi_free(&shared);
  mbedtls_ecp_point_free(&peer);
  if (!ok) z.Wipe();
  return ok;
}

bool KeyAgreementKey::DeriveSharedSecret(const std::uint8_t* x, std::size_t xLength,
                                         const std::uint8_t* y, std::size_t yLength,
                                         RandomSource& random, SharedSecret& secret) {
  SecretBuffer<32> z;
  const bool ok = ComputeZ(x, xLength, y, yLength, random, z) &&
                  mbedtls_sha256_ret(z.data(), z.size(), secret.data(), 0) == 0;
  if (!ok) secret.Wipe();
  return ok;
}

static bool PinCipher(int mode, const SharedSecret& key, const std::uint8_t* in, std::size_t length,
                      std::uint8_t* out) {
  if (length == 0 || length % 16 != 0) return false;
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  unsigned char iv[16] = {0};
  int rc = mode == MBEDTLS_AES_ENCRYPT ? mbedtls_aes_setkey_enc(&aes, key.data(), 256)
                                       : mbedtls_aes_setkey_dec(&aes, key.data(), 256);
  if (rc == 0) rc = mbedtls_aes_crypt_cbc(&aes, mode, length, iv, in, out);
  mbedtls_aes_free(&aes);
  return rc == 0;
}

bool PinEncrypt(const SharedSecret& key, const std::uint8_t* in, std::size_t length,
                std::uint8_t* out) {
  return PinCipher(MBEDTLS_AES_ENCRYPT, key, in, length, out);
}

bool PinDecrypt(const SharedSecret& key, const std::uint8_t* in, std::size_t length,
                std::uint8_t* out) {
  return PinCipher(MBEDTLS_AES_DECRYPT, key, in, length, out);
}

void PinAuth16(const std::uint8_t* key, std::size_t keyLength, const std::uint8_t* message,
               std::size_t length, std::uint8_t out[16]) {
  SecretBuffer<32> mac;
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key, keyLength, message, length,
                  mac.data());
  std::memcpy(out, mac.data(), 16);
}

void HashPin(const std::uint8_t* pin, std::size_t length, PinHash& hash) {
  SecretBuffer<32> digest;
  mbedtls_sha256_ret(pin, length, digest.data(), 0);
  std::memcpy(hash.data(), digest.data(), hash.size());
}

bool EqualInConstantTime(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  std::uint8_t diff = 0;
  for (std::size_t i = 0; i < length; ++i) diff |= static_cast<std::uint8_t>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace pinvale::vkey
