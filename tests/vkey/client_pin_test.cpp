// getInfo and clientPIN with the CTAP 2.0 rules the key follows.

#include <gtest/gtest.h>

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"
#include "vkey_test_host.h"

namespace pinvale::vkey::test {
namespace {

std::shared_ptr<VirtualKey> KeyWithPin(const std::string& pin, bool uv = false) {
  VirtualKeyConfig config = FastConfig();
  config.initialPin = pin;
  config.uv = uv;
  return VirtualKey::Create(config);
}

TEST(VkeyGetInfoTest, CanonicalBytes) {
  TestHost host(KeyWithPin(""));
  const std::vector<std::uint8_t> info = host.Ctap({kCtapGetInfo});
  // status, {1: ["FIDO_2_0"], 3: aaguid, 4: {rk, up, plat, clientPin}, 5: 1200, 6: [1]}
  std::vector<std::uint8_t> expected = {0x00, 0xA5, 0x01, 0x81, 0x68, 'F',  'I', 'D',
                                        'O',  '_',  '2',  '_',  '0',  0x03, 0x50};
  const auto aaguid = FastConfig().aaguid;
  expected.insert(expected.end(), aaguid.begin(), aaguid.end());
  const std::vector<std::uint8_t> tail = {0x04, 0xA4, 0x62, 'r',  'k',  0xF5, 0x62, 'u',  'p',
                                          0xF5, 0x64, 'p',  'l',  'a',  't',  0xF4, 0x69, 'c',
                                          'l',  'i',  'e',  'n',  't',  'P',  'i',  'n',  0xF4,
                                          0x05, 0x19, 0x04, 0xB0, 0x06, 0x81, 0x01};
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(info, expected);
}

TEST(VkeyGetInfoTest, ClientPinFollowsThePinAndUvIsOptIn) {
  TestHost plain(KeyWithPin("1234"));
  auto info = plain.Ctap({kCtapGetInfo});
  CborItem options = CborItem(info.data() + 1, info.size() - 1).mapValueByInt(4);
  EXPECT_EQ(options.mapValueByText("clientPin", 9).simpleValue(), 21);
  EXPECT_EQ(options.mapValueByText("uv", 2).data(), nullptr);

  TestHost withUv(KeyWithPin("", true));
  info = withUv.Ctap({kCtapGetInfo});
  options = CborItem(info.data() + 1, info.size() - 1).mapValueByInt(4);
  EXPECT_EQ(options.mapValueByText("uv", 2).simpleValue(), 21);
  EXPECT_EQ(options.mapValueByText("clientPin", 9).simpleValue(), 20);
  // "uv" sits between "up" and "plat" in canonical order.
  const std::vector<std::uint8_t> ordered = {0x62, 'u', 'p', 0xF5, 0x62, 'u', 'v', 0xF5, 0x64};
  EXPECT_NE(std::search(info.begin(), info.end(), ordered.begin(), ordered.end()), info.end());
}

TEST(VkeyClientPinTest, GetKeyAgreementIsACoseP256Key) {
  TestHost host(KeyWithPin(""));
  auto answer = host.Ctap({0x06, 0xA2, 0x01, 0x01, 0x02, 0x02});
  ASSERT_EQ(answer.size(), 81u);
  EXPECT_EQ(std::vector<std::uint8_t>(answer.begin(), answer.begin() + 14),
            (std::vector<std::uint8_t>{0x00, 0xA1, 0x01, 0xA5, 0x01, 0x02, 0x03, 0x38, 0x18, 0x20,
                                       0x01, 0x21, 0x58, 0x20}));
}

TEST(VkeyClientPinTest, SetChangeAndTokenRoundTrip) {
  auto key = KeyWithPin("");
  TestHost host(key);
  std::uint32_t retries = 0;
  EXPECT_EQ(host.GetRetries(retries), kStatusOk);
  EXPECT_EQ(retries, 8u);
  EXPECT_EQ(host.GetPinToken("1234"), kStatusPinNotSet);
  EXPECT_EQ(host.ChangePin("1234", "5678"), kStatusPinNotSet);

  EXPECT_EQ(host.SetPin("1234"), kStatusOk);
  EXPECT_TRUE(key->Status().pinSet);
  EXPECT_EQ(host.SetPin("9999"), kStatusPinAuthInvalid);  // refused: a PIN is already set

  std::vector<std::uint8_t> token1;
  std::vector<std::uint8_t> token2;
  EXPECT_EQ(host.GetPinToken("1234", &token1), kStatusOk);
  EXPECT_EQ(host.GetPinToken("1234", &token2), kStatusOk);
  EXPECT_EQ(token1.size(), 16u);
  EXPECT_EQ(token1, token2);  // one token per power cycle

  EXPECT_EQ(host.ChangePin("1234", "\xC3\xA9t\xC3\xA9-2026"), kStatusOk);
  EXPECT_EQ(host.GetPinToken("1234"), kStatusPinInvalid);
  EXPECT_EQ(host.GetPinToken("\xC3\xA9t\xC3\xA9-2026"), kStatusOk);

  key->Plug();
  TestHost after(key);
  std::vector<std::uint8_t> token3;
  EXPECT_EQ(after.GetPinToken("\xC3\xA9t\xC3\xA9-2026", &token3), kStatusOk);
  EXPECT_NE(token3, token1);
}

TEST(VkeyClientPinTest, RetriesGoDownAndWrongPinsInARowBlockUntilPowerCycle) {
  auto key = KeyWithPin("1234");
  auto host = std::make_unique<TestHost>(key);
  std::uint32_t retries = 0;
  // Expected status of each wrong PIN, with re-plugs where 0x34 asks for them.
  const std::uint8_t wrong[] = {0x31, 0x31, 0x34, 0x31, 0x31, 0x34, 0x31, 0x32};
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(host->GetPinToken("0000"), wrong[i]) << i;
    EXPECT_EQ(host->GetRetries(retries), kStatusOk);
    EXPECT_EQ(retries, 7 - i);
    if (wrong[i] == 0x34) {
      // Blocked: even the right PIN is refused, and the retries do not move.
      EXPECT_EQ(host->GetPinToken("1234"), kStatusPinAuthBlocked);
      EXPECT_EQ(host->ChangePin("1234", "5678"), kStatusPinAuthBlocked);
      EXPECT_EQ(host->GetRetries(retries), kStatusOk);
      EXPECT_EQ(retries, 7 - i);
      key->Plug();
      host = std::make_unique<TestHost>(key);
    }
  }
  EXPECT_EQ(host->GetPinToken("1234"), kStatusPinBlocked);
  EXPECT_EQ(host->ChangePin("1234", "5678"), kStatusPinBlocked);
  key->Plug();
  host = std::make_unique<TestHost>(key);
  EXPECT_EQ(host->GetPinToken("1234"), kStatusPinBlocked);
}

TEST(VkeyClientPinTest, RightPinRestoresRetriesAndClearsTheRun) {
  auto key = KeyWithPin("1234");
  TestHost host(key);
  EXPECT_EQ(host.GetPinToken("0000"), kStatusPinInvalid);
  EXPECT_EQ(host.GetPinToken("0000"), kStatusPinInvalid);
  EXPECT_EQ(host.GetPinToken("1234"), kStatusOk);
  EXPECT_EQ(host.GetPinToken("0000"), kStatusPinInvalid);  // a new run starts
  EXPECT_EQ(key->Status().consecutiveFailures, 1u);
  EXPECT_EQ(host.ChangePin("0000", "5678"), kStatusPinInvalid);
  EXPECT_EQ(host.ChangePin("1234", "5678"), kStatusOk);
  EXPECT_EQ(key->Status().retries, 8u);
}

TEST(VkeyClientPinTest, WrongPinRenewsKeyAgreement) {
  TestHost host(KeyWithPin("1234"));
  auto before = host.Ctap({0x06, 0xA2, 0x01, 0x01, 0x02, 0x02});
  EXPECT_EQ(host.Ctap({0x06, 0xA2, 0x01, 0x01, 0x02, 0x02}), before);
  EXPECT_EQ(host.GetPinToken("4321"), kStatusPinInvalid);
  EXPECT_NE(host.Ctap({0x06, 0xA2, 0x01, 0x01, 0x02, 0x02}), before);
}

struct BlockCase {
  const char* name;
  std::vector<std::uint8_t> block;
  std::uint8_t status;
};

class VkeyPinPolicyTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(VkeyPinPolicyTest, SetPinChecksTheBlock) {
  auto key = KeyWithPin("");
  TestHost host(key);
  EXPECT_EQ(host.SetPinBlock(GetParam().block), GetParam().status);
  EXPECT_EQ(key->Status().pinSet, GetParam().status == kStatusOk);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyPinPolicyTest,
    ::testing::Values(
        BlockCase{"ThreeBytes", PinBlock("123"), kStatusPinPolicyViolation},
        BlockCase{"FourBytes", PinBlock("1234"), kStatusOk},
        BlockCase{"SixtyThreeBytes", PinBlock(std::string(63, 'a')), kStatusOk},
        BlockCase{"SixtyFourBytes", std::vector<std::uint8_t>(64, 'a'), kStatusPinPolicyViolation},
        BlockCase{"Empty", PinBlock(""), kStatusPinPolicyViolation},
        BlockCase{"BlockOf48", std::vector<std::uint8_t>(48, 'a'), kStatusInvalidParameter},
        BlockCase{"BlockOf80", std::vector<std::uint8_t>(80, 'a'), kStatusInvalidParameter}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VkeyClientPinTest, WrongPinAuthIsRefused) {
  auto key = KeyWithPin("");
  TestHost host(key);
  EXPECT_EQ(host.SetPinBlock(PinBlock("1234"), true), kStatusPinAuthInvalid);
  EXPECT_FALSE(key->Status().pinSet);
}

struct RequestCase {
  const char* name;
  std::vector<std::uint8_t> message;
  std::uint8_t status;
};

class VkeyMalformedRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(VkeyMalformedRequestTest, Answers) {
  TestHost host(KeyWithPin("1234"));
  EXPECT_EQ(host.Ctap(GetParam().message), std::vector<std::uint8_t>{GetParam().status});
}

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyMalformedRequestTest,
    ::testing::Values(
        RequestCase{"NoParameters", {0x06}, kStatusMissingParameter},
        RequestCase{"NoSubCommand", {0x06, 0xA1, 0x01, 0x01}, kStatusMissingParameter},
        RequestCase{"NoProtocol", {0x06, 0xA1, 0x02, 0x01}, kStatusMissingParameter},
        RequestCase{"ProtocolTwo", {0x06, 0xA2, 0x01, 0x02, 0x02, 0x01}, kStatusInvalidParameter},
        RequestCase{
            "UnknownSubCommand", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x09}, kStatusInvalidParameter},
        RequestCase{"NotAMap", {0x06, 0x81, 0x01}, kStatusCborUnexpectedType},
        RequestCase{
            "TextProtocol", {0x06, 0xA2, 0x01, 0x61, 'a', 0x02, 0x01}, kStatusCborUnexpectedType},
        RequestCase{"Truncated", {0x06, 0xA2, 0x01, 0x01, 0x02}, kStatusInvalidCbor},
        RequestCase{
            "TrailingBytes", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x01, 0x00}, kStatusInvalidCbor},
        RequestCase{
            "SetPinMissingParts", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x03}, kStatusMissingParameter},
        RequestCase{
            "TokenMissingParts", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x05}, kStatusMissingParameter},
        RequestCase{"KeyAgreementNotAMap",
                    {0x06, 0xA3, 0x01, 0x01, 0x02, 0x05, 0x03, 0x01},
                    kStatusCborUnexpectedType}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VkeyClientPinTest, RequestLogKeepsCommandsAndRawCbor) {
  auto key = KeyWithPin("1234");
  TestHost host(key);
  key->ClearRecentRequests();
  std::uint32_t retries = 0;
  host.GetRetries(retries);
  host.GetPinToken("1234");
  host.Ctap({kCtapGetInfo});
  const auto log = key->RecentRequests();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].subCommand, 1);
  EXPECT_EQ(log[0].cbor, (std::vector<std::uint8_t>{0xA2, 0x01, 0x01, 0x02, 0x01}));
  EXPECT_EQ(log[1].subCommand, 2);
  EXPECT_EQ(log[2].subCommand, 5);
  EXPECT_EQ(log[2].cbor.size(), 102u);
  EXPECT_EQ(log[3].command, kCtapGetInfo);
  EXPECT_EQ(log[3].subCommand, -1);
}

}  // namespace
}  // namespace pinvale::vkey::test
