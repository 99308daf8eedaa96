// Credentials on the virtual key, as a platform sees them: made and used on the 2.0
// and 2.1 profiles, with and without a PIN; signatures that verify against the COSE key
// the key handed out; the store's limits; exclude and allow lists; credProtect;
// getNextAssertion's walk; and requests refused with the state left as it was.

#include <gtest/gtest.h>

#include "cbor/cbor_item.h"
#include "credential_host.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {
namespace {

constexpr std::uint8_t kFlagsAttested = 0x40;

std::shared_ptr<VirtualKey> Key(CtapProfile profile = CtapProfile::kCtap20,
                                const std::string& pin = "", int capacity = 25,
                                TouchMode touch = TouchMode::kAutomatic) {
  VirtualKeyConfig config = FastConfig();
  config.touchMode = touch;
  config.userPresenceTimeoutMs = 100;
  config.profile = profile;
  config.initialPin = pin;
  config.capacity = capacity;
  return VirtualKey::Create(config);
}

struct RoundTripCase {
  const char* name;
  CtapProfile profile;
  bool rk;
  bool pin;
};

class VkeyCredentialRoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(VkeyCredentialRoundTripTest, MadeThenAssertedWithSignaturesThatVerify) {
  const RoundTripCase& c = GetParam();
  auto key = Key(c.profile, c.pin ? "1234" : "");
  TestHost host(key);
  Bytes token;
  if (c.pin) {
    ASSERT_EQ(host.GetPinToken("1234", &token), kStatusOk);
  }
  const Bytes* auth = c.pin ? &token : nullptr;

  const MadeCredential made =
      ReadMadeCredential(host.Ctap(MakeCredentialMessage({.rk = c.rk, .token = auth})));
  ASSERT_EQ(made.status, kStatusOk);
  EXPECT_EQ(made.format, "packed");
  EXPECT_EQ(made.attestationAlg, -7);
  EXPECT_EQ(made.flags, kFlagsAttested | (c.pin ? 0x05 : 0x01));
  EXPECT_EQ(made.counter, 1u);
  const auto aaguid = FastConfig().aaguid;
  EXPECT_EQ(made.aaguid, Bytes(aaguid.begin(), aaguid.end()));
  EXPECT_LE(made.credentialId.size(), 128u);
  EXPECT_TRUE(made.extensions.empty());
  EXPECT_TRUE(VerifiesWith(made.x, made.y, made.authData, made.signature));
  EXPECT_EQ(key->Status().passkeys, c.rk ? 1 : 0);

  // Found by its id, and (a passkey) without one; the counter goes up each time.
  std::vector<AssertArgs> asks = {{.allowList = {made.credentialId}, .token = auth}};
  if (c.rk) asks.push_back({.token = auth});
  std::uint32_t counter = made.counter;
  for (const AssertArgs& ask : asks) {
    const Assertion assertion = ReadAssertion(host.Ctap(GetAssertionMessage(ask)));
    ASSERT_EQ(assertion.status, kStatusOk);
    EXPECT_EQ(assertion.credentialId, made.credentialId);
    EXPECT_EQ(assertion.authData.size(), 37u);
    EXPECT_EQ(assertion.flags, c.pin ? 0x05 : 0x01);
    EXPECT_GT(assertion.counter, counter);
    counter = assertion.counter;
    EXPECT_TRUE(VerifiesWith(made.x, made.y, assertion.authData, assertion.signature));
    EXPECT_FALSE(
        VerifiesWith(made.x, made.y, assertion.authData, assertion.signature, Bytes(32, 0)));
    EXPECT_EQ(assertion.hasUser, c.rk);
    if (c.rk) {
      EXPECT_EQ(assertion.userId, (Bytes{0x75, 0x01}));
    }
    EXPECT_EQ(assertion.userHasName, c.rk && c.pin);  // names only for a verified user
    EXPECT_EQ(assertion.numberOfCredentials, 0u);
  }
  // Another site does not get it, by id or by discovery.
  EXPECT_EQ(host.Ctap(GetAssertionMessage(
                {.rpId = "other.example", .allowList = {made.credentialId}, .token = auth})),
            Bytes{kStatusNoCredentials});
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, VkeyCredentialRoundTripTest,
    testing::Values(RoundTripCase{"ctap20", CtapProfile::kCtap20, false, false},
                    RoundTripCase{"ctap20Passkey", CtapProfile::kCtap20, true, false},
                    RoundTripCase{"ctap20PasskeyWithPin", CtapProfile::kCtap20, true, true},
                    RoundTripCase{"ctap21WithPin", CtapProfile::kCtap21, false, true},
                    RoundTripCase{"ctap21Passkey", CtapProfile::kCtap21, true, false},
                    RoundTripCase{"ctap21PasskeyWithPin", CtapProfile::kCtap21, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The store holds `capacity` passkeys; a new one for the same site and user takes the
// old one's place; a full store refuses a new one after the touch and keeps what it has.
TEST(VkeyCredentialStoreTest, FillsUpAndReplacesBySiteAndUser) {
  auto key = Key(CtapProfile::kCtap21, "", 2);
  TestHost host(key);
  const MadeCredential first =
      ReadMadeCredential(host.Ctap(MakeCredentialMessage({.userId = {1}, .rk = true})));
  ASSERT_EQ(first.status, kStatusOk);
  ASSERT_EQ(
      ReadMadeCredential(host.Ctap(MakeCredentialMessage({.userId = {2}, .rk = true}))).status,
      kStatusOk);
  Bytes keepalives;
  EXPECT_EQ(host.Ctap(MakeCredentialMessage({.userId = {3}, .rk = true}), &keepalives),
            Bytes{kStatusKeyStoreFull});
  EXPECT_EQ(key->Status().passkeys, 2);
  // Not stored, a non-discoverable credential still works when the store is full.
  EXPECT_EQ(ReadMadeCredential(host.Ctap(MakeCredentialMessage({.userId = {3}}))).status,
            kStatusOk);

  const MadeCredential again = ReadMadeCredential(
      host.Ctap(MakeCredentialMessage({.userId = {1}, .userName = "alice2", .rk = true})));
  ASSERT_EQ(again.status, kStatusOk);
  EXPECT_EQ(key->Status().passkeys, 2);
  EXPECT_EQ(host.Ctap(GetAssertionMessage({.allowList = {first.credentialId}})),
            Bytes{kStatusNoCredentials});
  // The replacement is the newest: discovery answers with it first.
  const Assertion newest = ReadAssertion(host.Ctap(GetAssertionMessage({})));
  EXPECT_EQ(newest.credentialId, again.credentialId);
  EXPECT_EQ(newest.numberOfCredentials, 2u);

  // A reset wipes the passkeys and makes every non-discoverable id worthless.
  const MadeCredential loose = ReadMadeCredential(host.Ctap(MakeCredentialMessage({})));
  ASSERT_EQ(host.Ctap(GetAssertionMessage({.allowList = {loose.credentialId}}))[0], kStatusOk);
  key->Plug();
  TestHost fresh(key);
  ASSERT_EQ(fresh.Ctap({kCtapReset}), Bytes{kStatusOk});
  EXPECT_EQ(key->Status().passkeys, 0);
  EXPECT_EQ(fresh.Ctap(GetAssertionMessage({.allowList = {loose.credentialId}})),
            Bytes{kStatusNoCredentials});
}

TEST(VkeyCredentialListsTest, ExcludeListAndAllowList) {
  auto key = Key(CtapProfile::kCtap21);
  TestHost host(key);
  const MadeCredential made = ReadMadeCredential(host.Ctap(MakeCredentialMessage({.rk = true})));
  const MadeCredential loose = ReadMadeCredential(host.Ctap(MakeCredentialMessage({})));
  ASSERT_EQ(made.status, kStatusOk);
  ASSERT_EQ(loose.status, kStatusOk);
  for (const Bytes& id : {made.credentialId, loose.credentialId}) {
    Bytes keepalives;
    EXPECT_EQ(host.Ctap(MakeCredentialMessage({.userId = {9}, .rk = true, .excludeList = {id}}),
                        &keepalives),
              Bytes{kStatusCredentialExcluded});
  }
  EXPECT_EQ(key->Status().passkeys, 1);
  // Another site's exclude list names ids this key made for this one: not a match.
  EXPECT_EQ(host.Ctap(MakeCredentialMessage(
                {.rpId = "other.example", .excludeList = {loose.credentialId}}))[0],
            kStatusOk);
  // Of an allow list the first id of this site answers; a damaged id is nobody's.
  Bytes damaged = loose.credentialId;
  damaged[20] ^= 1;
  const Assertion found = ReadAssertion(
      host.Ctap(GetAssertionMessage({.allowList = {damaged, Bytes(16, 7), loose.credentialId}})));
  EXPECT_EQ(found.credentialId, loose.credentialId);
  EXPECT_EQ(host.Ctap(GetAssertionMessage({.allowList = {damaged}})), Bytes{kStatusNoCredentials});
}

// credProtect: echoed in the authenticator data; level 2 needs an allow list or user
// verification, level 3 user verification, to be found. A 2.0 key knows no such extension.
TEST(VkeyCredentialProtectTest, LevelsDecideWhenACredentialIsFound) {
  auto key = Key(CtapProfile::kCtap21, "1234");
  TestHost host(key);
  Bytes token;
  ASSERT_EQ(host.GetPinToken("1234", &token), kStatusOk);
  std::vector<MadeCredential> made;
  for (int level = 1; level <= 3; ++level) {
    made.push_back(ReadMadeCredential(
        host.Ctap(MakeCredentialMessage({.userId = {static_cast<std::uint8_t>(level)},
                                         .rk = true,
                                         .credProtect = level,
                                         .token = &token}))));
    ASSERT_EQ(made.back().status, kStatusOk);
    EXPECT_EQ(made.back().flags & 0x80, 0x80);
    EXPECT_EQ(made.back().extensions, (Bytes{0xA1, 0x6B, 'c', 'r', 'e', 'd', 'P', 'r', 'o', 't',
                                             'e', 'c', 't', static_cast<std::uint8_t>(level)}));
  }
  // Without verification, discovery finds level 1 alone; an allow list also level 2.
  const Assertion unverified = ReadAssertion(host.Ctap(GetAssertionMessage({})));
  EXPECT_EQ(unverified.credentialId, made[0].credentialId);
  EXPECT_EQ(unverified.numberOfCredentials, 0u);
  EXPECT_EQ(ReadAssertion(host.Ctap(GetAssertionMessage({.allowList = {made[1].credentialId}})))
                .credentialId,
            made[1].credentialId);
  EXPECT_EQ(host.Ctap(GetAssertionMessage({.allowList = {made[2].credentialId}})),
            Bytes{kStatusNoCredentials});
  // Verified, all three, newest first.
  const Assertion verified = ReadAssertion(host.Ctap(GetAssertionMessage({.token = &token})));
  EXPECT_EQ(verified.credentialId, made[2].credentialId);
  EXPECT_EQ(verified.numberOfCredentials, 3u);

  TestHost old(Key(CtapProfile::kCtap20));
  const MadeCredential ignored =
      ReadMadeCredential(old.Ctap(MakeCredentialMessage({.rk = true, .credProtect = 3})));
  ASSERT_EQ(ignored.status, kStatusOk);
  EXPECT_TRUE(ignored.extensions.empty());
  EXPECT_EQ(old.Ctap(GetAssertionMessage({}))[0], kStatusOk);
}

TEST(VkeyGetNextAssertionTest, WalksTheRestNewestFirstAndEndsAtAnyOtherCommand) {
  auto key = Key(CtapProfile::kCtap21);
  TestHost host(key);
  EXPECT_EQ(host.Ctap({kCtapGetNextAssertion}), Bytes{kStatusNotAllowed});
  std::vector<MadeCredential> made;
  for (std::uint8_t user = 1; user <= 3; ++user) {
    made.push_back(
        ReadMadeCredential(host.Ctap(MakeCredentialMessage({.userId = {user}, .rk = true}))));
  }
  ReadMadeCredential(host.Ctap(MakeCredentialMessage({.rpId = "other.example", .rk = true})));
  const Assertion first = ReadAssertion(host.Ctap(GetAssertionMessage({})));
  EXPECT_EQ(first.credentialId, made[2].credentialId);
  EXPECT_EQ(first.numberOfCredentials, 3u);
  std::uint32_t counter = first.counter;
  for (int i = 1; i >= 0; --i) {
    const Assertion next = ReadAssertion(host.Ctap({kCtapGetNextAssertion}));
    ASSERT_EQ(next.status, kStatusOk);
    EXPECT_EQ(next.credentialId, made[i].credentialId);
    EXPECT_EQ(next.userId, Bytes{static_cast<std::uint8_t>(i + 1)});
    EXPECT_EQ(next.numberOfCredentials, 0u);
    EXPECT_GT(next.counter, counter);
    counter = next.counter;
    EXPECT_TRUE(VerifiesWith(made[i].x, made[i].y, next.authData, next.signature));
  }
  EXPECT_EQ(host.Ctap({kCtapGetNextAssertion}), Bytes{kStatusNotAllowed});

  ASSERT_EQ(ReadAssertion(host.Ctap(GetAssertionMessage({}))).numberOfCredentials, 3u);
  ASSERT_EQ(host.Ctap({kCtapGetInfo})[0], kStatusOk);
  EXPECT_EQ(host.Ctap({kCtapGetNextAssertion}), Bytes{kStatusNotAllowed});
}

struct RefusalCase {
  const char* name;
  CtapProfile profile;
  std::string pin;
  MakeArgs args;
  std::uint8_t status;
  bool afterTouch = false;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class VkeyMakeCredentialRefusalTest : public testing::TestWithParam<RefusalCase> {};

// Each refusal leaves the store and the counter as they were. Those that come after
// the touch are denied when nobody touches the key.
TEST_P(VkeyMakeCredentialRefusalTest, AnswersWithoutMakingAnything) {
  const RefusalCase& c = GetParam();
  TestHost untouched(Key(c.profile, c.pin, 25, TouchMode::kNever));
  EXPECT_EQ(untouched.Ctap(MakeCredentialMessage(c.args)),
            Bytes{c.afterTouch ? kStatusOperationDenied : c.status});
  auto key = Key(c.profile, c.pin);
  TestHost host(key);
  EXPECT_EQ(host.Ctap(MakeCredentialMessage(c.args)), Bytes{c.status});
  EXPECT_EQ(key->Status().passkeys, 0);
  EXPECT_EQ(key->Status().retries, 8u);
  // The counter did not move: the next credential signs with 1.
  if (c.pin.empty()) {
    EXPECT_EQ(ReadMadeCredential(host.Ctap(MakeCredentialMessage({}))).counter, 1u);
  }
}

const Bytes kWrongToken(16, 0);

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyMakeCredentialRefusalTest,
    testing::Values(
        RefusalCase{
            "noEs256", CtapProfile::kCtap21, "", {.algorithm = -257}, kStatusUnsupportedAlgorithm},
        RefusalCase{"upFalse", CtapProfile::kCtap21, "", {.up = false}, kStatusInvalidOption},
        RefusalCase{
            "uvWithoutUv20", CtapProfile::kCtap20, "", {.uv = true}, kStatusUnsupportedOption},
        RefusalCase{
            "uvWithoutFinger21", CtapProfile::kCtap21, "", {.uv = true}, kStatusInvalidOption},
        RefusalCase{"uvWithoutFinger21Pre",
                    CtapProfile::kCtap21Pre,
                    "",
                    {.uv = true},
                    kStatusUnsupportedOption},
        RefusalCase{
            "uvWithPinNoAuth20", CtapProfile::kCtap20, "1234", {.uv = true}, kStatusPuatRequired},
        RefusalCase{"pinSetNoAuth20", CtapProfile::kCtap20, "1234", {}, kStatusPuatRequired},
        RefusalCase{"pinSetNoAuthPasskey21",
                    CtapProfile::kCtap21,
                    "1234",
                    {.rk = true},
                    kStatusPuatRequired},
        RefusalCase{"wrongPinAuth",
                    CtapProfile::kCtap20,
                    "1234",
                    {.token = &kWrongToken},
                    kStatusPinAuthInvalid},
        RefusalCase{"wrongPinAuth21",
                    CtapProfile::kCtap21,
                    "1234",
                    {.rk = true, .token = &kWrongToken},
                    kStatusPinAuthInvalid},
        RefusalCase{"probeWithPin",
                    CtapProfile::kCtap21,
                    "1234",
                    {.emptyPinAuth = true},
                    kStatusPinInvalid,
                    true},
        RefusalCase{"probeWithoutPin",
                    CtapProfile::kCtap20,
                    "",
                    {.emptyPinAuth = true},
                    kStatusPinNotSet,
                    true},
        RefusalCase{"emptyUserId", CtapProfile::kCtap21, "", {.userId = {}}, kStatusInvalidLength},
        RefusalCase{
            "longUserId", CtapProfile::kCtap21, "", {.userId = Bytes(65, 1)}, kStatusInvalidLength},
        RefusalCase{"credProtectZero",
                    CtapProfile::kCtap21,
                    "",
                    {.credProtect = 4},
                    kStatusInvalidParameter}),
    [](const auto& info) { return std::string(info.param.name); });

// 2.1 with a PIN: a non-discoverable credential needs no verification (makeCredUvNotRqd).
TEST(VkeyMakeCredentialRefusalTest, NonDiscoverableWithoutPinAuthOn21) {
  TestHost host(Key(CtapProfile::kCtap21, "1234"));
  const MadeCredential made = ReadMadeCredential(host.Ctap(MakeCredentialMessage({})));
  ASSERT_EQ(made.status, kStatusOk);
  EXPECT_EQ(made.flags, 0x41);
}

struct MalformedCase {
  const char* name;
  Bytes cbor;  // after the command byte
  std::uint8_t status;
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
  *os << c.name;
}

class VkeyMakeCredentialMalformedTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(VkeyMakeCredentialMalformedTest, RefusedAtOnce) {
  auto key = Key(CtapProfile::kCtap21);
  TestHost host(key);
  Bytes message(1, kCtapMakeCredential);
  message.insert(message.end(), GetParam().cbor.begin(), GetParam().cbor.end());
  Bytes keepalives;
  EXPECT_EQ(host.Ctap(message, &keepalives), Bytes{GetParam().status});
  EXPECT_TRUE(keepalives.empty());
  EXPECT_EQ(key->Status().passkeys, 0);
}

// A valid request's CBOR with member `key`'s value swapped for `value` (added when the
// request has no such member; left out when `value` is empty).
Bytes Swapped(int key, const Bytes& value) {
  Bytes message = MakeCredentialMessage({.rk = true});
  const Bytes valid(message.begin() + 1, message.end());
  std::vector<std::pair<int, Bytes>> members;
  CborItem map(valid.data(), static_cast<std::uint32_t>(valid.size()));
  CborItem item(valid.data() + 1, static_cast<std::uint32_t>(valid.size() - 1));
  for (std::uint32_t i = 0; i < map.head().argument; ++i) {
    CborItem v;
    CborItem after;
    item.nextItem(v);
    v.nextItem(after);
    std::uint32_t number = 0;
    item.getUnsigned(number);
    members.push_back({static_cast<int>(number), Bytes(v.data(), after.data())});
    item = after;
  }
  Bytes out(1, 0);
  std::uint8_t count = 0;
  bool swapped = false;
  for (auto& [number, bytes] : members) {
    swapped = swapped || number == key;
    const Bytes& use = number == key ? value : bytes;
    if (use.empty()) continue;
    out.push_back(static_cast<std::uint8_t>(number));
    out.insert(out.end(), use.begin(), use.end());
    ++count;
  }
  if (!swapped) {
    out.push_back(static_cast<std::uint8_t>(key));
    out.insert(out.end(), value.begin(), value.end());
    ++count;
  }
  out[0] = static_cast<std::uint8_t>(0xA0 + count);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyMakeCredentialMalformedTest,
    testing::Values(
        MalformedCase{"noParameters", {}, kStatusMissingParameter},
        MalformedCase{"notAMap", {0x80}, kStatusCborUnexpectedType},
        MalformedCase{"truncated", {0xA4, 0x01}, kStatusInvalidCbor},
        MalformedCase{"noClientDataHash", Swapped(1, {}), kStatusMissingParameter},
        MalformedCase{"noRp", Swapped(2, {}), kStatusMissingParameter},
        MalformedCase{"noUser", Swapped(3, {}), kStatusMissingParameter},
        MalformedCase{"noAlgorithms", Swapped(4, {}), kStatusMissingParameter},
        MalformedCase{"shortHash", Swapped(1, {0x41, 0x00}), kStatusInvalidLength},
        MalformedCase{"hashAsText", Swapped(1, {0x61, 'h'}), kStatusCborUnexpectedType},
        MalformedCase{"rpNotAMap", Swapped(2, {0x61, 'r'}), kStatusCborUnexpectedType},
        MalformedCase{"rpWithoutId", Swapped(2, {0xA0}), kStatusMissingParameter},
        MalformedCase{"rpIdAsBytes", Swapped(2, {0xA1, 0x62, 'i', 'd', 0x41, 'r'}),
                      kStatusCborUnexpectedType},
        MalformedCase{"userIdAsText", Swapped(3, {0xA1, 0x62, 'i', 'd', 0x61, 'u'}),
                      kStatusCborUnexpectedType},
        MalformedCase{"algorithmsNotArray", Swapped(4, {0xA0}), kStatusCborUnexpectedType},
        MalformedCase{"algorithmWithoutType", Swapped(4, {0x81, 0xA1, 0x63, 'a', 'l', 'g', 0x26}),
                      kStatusMissingParameter},
        MalformedCase{"algorithmAsText",
                      Swapped(4, {0x81, 0xA2, 0x63, 'a', 'l', 'g', 0x61, '7', 0x64, 't', 'y', 'p',
                                  'e', 0x61, 'x'}),
                      kStatusCborUnexpectedType},
        MalformedCase{"optionsNotMap", Swapped(7, {0x80}), kStatusCborUnexpectedType},
        MalformedCase{"optionNotBoolean", Swapped(7, {0xA1, 0x62, 'r', 'k', 0x01}),
                      kStatusCborUnexpectedType},
        MalformedCase{"extensionsNotMap", Swapped(6, {0x80}), kStatusCborUnexpectedType}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::vkey::test
