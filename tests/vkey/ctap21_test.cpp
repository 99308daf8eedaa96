// The 2.1 profile: what getInfo says, PIN set/change/token under either protocol,
// the permission rules, the key's minimum PIN length and its forced PIN change, and
// the statuses of malformed requests, which leave the key as it was.

#include <gtest/gtest.h>

#include "cbor/cbor_item.h"
#include "pin_protocol_host.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {
namespace {

const std::string kSite = "pinvale.example";
const TokenAsk kAssertHere = {kPermissionGetAssertion, kSite};

VirtualKeyConfig Config21(const std::string& pin = "", std::vector<std::uint8_t> protocols = {}) {
  VirtualKeyConfig config = FastConfig();
  config.profile = CtapProfile::kCtap21;
  config.initialPin = pin;
  config.pinProtocols = std::move(protocols);
  return config;
}

CborItem InfoMember(const Bytes& info, int member) {
  return CborItem(info.data() + 1, static_cast<std::uint32_t>(info.size() - 1))
      .mapValueByInt(member);
}

// The key's state a refused request must not touch.
void ExpectUntouched(VirtualKey& key, bool pinSet) {
  const VirtualKeyStatus status = key.Status();
  EXPECT_EQ(status.pinSet, pinSet);
  EXPECT_EQ(status.retries, 8u);
  EXPECT_EQ(status.consecutiveFailures, 0u);
}

// A text string of fewer than 24 bytes, as getInfo writes it.
Bytes Text(const std::string& text) {
  Bytes bytes{static_cast<std::uint8_t>(0x60 + text.size())};
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

TEST(Vkey21GetInfoTest, CanonicalBytes) {
  TestHost host(VirtualKey::Create(Config21()));
  const Bytes info = host.Ctap({kCtapGetInfo});
  Bytes expected(1, 0x00);  // the status, then 15 members, versions first
  expected.push_back(0xAF);
  expected.push_back(0x01);
  expected.push_back(0x83);
  for (const char* version : {"FIDO_2_0", "FIDO_2_1_PRE", "FIDO_2_1"}) {
    const Bytes text = Text(version);
    expected.insert(expected.end(), text.begin(), text.end());
  }
  expected.insert(expected.end(), {0x02, 0x81, 0x6B});
  const std::string credProtect = "credProtect";
  expected.insert(expected.end(), credProtect.begin(), credProtect.end());
  expected.insert(expected.end(), {0x03, 0x50});
  const auto aaguid = FastConfig().aaguid;
  expected.insert(expected.end(), aaguid.begin(), aaguid.end());
  // The options in canonical order; no "uv" before a fingerprint is enrolled.
  const std::pair<const char*, bool> options[] = {{"rk", true},
                                                  {"up", true},
                                                  {"plat", false},
                                                  {"credMgmt", true},
                                                  {"bioEnroll", false},
                                                  {"clientPin", false},
                                                  {"pinUvAuthToken", true},
                                                  {"makeCredUvNotRqd", true},
                                                  {"credentialMgmtPreview", true},
                                                  {"userVerificationMgmtPreview", false}};
  expected.insert(expected.end(), {0x04, 0xAA});
  for (const auto& [name, value] : options) {
    const std::string text(name);
    expected.push_back(text.size() < 24 ? static_cast<std::uint8_t>(0x60 + text.size()) : 0x78);
    if (text.size() >= 24) expected.push_back(static_cast<std::uint8_t>(text.size()));
    expected.insert(expected.end(), text.begin(), text.end());
    expected.push_back(value ? 0xF5 : 0xF4);
  }
  // maxMsgSize 1200, protocols [2, 1], 8 ids in a list, ids up to 128 bytes, USB, ES256,
  // no forced change, minimum 4, firmware 1.0.0, a fingerprint sensor, 25 passkeys free.
  const Bytes tail = {0x05, 0x19, 0x04, 0xB0, 0x06, 0x82, 0x02, 0x01, 0x07, 0x08, 0x08, 0x18,
                      0x80, 0x09, 0x81, 0x63, 'u',  's',  'b',  0x0A, 0x81, 0xA2, 0x63, 'a',
                      'l',  'g',  0x26, 0x64, 't',  'y',  'p',  'e',  0x6A, 'p',  'u',  'b',
                      'l',  'i',  'c',  '-',  'k',  'e',  'y',  0x0C, 0xF4, 0x0D, 0x04, 0x0E,
                      0x1A, 0x00, 0x01, 0x00, 0x00, 0x12, 0x02, 0x14, 0x18, 0x19};
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(info, expected);
}

TEST(Vkey21GetInfoTest, ShowsTheConfiguredProtocolsMinimumAndForcedChange) {
  VirtualKeyConfig config = Config21("123456", {2});
  config.minPinLength = 6;
  config.forcePinChange = true;
  TestHost host(VirtualKey::Create(config));
  const Bytes info = host.Ctap({kCtapGetInfo});
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(InfoMember(info, 6).data()[0], 0x81);  // [2]
  EXPECT_EQ(InfoMember(info, 6).data()[1], 0x02);
  EXPECT_EQ(InfoMember(info, 0x0C).simpleValue(), 21);
  std::uint32_t minimum = 0;
  EXPECT_TRUE(InfoMember(info, 0x0D).getUnsigned(minimum));
  EXPECT_EQ(minimum, 6u);

  // A 2.0 key enforces a minimum but has no member to show it.
  VirtualKeyConfig old = FastConfig();
  old.minPinLength = 6;
  TestHost oldHost(VirtualKey::Create(old));
  const Bytes oldInfo = oldHost.Ctap({kCtapGetInfo});
  EXPECT_EQ(InfoMember(oldInfo, 0x0D).data(), nullptr);
  EXPECT_EQ(InfoMember(oldInfo, 0x0C).data(), nullptr);
  EXPECT_EQ(oldHost.SetPin("12345"), kStatusPinPolicyViolation);
  EXPECT_EQ(oldHost.SetPin("123456"), kStatusOk);
}

class Vkey21ProtocolTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(Vkey21ProtocolTest, SetChangeTokenAndAssertion) {
  const std::uint32_t protocol = GetParam();
  auto key = VirtualKey::Create(Config21());
  PinProtocolHost host(key, protocol);
  EXPECT_EQ(host.Token("1234", kAssertHere), kStatusPinNotSet);
  EXPECT_EQ(host.SetPin("1234"), kStatusOk);
  EXPECT_EQ(host.SetPin("9999"), kStatusPinAuthInvalid);  // already set

  Bytes first;
  Bytes second;
  ASSERT_EQ(host.Token("1234", kAssertHere, &first), kStatusOk);
  ASSERT_EQ(first.size(), 32u);
  EXPECT_EQ(host.Assert(kSite, first, protocol), kStatusNoCredentials);  // the MAC passed
  EXPECT_EQ(host.Assert("elsewhere.example", first, protocol), kStatusPinAuthInvalid);
  // Every request makes a new token; the earlier one is gone.
  ASSERT_EQ(host.Token("1234", kAssertHere, &second), kStatusOk);
  EXPECT_NE(first, second);
  EXPECT_EQ(host.Assert(kSite, first, protocol), kStatusPinAuthInvalid);
  // A token is for the protocol it came under.
  EXPECT_EQ(host.Assert(kSite, second, 3 - protocol), kStatusPinAuthInvalid);

  EXPECT_EQ(host.ChangePin("1234", "\xC3\xA9t\xC3\xA9-2026"), kStatusOk);
  EXPECT_EQ(host.Assert(kSite, second, protocol), kStatusPinAuthInvalid);  // taken back
  EXPECT_EQ(host.Token("1234", kAssertHere), kStatusPinInvalid);
  EXPECT_EQ(host.Token("\xC3\xA9t\xC3\xA9-2026", kAssertHere), kStatusOk);
  EXPECT_EQ(key->Status().retries, 8u);
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, Vkey21ProtocolTest, ::testing::Values(2u, 1u),
                         [](const auto& info) { return "Protocol" + std::to_string(info.param); });

TEST(Vkey21ProtocolOnlyTest, AProtocolTwoKeyRefusesProtocolOne) {
  auto key = VirtualKey::Create(Config21("1234", {2}));
  PinProtocolHost one(key, 1);
  EXPECT_EQ(one.KeyAgreementStatus(), kStatusInvalidParameter);
  EXPECT_EQ(one.SetPin("5678"), 0xFE);  // no key agreement to go on
  std::uint32_t retries = 0;
  EXPECT_EQ(one.host().GetRetries(retries), kStatusOk);  // libfido2 asks under protocol 1
  EXPECT_EQ(retries, 8u);

  PinProtocolHost two(key, 2);
  Bytes token;
  ASSERT_EQ(two.Token("1234", kAssertHere, &token), kStatusOk);
  // A protocol-1 MAC on getAssertion: a protocol the key does not speak.
  EXPECT_EQ(two.Assert(kSite, token, 1), kStatusInvalidParameter);
  EXPECT_EQ(two.Assert(kSite, token, 2), kStatusNoCredentials);
  ExpectUntouched(*key, true);
}

// One token request with members made for the case, on a key with the PIN 1234.
struct PermissionCase {
  const char* name;
  std::uint8_t subCommand;
  ExtraMembers extra;
  std::uint8_t status;
};

void PrintTo(const PermissionCase& c, std::ostream* os) {
  *os << c.name;
}

ExtraMembers Members(std::optional<std::uint32_t> permissions, std::optional<std::string> rpId) {
  return {static_cast<std::uint32_t>(permissions.has_value() + rpId.has_value()),
          [=](CborWriter& w) {
            if (permissions) w.putInt(9).putInt(static_cast<std::int32_t>(*permissions));
            if (rpId) w.putInt(10).putText(rpId->data(), static_cast<std::uint32_t>(rpId->size()));
          }};
}

class Vkey21PermissionTest : public ::testing::TestWithParam<PermissionCase> {};

TEST_P(Vkey21PermissionTest, StatusAndNoTry) {
  const PermissionCase& c = GetParam();
  auto key = VirtualKey::Create(Config21("1234"));
  PinProtocolHost host(key, 2);
  EXPECT_EQ(host.TokenWith("1234", c.subCommand, c.extra), c.status);
  ExpectUntouched(*key, true);
}

const PermissionCase kPermissionCases[] = {
    {"GaForASite", 9, Members(0x02, kSite), kStatusOk},
    {"McAndGaForASite", 9, Members(0x03, kSite), kStatusOk},
    {"LegacyPlain", 5, Members(std::nullopt, std::nullopt), kStatusOk},
    {"NoPermissions", 9, Members(std::nullopt, kSite), kStatusMissingParameter},
    {"ZeroPermissions", 9, Members(0, kSite), kStatusInvalidParameter},
    {"GaWithoutRpId", 9, Members(0x02, std::nullopt), kStatusInvalidParameter},
    {"McWithEmptyRpId", 9, Members(0x01, ""), kStatusInvalidParameter},
    {"CredentialManagement", 9, Members(0x04, std::nullopt), kStatusUnauthorizedPermission},
    {"BioEnrollmentBesideGa", 9, Members(0x0A, kSite), kStatusUnauthorizedPermission},
    {"UnknownBit", 9, Members(0x80, kSite), kStatusUnauthorizedPermission},
    {"LegacyWithPermissions", 5, Members(0x02, std::nullopt), kStatusInvalidParameter},
    {"LegacyWithRpId", 5, Members(std::nullopt, kSite), kStatusInvalidParameter},
    {"PermissionsAsText",
     9,
     {2, [](CborWriter& w) { w.putInt(9).putText("ga", 2).putInt(10).putText("a.example", 9); }},
     kStatusCborUnexpectedType},
    {"RpIdAsBytes",
     9,
     {2,
      [](CborWriter& w) {
        const std::uint8_t id[] = {'a'};
        w.putInt(9).putInt(2).putInt(10).putBytes(id, 1);
      }},
     kStatusCborUnexpectedType},
};

INSTANTIATE_TEST_SUITE_P(Rules, Vkey21PermissionTest, ::testing::ValuesIn(kPermissionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Vkey21PermissionTest, LegacyTokenCarriesMcAndGaForAnySiteAndMcAloneIsNoAssertion) {
  auto key = VirtualKey::Create(Config21("1234"));
  PinProtocolHost host(key, 2);
  Bytes token;
  ASSERT_EQ(host.Token("1234", {}, &token, kPinGetPinToken), kStatusOk);
  EXPECT_EQ(host.Assert("any.example", token, 2), kStatusNoCredentials);
  ASSERT_EQ(host.Token("1234", {kPermissionMakeCredential, kSite}, &token), kStatusOk);
  EXPECT_EQ(host.Assert(kSite, token, 2), kStatusPinAuthInvalid);
}

// Malformed protocol-2 fields: each refused before the retries move.
TEST(Vkey21BadInputTest, IvLessShortAndMisMacedFieldsAreRefused) {
  auto key = VirtualKey::Create(Config21("1234"));
  PinProtocolHost host(key, 2);
  ProtocolSecret secret;
  Bytes cose;
  ASSERT_TRUE(host.Agree(secret, cose));
  const Bytes hashEnc = host.Encrypt(secret, PinHashBytes("1234"));
  const Bytes ivLess(hashEnc.begin() + 16, hashEnc.end());
  const ExtraMembers ask = Members(0x02, kSite);
  EXPECT_EQ(host.SendPin(9, cose, nullptr, nullptr, &ivLess, ask), kStatusInvalidParameter);
  const Bytes tooShort(hashEnc.begin(), hashEnc.begin() + 8);
  EXPECT_EQ(host.SendPin(9, cose, nullptr, nullptr, &tooShort, ask), kStatusInvalidParameter);
  ExpectUntouched(*key, true);

  // changePIN: the MAC over the fields without their IVs, a protocol-1-sized MAC,
  // and a new-PIN block without its IV.
  const Bytes newPinEnc = host.Encrypt(secret, PinBlock("5678"));
  Bytes signedPart(newPinEnc.begin() + 16, newPinEnc.end());
  signedPart.insert(signedPart.end(), hashEnc.begin() + 16, hashEnc.end());
  const Bytes wrongMac = PinProtocolHost::Mac(2, secret.HmacKey(), 32, signedPart);
  EXPECT_EQ(host.SendPin(kPinChangePin, cose, &wrongMac, &newPinEnc, &hashEnc),
            kStatusPinAuthInvalid);
  Bytes rightPart = newPinEnc;
  rightPart.insert(rightPart.end(), hashEnc.begin(), hashEnc.end());
  const Bytes halfMac = PinProtocolHost::Mac(1, secret.HmacKey(), 32, rightPart);
  EXPECT_EQ(host.SendPin(kPinChangePin, cose, &halfMac, &newPinEnc, &hashEnc),
            kStatusPinAuthInvalid);
  const Bytes blockWithoutIv(newPinEnc.begin() + 16, newPinEnc.end());
  const Bytes mac = PinProtocolHost::Mac(2, secret.HmacKey(), 32, rightPart);
  EXPECT_EQ(host.SendPin(kPinChangePin, cose, &mac, &blockWithoutIv, &hashEnc),
            kStatusInvalidParameter);
  ExpectUntouched(*key, true);
  // The same secret still works: nothing was spent.
  EXPECT_EQ(host.SendPin(kPinChangePin, cose, &mac, &newPinEnc, &hashEnc), kStatusOk);

  // Wrong types and unknown subcommands.
  TestHost& raw = host.host();
  EXPECT_EQ(raw.Ctap({kCtapClientPin, 0xA2, 0x01, 0x62, '2', '!', 0x02, 0x02})[0],
            kStatusCborUnexpectedType);
  EXPECT_EQ(raw.Ctap({kCtapClientPin, 0xA2, 0x01, 0x02, 0x02, 0x06})[0], kStatusInvalidSubcommand);
  EXPECT_EQ(raw.Ctap({kCtapClientPin, 0xA2, 0x01, 0x02, 0x02, 0x0B})[0], kStatusInvalidSubcommand);
  EXPECT_EQ(raw.Ctap({kCtapClientPin, 0xA1, 0x02, 0x02})[0], kStatusMissingParameter);
  EXPECT_EQ(raw.Ctap({kCtapClientPin, 0xA1, 0x02, 0x01})[0], kStatusOk);  // retries need none
}

struct MinLengthCase {
  const char* name;
  int minimum;  // 0: the profile's own
  std::string pin;
  std::uint8_t status;
};

void PrintTo(const MinLengthCase& c, std::ostream* os) {
  *os << c.name;
}

class Vkey21MinPinLengthTest : public ::testing::TestWithParam<MinLengthCase> {};

TEST_P(Vkey21MinPinLengthTest, SetAndChangeCountCodePoints) {
  const MinLengthCase& c = GetParam();
  VirtualKeyConfig config = Config21();
  config.minPinLength = c.minimum;
  auto fresh = VirtualKey::Create(config);
  PinProtocolHost setter(fresh, 2);
  EXPECT_EQ(setter.SetPin(c.pin), c.status);
  EXPECT_EQ(fresh->Status().pinSet, c.status == kStatusOk);

  config.initialPin = "current-pin";
  auto used = VirtualKey::Create(config);
  PinProtocolHost changer(used, 2);
  EXPECT_EQ(changer.ChangePin("current-pin", c.pin), c.status);
  // Refused: the old PIN stands and the right PIN it came with restored the retries.
  const std::string stands = c.status == kStatusOk ? c.pin : "current-pin";
  EXPECT_EQ(changer.Token(stands, kAssertHere), kStatusOk);
  ExpectUntouched(*used, true);
}

const MinLengthCase kMinLengthCases[] = {
    {"FourAsciiByDefault", 0, "1234", kStatusOk},
    {"TwoCodePointsInFourBytes", 0, "\xC3\xA9\xC3\xA9", kStatusPinPolicyViolation},
    {"FourCodePointsInEightBytes", 0, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", kStatusOk},
    {"ThreeBytes", 0, "123", kStatusPinPolicyViolation},
    {"FiveBelowSix", 6, "12345", kStatusPinPolicyViolation},
    {"SixAtSix", 6, "123456", kStatusOk},
    {"FiveCodePointsInTenBytes", 6, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
     kStatusPinPolicyViolation},
    {"SixEmojiAtSix", 6,
     "\xF0\x9F\x94\x91\xF0\x9F\x94\x91\xF0\x9F\x94\x91\xF0\x9F\x94\x91\xF0\x9F\x94\x91\xF0\x9F"
     "\x94\x91",
     kStatusOk},
};

INSTANTIATE_TEST_SUITE_P(Lengths, Vkey21MinPinLengthTest, ::testing::ValuesIn(kMinLengthCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Vkey21ForcePinChangeTest, NoTokenUntilAChangeToANewPin) {
  VirtualKeyConfig config = Config21("1234");
  config.forcePinChange = true;
  auto key = VirtualKey::Create(config);
  PinProtocolHost host(key, 2);
  EXPECT_TRUE(key->Status().forcePinChange);
  EXPECT_EQ(host.Token("0000", kAssertHere), kStatusPinInvalid);
  EXPECT_EQ(key->Status().retries, 7u);
  // The right PIN restores the retries but earns no token, legacy or not.
  EXPECT_EQ(host.Token("1234", kAssertHere), kStatusPinPolicyViolation);
  EXPECT_EQ(host.Token("1234", {}, nullptr, kPinGetPinToken), kStatusPinPolicyViolation);
  ExpectUntouched(*key, true);
  EXPECT_EQ(host.ChangePin("1234", "1234"), kStatusPinPolicyViolation);  // no change
  EXPECT_TRUE(key->Status().forcePinChange);

  EXPECT_EQ(host.ChangePin("1234", "4321"), kStatusOk);
  EXPECT_FALSE(key->Status().forcePinChange);
  const Bytes info = host.host().Ctap({kCtapGetInfo});
  EXPECT_EQ(InfoMember(info, 0x0C).simpleValue(), 20);
  EXPECT_EQ(host.Token("4321", kAssertHere), kStatusOk);

  // A power cycle keeps the request; a reset clears it with the PIN.
  auto again = VirtualKey::Create(config);
  again->Plug();
  EXPECT_TRUE(again->Status().forcePinChange);
  TestHost resetter(again);
  EXPECT_EQ(resetter.Ctap({kCtapReset})[0], kStatusOk);
  EXPECT_FALSE(again->Status().forcePinChange);
  EXPECT_FALSE(again->Status().pinSet);
}

}  // namespace
}  // namespace pinvale::vkey::test
