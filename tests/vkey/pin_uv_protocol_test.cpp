// The key's PIN/UV auth protocols against the published vectors, and the inputs
// its decrypt and verify refuse.

#include <gtest/gtest.h>

#include <string>

#include "vkey/pin_uv_protocol.h"

namespace pinvale::vkey {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

const Bytes kZ = Hex("ee33f2cb08a46d2ddcaf03214af14c31510fcaa4452b8e6e04710fbc66727bac");
const Bytes kToken = Hex("0125fecfd8bf3f679bd9ec221324baa74f3cade0314b4fba8029500a320612ad");

Bytes Of(const std::uint8_t* data, std::size_t length) {
  return Bytes(data, data + length);
}

TEST(PinUvProtocolTest, KdfMatchesTheVectors) {
  ProtocolSecret one;
  ASSERT_TRUE(one.Derive(1, kZ.data()));
  EXPECT_EQ(Of(one.HmacKey(), 32),
            Hex("8f186f64182b86cfd8bbf73354772066ba46de6514149a7a79c050a3ce4f1ff9"));
  EXPECT_EQ(Of(one.AesKey(), 32), Of(one.HmacKey(), 32));  // one key for both

  ProtocolSecret two;
  ASSERT_TRUE(two.Derive(2, kZ.data()));
  EXPECT_EQ(Of(two.HmacKey(), 32),
            Hex("efe50001d97a7cf14096589e65147b108653683cc22aaf4d1f3bd91dc8e41cbd"));
  EXPECT_EQ(Of(two.AesKey(), 32),
            Hex("6e1db0c8ebc48dad977a81d26ca7e5bfb0243bd1a2aba6c45adc7a00729b2027"));

  ProtocolSecret three;
  EXPECT_FALSE(three.Derive(3, kZ.data()));
}

TEST(PinUvProtocolTest, SetPinVectorEncryptsDecryptsAndAuthenticates) {
  ProtocolSecret secret;
  ASSERT_TRUE(secret.Derive(2, kZ.data()));
  Bytes block(64, 0);
  const std::string pin = "123456";
  std::copy(pin.begin(), pin.end(), block.begin());
  const Bytes iv = Hex("3672a1bc264e2cef5f647aff51100b15");
  const Bytes expected =
      Hex("3672a1bc264e2cef5f647aff51100b157093115214504b86ab906e41417d6c7230436235ce1f5856090fd8"
          "46a102685246e0461be9313d6f1bc66757de6f14671f8e1c3ff1d2b1ed3861bcaa291af192");
  Bytes newPinEnc(80);
  ASSERT_TRUE(
      ProtocolEncryptWithIv(secret, iv.data(), block.data(), block.size(), newPinEnc.data()));
  EXPECT_EQ(newPinEnc, expected);

  Bytes plain(80);
  std::size_t plainLength = 0;
  ASSERT_TRUE(
      ProtocolDecrypt(secret, newPinEnc.data(), newPinEnc.size(), plain.data(), plainLength));
  EXPECT_EQ(Of(plain.data(), plainLength), block);

  const Bytes pinUvAuthParam =
      Hex("e8bd143743e3bf6f6053696cd63226d4086b62a4d7d11adbc1c1e3f1aa970c7b");
  EXPECT_TRUE(ProtocolVerify(2, secret.HmacKey(), 32, newPinEnc.data(), newPinEnc.size(),
                             pinUvAuthParam.data(), pinUvAuthParam.size()));
  // The left half, as protocol 1 would send it, or a MAC over the ciphertext without
  // its IV, does not pass.
  EXPECT_FALSE(ProtocolVerify(2, secret.HmacKey(), 32, newPinEnc.data(), newPinEnc.size(),
                              pinUvAuthParam.data(), 16));
  EXPECT_FALSE(ProtocolVerify(2, secret.HmacKey(), 32, newPinEnc.data() + 16, 64,
                              pinUvAuthParam.data(), 32));

  // A fresh IV every time, in front of the ciphertext.
  RandomSource random;
  Bytes first(80);
  Bytes second(80);
  ASSERT_TRUE(ProtocolEncrypt(secret, random, block.data(), 64, first.data()));
  ASSERT_TRUE(ProtocolEncrypt(secret, random, block.data(), 64, second.data()));
  EXPECT_NE(Bytes(first.begin(), first.begin() + 16), Bytes(second.begin(), second.begin() + 16));
}

TEST(PinUvProtocolTest, TokenMacsMatchTheVectors) {
  // credMgmt getCredsMetadata (01) and bio enumerateEnrollments (01 04).
  const struct {
    Bytes message;
    Bytes mac;
  } cases[] = {
      {{0x01}, Hex("45676f3835f462adfa04b2066c5ec094c60dd480564326dfdcd4b2c36ac46025")},
      {{0x01, 0x04}, Hex("f4ecd378f55b277c3818be7560b8fb34303794aa87293dbb420af24086e95155")},
  };
  for (const auto& c : cases) {
    std::uint8_t mac[kMaxMacSize];
    ProtocolAuthenticate(2, kToken.data(), kToken.size(), c.message.data(), c.message.size(), mac);
    EXPECT_EQ(Of(mac, 32), c.mac);
    // Protocol 1 sends the first 16 bytes of the same HMAC, and only those.
    EXPECT_TRUE(
        ProtocolVerify(1, kToken.data(), 32, c.message.data(), c.message.size(), c.mac.data(), 16));
    EXPECT_FALSE(
        ProtocolVerify(1, kToken.data(), 32, c.message.data(), c.message.size(), c.mac.data(), 32));
  }
}

TEST(PinUvProtocolTest, DecryptRefusesWhatHoldsNoWholeBlock) {
  ProtocolSecret one;
  ProtocolSecret two;
  ASSERT_TRUE(one.Derive(1, kZ.data()));
  ASSERT_TRUE(two.Derive(2, kZ.data()));
  const Bytes input(48, 0x33);
  Bytes out(48);
  std::size_t outLength = 99;
  for (std::size_t length : {0, 15, 16, 17, 31, 47}) {
    EXPECT_FALSE(ProtocolDecrypt(two, input.data(), length, out.data(), outLength)) << length;
    EXPECT_EQ(outLength, 0u);
  }
  EXPECT_TRUE(ProtocolDecrypt(two, input.data(), 32, out.data(), outLength));
  EXPECT_EQ(outLength, 16u);
  for (std::size_t length : {0, 15, 17}) {
    EXPECT_FALSE(ProtocolDecrypt(one, input.data(), length, out.data(), outLength)) << length;
  }
  EXPECT_TRUE(ProtocolDecrypt(one, input.data(), 16, out.data(), outLength));
  EXPECT_EQ(outLength, 16u);
}

}  // namespace
}  // namespace pinvale::vkey
