#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/entropy.h>
#include <mbedtls/sha256.h>

#include "ctap/pin_crypto.h"
#include "ctap/pin_uv_auth_protocol.h"

namespace pinvale {

namespace {

// Owns the random source of one key agreement; freeing zeroises its state.
class RandomSource {
 public:
  RandomSource() {
    mbedtls_entropy_init(&entropy_);
    mbedtls_ctr_drbg_init(&drbg_);
  }
  ~RandomSource() {
    mbedtls_ctr_drbg_free(&drbg_);
    mbedtls_entropy_free(&entropy_);
  }
  RandomSource(const RandomSource&) = delete;
  RandomSource& operator=(const RandomSource&) = delete;

  int Seed() {
    // The personalisation string goes in with its terminating zero.
    static const unsigned char kPersonalisation[] = "ecdh";
    return mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, kPersonalisation,
                                 sizeof kPersonalisation);
  }
  mbedtls_ctr_drbg_context* Drbg() { return &drbg_; }

 private:
  mbedtls_entropy_context entropy_;
  mbedtls_ctr_drbg_context drbg_;
};

// Owns the ECDH context: our private scalar, both public points and the shared
// value. mbedtls_ecdh_free zeroises every one of them.
class EcdhContext {
 public:
  EcdhContext() { mbedtls_ecdh_init(&ctx_); }
  ~EcdhContext() { mbedtls_ecdh_free(&ctx_); }
  EcdhContext(const EcdhContext&) = delete;
  EcdhContext& operator=(const EcdhContext&) = delete;
  mbedtls_ecdh_context& operator*() { return ctx_; }

 private:
  mbedtls_ecdh_context ctx_;
};

}  // namespace

int ComputeEcdhZ(std::span<const std::uint8_t, kCoordinateSize> deviceX,
                 std::span<const std::uint8_t, kCoordinateSize> deviceY,
                 SecretArray<kCoordinateSize>& z, PlatformPublicKey& platformKey) {
  RandomSource random;
  if (random.Seed() != 0) return kKeyAgreementUnusable;

  EcdhContext context;
  mbedtls_ecdh_context& ecdh = *context;
  int result = mbedtls_ecp_group_load(&ecdh.grp, MBEDTLS_ECP_DP_SECP256R1);
  if (result != 0) return result;
  // A fresh platform key pair for every operation.
  result =
      mbedtls_ecdh_gen_public(&ecdh.grp, &ecdh.d, &ecdh.Q, mbedtls_ctr_drbg_random, random.Drbg());
  if (result != 0) return result;
  result = mbedtls_mpi_write_binary(&ecdh.Q.X, platformKey.x.data(), kCoordinateSize);
  if (result != 0) return result;
  result = mbedtls_mpi_write_binary(&ecdh.Q.Y, platformKey.y.data(), kCoordinateSize);
  if (result != 0) return result;

  result = mbedtls_mpi_lset(&ecdh.Qp.Z, 1);
  if (result == 0) result = mbedtls_mpi_read_binary(&ecdh.Qp.X, deviceX.data(), kCoordinateSize);
  if (result == 0) result = mbedtls_mpi_read_binary(&ecdh.Qp.Y, deviceY.data(), kCoordinateSize);
  if (result != 0) return result;

  // Checks that the key's point lies on the curve before multiplying.
  result = mbedtls_ecdh_compute_shared(&ecdh.grp, &ecdh.z, &ecdh.Qp, &ecdh.d,
                                       mbedtls_ctr_drbg_random, random.Drbg());
  if (result != 0) return result;
  return mbedtls_mpi_write_binary(&ecdh.z, z.data(), z.size());
}

int DeriveSharedSecretFromPoint(std::span<const std::uint8_t, kCoordinateSize> deviceX,
                                std::span<const std::uint8_t, kCoordinateSize> deviceY,
                                SharedSecret& secret, PlatformPublicKey& platformKey) {
  SecretArray<kCoordinateSize> sharedX;
  const int result = ComputeEcdhZ(deviceX, deviceY, sharedX, platformKey);
  if (result != 0) return result;
  return mbedtls_sha256_ret(sharedX.data(), sharedX.size(), secret.data(), 0 /* not SHA-224 */);
}

int SystemRandomFill(std::span<std::uint8_t> out) {
  RandomSource random;
  if (random.Seed() != 0) return kKeyAgreementUnusable;
  return mbedtls_ctr_drbg_random(random.Drbg(), out.data(), out.size());
}

}  // namespace pinvale
