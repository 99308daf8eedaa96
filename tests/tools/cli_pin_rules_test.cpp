// pinvale-cli against keys with their own PIN rules and CTAP 2.1 getInfo
// members, scripted answer by answer: the key's minimum PIN length, 0x37,
// forcePINChange, a retries answer without a count, and the PIN protocol choice.

#include <gtest/gtest.h>

#include "../ctap/pin_device_model.h"
#include "cbor/cbor_writer.h"
#include "cli_commands.h"
#include "fake_hid.h"
#include "scripted_console.h"

namespace pinvale::cli {
namespace {

using pinvale::test::Bytes;
namespace fake = pinvale::test;

struct KeyShape {
  bool pinSet = true;
  std::vector<int> protocols = {1};
  int minPinLength = 0;  // 0: not sent
  bool forcePinChange = false;
};

Bytes InfoBody(const KeyShape& shape) {
  std::uint8_t buffer[256];
  CborWriter w(buffer, sizeof buffer);
  w.beginMap(3 + (shape.minPinLength ? 1 : 0) + (shape.forcePinChange ? 1 : 0));
  w.putInt(1).beginArray(1).putText("FIDO_2_1", 8);
  w.putInt(4).beginMap(1).putText("clientPin", 9).putBool(shape.pinSet);
  w.putInt(6).beginArray(static_cast<std::uint32_t>(shape.protocols.size()));
  for (int p : shape.protocols) w.putInt(p);
  if (shape.forcePinChange) w.putInt(0x0C).putBool(true);
  if (shape.minPinLength) w.putInt(0x0D).putInt(shape.minPinLength);
  return Bytes(buffer, buffer + w.length());
}

class CliPinRulesTest : public testing::Test {
 protected:
  struct Outcome {
    int exit;
    std::string out;
    std::string err;
  };

  Outcome Run(std::vector<std::string> args, std::deque<std::string> input = {}) {
    test::ScriptedConsole console(std::move(input), false);
    const int code = RunCli(args, "", console, [this](const std::string&) { return platform; });
    return {code, console.out, console.err};
  }
  // The clientPIN messages the key got, after getInfo.
  std::vector<Bytes> PinMessages() const {
    std::vector<Bytes> pin;
    for (const Bytes& m : key->SentMessages()) {
      if (!m.empty() && m[0] == 0x06) pin.push_back(m);
    }
    return pin;
  }
  void ScriptKeyAgreement() { key->ScriptAnswer(0x00, model.KeyAgreementBody()); }

  std::shared_ptr<fake::FakeHidPlatform> platform = std::make_shared<fake::FakeHidPlatform>();
  std::shared_ptr<fake::FakeHidDevice> key = platform->AddMakerKey();
  fake::PinDeviceModel model;
};

TEST_F(CliPinRulesTest, AShorterPinThanTheKeysMinimumIsRefusedBeforeAnythingIsSent) {
  key->ScriptAnswer(0x00, InfoBody({.pinSet = false, .minPinLength = 6}));
  // Five characters, ten UTF-16 units: the key counts code points.
  const Outcome out = Run({"--pin-stdin", "set-pin"}, {"\xF0\x9F\x98\x80"
                                                       "abcd"});
  EXPECT_EQ(out.exit, kExitInputRefused);
  EXPECT_EQ(out.err,
            "This key needs a PIN of at least 6 characters (counted in Unicode code points).\n");
  EXPECT_TRUE(PinMessages().empty());

  // Keys that ask no more than 4 keep the usual rule and its words.
  key->ScriptAnswer(0x00, InfoBody({.pinSet = false, .minPinLength = 4}));
  EXPECT_EQ(Run({"--pin-stdin", "set-pin"}, {"abc"}).err,
            "Your PIN must be at least 4 characters.\n");
  EXPECT_TRUE(PinMessages().empty());
}

TEST_F(CliPinRulesTest, StatusThirtySevenIsTheKeysPinRulesAndCostsNoAttempt) {
  key->ScriptAnswer(0x00, InfoBody({.minPinLength = 6}));
  ScriptKeyAgreement();
  key->ScriptAnswer(0x37);
  const Outcome out = Run({"--pin-stdin", "change-pin"}, {"123456", "abcdef"});
  EXPECT_EQ(out.exit, kExitKeyRefused);
  EXPECT_EQ(out.err,
            "The key refused the new PIN by its own PIN rules (it asks for at least 6 "
            "characters) (status 0x37). No PIN attempt was used; choose another PIN.\n");
  // No retries asked: nothing was wrong with the current PIN.
  EXPECT_EQ(PinMessages().size(), 2u);
}

TEST_F(CliPinRulesTest, ForcePinChangeSendsNoPinToVerifyAndAChangeStillWorks) {
  key->ScriptAnswer(0x00, InfoBody({.forcePinChange = true}));
  const Outcome verify = Run({"--pin-stdin", "verify-pin"}, {"123456"});
  EXPECT_EQ(verify.exit, kExitInputRefused);
  EXPECT_EQ(verify.err, "The key wants its PIN changed before it is used; use change-pin first.\n");
  EXPECT_TRUE(PinMessages().empty());

  // change-pin goes ahead and proves the new PIN though getInfo still says so.
  key->ScriptAnswer(0x00, InfoBody({.forcePinChange = true}));
  ScriptKeyAgreement();
  key->ScriptAnswer(0x00);
  ScriptKeyAgreement();
  key->ScriptAnswer(0x00,
                    {0xA1, 0x02, 0x50, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const Outcome change = Run({"--pin-stdin", "change-pin"}, {"123456", "abcdef"});
  EXPECT_EQ(change.exit, kExitOk) << change.err;
  EXPECT_EQ(change.err, "");
  const std::vector<Bytes> sent = PinMessages();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[3][5], 0x05);  // getPINToken
}

TEST_F(CliPinRulesTest, ARetriesAnswerWithoutAnUnsignedCountIsNotZeroAttempts) {
  key->ScriptAnswer(0x00, InfoBody({}));
  key->ScriptAnswer(0x00, {0xA1, 0x03, 0x38, 0x3C});  // -61
  Outcome out = Run({"retries"});
  EXPECT_EQ(out.exit, kExitExchangeFailed);
  EXPECT_EQ(out.out, "");
  EXPECT_EQ(out.err,
            "The key's answer held something other than a count, so the PIN attempts left could "
            "not be read.\n");

  // After a wrong PIN, the same answer is not told as "0 attempts left".
  key->ScriptAnswer(0x00, InfoBody({}));
  ScriptKeyAgreement();
  key->ScriptAnswer(0x31);
  key->ScriptAnswer(0x00, {0xA1, 0x03, 0x38, 0x3C});
  out = Run({"--pin-stdin", "verify-pin"}, {"000000"});
  EXPECT_EQ(out.exit, kExitWrongPin);
  EXPECT_EQ(out.err, "Wrong PIN (status 0x31). The attempts left could not be read.\n");
}

TEST_F(CliPinRulesTest, ThePinProtocolIsTheKeysFirstKnownOneOrTheForcedOne) {
  key->ScriptAnswer(0x00, InfoBody({.protocols = {2, 1}}));
  key->ScriptAnswer(0x00, {0xA1, 0x03, 0x05});
  EXPECT_EQ(Run({"retries"}).out, "5 PIN attempts left.\n");
  key->ScriptAnswer(0x00, InfoBody({.protocols = {2, 1}}));
  key->ScriptAnswer(0x00, {0xA1, 0x03, 0x05});
  EXPECT_EQ(Run({"--pin-protocol", "1", "retries"}).exit, kExitOk);
  std::vector<Bytes> sent = PinMessages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], (Bytes{0x06, 0xA2, 0x01, 0x02, 0x02, 0x01}));
  EXPECT_EQ(sent[1], (Bytes{0x06, 0xA2, 0x01, 0x01, 0x02, 0x01}));

  key->ClearRecords();
  key->ScriptAnswer(0x00, InfoBody({.protocols = {1}}));
  Outcome out = Run({"--pin-protocol=2", "--pin-stdin", "verify-pin"}, {"123456"});
  EXPECT_EQ(out.exit, kExitInputRefused);
  EXPECT_EQ(out.err, "The key does not list PIN protocol 2 (it lists: 1).\n");
  key->ScriptAnswer(0x00, InfoBody({.protocols = {3}}));
  out = Run({"--pin-stdin", "verify-pin"}, {"123456"});
  EXPECT_EQ(out.exit, kExitExchangeFailed);
  EXPECT_EQ(
      out.err,
      "The key speaks no PIN protocol that pinvale-cli knows (status 0xFE01). It lists: 3.\n");
  EXPECT_TRUE(PinMessages().empty());

  EXPECT_EQ(Run({"--pin-protocol", "3", "retries"}).exit, kExitUsage);
}

TEST_F(CliPinRulesTest, AGetInfoWithAMemberOfTheWrongTypeIsNoDescription) {
  key->ScriptAnswer(0x00, {0xA1, 0x06, 0x02});  // pinUvAuthProtocols as a number
  const Outcome out = Run({"info"});
  EXPECT_EQ(out.exit, kExitExchangeFailed);
  EXPECT_EQ(out.err,
            "The key's description of itself was empty or not understood (status 0xFF).\n");
}

}  // namespace
}  // namespace pinvale::cli
