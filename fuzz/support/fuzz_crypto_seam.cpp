// A cheap, deterministic stand-in for the elliptic-curve steps of PIN protocol 1, linked
// into the fuzz targets that reach them with -Wl,--wrap (see fuzz_crypto_seam.cmake).
//
// A P-256 scalar multiplication takes milliseconds under the sanitizers, and every
// clientPIN exchange makes a key pair and one or two of them: a target paying that per
// input runs a few hundred inputs a second. What the fuzzer's bytes decide is which point
// the other side claims and whether it lies on the curve, so the stand-in keeps the real
// curve check and replaces only the multiplications:
//   - every key pair is one fixed pair (d, d*G), computed once;
//   - a signature (a credential's) is one fixed, well-formed DER signature: nobody in the
//     target checks it, and what the fuzzer decides is only whether the key signs;
//   - the shared value of ECDH is the x coordinate of the peer's point, after the real
//     mbedtls_ecp_check_pubkey, so a point off the curve still fails as it does for real;
//   - the random generator is a counter, seeded with nothing, so every run of an input
//     is the same run;
//   - the entropy context the generator would be seeded from is left empty: mbedTLS as
//     Debian builds it starts a HAVEGE pool in mbedtls_entropy_init, tens of thousands of
//     timer reads, and a target making a random source per input spent most of its time
//     there for entropy nobody reads.
// Only the objects of the program see these (the wrapped references); mbedTLS itself
// keeps its real functions.

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/ecdsa.h>
#include <mbedtls/ecp.h>
#include <mbedtls/entropy.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
int __real_mbedtls_ecp_gen_keypair(mbedtls_ecp_group* grp, mbedtls_mpi* d, mbedtls_ecp_point* Q,
                                   int (*f_rng)(void*, unsigned char*, size_t), void* p_rng);
int __real_mbedtls_ecdh_gen_public(mbedtls_ecp_group* grp, mbedtls_mpi* d, mbedtls_ecp_point* Q,
                                   int (*f_rng)(void*, unsigned char*, size_t), void* p_rng);
int __real_mbedtls_ecdh_compute_shared(mbedtls_ecp_group* grp, mbedtls_mpi* z,
                                       const mbedtls_ecp_point* Q, const mbedtls_mpi* d,
                                       int (*f_rng)(void*, unsigned char*, size_t), void* p_rng);
}

namespace {

std::uint64_t counter = 0;

int CounterRandom(void*, unsigned char* out, size_t length) {
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(++counter * 0x9D);
  return 0;
}

// The fixed key pair, made once with the real multiplication.
struct FixedPair {
  mbedtls_mpi d;
  mbedtls_ecp_point q;
  bool ready = false;
};

FixedPair& Pair(mbedtls_ecp_group* grp) {
  static FixedPair pair = [grp] {
    FixedPair p;
    mbedtls_mpi_init(&p.d);
    mbedtls_ecp_point_init(&p.q);
    mbedtls_mpi_lset(&p.d, 0x5EED);
    p.ready = mbedtls_ecp_mul(grp, &p.q, &p.d, &grp->G, CounterRandom, nullptr) == 0;
    return p;
  }();
  return pair;
}

int FixedKeyPair(mbedtls_ecp_group* grp, mbedtls_mpi* d, mbedtls_ecp_point* Q) {
  FixedPair& pair = Pair(grp);
  if (!pair.ready) return MBEDTLS_ERR_ECP_BAD_INPUT_DATA;
  int result = mbedtls_mpi_copy(d, &pair.d);
  if (result == 0) result = mbedtls_ecp_copy(Q, &pair.q);
  return result;
}

}  // namespace

extern "C" {

int __wrap_mbedtls_ecp_gen_keypair(mbedtls_ecp_group* grp, mbedtls_mpi* d, mbedtls_ecp_point* Q,
                                   int (*f_rng)(void*, unsigned char*, size_t), void* p_rng) {
  if (grp->id != MBEDTLS_ECP_DP_SECP256R1)
    return __real_mbedtls_ecp_gen_keypair(grp, d, Q, f_rng, p_rng);
  return FixedKeyPair(grp, d, Q);
}

int __wrap_mbedtls_ecdh_gen_public(mbedtls_ecp_group* grp, mbedtls_mpi* d, mbedtls_ecp_point* Q,
                                   int (*f_rng)(void*, unsigned char*, size_t), void* p_rng) {
  if (grp->id != MBEDTLS_ECP_DP_SECP256R1)
    return __real_mbedtls_ecdh_gen_public(grp, d, Q, f_rng, p_rng);
  return FixedKeyPair(grp, d, Q);
}

int __wrap_mbedtls_ecdh_compute_shared(mbedtls_ecp_group* grp, mbedtls_mpi* z,
                                       const mbedtls_ecp_point* Q, const mbedtls_mpi* d,
                                       int (*f_rng)(void*, unsigned char*, size_t), void* p_rng) {
  if (grp->id != MBEDTLS_ECP_DP_SECP256R1) {
    return __real_mbedtls_ecdh_compute_shared(grp, z, Q, d, f_rng, p_rng);
  }
  // The checks the real function makes on its inputs, without the multiplication.
  int result = mbedtls_ecp_check_pubkey(grp, Q);
  if (result == 0) result = mbedtls_ecp_check_privkey(grp, d);
  if (result == 0) result = mbedtls_mpi_copy(z, &Q->X);
  return result;
}

int __wrap_mbedtls_ecdsa_write_signature(mbedtls_ecdsa_context* ctx, mbedtls_md_type_t,
                                         const unsigned char*, size_t, unsigned char* sig,
                                         size_t* slen, int (*)(void*, unsigned char*, size_t),
                                         void*) {
  int result = mbedtls_ecp_check_privkey(&ctx->grp, &ctx->d);
  if (result != 0) return result;
  static const unsigned char kSignature[] = {0x30, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01};
  std::memcpy(sig, kSignature, sizeof kSignature);
  *slen = sizeof kSignature;
  return 0;
}

void __wrap_mbedtls_entropy_init(mbedtls_entropy_context* ctx) {
  std::memset(ctx, 0, sizeof *ctx);
}

void __wrap_mbedtls_entropy_free(mbedtls_entropy_context* ctx) {
  std::memset(ctx, 0, sizeof *ctx);
}

int __wrap_mbedtls_ctr_drbg_seed(mbedtls_ctr_drbg_context*, int (*)(void*, unsigned char*, size_t),
                                 void*, const unsigned char*, size_t) {
  counter = 0;
  return 0;
}

int __wrap_mbedtls_ctr_drbg_random(void* p_rng, unsigned char* output, size_t output_len) {
  return CounterRandom(p_rng, output, output_len);
}

}  // extern "C"
