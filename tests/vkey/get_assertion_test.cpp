// getAssertion on a key without credentials: how it checks a pinAuth made with the
// PIN token, when it waits for the touch, and how it refuses malformed requests.

#include <gtest/gtest.h>

#include "cbor/cbor_writer.h"
#include "vkey/ctap_status.h"
#include "vkey_test_host.h"

namespace pinvale::vkey::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kClientDataHash(32, 0x11);

enum class Auth { kNone, kRight, kWrong, kEmpty, kTruncated, kOtherHash };

struct AssertionCase {
  const char* name = "";
  Auth auth = Auth::kNone;
  int protocol = 1;      // -1: left out
  Bytes options = {};    // the encoded options map, empty: left out
  Bytes allowList = {};  // the encoded allow list, empty: left out
  bool pinSet = true;
  bool uv = false;  // the key advertises "uv"
  std::uint8_t status = kStatusNoCredentials;
  bool waitsForTouch = true;
};

void PrintTo(const AssertionCase& c, std::ostream* os) {
  *os << c.name;
}

// getAssertion with rpId, clientDataHash and the members the case asks for, its
// pinAuth made with `token` (the PIN token) as a client makes it.
Bytes Request(const AssertionCase& c, const Bytes& token) {
  std::uint8_t pinAuth[16] = {};
  const Bytes& signedHash = c.auth == Auth::kOtherHash ? Bytes(32, 0x22) : kClientDataHash;
  if (!token.empty()) {
    PinAuth16(token.data(), token.size(), signedHash.data(), signedHash.size(), pinAuth);
  }
  if (c.auth == Auth::kWrong) pinAuth[15] ^= 1;
  const std::uint32_t pinAuthLength = c.auth == Auth::kEmpty       ? 0
                                      : c.auth == Auth::kTruncated ? 15
                                                                   : 16;
  const bool hasAuth = c.auth != Auth::kNone;
  Bytes buffer(512, 0);
  buffer[0] = kCtapGetAssertion;
  CborWriter w(buffer.data() + 1, static_cast<std::uint32_t>(buffer.size() - 1));
  w.beginMap(2 + !c.allowList.empty() + !c.options.empty() + hasAuth + (c.protocol >= 0));
  w.putInt(1).putText("pinvale.example", 15);
  w.putInt(2).putBytes(kClientDataHash.data(), 32);
  if (!c.allowList.empty()) {
    w.putInt(3).putRaw(c.allowList.data(), static_cast<std::uint32_t>(c.allowList.size()));
  }
  if (!c.options.empty()) {
    w.putInt(5).putRaw(c.options.data(), static_cast<std::uint32_t>(c.options.size()));
  }
  if (hasAuth) w.putInt(6).putBytes(pinAuth, pinAuthLength);
  if (c.protocol >= 0) w.putInt(7).putInt(c.protocol);
  buffer.resize(w.length() + 1);
  return buffer;
}

std::shared_ptr<VirtualKey> MakeKey(const AssertionCase& c, TouchMode touch) {
  VirtualKeyConfig config = FastConfig();
  config.initialPin = c.pinSet ? "1234" : "";
  config.uv = c.uv;
  config.touchMode = touch;
  config.userPresenceTimeoutMs = 100;
  return VirtualKey::Create(config);
}

class VkeyGetAssertionTest : public testing::TestWithParam<AssertionCase> {};

TEST_P(VkeyGetAssertionTest, AnswersAfterTheTouchWhenOneIsNeeded) {
  const AssertionCase& c = GetParam();
  // Touched at once: the answer itself.
  auto touched = MakeKey(c, TouchMode::kAutomatic);
  TestHost host(touched);
  Bytes token;
  if (c.pinSet) {
    ASSERT_EQ(host.GetPinToken("1234", &token), kStatusOk);
  }
  EXPECT_EQ(host.Ctap(Request(c, token)), Bytes{c.status});
  EXPECT_EQ(touched->Status().retries, 8u);  // a pinAuth costs no PIN retry

  // Never touched: a request that waits for the user is denied when the wait ends,
  // after keepalives saying so; one that does not wait answers as before.
  auto untouched = MakeKey(c, TouchMode::kNever);
  TestHost waiting(untouched);
  if (c.pinSet) {
    ASSERT_EQ(waiting.GetPinToken("1234", &token), kStatusOk);
  }
  Bytes keepalives;
  EXPECT_EQ(waiting.Ctap(Request(c, token), &keepalives),
            Bytes{c.waitsForTouch ? kStatusOperationDenied : c.status});
  EXPECT_EQ(keepalives.empty(), !c.waitsForTouch);
  for (std::uint8_t status : keepalives) EXPECT_EQ(status, kKeepaliveUpNeeded);
}

const Bytes kUpFalse = {0xA1, 0x62, 'u', 'p', 0xF4};
const Bytes kUvTrue = {0xA1, 0x62, 'u', 'v', 0xF5};
const Bytes kUpFalseUvTrue = {0xA2, 0x62, 'u', 'p', 0xF4, 0x62, 'u', 'v', 0xF5};
const Bytes kRkFalse = {0xA1, 0x62, 'r', 'k', 0xF4};
const Bytes kUnknownOption = {0xA2, 0x62, 'u', 'p', 0xF4, 0x63, 'x', 'y', 'z', 0x01};
const Bytes kOneCredential = {0x81, 0xA2, 0x62, 'i', 'd', 0x42, 0x01, 0x02, 0x64, 't', 'y', 'p',
                              'e',  0x6A, 'p',  'u', 'b', 'l',  'i',  'c',  '-',  'k', 'e', 'y'};

INSTANTIATE_TEST_SUITE_P(
    PinAuth, VkeyGetAssertionTest,
    testing::Values(AssertionCase{.name = "rightPinAuth", .auth = Auth::kRight},
                    AssertionCase{.name = "noPinAuthWithPinSet"},
                    AssertionCase{.name = "noPinAuthNoProtocol", .protocol = -1},
                    AssertionCase{.name = "noPinAuthNoPin", .pinSet = false},
                    AssertionCase{.name = "wrongPinAuth",
                                  .auth = Auth::kWrong,
                                  .status = kStatusPinAuthInvalid,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "pinAuthOverOtherHash",
                                  .auth = Auth::kOtherHash,
                                  .status = kStatusPinAuthInvalid,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "truncatedPinAuth",
                                  .auth = Auth::kTruncated,
                                  .status = kStatusPinAuthInvalid,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "pinAuthWithoutPin",
                                  .auth = Auth::kWrong,
                                  .pinSet = false,
                                  .status = kStatusPinAuthInvalid,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "protocol2",
                                  .auth = Auth::kRight,
                                  .protocol = 2,
                                  .status = kStatusPinAuthInvalid,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "noProtocol",
                                  .auth = Auth::kRight,
                                  .protocol = -1,
                                  .status = kStatusPinAuthInvalid,
                                  .waitsForTouch = false},
                    // The pinAuth is refused before the options are looked at.
                    AssertionCase{.name = "wrongPinAuthBeforeRk",
                                  .auth = Auth::kWrong,
                                  .options = kRkFalse,
                                  .status = kStatusPinAuthInvalid,
                                  .waitsForTouch = false},
                    // An empty pinAuth asks whether the key has a PIN, after a touch.
                    AssertionCase{.name = "touchProbeWithPin",
                                  .auth = Auth::kEmpty,
                                  .status = kStatusPinInvalid},
                    AssertionCase{.name = "touchProbeWithoutPin",
                                  .auth = Auth::kEmpty,
                                  .pinSet = false,
                                  .status = kStatusPinNotSet},
                    AssertionCase{.name = "touchProbeAnyProtocol",
                                  .auth = Auth::kEmpty,
                                  .protocol = 2,
                                  .status = kStatusPinInvalid}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Options, VkeyGetAssertionTest,
    testing::Values(AssertionCase{.name = "upFalse", .options = kUpFalse, .waitsForTouch = false},
                    AssertionCase{.name = "upFalseRightPinAuth",
                                  .auth = Auth::kRight,
                                  .options = kUpFalse,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "unknownOptionIgnored",
                                  .options = kUnknownOption,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "uvWithoutUv",
                                  .options = kUvTrue,
                                  .status = kStatusUnsupportedOption,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "uvWithUv", .options = kUpFalseUvTrue, .uv = true},
                    AssertionCase{.name = "rk",
                                  .options = kRkFalse,
                                  .status = kStatusInvalidOption,
                                  .waitsForTouch = false},
                    AssertionCase{.name = "allowList", .allowList = kOneCredential},
                    AssertionCase{.name = "emptyAllowList", .allowList = {0x80}}),
    [](const auto& info) { return std::string(info.param.name); });

struct MalformedCase {
  const char* name;
  Bytes cbor;  // after the command byte
  std::uint8_t status;
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
  *os << c.name;
}

class VkeyGetAssertionMalformedTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(VkeyGetAssertionMalformedTest, RefusedAtOnce) {
  const MalformedCase& c = GetParam();
  auto key = MakeKey(AssertionCase{}, TouchMode::kNever);
  TestHost host(key);
  Bytes message{kCtapGetAssertion};
  message.insert(message.end(), c.cbor.begin(), c.cbor.end());
  Bytes keepalives;
  EXPECT_EQ(host.Ctap(message, &keepalives), Bytes{c.status});
  EXPECT_TRUE(keepalives.empty());
}

Bytes With(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// A map of n members starting with rpId "r" and a 32-byte clientDataHash.
Bytes Valid(std::uint8_t members, const Bytes& more = {}) {
  Bytes bytes{static_cast<std::uint8_t>(0xA0 + members), 0x01, 0x61, 'r', 0x02, 0x58, 0x20};
  bytes.insert(bytes.end(), kClientDataHash.begin(), kClientDataHash.end());
  return With(bytes, more);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyGetAssertionMalformedTest,
    testing::Values(
        MalformedCase{"noParameters", {}, kStatusMissingParameter},
        MalformedCase{"emptyMap", {0xA0}, kStatusMissingParameter},
        MalformedCase{"notAMap", {0x82, 0x01, 0x02}, kStatusCborUnexpectedType},
        MalformedCase{"truncated", {0xA2, 0x01}, kStatusInvalidCbor},
        MalformedCase{"trailingBytes", Valid(2, {0x00}), kStatusInvalidCbor},
        MalformedCase{"breakAsValue", Valid(3, {0x03, 0xFF}), kStatusInvalidCbor},
        MalformedCase{"noClientDataHash", {0xA1, 0x01, 0x61, 'r'}, kStatusMissingParameter},
        MalformedCase{"noRpId", With({0xA1, 0x02, 0x58, 0x20}, kClientDataHash),
                      kStatusMissingParameter},
        MalformedCase{"rpIdAsBytes",
                      With({0xA2, 0x01, 0x41, 'r', 0x02, 0x58, 0x20}, kClientDataHash),
                      kStatusCborUnexpectedType},
        MalformedCase{
            "hashAsText", {0xA2, 0x01, 0x61, 'r', 0x02, 0x61, 'h'}, kStatusCborUnexpectedType},
        MalformedCase{"shortHash", {0xA2, 0x01, 0x61, 'r', 0x02, 0x41, 0x00}, kStatusInvalidLength},
        MalformedCase{"allowListNotArray", Valid(3, {0x03, 0xA0}), kStatusCborUnexpectedType},
        MalformedCase{"allowListEntryNotMap", Valid(3, {0x03, 0x81, 0x01}),
                      kStatusCborUnexpectedType},
        MalformedCase{"allowListEntryWithoutId",
                      Valid(3, {0x03, 0x81, 0xA1, 0x64, 't', 'y', 'p', 'e', 0x61, 'x'}),
                      kStatusMissingParameter},
        MalformedCase{"allowListIdAsText",
                      Valid(3, {0x03, 0x9F, 0xA2, 0x62, 'i', 'd', 0x61, 'x', 0x64, 't', 'y', 'p',
                                'e', 0x61, 'x', 0xFF}),
                      kStatusCborUnexpectedType},
        MalformedCase{"extensionsNotMap", Valid(3, {0x04, 0x80}), kStatusCborUnexpectedType},
        MalformedCase{"optionsNotMap", Valid(3, {0x05, 0x80}), kStatusCborUnexpectedType},
        MalformedCase{"optionNotBoolean", Valid(3, {0x05, 0xA1, 0x62, 'u', 'p', 0x00}),
                      kStatusCborUnexpectedType},
        MalformedCase{"pinAuthAsText", Valid(3, {0x06, 0x61, 'x'}), kStatusCborUnexpectedType},
        MalformedCase{"protocolAsText", Valid(3, {0x07, 0x61, '1'}), kStatusCborUnexpectedType}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VkeyGetAssertionTokenTest, TokenOfAnEarlierPowerCycleIsRefused) {
  VirtualKeyConfig config = FastConfig();
  config.initialPin = "1234";
  auto key = VirtualKey::Create(config);
  Bytes token;
  {
    TestHost host(key);
    ASSERT_EQ(host.GetPinToken("1234", &token), kStatusOk);
  }
  key->Plug();
  TestHost host(key);
  AssertionCase right{.name = "right", .auth = Auth::kRight};
  EXPECT_EQ(host.Ctap(Request(right, token)), Bytes{kStatusPinAuthInvalid});
}

TEST(VkeyGetAssertionTokenTest, CancelEndsTheWaitAndFaultsApply) {
  auto key = MakeKey(AssertionCase{}, TouchMode::kOnDemand);
  TestHost host(key);
  host.SendMessage(host.cid(), kCmdCbor, Request(AssertionCase{.protocol = -1}, {}));
  Packet packet;
  ASSERT_TRUE(host.ReadPacket(packet));
  EXPECT_TRUE(key->Status().waitingForTouch);
  host.SendMessage(host.cid(), kCmdCancel, {});
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, Bytes{kStatusKeepaliveCancel});
  EXPECT_FALSE(key->Status().waitingForTouch);

  VirtualKeyConfig config = FastConfig();
  VirtualKeyFault fault;
  ASSERT_TRUE(ParseFault("no-answer=02", fault));
  config.faults.push_back(fault);
  TestHost silent(VirtualKey::Create(config));
  silent.SendMessage(silent.cid(), kCmdCbor, Request(AssertionCase{.protocol = -1}, {}));
  EXPECT_TRUE(silent.Silent(100));
}

}  // namespace
}  // namespace pinvale::vkey::test
