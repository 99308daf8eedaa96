#pragma once

// The key's side of PIN protocol 1 (and the ECDH value protocol 2 starts from)
// for the PIN protocol tests: a P-256 key pair
// for getKeyAgreement, and the decryption and checks a key applies to setPIN,
// changePIN and getPINToken. Built on mbedTLS directly, so it shares no code
// with what it checks.

#include <mbedtls/aes.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/entropy.h>
#include <mbedtls/md.h>
#include <mbedtls/sha256.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"

namespace pinvale::test {

using ByteVector = std::vector<std::uint8_t>;

class PinDeviceModel {
 public:
  PinDeviceModel() {
    mbedtls_entropy_init(&entropy_);
    mbedtls_ctr_drbg_init(&drbg_);
    mbedtls_ecdh_init(&ecdh_);
    mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, nullptr, 0);
    mbedtls_ecp_group_load(&ecdh_.grp, MBEDTLS_ECP_DP_SECP256R1);
    mbedtls_ecdh_gen_public(&ecdh_.grp, &ecdh_.d, &ecdh_.Q, mbedtls_ctr_drbg_random, &drbg_);
    x_.resize(32);
    y_.resize(32);
    mbedtls_mpi_write_binary(&ecdh_.Q.X, x_.data(), 32);
    mbedtls_mpi_write_binary(&ecdh_.Q.Y, y_.data(), 32);
  }
  ~PinDeviceModel() {
    mbedtls_ecdh_free(&ecdh_);
    mbedtls_ctr_drbg_free(&drbg_);
    mbedtls_entropy_free(&entropy_);
  }
  PinDeviceModel(const PinDeviceModel&) = delete;
  PinDeviceModel& operator=(const PinDeviceModel&) = delete;

  const ByteVector& X() const { return x_; }
  const ByteVector& Y() const { return y_; }

  // The getKeyAgreement answer body {1: COSE key}; members can be left out or
  // replaced to make it unusable.
  ByteVector KeyAgreementBody(std::optional<ByteVector> x, std::optional<ByteVector> y) const {
    std::uint8_t buffer[256];
    CborWriter writer(buffer, sizeof buffer);
    const std::uint32_t members = 3 + (x ? 1 : 0) + (y ? 1 : 0);
    writer.beginMap(1).putInt(1).beginMap(members);
    writer.putInt(1).putInt(2).putInt(3).putInt(-25).putInt(-1).putInt(1);
    if (x) writer.putInt(-2).putBytes(x->data(), static_cast<std::uint32_t>(x->size()));
    if (y) writer.putInt(-3).putBytes(y->data(), static_cast<std::uint32_t>(y->size()));
    return ByteVector(buffer, buffer + writer.length());
  }
  ByteVector KeyAgreementBody() const { return KeyAgreementBody(x_, y_); }

  // The platform's COSE key out of a request (the bytes after the command byte).
  static bool PlatformPoint(const ByteVector& request, ByteVector& x, ByteVector& y) {
    const CborItem map(request.data() + 1, static_cast<std::uint32_t>(request.size() - 1));
    const CborItem cose = map.mapValueByInt(3);
    const std::uint8_t* px = nullptr;
    const std::uint8_t* py = nullptr;
    std::uint32_t nx = 0;
    std::uint32_t ny = 0;
    if (!cose.mapValueByInt(-2).getBytes(px, nx) || !cose.mapValueByInt(-3).getBytes(py, ny))
      return false;
    x.assign(px, px + nx);
    y.assign(py, py + ny);
    return true;
  }

  // The x coordinate of the ECDH point with a request's platform key (Z).
  ByteVector EcdhXFor(const ByteVector& request) {
    ByteVector px;
    ByteVector py;
    if (!PlatformPoint(request, px, py)) return {};
    mbedtls_ecp_point peer;
    mbedtls_ecp_point_init(&peer);
    mbedtls_mpi_lset(&peer.Z, 1);
    mbedtls_mpi_read_binary(&peer.X, px.data(), px.size());
    mbedtls_mpi_read_binary(&peer.Y, py.data(), py.size());
    mbedtls_mpi z;
    mbedtls_mpi_init(&z);
    ByteVector zx;
    if (mbedtls_ecdh_compute_shared(&ecdh_.grp, &z, &peer, &ecdh_.d, mbedtls_ctr_drbg_random,
                                    &drbg_) == 0) {
      zx.resize(32);
      mbedtls_mpi_write_binary(&z, zx.data(), 32);
    }
    mbedtls_mpi_free(&z);
    mbedtls_ecp_point_free(&peer);
    return zx;
  }

  // The shared secret the key derives from a request's platform key (protocol 1).
  ByteVector SharedSecretFor(const ByteVector& request) {
    const ByteVector zx = EcdhXFor(request);
    if (zx.empty()) return {};
    ByteVector secret(32);
    mbedtls_sha256_ret(zx.data(), 32, secret.data(), 0);
    return secret;
  }

  static ByteVector Member(const ByteVector& request, std::int32_t key) {
    const CborItem map(request.data() + 1, static_cast<std::uint32_t>(request.size() - 1));
    const std::uint8_t* p = nullptr;
    std::uint32_t n = 0;
    if (!map.mapValueByInt(key).getBytes(p, n)) return {};
    return ByteVector(p, p + n);
  }

  static ByteVector Decrypt(const ByteVector& key, const ByteVector& data) {
    ByteVector out(data.size());
    std::uint8_t iv[16] = {};
    mbedtls_aes_context aes;
    mbedtls_aes_init(&aes);
    mbedtls_aes_setkey_dec(&aes, key.data(), 256);
    mbedtls_aes_crypt_cbc(&aes, MBEDTLS_AES_DECRYPT, data.size(), iv, data.data(), out.data());
    mbedtls_aes_free(&aes);
    return out;
  }

  static ByteVector Encrypt(const ByteVector& key, const ByteVector& data) {
    ByteVector out(data.size());
    std::uint8_t iv[16] = {};
    mbedtls_aes_context aes;
    mbedtls_aes_init(&aes);
    mbedtls_aes_setkey_enc(&aes, key.data(), 256);
    mbedtls_aes_crypt_cbc(&aes, MBEDTLS_AES_ENCRYPT, data.size(), iv, data.data(), out.data());
    mbedtls_aes_free(&aes);
    return out;
  }

  static ByteVector HmacHalf(const ByteVector& key, const ByteVector& message) {
    std::uint8_t mac[32];
    mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key.data(), key.size(),
                    message.data(), message.size(), mac);
    return ByteVector(mac, mac + 16);
  }

  static ByteVector PinHash(const ByteVector& pin) {
    std::uint8_t digest[32];
    mbedtls_sha256_ret(pin.data(), pin.size(), digest, 0);
    return ByteVector(digest, digest + 16);
  }

 private:
  mbedtls_entropy_context entropy_;
  mbedtls_ctr_drbg_context drbg_;
  mbedtls_ecdh_context ecdh_;
  ByteVector x_;
  ByteVector y_;
};

}  // namespace pinvale::test
