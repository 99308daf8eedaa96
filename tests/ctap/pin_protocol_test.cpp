#include "ctap/pin_protocol.h"

#include <gtest/gtest.h>

#include <string>

#include "cbor/cbor_item.h"
#include "ctap/pin_text.h"
#include "fake_hid.h"
#include "pin_device_model.h"

namespace pinvale {
namespace {

using test::Bytes;
using test::PinDeviceModel;

Bytes Utf8(std::u16string_view text) {
  SecretBytes bytes;
  EXPECT_TRUE(PinToUtf8(text, bytes));
  return Bytes(bytes.data(), bytes.data() + bytes.size());
}

std::int32_t SubCommand(const Bytes& request) {
  std::uint32_t value = 0;
  CborItem(request.data() + 1, static_cast<std::uint32_t>(request.size() - 1))
      .mapValueByInt(2)
      .getUnsigned(value);
  return static_cast<std::int32_t>(value);
}

Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// A key that keeps a PIN the way an authenticator does, checking every pinAuth
// and PIN hash it is sent.
class PinKey {
 public:
  explicit PinKey(test::FakeHidDevice& device) {
    device.SetResponder(
        [this](const Bytes& request) -> std::optional<Bytes> { return Answer(request); });
  }

  std::optional<Bytes> keyAgreementOverride;
  std::optional<Bytes> storedHash;
  Bytes token = Bytes(32, 0x5A);
  std::optional<std::uint8_t> forcedStatus;  // answer to setPIN/changePIN/getPINToken

 private:
  std::optional<Bytes> Answer(const Bytes& request) {
    if (request.empty() || request[0] != 0x06) return test::CtapAnswer(0x01);
    const std::int32_t sub = SubCommand(request);
    if (sub == 1) return test::CtapAnswer(0x00, {0xA1, 0x03, 0x08});
    if (sub == 2)
      return keyAgreementOverride ? *keyAgreementOverride
                                  : test::CtapAnswer(0x00, model.KeyAgreementBody());
    if (forcedStatus) return test::CtapAnswer(*forcedStatus);
    const Bytes secret = model.SharedSecretFor(request);
    if (secret.empty()) return test::CtapAnswer(0x11);
    const Bytes newPinEnc = PinDeviceModel::Member(request, 5);
    const Bytes pinHashEnc = PinDeviceModel::Member(request, 6);
    const Bytes pinAuth = PinDeviceModel::Member(request, 4);
    if (sub == 3 || sub == 4) {
      const Bytes covered = sub == 3 ? newPinEnc : Concat(newPinEnc, pinHashEnc);
      if (pinAuth != PinDeviceModel::HmacHalf(secret, covered)) return test::CtapAnswer(0x33);
      if (sub == 4 && PinDeviceModel::Decrypt(secret, pinHashEnc) != storedHash)
        return test::CtapAnswer(0x31);
      if (sub == 3 && storedHash) return test::CtapAnswer(0x33);
      Bytes block = PinDeviceModel::Decrypt(secret, newPinEnc);
      lastBlock = block;
      Bytes pin(block.begin(), std::find(block.begin(), block.end(), 0));
      storedHash = PinDeviceModel::PinHash(pin);
      return test::CtapAnswer(0x00);
    }
    if (sub == 5) {
      if (PinDeviceModel::Decrypt(secret, pinHashEnc) != storedHash) return test::CtapAnswer(0x31);
      std::uint8_t buffer[64];
      CborWriter writer(buffer, sizeof buffer);
      const Bytes encrypted = PinDeviceModel::Encrypt(secret, token);
      writer.beginMap(1).putInt(2).putBytes(encrypted.data(),
                                            static_cast<std::uint32_t>(encrypted.size()));
      return test::CtapAnswer(0x00, Bytes(buffer, buffer + writer.length()));
    }
    return test::CtapAnswer(0x01);
  }

 public:
  PinDeviceModel model;
  Bytes lastBlock;
};

class PinProtocolTest : public testing::Test {
 protected:
  test::FakeKeyRig rig;
  PinKey key{*rig.key};

  std::vector<Bytes> Sent() const { return rig.key->SentMessages(); }
};

const Bytes kGetKeyAgreement = {0x06, 0xA2, 0x01, 0x01, 0x02, 0x02};
const Bytes kCoseKeyHead = {0x03, 0xA5, 0x01, 0x02, 0x03, 0x38, 0x18, 0x20, 0x01, 0x21, 0x58, 0x20};

// Checks the platform COSE key at offset 6 of a request: 78 bytes, fixed layout.
void ExpectCoseKeyAt(const Bytes& request, std::size_t offset) {
  ASSERT_GE(request.size(), offset + 1 + 78);
  EXPECT_EQ(Bytes(request.begin() + offset, request.begin() + offset + 12), kCoseKeyHead);
  EXPECT_EQ(Bytes(request.begin() + offset + 44, request.begin() + offset + 47),
            (Bytes{0x22, 0x58, 0x20}));
}

TEST_F(PinProtocolTest, QueryPinRetriesSendsGetRetriesAndReadsMemberThree) {
  EXPECT_EQ(QueryPinRetries(rig.token), 8u);
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0], (Bytes{0x06, 0xA2, 0x01, 0x01, 0x02, 0x01}));
}

TEST(QueryPinRetries, ReadsZeroWhenTheAnswerHasNoUnsignedRetries) {
  const std::vector<Bytes> answers = {
      test::CtapAnswer(0x00, {0xA1, 0x01, 0x02}),        // no key 3
      test::CtapAnswer(0x00, {0xA1, 0x03, 0x20}),        // -1
      test::CtapAnswer(0x00, {0xA1, 0x03, 0x61, 0x38}),  // text "8"
      test::CtapAnswer(0x31),
      test::CtapAnswer(0x00, {0xA1, 0x03}),  // truncated
  };
  for (const Bytes& answer : answers) {
    test::FakeKeyRig rig;
    rig.key->ScriptAnswer(answer[0], Bytes(answer.begin() + 1, answer.end()));
    EXPECT_EQ(QueryPinRetries(rig.token), 0u);
  }
  test::FakeKeyRig gone;
  gone.key->SetPresent(false);
  std::uint32_t retries = 7;
  EXPECT_EQ(QueryPinRetriesWithStatus(gone.token, retries), kExchangeFailed);
  EXPECT_EQ(retries, 0u);
}

TEST_F(PinProtocolTest, SetPinRequestIsByteExactAndCarriesThePaddedPin) {
  const PinRequestResult result = SendSetPin(rig.token, Utf8(u"1234"));
  EXPECT_TRUE(result.requestSent);
  EXPECT_EQ(result.code, 0);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], kGetKeyAgreement);
  const Bytes& request = sent[1];
  ASSERT_EQ(request.size(), 170u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 6),
            (Bytes{0x06, 0xA5, 0x01, 0x01, 0x02, 0x03}));
  ExpectCoseKeyAt(request, 6);
  EXPECT_EQ(Bytes(request.begin() + 85, request.begin() + 87), (Bytes{0x04, 0x50}));
  EXPECT_EQ(Bytes(request.begin() + 103, request.begin() + 106), (Bytes{0x05, 0x58, 0x40}));

  Bytes expectedBlock(64, 0);
  std::copy_n("1234", 4, expectedBlock.begin());
  EXPECT_EQ(key.lastBlock, expectedBlock);
  // The pinAuth covers newPinEnc alone.
  const Bytes secret = key.model.SharedSecretFor(request);
  EXPECT_EQ(PinDeviceModel::Member(request, 4),
            PinDeviceModel::HmacHalf(secret, PinDeviceModel::Member(request, 5)));
}

TEST_F(PinProtocolTest, ChangePinRequestIsByteExactAndItsPinAuthCoversAllEightyBytes) {
  key.storedHash = PinDeviceModel::PinHash(Utf8(u"1234"));
  const PinRequestResult result = SendChangePin(rig.token, Utf8(u"1234"), Utf8(u"abcdef"));
  EXPECT_TRUE(result.requestSent);
  EXPECT_EQ(result.code, 0);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  const Bytes& request = sent[1];
  ASSERT_EQ(request.size(), 188u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 6),
            (Bytes{0x06, 0xA6, 0x01, 0x01, 0x02, 0x04}));
  ExpectCoseKeyAt(request, 6);
  EXPECT_EQ(Bytes(request.begin() + 85, request.begin() + 87), (Bytes{0x04, 0x50}));
  EXPECT_EQ(Bytes(request.begin() + 103, request.begin() + 106), (Bytes{0x05, 0x58, 0x40}));
  EXPECT_EQ(Bytes(request.begin() + 170, request.begin() + 172), (Bytes{0x06, 0x50}));

  const Bytes secret = key.model.SharedSecretFor(request);
  const Bytes newPinEnc = PinDeviceModel::Member(request, 5);
  const Bytes pinHashEnc = PinDeviceModel::Member(request, 6);
  ASSERT_EQ(newPinEnc.size(), 64u);
  ASSERT_EQ(pinHashEnc.size(), 16u);
  EXPECT_EQ(PinDeviceModel::Decrypt(secret, pinHashEnc), PinDeviceModel::PinHash(Utf8(u"1234")));
  const Bytes pinAuth = PinDeviceModel::Member(request, 4);
  EXPECT_EQ(pinAuth, PinDeviceModel::HmacHalf(secret, Concat(newPinEnc, pinHashEnc)));
  EXPECT_NE(pinAuth, PinDeviceModel::HmacHalf(secret, newPinEnc));
  EXPECT_EQ(key.storedHash, PinDeviceModel::PinHash(Utf8(u"abcdef")));
}

TEST_F(PinProtocolTest, GetPinTokenRequestIsByteExactAndReportsTheToken) {
  key.storedHash = PinDeviceModel::PinHash(Utf8(u"1234"));
  const PinTokenResult result = ObtainPinToken(rig.token, Utf8(u"1234"));
  EXPECT_TRUE(result.requestSent);
  EXPECT_EQ(result.code, 0);
  EXPECT_TRUE(result.tokenPresent);
  // Checked before it is indexed: a failed exchange sends less, and reading
  // past the end would crash the test instead of failing it.
  ASSERT_EQ(Sent().size(), 2u);
  const Bytes request = Sent()[1];
  ASSERT_EQ(request.size(), 103u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 6),
            (Bytes{0x06, 0xA4, 0x01, 0x01, 0x02, 0x05}));
  ExpectCoseKeyAt(request, 6);
  EXPECT_EQ(Bytes(request.begin() + 85, request.begin() + 87), (Bytes{0x06, 0x50}));
}

TEST_F(PinProtocolTest, WrongPinReportsTheStatusWithTheRequestSent) {
  key.storedHash = PinDeviceModel::PinHash(Utf8(u"1234"));
  const PinTokenResult token = ObtainPinToken(rig.token, Utf8(u"4321"));
  EXPECT_TRUE(token.requestSent);
  EXPECT_EQ(token.code, 0x31);
  EXPECT_FALSE(token.tokenPresent);
  const PinRequestResult change = SendChangePin(rig.token, Utf8(u"4321"), Utf8(u"5678"));
  EXPECT_TRUE(change.requestSent);
  EXPECT_EQ(change.code, 0x31);
}

TEST_F(PinProtocolTest, NonAsciiPinIsUtf8InSetChangeAndToken) {
  const std::u16string first = u"p\u00e4ss\u20ac\U0001F600";
  const std::u16string second = u"\u4e2d\u6587\u5bc6\u7801";
  ASSERT_EQ(SendSetPin(rig.token, Utf8(first)).code, 0);
  Bytes expected = Utf8(first);
  expected.resize(64, 0);
  EXPECT_EQ(key.lastBlock, expected);
  EXPECT_TRUE(ObtainPinToken(rig.token, Utf8(first)).tokenPresent);
  ASSERT_EQ(SendChangePin(rig.token, Utf8(first), Utf8(second)).code, 0);
  EXPECT_EQ(ObtainPinToken(rig.token, Utf8(first)).code, 0x31);
  EXPECT_TRUE(ObtainPinToken(rig.token, Utf8(second)).tokenPresent);
}

TEST_F(PinProtocolTest, TwoOperationsSendTwoDifferentPlatformKeys) {
  ObtainPinToken(rig.token, Utf8(u"1234"));
  ObtainPinToken(rig.token, Utf8(u"1234"));
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  Bytes x1, y1, x2, y2;
  ASSERT_TRUE(PinDeviceModel::PlatformPoint(sent[1], x1, y1));
  ASSERT_TRUE(PinDeviceModel::PlatformPoint(sent[3], x2, y2));
  EXPECT_NE(x1, x2);
  EXPECT_NE(PinDeviceModel::Member(sent[1], 6), PinDeviceModel::Member(sent[3], 6));
}

TEST_F(PinProtocolTest, SuccessWithoutTokenIsReportedAsNoToken) {
  key.storedHash = PinDeviceModel::PinHash(Utf8(u"1234"));
  for (const Bytes& payload : {Bytes{0xA0}, Bytes{0xA1, 0x02, 0x40}, Bytes{0xA1, 0x02, 0x60}}) {
    rig.key->ScriptAnswer(0x00, key.model.KeyAgreementBody());
    rig.key->ScriptAnswer(0x00, payload);
    const PinTokenResult result = ObtainPinToken(rig.token, Utf8(u"1234"));
    EXPECT_TRUE(result.requestSent);
    EXPECT_EQ(result.code, 0);
    EXPECT_FALSE(result.tokenPresent);
  }
  rig.key->ScriptAnswer(0x00, key.model.KeyAgreementBody());
  rig.key->ScriptAnswer(0x00);
  EXPECT_FALSE(ObtainPinToken(rig.token, Utf8(u"1234")).tokenPresent);
}

TEST_F(PinProtocolTest, SetPinSendsNoAnswerRoomAndPassesTheStatusOn) {
  key.forcedStatus = 0x02;
  const PinRequestResult result = SendSetPin(rig.token, Utf8(u"1234"));
  EXPECT_TRUE(result.requestSent);
  EXPECT_EQ(result.code, 0x02);
}

// --- refusals before any PIN material goes out ---

enum class Operation { kSet, kChange, kToken };

struct Refusal {
  const char* name;
  Bytes keyAgreementAnswer;  // status + body
};

class UnusableKeyAgreement : public testing::TestWithParam<std::tuple<Refusal, Operation>> {};

PinRequestResult RunOperation(Operation op, CFidoToken& token) {
  const Bytes pin = Utf8(u"1234");
  switch (op) {
    case Operation::kSet:
      return SendSetPin(token, pin);
    case Operation::kChange:
      return SendChangePin(token, pin, pin);
    case Operation::kToken: {
      const PinTokenResult r = ObtainPinToken(token, pin);
      EXPECT_FALSE(r.tokenPresent);
      return {r.requestSent, r.code};
    }
  }
  return {};
}

TEST_P(UnusableKeyAgreement, StopsWith0x12AndSendsNothingMore) {
  test::FakeKeyRig rig;
  PinKey key(*rig.key);
  const Bytes& answer = std::get<0>(GetParam()).keyAgreementAnswer;
  key.keyAgreementOverride = answer;
  const PinRequestResult result = RunOperation(std::get<1>(GetParam()), rig.token);
  EXPECT_FALSE(result.requestSent);
  EXPECT_EQ(result.code, kKeyAgreementUnusable);
  EXPECT_EQ(rig.key->SentMessages(), (std::vector<Bytes>{kGetKeyAgreement}));
}

std::vector<Refusal> Refusals() {
  PinDeviceModel model;
  const Bytes x = model.X();
  const Bytes y = model.Y();
  const Bytes whole = model.KeyAgreementBody();
  auto ok = [](const Bytes& body) { return test::CtapAnswer(0x00, body); };
  return {
      {"NoY", ok(model.KeyAgreementBody(x, std::nullopt))},
      {"NoX", ok(model.KeyAgreementBody(std::nullopt, y))},
      {"ShortY", ok(model.KeyAgreementBody(x, Bytes(y.begin(), y.begin() + 31)))},
      {"ShortX", ok(model.KeyAgreementBody(Bytes(x.begin() + 1, x.end()), y))},
      {"EmptyY", ok(model.KeyAgreementBody(x, Bytes{}))},
      {"NoCoseKey", ok({0xA1, 0x02, 0x01})},
      {"CoordinateAsText", ok({0xA1, 0x01, 0xA2, 0x21, 0x61, 0x78, 0x22, 0x61, 0x79})},
      {"NotCbor", ok({0xFF, 0xFF, 0xFF})},
      {"CutShort", ok(Bytes(whole.begin(), whole.end() - 10))},
      {"StatusOnly", test::CtapAnswer(0x00)},
      {"ErrorStatus", test::CtapAnswer(0x01)},
  };
}

std::string RefusalName(const testing::TestParamInfo<std::tuple<Refusal, Operation>>& info) {
  static const char* const kOperations[] = {"Set", "Change", "Token"};
  return std::string(std::get<0>(info.param).name) +
         kOperations[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Answers, UnusableKeyAgreement,
                         testing::Combine(testing::ValuesIn(Refusals()),
                                          testing::Values(Operation::kSet, Operation::kChange,
                                                          Operation::kToken)),
                         RefusalName);

TEST_F(PinProtocolTest, DevicePointOffTheCurveStopsWithTheMbedtlsError) {
  Bytes y = key.model.Y();
  y[31] ^= 1;
  key.keyAgreementOverride = test::CtapAnswer(0x00, key.model.KeyAgreementBody(key.model.X(), y));
  const PinRequestResult result = SendSetPin(rig.token, Utf8(u"1234"));
  EXPECT_FALSE(result.requestSent);
  EXPECT_LT(result.code, 0);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(PinProtocolTest, ANewPinPastSixtyFourBytesIsRefusedBeforeAnythingIsSent) {
  // 22 three-byte characters: 22 UTF-16 units, 66 UTF-8 bytes.
  const Bytes tooLong = Utf8(std::u16string(22, u'\u20ac'));
  ASSERT_EQ(tooLong.size(), 66u);
  const PinRequestResult set = SendSetPin(rig.token, tooLong);
  EXPECT_FALSE(set.requestSent);
  EXPECT_EQ(set.code, kNewPinTooLong);
  const PinRequestResult change = SendChangePin(rig.token, Utf8(u"1234"), tooLong);
  EXPECT_FALSE(change.requestSent);
  EXPECT_EQ(change.code, kNewPinTooLong);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(PinProtocolTest, ANewPinOfExactlySixtyFourBytesFillsTheBlock) {
  std::u16string sixteenEmoji;
  for (int i = 0; i < 16; ++i) sixteenEmoji += u"\U0001F600";
  const Bytes full = Utf8(sixteenEmoji);  // 32 units, 64 bytes
  ASSERT_EQ(full.size(), 64u);
  ASSERT_EQ(SendSetPin(rig.token, full).code, 0);
  EXPECT_EQ(key.lastBlock, full);
  EXPECT_TRUE(ObtainPinToken(rig.token, full).tokenPresent);
}

}  // namespace
}  // namespace pinvale
