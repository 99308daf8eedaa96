#include "ctap/pin_crypto.h"

#include <gtest/gtest.h>
#include <mbedtls/aes.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/entropy.h>
#include <mbedtls/sha256.h>

#include <string_view>
#include <vector>

namespace pinvale {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> Hex(std::string_view hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

TEST(PinCipher, IsAes256CbcWithAZeroIvSetForEveryCall) {
  // AES-256 with the all-zero key maps the zero block to dc95c078...; with a
  // zero IV the first CBC block is exactly that, and the second is chained.
  const std::uint8_t key[32] = {};
  const std::uint8_t plain[32] = {};
  std::uint8_t first[32];
  std::uint8_t second[32];
  ASSERT_EQ(PinCipher(key, plain, sizeof plain, first), 0);
  ASSERT_EQ(PinCipher(key, plain, sizeof plain, second), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(first, first + 16), Hex("dc95c078a2408989ad48a21492842087"));
  EXPECT_NE(std::vector<std::uint8_t>(first, first + 16),
            std::vector<std::uint8_t>(first + 16, first + 32));
  EXPECT_EQ(std::vector<std::uint8_t>(first, first + 32),
            std::vector<std::uint8_t>(second, second + 32));
}

TEST(PinCipher, RefusesInputThatIsNotWholeBlocks) {
  const std::uint8_t key[32] = {};
  const std::uint8_t plain[20] = {};
  std::uint8_t out[20];
  EXPECT_NE(PinCipher(key, plain, sizeof plain, out), 0);
}

TEST(ComputePinAuth, IsTheFirstHalfOfHmacSha256) {
  // RFC 4231 test case 2.
  const auto key = Bytes("Jefe");
  const auto message = Bytes("what do ya want for nothing?");
  std::uint8_t pinAuth[kPinAuthSize];
  ASSERT_EQ(ComputePinAuth(key.data(), key.size(), message.data(), message.size(), pinAuth), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(pinAuth, pinAuth + 16),
            Hex("5bdcc146bf60754e6a042426089575c7"));
}

TEST(ComputePinHash, IsTheFirstHalfOfSha256OverThePinBytesOnly) {
  const auto pin = Bytes("1234");
  PinHash hash;
  ASSERT_EQ(ComputePinHash(pin, hash), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(hash.data(), hash.data() + 16),
            Hex("03ac674216f3e15c761ee1a5e255f067"));
}

TEST(BuildNewPinBlock, PadsWithZerosAndRefusesWhatDoesNotFit) {
  NewPinBlock block;
  ASSERT_TRUE(BuildNewPinBlock(Bytes("1234"), block));
  std::vector<std::uint8_t> expected(64, 0);
  expected[0] = '1', expected[1] = '2', expected[2] = '3', expected[3] = '4';
  EXPECT_EQ(std::vector<std::uint8_t>(block.data(), block.data() + 64), expected);

  // Exactly 64 bytes fill the block with no terminating zero.
  const std::vector<std::uint8_t> full(64, 'a');
  ASSERT_TRUE(BuildNewPinBlock(full, block));
  EXPECT_EQ(std::vector<std::uint8_t>(block.data(), block.data() + 64), full);

  const std::vector<std::uint8_t> tooLong(65, 'a');
  EXPECT_FALSE(BuildNewPinBlock(tooLong, block));
  EXPECT_EQ(std::vector<std::uint8_t>(block.data(), block.data() + 64),
            std::vector<std::uint8_t>(64, 0));
}

// The key's side of the agreement, made with mbedTLS directly.
class DeviceKeyPair {
 public:
  DeviceKeyPair() {
    mbedtls_entropy_init(&entropy_);
    mbedtls_ctr_drbg_init(&drbg_);
    mbedtls_ecdh_init(&ecdh_);
    EXPECT_EQ(mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, nullptr, 0), 0);
    EXPECT_EQ(mbedtls_ecp_group_load(&ecdh_.grp, MBEDTLS_ECP_DP_SECP256R1), 0);
    EXPECT_EQ(
        mbedtls_ecdh_gen_public(&ecdh_.grp, &ecdh_.d, &ecdh_.Q, mbedtls_ctr_drbg_random, &drbg_),
        0);
    mbedtls_mpi_write_binary(&ecdh_.Q.X, x, 32);
    mbedtls_mpi_write_binary(&ecdh_.Q.Y, y, 32);
  }
  ~DeviceKeyPair() {
    mbedtls_ecdh_free(&ecdh_);
    mbedtls_ctr_drbg_free(&drbg_);
    mbedtls_entropy_free(&entropy_);
  }

  std::vector<std::uint8_t> SharedSecretWith(const PlatformPublicKey& platform) {
    mbedtls_ecp_point peer;
    mbedtls_ecp_point_init(&peer);
    mbedtls_mpi_lset(&peer.Z, 1);
    mbedtls_mpi_read_binary(&peer.X, platform.x.data(), 32);
    mbedtls_mpi_read_binary(&peer.Y, platform.y.data(), 32);
    mbedtls_mpi z;
    mbedtls_mpi_init(&z);
    EXPECT_EQ(mbedtls_ecdh_compute_shared(&ecdh_.grp, &z, &peer, &ecdh_.d, mbedtls_ctr_drbg_random,
                                          &drbg_),
              0);
    std::uint8_t zx[32];
    std::vector<std::uint8_t> secret(32);
    mbedtls_mpi_write_binary(&z, zx, 32);
    mbedtls_sha256_ret(zx, 32, secret.data(), 0);
    mbedtls_mpi_free(&z);
    mbedtls_ecp_point_free(&peer);
    return secret;
  }

  std::uint8_t x[32];
  std::uint8_t y[32];

 private:
  mbedtls_entropy_context entropy_;
  mbedtls_ctr_drbg_context drbg_;
  mbedtls_ecdh_context ecdh_;
};

TEST(DeriveSharedSecretFromPoint, AgreesWithTheKeyAndUsesAFreshPairEachTime) {
  DeviceKeyPair device;
  SharedSecret first;
  SharedSecret second;
  PlatformPublicKey firstKey;
  PlatformPublicKey secondKey;
  ASSERT_EQ(
      DeriveSharedSecretFromPoint(std::span<const std::uint8_t, 32>(device.x, 32),
                                  std::span<const std::uint8_t, 32>(device.y, 32), first, firstKey),
      0);
  ASSERT_EQ(DeriveSharedSecretFromPoint(std::span<const std::uint8_t, 32>(device.x, 32),
                                        std::span<const std::uint8_t, 32>(device.y, 32), second,
                                        secondKey),
            0);
  EXPECT_EQ(std::vector<std::uint8_t>(first.data(), first.data() + 32),
            device.SharedSecretWith(firstKey));
  EXPECT_EQ(std::vector<std::uint8_t>(second.data(), second.data() + 32),
            device.SharedSecretWith(secondKey));
  EXPECT_NE(firstKey.x, secondKey.x);
}

TEST(DeriveSharedSecretFromPoint, ReturnsTheMbedtlsErrorForAPointOffTheCurve) {
  DeviceKeyPair device;
  device.y[31] ^= 1;
  SharedSecret secret;
  PlatformPublicKey key;
  const int result =
      DeriveSharedSecretFromPoint(std::span<const std::uint8_t, 32>(device.x, 32),
                                  std::span<const std::uint8_t, 32>(device.y, 32), secret, key);
  EXPECT_LT(result, 0);
}

}  // namespace
}  // namespace pinvale
