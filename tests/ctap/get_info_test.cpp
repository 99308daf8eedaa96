// getInfo through the token to the fake key: the request, and the two options
// read from a typical answer.

#include "ctap/get_info.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fake_hid.h"

namespace pinvale::test {
namespace {

constexpr std::uint8_t kTrue = 0xF5;
constexpr std::uint8_t kFalse = 0xF4;

void PutText(Bytes& out, const std::string& text) {
  out.push_back(static_cast<std::uint8_t>(0x60 + text.size()));  // short texts only
  out.insert(out.end(), text.begin(), text.end());
}

// A typical key's answer: versions, extensions, aaguid, the options map,
// maxMsgSize and pinProtocols. An option left empty is not in the map; `options`
// false leaves the whole member out.
Bytes GetInfoPayload(std::optional<std::uint8_t> clientPin, std::optional<std::uint8_t> uv,
                     bool options = true) {
  Bytes out{static_cast<std::uint8_t>(options ? 0xA6 : 0xA5)};
  out.insert(out.end(), {0x01, 0x82});
  PutText(out, "FIDO_2_0");
  PutText(out, "U2F_V2");
  out.insert(out.end(), {0x02, 0x81});
  PutText(out, "hmac-secret");
  out.insert(out.end(), {0x03, 0x50});
  for (std::uint8_t i = 0; i < 16; ++i) out.push_back(static_cast<std::uint8_t>(0xC0 + i));
  if (options) {
    out.insert(out.end(),
               {0x04, static_cast<std::uint8_t>(0xA3 + (clientPin ? 1 : 0) + (uv ? 1 : 0))});
    PutText(out, "rk");
    out.push_back(kTrue);
    PutText(out, "up");
    out.push_back(kTrue);
    if (uv) {
      PutText(out, "uv");
      out.push_back(*uv);
    }
    PutText(out, "plat");
    out.push_back(kFalse);
    if (clientPin) {
      PutText(out, "clientPin");
      out.push_back(*clientPin);
    }
  }
  out.insert(out.end(), {0x05, 0x19, 0x04, 0xB0, 0x06, 0x81, 0x01});
  return out;
}

TEST(GetInfoExchange, ReturnsStatusAndPayloadThroughTheToken) {
  FakeKeyRig rig;
  const Bytes payload = GetInfoPayload(kTrue, kFalse);
  ASSERT_GT(payload.size(), 57u);  // needs continuation packets
  rig.key->ScriptAnswer(0x00, payload);

  std::uint8_t request = 0x04;
  Bytes response(kReceiveBufferSize);
  std::uint32_t length = kReceiveBufferSize;
  EXPECT_EQ(rig.token.SendCborCommand(&request, 1, response.data(), &length), 0x00);
  response.resize(length);
  EXPECT_EQ(response, payload);

  rig.key->ScriptAnswer(0x00, payload);
  TokenInfo info;
  EXPECT_EQ(GetInfo(rig.token, info), 0x00);
  EXPECT_EQ(info.pinSet, 1);
  EXPECT_EQ(info.uvSet, 0);
  EXPECT_EQ(rig.key->SentMessages(), (std::vector<Bytes>{{0x04}, {0x04}}));
}

struct OptionsCase {
  const char* name;
  Bytes payload;
  std::uint8_t pinSet;
  std::uint8_t uvSet;
};

class GetInfoOptions : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(GetInfoOptions, ReadsClientPinAndUv) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00, GetParam().payload);
  TokenInfo info;
  EXPECT_EQ(GetInfo(rig.token, info), 0x00);
  EXPECT_EQ(info.pinSet, GetParam().pinSet);
  EXPECT_EQ(info.uvSet, GetParam().uvSet);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, GetInfoOptions,
    ::testing::Values(OptionsCase{"PinTrueUvFalse", GetInfoPayload(kTrue, kFalse), 1, 0},
                      OptionsCase{"PinFalseUvTrue", GetInfoPayload(kFalse, kTrue), 0, 1},
                      OptionsCase{"BothTrue", GetInfoPayload(kTrue, kTrue), 1, 1},
                      OptionsCase{"OptionsWithoutEither", GetInfoPayload({}, {}), 0, 0},
                      OptionsCase{"NoOptionsMember", GetInfoPayload({}, {}, false), 0, 0},
                      // The integer 21 shares its low bits with true but is no boolean.
                      OptionsCase{"IntegerTwentyOneIsNotTrue", GetInfoPayload(0x15, 0x15), 0, 0},
                      OptionsCase{"NotAMap", Bytes{0x82, 0x01, 0x02}, 0, 0},
                      OptionsCase{"TruncatedOptions", Bytes{0xA1, 0x04, 0xA1, 0x69, 'c', 'l'}, 0,
                                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GetInfoFailures, StatusAloneLeavesBothClear) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x2E);
  TokenInfo info;
  EXPECT_EQ(GetInfo(rig.token, info), 0x2E);
  EXPECT_EQ(info.pinSet, 0);
  EXPECT_EQ(info.uvSet, 0);
}

TEST(GetInfoFailures, NoKeySelectedGivesExchangeFailure) {
  auto platform = std::make_shared<FakeHidPlatform>();
  CFidoToken token(platform);
  token.SetTransport(kTransportUsbHid);
  TokenInfo info;
  EXPECT_EQ(GetInfo(token, info), kExchangeFailed);
  EXPECT_EQ(info.pinSet, 0);
  EXPECT_EQ(info.uvSet, 0);
}

TEST(GetInfoFailures, ErrorStatusWithOptionsStillReadsThem) {
  // The decoding runs whatever the result; a key that reports an error together
  // with an answer body is read as it stands.
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x01, GetInfoPayload(kTrue, {}));
  TokenInfo info;
  EXPECT_EQ(GetInfo(rig.token, info), 0x01);
  EXPECT_EQ(info.pinSet, 1);
}

TEST(GetInfoFailures, FieldsTheCallerSetAreNeverCleared) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00, GetInfoPayload(kFalse, kFalse));
  TokenInfo info{1, 1};
  EXPECT_EQ(GetInfo(rig.token, info), 0x00);
  EXPECT_EQ(info.pinSet, 1);
  EXPECT_EQ(info.uvSet, 1);
}

}  // namespace
}  // namespace pinvale::test
