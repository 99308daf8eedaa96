// The faults a virtual key can be told to show, and how --fault spells them.

#include <gtest/gtest.h>

#include "vkey/ctap_status.h"
#include "vkey_test_host.h"

namespace pinvale::vkey::test {
namespace {

std::shared_ptr<VirtualKey> KeyWithFault(const std::string& text) {
  VirtualKeyConfig config = FastConfig();
  VirtualKeyFault fault;
  EXPECT_TRUE(ParseFault(text, fault)) << text;
  config.faults.push_back(fault);
  return VirtualKey::Create(config);
}

struct ParseCase {
  const char* text;
  bool ok;
  FaultKind kind;
  std::uint32_t count;
  int command;
  int subCommand;
  std::uint8_t status;
};

class VkeyParseFaultTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(VkeyParseFaultTest, Parses) {
  const ParseCase& c = GetParam();
  VirtualKeyFault fault;
  ASSERT_EQ(ParseFault(c.text, fault), c.ok) << c.text;
  if (!c.ok) return;
  EXPECT_EQ(fault.kind, c.kind);
  EXPECT_EQ(fault.count, c.count);
  EXPECT_EQ(fault.command, c.command);
  EXPECT_EQ(fault.subCommand, c.subCommand);
  EXPECT_EQ(fault.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyParseFaultTest,
    ::testing::Values(
        ParseCase{"no-answer", true, FaultKind::kNoAnswer, 0, -1, -1, 0},
        ParseCase{"no-answer=07", true, FaultKind::kNoAnswer, 0, 7, -1, 0},
        ParseCase{"garbage=0x06/2", true, FaultKind::kGarbage, 0, 6, 2, 0},
        ParseCase{"status=06/03:02", true, FaultKind::kForcedStatus, 0, 6, 3, 2},
        ParseCase{"status=0x06/5:0x31", true, FaultKind::kForcedStatus, 0, 6, 5, 0x31},
        ParseCase{"status=07:30", true, FaultKind::kForcedStatus, 0, 7, -1, 0x30},
        ParseCase{"pull-out=3", true, FaultKind::kPullOut, 3, -1, -1, 0},
        ParseCase{"zero-length", true, FaultKind::kZeroLength, 3, -1, -1, 0},
        ParseCase{"zero-length=5", true, FaultKind::kZeroLength, 5, -1, -1, 0},
        ParseCase{"keepalive-storm=200", true, FaultKind::kKeepaliveStorm, 200, -1, -1, 0},
        ParseCase{"stray", true, FaultKind::kStrayPackets, 1, -1, -1, 0},
        ParseCase{"no-y", true, FaultKind::kKeyAgreementNoY, 0, -1, -1, 0},
        ParseCase{"status=06/03", false, {}, 0, 0, 0, 0},
        ParseCase{"status", false, {}, 0, 0, 0, 0},
        ParseCase{"status=06:100", false, {}, 0, 0, 0, 0},
        ParseCase{"pull-out", false, {}, 0, 0, 0, 0},
        ParseCase{"pull-out=0", false, {}, 0, 0, 0, 0},
        ParseCase{"pull-out=x", false, {}, 0, 0, 0, 0}, ParseCase{"no-y=1", false, {}, 0, 0, 0, 0},
        ParseCase{"zero-length=-1", false, {}, 0, 0, 0, 0},
        ParseCase{"explode", false, {}, 0, 0, 0, 0}));

TEST(VkeyFaultTest, NoAnswerAtAll) {
  auto key = KeyWithFault("no-answer");
  TestHost host(key, false);
  EXPECT_EQ(host.Init(100), 0u);
  EXPECT_TRUE(host.Silent());
  EXPECT_EQ(key->Counters().reportsSent, 0u);
}

TEST(VkeyFaultTest, NoAnswerForOneCommandOnly) {
  TestHost host(KeyWithFault("no-answer=06/01"));
  host.SendMessage(host.cid(), kCmdCbor, {0x06, 0xA2, 0x01, 0x01, 0x02, 0x01});
  EXPECT_TRUE(host.Silent());
  EXPECT_EQ(host.Ctap({0x06, 0xA2, 0x01, 0x01, 0x02, 0x02})[0], kStatusOk);
}

TEST(VkeyFaultTest, ForcedStatusForOneSubCommand) {
  auto key = KeyWithFault("status=06/03:02");
  TestHost host(key);
  EXPECT_EQ(host.SetPin("1234"), 0x02);
  EXPECT_FALSE(key->Status().pinSet);
  std::uint32_t retries = 0;
  EXPECT_EQ(host.GetRetries(retries), kStatusOk);
}

TEST(VkeyFaultTest, GarbageReplacesTheAnswer) {
  auto key = KeyWithFault("garbage");
  TestHost host(key);
  host.SendMessage(host.cid(), kCmdCbor, {kCtapGetInfo});
  Packet packet;
  ASSERT_TRUE(host.ReadPacket(packet));
  EXPECT_TRUE(host.Silent());
}

TEST(VkeyFaultTest, NoiseBeforeTheAnswer) {
  {
    TestHost host(KeyWithFault("zero-length=2"));
    host.SendMessage(host.cid(), kCmdCbor, {kCtapGetInfo});
    Packet packet;
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(host.ReadPacket(packet));
      EXPECT_EQ(packet[5], 0);
      EXPECT_EQ(packet[6], 0);
    }
    HidMessage answer;
    ASSERT_TRUE(host.ReadMessage(answer));
    EXPECT_EQ(answer.payload[0], kStatusOk);
  }
  {
    TestHost host(KeyWithFault("keepalive-storm=40"));
    std::vector<std::uint8_t> keepalives;
    EXPECT_EQ(host.Ctap({kCtapGetInfo}, &keepalives)[0], kStatusOk);
    EXPECT_EQ(keepalives, std::vector<std::uint8_t>(40, kKeepaliveProcessing));
  }
}

// Another program's traffic as a reader of the node sees it: before every answer a
// success on the other program's channel, that program's INIT answer allocating it a
// new channel, and a success there; between the packets of an answer, a
// continuation on that channel.
TEST(VkeyFaultTest, StrayTrafficOfAnotherProgram) {
  auto key = KeyWithFault("stray=3");
  TestHost host(key, false);
  const std::vector<std::uint8_t> nonce = {1, 2, 3, 4, 5, 6, 7, 8};
  host.SendMessage(kBroadcastChannel, kCmdInit, nonce);
  HidMessage stray;
  ASSERT_TRUE(host.ReadMessage(stray));
  EXPECT_EQ(stray.cmd, kCmdCbor);
  EXPECT_EQ(stray.payload, std::vector<std::uint8_t>{kStatusOk});
  ASSERT_TRUE(host.ReadMessage(stray));
  EXPECT_EQ(stray.cid, kBroadcastChannel);
  EXPECT_EQ(stray.cmd, kCmdInit);
  ASSERT_EQ(stray.payload.size(), 17u);
  EXPECT_NE(std::vector<std::uint8_t>(stray.payload.begin(), stray.payload.begin() + 8), nonce);
  const std::uint32_t otherChannel = static_cast<std::uint32_t>(stray.payload[8]) << 24 |
                                     stray.payload[9] << 16 | stray.payload[10] << 8 |
                                     stray.payload[11];
  ASSERT_TRUE(host.ReadMessage(stray));
  EXPECT_EQ(stray.cid, otherChannel);
  EXPECT_EQ(stray.payload, std::vector<std::uint8_t>{kStatusOk});
  HidMessage init;
  ASSERT_TRUE(host.ReadMessage(init));
  EXPECT_EQ(init.cid, kBroadcastChannel);
  EXPECT_EQ(std::vector<std::uint8_t>(init.payload.begin(), init.payload.begin() + 8), nonce);

  // A host that checks nonces gets its channel all the same, and a whole getInfo
  // once it skips the other channels.
  TestHost again(key);
  ASSERT_NE(again.cid(), 0u);
  again.SendMessage(again.cid(), kCmdCbor, {kCtapGetInfo});
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(again.ReadMessage(stray));
    EXPECT_NE(stray.cid, again.cid());
  }
  HidMessage answer;
  ASSERT_TRUE(again.ReadMessage(answer));
  EXPECT_EQ(answer.cid, again.cid());
  ASSERT_GT(answer.payload.size(), kInitPayload);
  EXPECT_EQ(answer.payload[0], kStatusOk);
  EXPECT_EQ(
      answer.strays,
      static_cast<int>((answer.payload.size() - kInitPayload + kContPayload - 1) / kContPayload));
  TestHost clean(VirtualKey::Create(FastConfig()));
  EXPECT_EQ(answer.payload, clean.Ctap({kCtapGetInfo}));
}

TEST(VkeyFaultTest, PullOutAfterPackets) {
  auto key = KeyWithFault("pull-out=3");
  TestHost host(key);                           // packet 1
  host.SendMessage(host.cid(), kCmdPing, {1});  // packet 2
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  host.SendMessage(host.cid(), kCmdPing, {2});  // packet 3: gone
  EXPECT_FALSE(host.ReadMessage(answer, 100));
  EXPECT_FALSE(key->IsPlugged());
  key->Plug();  // the count starts again with the power cycle
  TestHost again(key);
  EXPECT_NE(again.cid(), 0u);
}

TEST(VkeyFaultTest, KeyAgreementWithoutY) {
  TestHost host(KeyWithFault("no-y"));
  auto answer = host.Ctap({0x06, 0xA2, 0x01, 0x01, 0x02, 0x02});
  ASSERT_EQ(answer.size(), 46u);
  EXPECT_EQ(answer[3], 0xA4);  // a COSE map of four pairs
}

}  // namespace
}  // namespace pinvale::vkey::test
