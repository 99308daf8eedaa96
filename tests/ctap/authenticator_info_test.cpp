// The whole getInfo answer in one walk: every member Pinvale reads, options
// told apart from absent ones, and members of the wrong type refused.

#include "ctap/authenticator_info.h"

#include <gtest/gtest.h>

#include <string>

#include "cbor/cbor_writer.h"
#include "fake_hid.h"

namespace pinvale {
namespace {

using test::Bytes;

// A CTAP 2.1 key's answer; `patch` replaces one member's value by raw CBOR.
Bytes Answer21(std::int32_t patchedKey = 0, const Bytes& patch = {}) {
  std::uint8_t buffer[512];
  CborWriter w(buffer, sizeof buffer);
  auto member = [&](std::int32_t key, auto write) {
    w.putInt(key);
    if (key == patchedKey) {
      w.putRaw(patch.data(), static_cast<std::uint32_t>(patch.size()));
    } else {
      write();
    }
  };
  w.beginMap(12);
  member(0x01, [&] { w.beginArray(2).putText("FIDO_2_0", 8).putText("FIDO_2_1", 8); });
  member(0x02, [&] { w.beginArray(1).putText("credProtect", 11); });
  member(0x03, [&] {
    const std::uint8_t aaguid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    w.putBytes(aaguid, 16);
  });
  member(0x04, [&] {
    w.beginMap(4);
    w.putText("rk", 2).putBool(true);
    w.putText("clientPin", 9).putBool(false);
    w.putText("pinUvAuthToken", 14).putBool(true);
    w.putText("bioEnroll", 9).putBool(false);
  });
  member(0x05, [&] { w.putInt(1200); });
  member(0x06, [&] { w.beginArray(2).putInt(2).putInt(1); });
  member(0x07, [&] { w.putInt(8); });
  member(0x0C, [&] { w.putBool(true); });
  member(0x0D, [&] { w.putInt(6); });
  member(0x0E, [&] { w.putInt(0x050102); });
  member(0x12, [&] { w.putInt(2); });
  member(0x14, [&] { w.putInt(25); });
  return Bytes(buffer, buffer + w.length());
}

TEST(AuthenticatorInfo, ReadsEveryMemberOfACtap21Answer) {
  const Bytes body = Answer21();
  AuthenticatorInfo info;
  ASSERT_EQ(ParseAuthenticatorInfo(body.data(), static_cast<std::uint32_t>(body.size()), info), 0);
  EXPECT_EQ(info.versions, (std::vector<std::string>{"FIDO_2_0", "FIDO_2_1"}));
  EXPECT_TRUE(info.HasVersion("FIDO_2_1"));
  EXPECT_EQ(info.extensions, (std::vector<std::string>{"credProtect"}));
  ASSERT_TRUE(info.aaguid);
  EXPECT_EQ((*info.aaguid)[15], 16);
  EXPECT_EQ(info.Option("rk"), true);
  EXPECT_EQ(info.Option("clientPin"), false);  // supported, none set
  EXPECT_EQ(info.Option("bioEnroll"), false);
  EXPECT_EQ(info.Option("credMgmt"), std::nullopt);
  EXPECT_EQ(info.maxMsgSize, 1200u);
  EXPECT_EQ(info.pinUvAuthProtocols, (std::vector<std::uint32_t>{2, 1}));
  EXPECT_EQ(info.maxCredentialCountInList, 8u);
  EXPECT_TRUE(info.forcePinChange);
  EXPECT_EQ(info.minPinLength, 6u);
  EXPECT_EQ(info.firmwareVersion, 0x050102u);
  EXPECT_EQ(info.uvModality, 2u);
  EXPECT_EQ(info.remainingDiscoverableCredentials, 25u);
}

struct WrongType {
  const char* name;
  std::int32_t key;
  Bytes value;
};

class AuthenticatorInfoWrongType : public testing::TestWithParam<WrongType> {};

TEST_P(AuthenticatorInfoWrongType, IsNotUnderstoodAndLeavesNothingBehind) {
  const Bytes body = Answer21(GetParam().key, GetParam().value);
  AuthenticatorInfo info;
  EXPECT_EQ(ParseAuthenticatorInfo(body.data(), static_cast<std::uint32_t>(body.size()), info),
            kInfoNotUnderstood);
  EXPECT_TRUE(info.versions.empty());
  EXPECT_TRUE(info.options.empty());
  EXPECT_FALSE(info.forcePinChange);
}

INSTANTIATE_TEST_SUITE_P(Members, AuthenticatorInfoWrongType,
                         testing::Values(WrongType{"VersionsAsText", 0x01, {0x61, 'x'}},
                                         WrongType{"VersionOfBytes", 0x01, {0x81, 0x41, 'x'}},
                                         WrongType{"ShortAaguid", 0x03, {0x42, 1, 2}},
                                         WrongType{"OptionsAsArray", 0x04, {0x80}},
                                         WrongType{
                                             "OptionNotBool", 0x04, {0xA1, 0x62, 'r', 'k', 0x01}},
                                         WrongType{"NegativeMaxMsgSize", 0x05, {0x20}},
                                         WrongType{"ProtocolsAsInt", 0x06, {0x02}},
                                         WrongType{"NegativeProtocol", 0x06, {0x81, 0x20}},
                                         WrongType{"ForceChangeAsInt", 0x0C, {0x01}},
                                         WrongType{"MinPinLengthAsText", 0x0D, {0x61, '6'}},
                                         WrongType{"RemainingNegative", 0x14, {0x38, 0x3C}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AuthenticatorInfo, BodiesThatAreNoMapAndUnreadMembers) {
  AuthenticatorInfo info;
  for (const Bytes& body : {Bytes{}, Bytes{0x80}, Bytes{0xA2, 0x01}, Bytes{0xFF}}) {
    EXPECT_EQ(ParseAuthenticatorInfo(body.data(), static_cast<std::uint32_t>(body.size()), info),
              kInfoNotUnderstood);
  }
  // Members Pinvale does not read may hold anything; a missing list means protocol 1.
  const Bytes other = {0xA2, 0x08, 0x82, 0x61, 'x', 0xF6, 0x63, 'a', 'b', 'c', 0x01};
  ASSERT_EQ(ParseAuthenticatorInfo(other.data(), static_cast<std::uint32_t>(other.size()), info),
            0);
  EXPECT_TRUE(info.pinUvAuthProtocols.empty());
  EXPECT_EQ(info.Option("clientPin"), std::nullopt);
}

TEST(AuthenticatorInfo, ReadThroughTheTokenGivesTheStatusOrTheReading) {
  test::FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00, Answer21());
  AuthenticatorInfo info;
  EXPECT_EQ(ReadAuthenticatorInfo(rig.token, info), 0);
  EXPECT_EQ(rig.key->SentMessages().back(), (Bytes{0x04}));
  EXPECT_EQ(info.minPinLength, 6u);

  rig.key->ScriptAnswer(0x2A);
  EXPECT_EQ(ReadAuthenticatorInfo(rig.token, info), 0x2A);
  EXPECT_TRUE(info.versions.empty());
  rig.key->ScriptAnswer(0x00);  // success without a body is no description
  EXPECT_EQ(ReadAuthenticatorInfo(rig.token, info), kInfoNotUnderstood);
}

}  // namespace
}  // namespace pinvale
