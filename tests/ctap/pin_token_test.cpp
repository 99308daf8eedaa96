// Protocol-2 exchanges and tokens with permissions against a key model that
// speaks both protocols, built on mbedTLS directly: setPIN, changePIN, the
// token requests (0x05 and 0x09) and what is refused before anything is sent.

#include "ctap/pin_token.h"

#include <gtest/gtest.h>
#include <mbedtls/hkdf.h>

#include <algorithm>
#include <string>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "fake_hid.h"
#include "pin_device_model.h"

namespace pinvale {
namespace {

using test::Bytes;
using test::PinDeviceModel;

const Bytes kPin = {'1', '2', '3', '4', '5', '6'};

std::int32_t IntMember(const Bytes& request, std::int32_t key) {
  std::int32_t value = 0;
  CborItem(request.data() + 1, static_cast<std::uint32_t>(request.size() - 1))
      .mapValueByInt(key)
      .getInt(value);
  return value;
}

Bytes Hkdf(const Bytes& z, const char* info) {
  Bytes out(32);
  const std::uint8_t salt[32] = {};
  mbedtls_hkdf(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), salt, 32, z.data(), z.size(),
               reinterpret_cast<const unsigned char*>(info), std::string(info).size(), out.data(),
               32);
  return out;
}

Bytes Aes(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& data) {
  Bytes out(data.size());
  std::uint8_t chain[16];
  std::copy_n(iv.begin(), 16, chain);
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  if (encrypt) {
    mbedtls_aes_setkey_enc(&aes, key.data(), 256);
  } else {
    mbedtls_aes_setkey_dec(&aes, key.data(), 256);
  }
  mbedtls_aes_crypt_cbc(&aes, encrypt ? MBEDTLS_AES_ENCRYPT : MBEDTLS_AES_DECRYPT, data.size(),
                        chain, data.data(), out.data());
  mbedtls_aes_free(&aes);
  return out;
}

Bytes HmacFull(const Bytes& key, const Bytes& message) {
  Bytes mac(32);
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key.data(), key.size(),
                  message.data(), message.size(), mac.data());
  return mac;
}

// A CTAP 2.1 key: protocol 2 (and 1), tokens with permissions.
class TwoKey {
 public:
  explicit TwoKey(test::FakeHidDevice& device) {
    device.SetResponder([this](const Bytes& request) { return Answer(request); });
  }

  std::optional<Bytes> storedHash;
  Bytes token = Bytes(32, 0x5A);
  std::optional<Bytes> tokenAnswerOverride;  // the encrypted token as sent
  std::vector<Bytes> requests;

 private:
  std::optional<Bytes> Answer(const Bytes& request) {
    requests.push_back(request);
    if (request.empty() || request[0] != 0x06) return test::CtapAnswer(0x01);
    const std::int32_t protocol = IntMember(request, 1);
    const std::int32_t sub = IntMember(request, 2);
    if (protocol != 2) return test::CtapAnswer(0x02);
    if (sub == 2) return test::CtapAnswer(0x00, model.KeyAgreementBody());
    const Bytes z = model.EcdhXFor(request);
    if (z.empty()) return test::CtapAnswer(0x11);
    const Bytes hmacKey = Hkdf(z, "CTAP2 HMAC key");
    const Bytes aesKey = Hkdf(z, "CTAP2 AES key");
    auto decrypt = [&](const Bytes& data) {
      if (data.size() < 32) return Bytes{};
      return Aes(false, aesKey, Bytes(data.begin(), data.begin() + 16),
                 Bytes(data.begin() + 16, data.end()));
    };
    const Bytes newPinEnc = PinDeviceModel::Member(request, 5);
    const Bytes pinHashEnc = PinDeviceModel::Member(request, 6);
    const Bytes mac = PinDeviceModel::Member(request, 4);
    if (sub == 3 || sub == 4) {
      Bytes covered = newPinEnc;
      if (sub == 4) covered.insert(covered.end(), pinHashEnc.begin(), pinHashEnc.end());
      if (newPinEnc.size() != 80 || mac != HmacFull(hmacKey, covered)) {
        return test::CtapAnswer(0x33);
      }
      if (sub == 4 && decrypt(pinHashEnc) != storedHash) return test::CtapAnswer(0x31);
      const Bytes block = decrypt(newPinEnc);
      storedHash =
          PinDeviceModel::PinHash(Bytes(block.begin(), std::find(block.begin(), block.end(), 0)));
      return test::CtapAnswer(0x00);
    }
    if (sub == 5 || sub == 9) {
      if (pinHashEnc.size() != 32 || decrypt(pinHashEnc) != storedHash) {
        return test::CtapAnswer(0x31);
      }
      const Bytes iv(16, 0x24);
      Bytes encrypted = iv;
      const Bytes body = Aes(true, aesKey, iv, token);
      encrypted.insert(encrypted.end(), body.begin(), body.end());
      if (tokenAnswerOverride) encrypted = *tokenAnswerOverride;
      std::uint8_t buffer[128];
      CborWriter writer(buffer, sizeof buffer);
      writer.beginMap(1).putInt(2).putBytes(encrypted.data(),
                                            static_cast<std::uint32_t>(encrypted.size()));
      return test::CtapAnswer(0x00, Bytes(buffer, buffer + writer.length()));
    }
    return test::CtapAnswer(0x3E);
  }

 public:
  PinDeviceModel model;
};

AuthenticatorInfo Info21(std::vector<std::pair<std::string, bool>> options) {
  AuthenticatorInfo info;
  info.versions = {"FIDO_2_0", "FIDO_2_1"};
  info.pinUvAuthProtocols = {2, 1};
  info.options = std::move(options);
  info.options.emplace_back("clientPin", true);
  info.options.emplace_back("pinUvAuthToken", true);
  return info;
}

class ProtocolTwoExchange : public testing::Test {
 protected:
  test::FakeKeyRig rig;
  TwoKey key{*rig.key};
  const Bytes& Last() {
    EXPECT_FALSE(key.requests.empty());
    return key.requests.back();
  }
};

TEST_F(ProtocolTwoExchange, SetChangeAndTokenAreTakenByAProtocolTwoKey) {
  const PinRequestResult set = SendSetPin(rig.token, PinProtocolTwo(), kPin);
  ASSERT_TRUE(set.requestSent);
  ASSERT_EQ(set.code, 0);
  ASSERT_EQ(key.requests.size(), 2u);
  EXPECT_EQ(key.requests[0], (Bytes{0x06, 0xA2, 0x01, 0x02, 0x02, 0x02}));
  // 32-byte MAC, 80 bytes of newPinEnc with its IV in front.
  EXPECT_EQ(PinDeviceModel::Member(Last(), 4).size(), 32u);
  EXPECT_EQ(PinDeviceModel::Member(Last(), 5).size(), 80u);

  const Bytes next = {'6', '5', '4', '3', '2', '1'};
  const PinRequestResult change = SendChangePin(rig.token, PinProtocolTwo(), kPin, next);
  EXPECT_EQ(change.code, 0);
  EXPECT_EQ(PinDeviceModel::Member(Last(), 6).size(), 32u);
  EXPECT_EQ(SendChangePin(rig.token, PinProtocolTwo(), kPin, next).code, 0x31);

  AuthenticatorInfo legacy;
  legacy.pinUvAuthProtocols = {2};
  PinUvToken token;
  const PinRequestResult got =
      ObtainPinUvAuthToken(rig.token, legacy, PinProtocolTwo(), next, 0, {}, token);
  EXPECT_TRUE(got.requestSent);
  EXPECT_EQ(got.code, 0);
  EXPECT_EQ(Bytes(token.span().begin(), token.span().end()), key.token);
  EXPECT_EQ(token.protocol, &PinProtocolTwo());
  EXPECT_EQ(IntMember(Last(), 2), 5);  // no pinUvAuthToken option: getPINToken
}

TEST_F(ProtocolTwoExchange, PermissionTokensAskOnlyForWhatTheKeySupports) {
  key.storedHash = PinDeviceModel::PinHash(kPin);
  const AuthenticatorInfo info = Info21({{"credMgmt", true}});
  PinUvToken token;
  // be is not supported: only cm is asked, without an rpId.
  PinRequestResult got = ObtainPinUvAuthToken(
      rig.token, info, PinProtocolTwo(), kPin,
      kPermissionCredentialManagement | kPermissionBioEnrollment, "example.com", token);
  ASSERT_EQ(got.code, 0);
  EXPECT_EQ(IntMember(Last(), 2), 9);
  EXPECT_EQ(IntMember(Last(), 9), 0x04);
  EXPECT_TRUE(CborItem(Last().data() + 1, static_cast<std::uint32_t>(Last().size() - 1))
                  .mapValueByInt(0x0A)
                  .head()
                  .majorType == 7);
  EXPECT_EQ(token.size, 32u);

  // mc with its rpId.
  got = ObtainPinUvAuthToken(rig.token, info, PinProtocolTwo(), kPin, kPermissionMakeCredential,
                             "example.com", token);
  ASSERT_EQ(got.code, 0);
  const char* rpId = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(CborItem(Last().data() + 1, static_cast<std::uint32_t>(Last().size() - 1))
                  .mapValueByInt(0x0A)
                  .getText(rpId, length));
  EXPECT_EQ(std::string(rpId, length), "example.com");

  // Nothing supported: nothing sent.
  const std::size_t before = key.requests.size();
  got = ObtainPinUvAuthToken(rig.token, info, PinProtocolTwo(), kPin, kPermissionBioEnrollment, {},
                             token);
  EXPECT_FALSE(got.requestSent);
  EXPECT_EQ(got.code, kNoPermissionSupported);
  got = ObtainPinUvAuthToken(rig.token, info, PinProtocolTwo(), kPin, kPermissionGetAssertion, {},
                             token);
  EXPECT_EQ(got.code, kNoPermissionSupported);
  EXPECT_EQ(key.requests.size(), before);
}

TEST_F(ProtocolTwoExchange, VerifyPinUsesGetPinTokenOrAPermissionTheKeyGrants) {
  key.storedHash = PinDeviceModel::PinHash(kPin);
  EXPECT_EQ(VerifyPin(rig.token, Info21({}), PinProtocolTwo(), kPin).code, 0);
  EXPECT_EQ(IntMember(Last(), 2), 5);

  const AuthenticatorInfo noMcGa =
      Info21({{"noMcGaPermissionsWithClientPin", true}, {"bioEnroll", false}});
  EXPECT_EQ(VerifyPin(rig.token, noMcGa, PinProtocolTwo(), kPin).code, 0);
  EXPECT_EQ(IntMember(Last(), 2), 9);
  EXPECT_EQ(IntMember(Last(), 9), 0x08);
  EXPECT_EQ(VerifyPin(rig.token, noMcGa, PinProtocolTwo(), Bytes{'0', '0', '0', '0'}).code, 0x31);

  const std::size_t before = key.requests.size();
  const PinRequestResult none = VerifyPin(
      rig.token, Info21({{"noMcGaPermissionsWithClientPin", true}}), PinProtocolTwo(), kPin);
  EXPECT_EQ(none.code, kNoPermissionSupported);
  AuthenticatorInfo forced = Info21({});
  forced.forcePinChange = true;
  const PinRequestResult refused = VerifyPin(rig.token, forced, PinProtocolTwo(), kPin);
  EXPECT_FALSE(refused.requestSent);
  EXPECT_EQ(refused.code, kPinChangeRequired);
  EXPECT_EQ(key.requests.size(), before);
}

struct BadToken {
  const char* name;
  Bytes encrypted;
};

class ProtocolTwoBadToken : public ProtocolTwoExchange,
                            public testing::WithParamInterface<BadToken> {};

TEST_P(ProtocolTwoBadToken, IsNotUnderstoodAndNeverASuccess) {
  key.storedHash = PinDeviceModel::PinHash(kPin);
  key.tokenAnswerOverride = GetParam().encrypted;
  PinUvToken token;
  const PinRequestResult got =
      ObtainPinUvAuthToken(rig.token, Info21({}), PinProtocolTwo(), kPin, 0x01, "a.example", token);
  EXPECT_TRUE(got.requestSent);
  EXPECT_EQ(got.code, kPinAnswerNotUnderstood);
  EXPECT_EQ(token.size, 0u);
  EXPECT_EQ(VerifyPin(rig.token, Info21({}), PinProtocolTwo(), kPin).code, kPinAnswerNotUnderstood);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProtocolTwoBadToken,
    testing::Values(BadToken{"IvOnly", Bytes(16, 1)}, BadToken{"ShortIv", Bytes(15, 1)},
                    BadToken{"SixteenByteToken", Bytes(32, 1)},  // IV + 16: protocol 1's length
                    BadToken{"NotWholeBlocks", Bytes(50, 1)}, BadToken{"Empty", Bytes{}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProtocolTwoKeyAgreement, AnAnswerOfTheWrongShapeStopsBeforeAnyPin) {
  test::FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00, {0xA1, 0x01, 0xA1, 0x01, 0x02});  // a COSE key without x and y
  const PinRequestResult set = SendSetPin(rig.token, PinProtocolTwo(), kPin);
  EXPECT_FALSE(set.requestSent);
  EXPECT_EQ(set.code, kKeyAgreementUnusable);
  EXPECT_EQ(rig.key->SentMessages().size(), 1u);
}

}  // namespace
}  // namespace pinvale
