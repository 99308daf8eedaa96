// The two PIN/UV auth protocols against the published vectors, the one
// clientPIN request writer, and the choice of a protocol from getInfo.

#include "ctap/pin_uv_auth_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctap/pin_protocol_choice.h"
#include "ctap/pin_request.h"

namespace pinvale {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

Bytes Of(const SecretBytes& bytes) {
  return Bytes(bytes.data(), bytes.data() + bytes.size());
}
Bytes Of(const PinSharedSecret& secret) {
  return Bytes(secret.data(), secret.data() + secret.size());
}
Bytes Of(const PinUvAuthParam& param) {
  return Bytes(param.bytes, param.bytes + param.size);
}

const Bytes kZ = Hex("ee33f2cb08a46d2ddcaf03214af14c31510fcaa4452b8e6e04710fbc66727bac");
const Bytes kToken = Hex("0125fecfd8bf3f679bd9ec221324baa74f3cade0314b4fba8029500a320612ad");
const Bytes kIv = Hex("3672a1bc264e2cef5f647aff51100b15");

// The shared secret of the vector's Z, as bytes or in place.
void SecretFor(const PinUvAuthProtocol& protocol, PinSharedSecret& secret) {
  EXPECT_EQ(protocol.Kdf(std::span<const std::uint8_t, 32>(kZ.data(), 32), secret), 0);
}
Bytes SecretFor(const PinUvAuthProtocol& protocol) {
  PinSharedSecret secret;
  SecretFor(protocol, secret);
  return Of(secret);
}

// Protocol 2 with the vector's IV in place of the system's generator.
PinUvAuthProtocolTwo FixedIvProtocol(const Bytes& iv = kIv) {
  return PinUvAuthProtocolTwo([iv](std::span<std::uint8_t> out) {
    std::copy_n(iv.begin(), out.size(), out.begin());
    return 0;
  });
}

TEST(PinUvAuthProtocolVectors, KdfOfBothProtocols) {
  EXPECT_EQ(SecretFor(PinProtocolOne()),
            Hex("8f186f64182b86cfd8bbf73354772066ba46de6514149a7a79c050a3ce4f1ff9"));
  EXPECT_EQ(SecretFor(PinProtocolTwo()),
            Hex("efe50001d97a7cf14096589e65147b108653683cc22aaf4d1f3bd91dc8e41cbd"
                "6e1db0c8ebc48dad977a81d26ca7e5bfb0243bd1a2aba6c45adc7a00729b2027"));
}

TEST(PinUvAuthProtocolVectors, ProtocolTwoSetPinWithAFixedIv) {
  const PinUvAuthProtocolTwo protocol = FixedIvProtocol();
  PinSharedSecret secret;
  SecretFor(protocol, secret);
  NewPinBlock block;
  const Bytes pin = {'1', '2', '3', '4', '5', '6'};
  ASSERT_TRUE(BuildNewPinBlock(pin, block));
  SecretBytes newPinEnc;
  ASSERT_EQ(protocol.Encrypt(secret, block.span(), newPinEnc), 0);
  EXPECT_EQ(Of(newPinEnc),
            Hex("3672a1bc264e2cef5f647aff51100b157093115214504b86ab906e41417d6c7230436235ce1f58"
                "56090fd846a102685246e0461be9313d6f1bc66757de6f14671f8e1c3ff1d2b1ed3861bcaa291a"
                "f192"));
  PinUvAuthParam mac;
  ASSERT_EQ(protocol.Authenticate(secret.span(), newPinEnc.span(), mac), 0);
  EXPECT_EQ(Of(mac), Hex("e8bd143743e3bf6f6053696cd63226d4086b62a4d7d11adbc1c1e3f1aa970c7b"));

  // And back: the key's side of the same cipher.
  SecretBytes decrypted;
  ASSERT_EQ(protocol.Decrypt(secret, newPinEnc.span(), decrypted), 0);
  EXPECT_EQ(Of(decrypted), Bytes(block.data(), block.data() + block.size()));
}

struct TokenMacVector {
  const char* name;
  std::string message;
  std::string mac;
};

class TokenMac : public testing::TestWithParam<TokenMacVector> {};

// Protocol 2 MACs with the whole 32 bytes; protocol 1 sends the first 16 of the
// same HMAC.
TEST_P(TokenMac, BothProtocolsMatchTheVector) {
  const Bytes message = Hex(GetParam().message);
  const Bytes expected = Hex(GetParam().mac);
  PinUvAuthParam two;
  ASSERT_EQ(PinProtocolTwo().Authenticate(kToken, message, two), 0);
  EXPECT_EQ(Of(two), expected);
  PinUvAuthParam one;
  ASSERT_EQ(PinProtocolOne().Authenticate(kToken, message, one), 0);
  EXPECT_EQ(Of(one), Bytes(expected.begin(), expected.begin() + 16));
}

std::string ExampleComHash() {
  return "a379a6f6eeafb9a55e378c118034e2751e682fab9f2d30ab13d2125586ce1947";
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, TokenMac,
    testing::Values(
        TokenMacVector{"BioEnrollBegin", "0101a103192710",
                       "74ca765ab9886e0165327e6cfade491928cdfe584669a56109e08f1ea216ee57"},
        TokenMacVector{"BioEnumerate", "0104",
                       "f4ecd378f55b277c3818be7560b8fb34303794aa87293dbb420af24086e95155"},
        TokenMacVector{"BioRemove", "0106a1014101",
                       "7999f4a5723a7df912cf6da7d69d93b2aca7e91f8be32d9e7d63482ac3fed57e"},
        TokenMacVector{"BioFriendlyName", "0105a201410102657468756d62",
                       "14eece604785e2ea300a56fcab7cafb19e5b07f54daf0f737a02002802ee483a"},
        TokenMacVector{"CredsMetadata", "01",
                       "45676f3835f462adfa04b2066c5ec094c60dd480564326dfdcd4b2c36ac46025"},
        TokenMacVector{"EnumerateRps", "02",
                       "fbfb518d519d9f4138b4997ea57492af7d1e2dbc9cd7d80d318980b1b9e9943b"},
        TokenMacVector{"EnumerateCredentials", "04a1015820" + ExampleComHash(),
                       "340ff740ea8c0daf48c5df402c65735315d296cc1982cd1fa184918bf7407c8b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PinUvAuthProtocolTwo, RefusesCiphertextsWithoutRoomForAnIv) {
  PinSharedSecret secret;
  SecretFor(PinProtocolTwo(), secret);
  for (std::size_t length : {0, 15, 16, 33, 40}) {
    const Bytes ciphertext(length, 0x42);
    SecretBytes out;
    EXPECT_EQ(PinProtocolTwo().Decrypt(secret, ciphertext, out), kPinAnswerNotUnderstood) << length;
    EXPECT_TRUE(out.empty());
  }
  // A protocol-1 secret is no protocol-2 secret.
  SecretBytes out;
  PinSharedSecret one;
  SecretFor(PinProtocolOne(), one);
  EXPECT_EQ(PinProtocolTwo().Decrypt(one, Bytes(48, 0), out), kPinAnswerNotUnderstood);
}

TEST(PinUvAuthProtocolTwo, EveryEncryptionHasAFreshIvAndAFailingSourceSendsNothing) {
  PinSharedSecret secret;
  SecretFor(PinProtocolTwo(), secret);
  const Bytes hash(16, 0x11);
  SecretBytes first;
  SecretBytes second;
  ASSERT_EQ(PinProtocolTwo().Encrypt(secret, hash, first), 0);
  ASSERT_EQ(PinProtocolTwo().Encrypt(secret, hash, second), 0);
  ASSERT_EQ(first.size(), 32u);
  EXPECT_NE(Of(first), Of(second));

  const PinUvAuthProtocolTwo broken([](std::span<std::uint8_t>) { return -0x34; });
  SecretBytes out;
  EXPECT_EQ(broken.Encrypt(secret, hash, out), -0x34);
  EXPECT_TRUE(out.empty());
}

TEST(PinUvAuthProtocol, TokenLengthsEachProtocolAllows) {
  for (std::size_t length : {0, 15, 16, 31, 32, 48}) {
    EXPECT_EQ(PinProtocolOne().TokenLengthAllowed(length), length == 16 || length == 32);
    EXPECT_EQ(PinProtocolTwo().TokenLengthAllowed(length), length == 32);
  }
}

// --- the request writer ---

PlatformPublicKey FixedKey() {
  PlatformPublicKey key;
  for (std::size_t i = 0; i < 32; ++i) {
    key.x[i] = static_cast<std::uint8_t>(i);
    key.y[i] = static_cast<std::uint8_t>(0x80 + i);
  }
  return key;
}

Bytes CoseKey(const PlatformPublicKey& key) {
  Bytes out = Hex("a501020338182001215820");
  out.insert(out.end(), key.x.begin(), key.x.end());
  out.insert(out.end(), {0x22, 0x58, 0x20});
  out.insert(out.end(), key.y.begin(), key.y.end());
  return out;
}

Bytes Request(const ClientPinRequest& fields) {
  Bytes buffer(kMaxClientPinRequestSize, 0);
  const std::uint32_t length =
      WriteClientPinRequest(fields, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  buffer.resize(length);
  return buffer;
}

TEST(ClientPinRequestWriter, TokenWithPermissionsCarriesThemAndTheRpIdLast) {
  const PlatformPublicKey key = FixedKey();
  const Bytes pinHashEnc(32, 0xEE);
  ClientPinRequest fields(2, PinSubCommand::kGetPinUvAuthTokenUsingPinWithPermissions, &key);
  fields.pinHashEnc = pinHashEnc;
  fields.permissions = kPermissionMakeCredential | kPermissionGetAssertion;
  fields.rpId = "example.com";
  Bytes expected = Hex("06a60102020903");
  const Bytes cose = CoseKey(key);
  expected.insert(expected.end(), cose.begin(), cose.end());
  expected.insert(expected.end(), {0x06, 0x58, 0x20});
  expected.insert(expected.end(), pinHashEnc.begin(), pinHashEnc.end());
  const Bytes tail = Hex("09030a6b6578616d706c652e636f6d");
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(Request(fields), expected);

  // cm alone, no rpId: 5 pairs.
  ClientPinRequest cm(1, PinSubCommand::kGetPinUvAuthTokenUsingPinWithPermissions, &key);
  const Bytes shortHashEnc(16, 0xEE);  // the request holds a view of it
  cm.pinHashEnc = shortHashEnc;
  cm.permissions = kPermissionCredentialManagement;
  const Bytes request = Request(cm);
  ASSERT_EQ(request.size(), 1 + 1 + 4 + 79 + 18 + 2u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 6), Hex("06a501010209"));
  EXPECT_EQ(Bytes(request.end() - 2, request.end()), Hex("0904"));
}

TEST(ClientPinRequestWriter, ShortRequestsAndARequestThatDoesNotFit) {
  EXPECT_EQ(Request(ClientPinRequest(2, PinSubCommand::kGetKeyAgreement)), Hex("06a201020202"));
  EXPECT_EQ(Request(ClientPinRequest(1, PinSubCommand::kGetRetries)), Hex("06a201010201"));
  const PlatformPublicKey key = FixedKey();
  const Bytes newPinEnc(80, 1);
  ClientPinRequest set(2, PinSubCommand::kSetPin, &key);
  set.newPinEnc = newPinEnc;
  Bytes small(100, 0);
  EXPECT_EQ(WriteClientPinRequest(set, small.data(), 100), 0u);
}

// --- which protocol ---

struct ChoiceCase {
  const char* name;
  std::vector<std::uint32_t> listed;
  int forced;
  int code;
  int chosen;  // 0: none
};

class PinProtocolChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(PinProtocolChoice, TakesTheKeysFirstKnownProtocol) {
  AuthenticatorInfo info;
  info.pinUvAuthProtocols = GetParam().listed;
  const PinUvAuthProtocol* chosen = nullptr;
  EXPECT_EQ(ChoosePinProtocol(info, GetParam().forced, chosen), GetParam().code);
  if (GetParam().chosen == 0) {
    EXPECT_EQ(chosen, nullptr);
  } else {
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->Number(), GetParam().chosen);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PinProtocolChoice,
    testing::Values(ChoiceCase{"One", {1}, 0, 0, 1}, ChoiceCase{"Two", {2}, 0, 0, 2},
                    ChoiceCase{"TwoThenOne", {2, 1}, 0, 0, 2},
                    ChoiceCase{"OneThenTwo", {1, 2}, 0, 0, 1},
                    ChoiceCase{"NoneListed", {}, 0, 0, 1},
                    ChoiceCase{"OnlyUnknown", {3}, 0, kNoSupportedPinProtocol, 0},
                    ChoiceCase{"UnknownFirst", {3, 2}, 0, 0, 2},
                    ChoiceCase{"ForcedOneOfTwoOne", {2, 1}, 1, 0, 1},
                    ChoiceCase{"ForcedTwoNotListed", {1}, 2, kPinProtocolNotListed, 0},
                    ChoiceCase{"ForcedTwoOnAnEmptyList", {}, 2, kPinProtocolNotListed, 0},
                    ChoiceCase{"ForcedOneOnAnEmptyList", {}, 1, 0, 1},
                    ChoiceCase{"ForcedUnknown", {3}, 3, kPinProtocolNotListed, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale
