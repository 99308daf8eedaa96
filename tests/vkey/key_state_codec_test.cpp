// The state file's bytes: what a key writes it reads back the same, and anything else
// (cut short, changed, of another format or another kind of key, members out of
// bounds) is refused whole. And the key's hooks: it starts from a state and tells
// every change.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include <mbedtls/sha256.h>

#include "cbor/cbor_writer.h"
#include "vkey/ctap_status.h"
#include "vkey/key_state_codec.h"
#include "vkey_test_host.h"

namespace pinvale::vkey::test {
namespace {

constexpr std::size_t kHeader = kStateMagicLength + 6;

// A valid P-256 scalar: 1 .. n-1.
SecretBuffer<32> Scalar(std::uint8_t last) {
  SecretBuffer<32> key;
  key[0] = 0x11;
  key[31] = last;
  return key;
}

StoredCredential Passkey(std::uint8_t n) {
  StoredCredential credential;
  credential.id.assign(16, n);
  credential.rpId = "example.com";
  credential.rpName = "Ex\xc3\xa4mple";
  credential.userId = {n, 2, 3};
  credential.userName = "alice";
  credential.userDisplayName = "";
  credential.privateKey = Scalar(n);
  credential.credProtect = 2;
  return credential;
}

KeyState FullState() {
  KeyState state;
  state.pinSet = true;
  for (std::size_t i = 0; i < state.pinHash.size(); ++i) state.pinHash[i] = 0xA0 + i;
  state.pinRetries = 5;
  state.forcePinChange = true;
  state.uvRetries = 2;
  state.signCount = 0x01020304;
  state.credentialKey = Scalar(0x77);
  state.credentials = {Passkey(1), Passkey(2)};
  state.fingerprints = {{{0x01}, "Daumen"}, {{0x02, 0x03}, ""}};
  return state;
}

VirtualKeyConfig Config21() {
  VirtualKeyConfig config;
  config.profile = CtapProfile::kCtap21;
  return config;
}

StateReadResult Decode(const StateBytes& bytes, const VirtualKeyConfig& config, KeyState& out) {
  return DecodeKeyState(bytes.data(), bytes.size(), config, out);
}

// The encoding holds every member, so the same bytes again mean the same state; a few
// members are looked at besides, in case the writer dropped one on both ways.
TEST(VkeyStateCodecTest, RoundTripsEveryMemberAndEncodesTheSameStateTheSameWay) {
  for (const KeyState& state : {FullState(), KeyState{}}) {
    const StateBytes bytes = EncodeKeyState(state, CtapProfile::kCtap21);
    KeyState read;
    const StateReadResult result = Decode(bytes, Config21(), read);
    ASSERT_TRUE(result.ok()) << DescribeStateFault(result);
    EXPECT_EQ(EncodeKeyState(read, CtapProfile::kCtap21), bytes);
    EXPECT_EQ(read.signCount, state.signCount);
    EXPECT_EQ(read.forcePinChange, state.forcePinChange);
    ASSERT_EQ(read.credentials.size(), state.credentials.size());
    ASSERT_EQ(read.fingerprints.size(), state.fingerprints.size());
    if (state.credentials.empty()) continue;
    EXPECT_EQ(read.credentials[1].rpName, state.credentials[1].rpName);
    EXPECT_EQ(0, std::memcmp(read.credentials[1].privateKey.data(),
                             state.credentials[1].privateKey.data(), 32));
    EXPECT_EQ(read.fingerprints[0].friendlyName, "Daumen");
  }
}

// Every cut and every changed byte is refused, and the state handed in stays as it was.
TEST(VkeyStateCodecTest, RefusesEveryTruncationAndEveryFlippedByte) {
  const StateBytes good = EncodeKeyState(FullState(), CtapProfile::kCtap21);
  KeyState untouched;
  untouched.signCount = 99;
  for (std::size_t length = 0; length < good.size(); ++length) {
    KeyState read = untouched;
    const StateReadResult result = DecodeKeyState(good.data(), length, Config21(), read);
    ASSERT_FALSE(result.ok()) << "cut at " << length;
    EXPECT_EQ(result.fault, length == 0 ? StateFault::kForeign : StateFault::kDamaged) << length;
    EXPECT_EQ(read.signCount, 99u);
  }
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (std::uint8_t flip : {0x01, 0x80}) {
      StateBytes bad = good;
      bad[at] ^= flip;
      KeyState read = untouched;
      ASSERT_FALSE(Decode(bad, Config21(), read).ok()) << "byte " << at << " ^ " << int(flip);
      EXPECT_EQ(read.signCount, 99u);
    }
  }
}

struct FramingCase {
  const char* name;
  std::function<void(StateBytes&)> damage;
  const char* message;
};

void PrintTo(const FramingCase& c, std::ostream* os) {
  *os << c.name;
}

class VkeyStateFramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(VkeyStateFramingTest, SaysWhatIsWrong) {
  StateBytes bytes = EncodeKeyState(FullState(), CtapProfile::kCtap21);
  GetParam().damage(bytes);
  KeyState read;
  EXPECT_EQ(DescribeStateFault(Decode(bytes, Config21(), read)), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Files, VkeyStateFramingTest,
    ::testing::Values(
        FramingCase{"Text", [](StateBytes& b) { b.assign(b.size(), 'x'); },
                    "not a virtual key state file"},
        FramingCase{"OtherMagic", [](StateBytes& b) { b[7] = '_'; },
                    "not a virtual key state file"},
        FramingCase{"MagicCut", [](StateBytes& b) { b.resize(10); }, "damaged (truncated)"},
        FramingCase{"VersionZero", [](StateBytes& b) { b[kStateMagicLength + 1] = 0; },
                    "not a virtual key state file"},
        FramingCase{"NewerVersion", [](StateBytes& b) { b[kStateMagicLength + 1] = 2; },
                    "made by a newer version of pinvale-vkey (format 2)"},
        FramingCase{"ChangedBody", [](StateBytes& b) { b[kHeader + 5] ^= 0x20; },
                    "damaged (checksum)"},
        FramingCase{"HugeBodyLength", [](StateBytes& b) { b[kStateMagicLength + 2] = 0xFF; },
                    "damaged (truncated)"},
        FramingCase{"Appended", [](StateBytes& b) { b.push_back(0); },
                    "damaged (bytes after its end)"}),
    [](const auto& info) { return std::string(info.param.name); });

// A body with a sound checksum, as a faulty program could write it.
StateBytes Sealed(const std::vector<std::uint8_t>& body) {
  StateBytes bytes(kStateMagic, kStateMagic + kStateMagicLength);
  const std::uint32_t length = static_cast<std::uint32_t>(body.size());
  for (std::uint8_t b :
       {std::uint8_t{0}, std::uint8_t{kStateFormatVersion}, std::uint8_t(length >> 24),
        std::uint8_t(length >> 16), std::uint8_t(length >> 8), std::uint8_t(length)}) {
    bytes.push_back(b);
  }
  bytes.insert(bytes.end(), body.begin(), body.end());
  std::uint8_t digest[32];
  mbedtls_sha256_ret(bytes.data(), bytes.size(), digest, 0);
  bytes.insert(bytes.end(), digest, digest + 32);
  return bytes;
}

std::vector<std::uint8_t> BodyOf(const StateBytes& file) {
  return {file.begin() + kHeader, file.end() - 32};
}

// Writes the members of a body by hand: (key, writer of the value) in the order given.
std::vector<std::uint8_t> HandBody(
    const std::vector<std::pair<int, std::function<void(CborWriter&)>>>& members) {
  std::vector<std::uint8_t> out(4096);
  CborWriter writer(out.data(), static_cast<std::uint32_t>(out.size()));
  writer.beginMap(static_cast<std::uint32_t>(members.size()));
  for (const auto& [key, put] : members) {
    writer.putInt(key);
    put(writer);
  }
  out.resize(writer.length());
  return out;
}

auto Text(const char* text) {
  return [text](CborWriter& w) { w.putText(text, static_cast<std::uint32_t>(std::strlen(text))); };
}
auto Number(int n) {
  return [n](CborWriter& w) { w.putInt(n); };
}
auto Zeros(std::uint32_t n) {
  return [n](CborWriter& w) {
    std::vector<std::uint8_t> bytes(n, 0x11);
    w.putBytes(bytes.data(), n);
  };
}
auto Empty() {
  return [](CborWriter& w) { w.beginArray(0); };
}

struct MemberCase {
  const char* name;
  std::function<StateBytes()> file;
  StateFault fault;
  const char* detail;  // a part of the detail
};

void PrintTo(const MemberCase& c, std::ostream* os) {
  *os << c.name;
}

class VkeyStateMemberTest : public ::testing::TestWithParam<MemberCase> {};

TEST_P(VkeyStateMemberTest, Refuses) {
  KeyState read;
  read.signCount = 7;
  const StateReadResult result = Decode(GetParam().file(), Config21(), read);
  EXPECT_EQ(result.fault, GetParam().fault) << DescribeStateFault(result);
  EXPECT_NE(result.detail.find(GetParam().detail), std::string::npos) << result.detail;
  EXPECT_EQ(read.signCount, 7u);
}

StateBytes With(const std::function<void(KeyState&)>& change,
                CtapProfile profile = CtapProfile::kCtap21) {
  KeyState state = FullState();
  change(state);
  return EncodeKeyState(state, profile);
}

INSTANTIATE_TEST_SUITE_P(
    Members, VkeyStateMemberTest,
    ::testing::Values(
        MemberCase{"OtherProfile", [] { return With([](KeyState&) {}, CtapProfile::kCtap20); },
                   StateFault::kOtherProfile, "--profile 2.0"},
        MemberCase{"PinRetriesAboveEight",
                   [] { return With([](KeyState& s) { s.pinRetries = 9; }); }, StateFault::kInvalid,
                   "PIN retries"},
        MemberCase{"UvRetriesAboveFive", [] { return With([](KeyState& s) { s.uvRetries = 6; }); },
                   StateFault::kInvalid, "UV retries"},
        MemberCase{"ForcedChangeWithoutPin",
                   [] { return With([](KeyState& s) { s.pinSet = false; }); }, StateFault::kInvalid,
                   "forcePinChange"},
        MemberCase{"LongCredentialId",
                   [] { return With([](KeyState& s) { s.credentials[1].id.resize(129); }); },
                   StateFault::kInvalid, "passkey 2: id"},
        MemberCase{
            "RepeatedCredentialId",
            [] { return With([](KeyState& s) { s.credentials[1].id = s.credentials[0].id; }); },
            StateFault::kInvalid, "passkey 2: id seen before"},
        MemberCase{"LongUserId",
                   [] { return With([](KeyState& s) { s.credentials[0].userId.resize(65); }); },
                   StateFault::kInvalid, "passkey 1: userId"},
        MemberCase{"NameNotUtf8",
                   [] { return With([](KeyState& s) { s.credentials[0].userName = "\xc3("; }); },
                   StateFault::kInvalid, "passkey 1: userName"},
        MemberCase{
            "SurrogateInName",
            [] { return With([](KeyState& s) { s.credentials[0].rpName = "\xed\xa0\x80"; }); },
            StateFault::kInvalid, "passkey 1: rpName"},
        MemberCase{"EmptyRpId",
                   [] { return With([](KeyState& s) { s.credentials[0].rpId.clear(); }); },
                   StateFault::kInvalid, "passkey 1: rpId"},
        MemberCase{"ZeroPrivateKey",
                   [] { return With([](KeyState& s) { s.credentials[0].privateKey.Wipe(); }); },
                   StateFault::kInvalid, "passkey 1: private key"},
        MemberCase{"PrivateKeyBeyondTheOrder",
                   [] {
                     return With([](KeyState& s) {
                       for (std::size_t i = 0; i < 32; ++i) s.credentials[0].privateKey[i] = 0xFF;
                     });
                   },
                   StateFault::kInvalid, "passkey 1: private key"},
        MemberCase{"CredProtectFour",
                   [] { return With([](KeyState& s) { s.credentials[0].credProtect = 4; }); },
                   StateFault::kInvalid, "credProtect"},
        MemberCase{"MorePasskeysThanTheCapacity",
                   [] {
                     return With([](KeyState& s) {
                       s.credentials.clear();
                       for (int i = 0; i < 26; ++i)
                         s.credentials.push_back(Passkey(std::uint8_t(i + 1)));
                     });
                   },
                   StateFault::kInvalid, "26 passkeys"},
        MemberCase{"LongFriendlyName",
                   [] {
                     return With(
                         [](KeyState& s) { s.fingerprints[0].friendlyName.assign(16, 'a'); });
                   },
                   StateFault::kInvalid, "fingerprint 1: friendly name"},
        MemberCase{"ShortPinHash",
                   [] {
                     return Sealed(HandBody({{1, Text("2.1")}, {2, Zeros(15)}, {3, Number(8)}}));
                   },
                   StateFault::kInvalid, "PIN hash"},
        MemberCase{"RetriesAsText",
                   [] {
                     return Sealed(HandBody({{1, Text("2.1")}, {3, Text("8")}}));
                   },
                   StateFault::kInvalid, "PIN retries"},
        MemberCase{"MissingCredentialKey",
                   [] {
                     return Sealed(HandBody({{1, Text("2.1")},
                                             {3, Number(8)},
                                             {4, [](CborWriter& w) { w.putBool(false); }},
                                             {5, Number(5)},
                                             {6, Number(0)},
                                             {8, Empty()},
                                             {9, Empty()}}));
                   },
                   StateFault::kInvalid, "missing"},
        MemberCase{"MembersOutOfOrder",
                   [] {
                     return Sealed(HandBody({{1, Text("2.1")}, {5, Number(5)}, {3, Number(8)}}));
                   },
                   StateFault::kInvalid, "member"},
        MemberCase{"UnknownMember",
                   [] {
                     std::vector<std::uint8_t> body =
                         BodyOf(EncodeKeyState(FullState(), CtapProfile::kCtap21));
                     body[0] += 1;          // one more member in the map head ...
                     body.push_back(0x0A);  // ... key 10
                     body.push_back(0x00);
                     return Sealed(body);
                   },
                   StateFault::kInvalid, "unknown"},
        MemberCase{"TwoItems",
                   [] {
                     std::vector<std::uint8_t> body =
                         BodyOf(EncodeKeyState(FullState(), CtapProfile::kCtap21));
                     body.push_back(0x00);
                     return Sealed(body);
                   },
                   StateFault::kInvalid, "one CBOR item"}),
    [](const auto& info) { return std::string(info.param.name); });

// A state of a 2.0 key holds no fingerprints: it has no sensor.
TEST(VkeyStateCodecTest, KeyWithoutSensorRefusesFingerprints) {
  KeyState read;
  VirtualKeyConfig config;
  const StateReadResult result =
      Decode(EncodeKeyState(FullState(), CtapProfile::kCtap20), config, read);
  EXPECT_EQ(result.fault, StateFault::kInvalid);
  EXPECT_NE(result.detail.find("fingerprints"), std::string::npos) << result.detail;
}

// ---- the key's hooks ----

struct Told {
  std::vector<StateBytes> states;
  KeyState Last(const VirtualKeyConfig& config) const {
    KeyState state;
    EXPECT_TRUE(DecodeKeyState(states.back().data(), states.back().size(), config, state).ok());
    return state;
  }
};

TEST(VkeyStateHooksTest, KeyTellsItsStateAtStartAndAfterEachChangeOnly) {
  auto told = std::make_shared<Told>();
  VirtualKeyConfig config = FastConfig();
  config.resetWindowMs = 60000;
  config.stateListener = [told](const std::uint8_t* data, std::size_t length) {
    told->states.emplace_back(data, data + length);
  };
  auto key = VirtualKey::Create(config);
  TestHost host(key);
  ASSERT_EQ(told->states.size(), 1u);  // the fresh key at once
  EXPECT_FALSE(told->Last(config).pinSet);

  ASSERT_EQ(host.Ctap({kCtapGetInfo}).at(0), kStatusOk);
  std::uint32_t retries = 0;
  ASSERT_EQ(host.GetRetries(retries), kStatusOk);
  EXPECT_EQ(told->states.size(), 1u);  // nothing changed

  ASSERT_EQ(host.SetPin("1234"), kStatusOk);
  ASSERT_EQ(told->states.size(), 2u);
  EXPECT_TRUE(told->Last(config).pinSet);
  ASSERT_EQ(host.GetPinToken("9999"), kStatusPinInvalid);
  ASSERT_EQ(told->states.size(), 3u);
  EXPECT_EQ(told->Last(config).pinRetries, kMaxPinRetries - 1);

  const KeyState before = told->Last(config);
  ASSERT_EQ(host.Ctap({kCtapReset}).at(0), kStatusOk);
  ASSERT_EQ(told->states.size(), 4u);
  const KeyState after = told->Last(config);
  EXPECT_FALSE(after.pinSet);
  EXPECT_EQ(after.pinRetries, kMaxPinRetries);
  EXPECT_NE(0, std::memcmp(before.credentialKey.data(), after.credentialKey.data(), 32));
}

TEST(VkeyStateHooksTest, KeyStartsFromAStateAndIgnoresTheFirstPin) {
  auto state = std::make_shared<KeyState>(FullState());
  state->forcePinChange = false;
  state->pinRetries = 3;
  state->fingerprints.clear();
  state->credentials.clear();
  VirtualKeyConfig config = FastConfig();
  config.initialPin = "9876";
  config.initialState = state;
  auto key = VirtualKey::Create(config);
  const VirtualKeyStatus status = key->Status();
  EXPECT_TRUE(status.pinSet);
  EXPECT_EQ(status.retries, 3u);
  // The hash of the state's PIN, not of "9876": that one is a wrong PIN.
  TestHost host(key);
  EXPECT_EQ(host.GetPinToken("9876"), kStatusPinInvalid);
  EXPECT_EQ(key->Status().retries, 2u);
}

}  // namespace
}  // namespace pinvale::vkey::test
