// CTAPHID as the virtual key speaks it: channels, INIT, PING, and every framing error.

#include <gtest/gtest.h>

#include "vkey/ctap_status.h"
#include "vkey/ctaphid_constants.h"
#include "vkey_test_host.h"

namespace pinvale::vkey::test {
namespace {

class VkeyFramingTest : public ::testing::Test {
 protected:
  std::shared_ptr<VirtualKey> key_ = VirtualKey::Create(FastConfig());
};

TEST_F(VkeyFramingTest, InitOnBroadcastEchoesNonceAndAllocatesChannel) {
  TestHost host(key_, false);
  host.SendMessage(kBroadcastChannel, kCmdInit, {9, 8, 7, 6, 5, 4, 3, 2});
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cid, kBroadcastChannel);
  EXPECT_EQ(answer.cmd, kCmdInit);
  ASSERT_EQ(answer.payload.size(), 17u);
  EXPECT_EQ(std::vector<std::uint8_t>(answer.payload.begin(), answer.payload.begin() + 8),
            (std::vector<std::uint8_t>{9, 8, 7, 6, 5, 4, 3, 2}));
  const std::uint32_t cid = static_cast<std::uint32_t>(answer.payload[8]) << 24 |
                            answer.payload[9] << 16 | answer.payload[10] << 8 | answer.payload[11];
  EXPECT_NE(cid, 0u);
  EXPECT_NE(cid, kBroadcastChannel);
  EXPECT_NE(cid, kMakerChannel);
  EXPECT_EQ(answer.payload[12], 2);  // protocol version
  EXPECT_EQ(answer.payload[16], kCapabilityCbor | kCapabilityNmsg);
  // A second INIT gets another channel.
  EXPECT_NE(host.Init(), cid);
}

TEST_F(VkeyFramingTest, MakerChannelWorksOnlyAfterAnInit) {
  TestHost host(key_, false);
  host.SendMessage(kMakerChannel, kCmdPing, {1, 2, 3});
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cmd, kCmdError);
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrInvalidChannel});

  host.Init();
  host.SendMessage(kMakerChannel, kCmdPing, {1, 2, 3});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cid, kMakerChannel);
  EXPECT_EQ(answer.cmd, kCmdPing);
  EXPECT_EQ(answer.payload, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(VkeyFramingTest, PingEchoesLongMessagesAcrossPackets) {
  TestHost host(key_);
  for (std::size_t size : {0u, 57u, 58u, 116u, 117u, 1000u}) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    host.SendMessage(host.cid(), kCmdPing, data);
    HidMessage answer;
    ASSERT_TRUE(host.ReadMessage(answer)) << size;
    EXPECT_EQ(answer.cmd, kCmdPing);
    EXPECT_EQ(answer.payload, data) << size;
  }
  EXPECT_TRUE(host.Silent());
}

struct ErrorCase {
  const char* name;
  std::uint32_t cid;  // 1 stands for "the host's own channel"
  std::uint8_t cmd;
  std::uint16_t length;
  std::uint8_t error;
};

class VkeyFramingErrorTest : public VkeyFramingTest,
                             public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(VkeyFramingErrorTest, AnswersError) {
  const ErrorCase& c = GetParam();
  TestHost host(key_);
  const std::uint32_t cid = c.cid == 1 ? host.cid() : c.cid;
  host.SendInitPacket(cid, c.cmd, c.length, std::vector<std::uint8_t>(8, 1));
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cid, cid);
  EXPECT_EQ(answer.cmd, kCmdError);
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{c.error});
}

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyFramingErrorTest,
    ::testing::Values(ErrorCase{"ChannelZero", 0, kCmdPing, 1, kErrInvalidChannel},
                      ErrorCase{"PingOnBroadcast", kBroadcastChannel, kCmdPing, 1,
                                kErrInvalidChannel},
                      ErrorCase{"UnallocatedChannel", 0x12345678, kCmdPing, 1, kErrInvalidChannel},
                      ErrorCase{"UnknownCommand", 1, 0x2A, 0, kErrInvalidCmd},
                      ErrorCase{"U2fMessage", 1, kCmdMsg, 4, kErrInvalidCmd},
                      ErrorCase{"Wink", 1, kCmdWink, 0, kErrInvalidCmd},
                      ErrorCase{"InitTooShort", kBroadcastChannel, kCmdInit, 7, kErrInvalidLen},
                      ErrorCase{"InitTooLong", 1, kCmdInit, 9, kErrInvalidLen},
                      ErrorCase{"BeyondLargestMessage", 1, kCmdPing, 7610, kErrInvalidLen},
                      ErrorCase{"EmptyCbor", 1, kCmdCbor, 0, kErrInvalidLen}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VkeyFramingTest, WrongSequenceAbortsTheMessage) {
  TestHost host(key_);
  host.SendInitPacket(host.cid(), kCmdPing, 100, std::vector<std::uint8_t>(57, 5));
  Packet cont{};
  cont[0] = host.cid() >> 24;
  cont[1] = host.cid() >> 16;
  cont[2] = host.cid() >> 8;
  cont[3] = host.cid();
  cont[4] = 1;  // 0 expected
  host.SendPacket(cont.data());
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrInvalidSeq});
  // The message is gone: its correct continuation now has nothing to continue.
  cont[4] = 0;
  host.SendPacket(cont.data());
  EXPECT_TRUE(host.Silent());
}

TEST_F(VkeyFramingTest, NewMessageMidMessageBreaksSequenceButInitResyncs) {
  TestHost host(key_);
  host.SendInitPacket(host.cid(), kCmdPing, 100, {});
  host.SendInitPacket(host.cid(), kCmdPing, 3, {1, 2, 3});
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrInvalidSeq});

  host.SendInitPacket(host.cid(), kCmdPing, 100, {});
  host.SendMessage(host.cid(), kCmdInit, {1, 1, 1, 1, 1, 1, 1, 1});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cmd, kCmdInit);
  EXPECT_EQ(answer.cid, host.cid());
  EXPECT_EQ(answer.payload[8] << 24 | answer.payload[9] << 16 | answer.payload[10] << 8 |
                answer.payload[11],
            static_cast<int>(host.cid()));
  host.SendMessage(host.cid(), kCmdPing, {4});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{4});
}

TEST_F(VkeyFramingTest, OtherChannelIsBusyWhileAMessageIsAssembled) {
  TestHost host(key_);
  const std::uint32_t first = host.cid();
  const std::uint32_t second = host.Init();
  host.SendInitPacket(first, kCmdPing, 100, {});
  host.SendInitPacket(second, kCmdPing, 1, {9});
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cid, second);
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrChannelBusy});
}

TEST_F(VkeyFramingTest, StalledMessageTimesOut) {
  TestHost host(key_);
  host.SendInitPacket(host.cid(), kCmdPing, 100, {});
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer, 1000));
  EXPECT_EQ(answer.cmd, kCmdError);
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrMsgTimeout});
}

TEST_F(VkeyFramingTest, SpuriousContinuationIsIgnored) {
  TestHost host(key_);
  Packet cont{};
  cont[3] = static_cast<std::uint8_t>(host.cid());
  host.SendPacket(cont.data());
  EXPECT_TRUE(host.Silent());
}

TEST_F(VkeyFramingTest, EachLinkHasItsOwnChannels) {
  TestHost a(key_);
  TestHost b(key_);
  EXPECT_NE(a.cid(), b.cid());
  b.SendMessage(a.cid(), kCmdPing, {1});
  HidMessage answer;
  ASSERT_TRUE(b.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrInvalidChannel});
  EXPECT_TRUE(a.Silent());
}

TEST_F(VkeyFramingTest, UnknownCtapCommandAnswersInvalidCommand) {
  TestHost host(key_);
  // The probe some hosts send while enumerating.
  EXPECT_EQ(host.Ctap({0x80, 0xE3, 0x00, 0x00, 0x03}), std::vector<std::uint8_t>{0x01});
  EXPECT_EQ(host.Ctap({0x03, 0xA0}), std::vector<std::uint8_t>{0x01});  // no such command
}

TEST_F(VkeyFramingTest, LockKeepsTheKeyForOneChannel) {
  TestHost host(key_);
  const std::uint32_t holder = host.cid();
  const std::uint32_t other = host.Init();
  HidMessage answer;
  host.SendMessage(holder, kCmdLock, {11});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrInvalidPar});
  host.SendMessage(holder, kCmdLock, {1, 2});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrInvalidLen});

  host.SendMessage(holder, kCmdLock, {5});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cmd, kCmdLock);
  host.SendMessage(other, kCmdPing, {1});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrChannelBusy});
  host.SendMessage(holder, kCmdPing, {2});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{2});

  host.SendMessage(holder, kCmdLock, {0});  // release
  ASSERT_TRUE(host.ReadMessage(answer));
  host.SendMessage(other, kCmdPing, {3});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{3});
}

TEST_F(VkeyFramingTest, CountsReportsBothWays) {
  TestHost host(key_);  // INIT: one report each way
  host.SendMessage(host.cid(), kCmdPing, std::vector<std::uint8_t>(100, 1));  // 2 and 2
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  const VirtualKeyCounters counters = key_->Counters();
  EXPECT_EQ(counters.reportsReceived, 3u);
  EXPECT_EQ(counters.reportsSent, 3u);
  EXPECT_EQ(counters.messagesReceived, 2u);
}

}  // namespace
}  // namespace pinvale::vkey::test

namespace pinvale::vkey::test {
namespace {

// A key made without its timer thread acts on its timers only when asked, and then at
// once for every timer that is due: the stalled message, the wait for a touch.
TEST(VkeyWithoutTimerThread, TimersRunOnlyWhenAsked) {
  VirtualKeyConfig config = FastConfig();
  config.timerThread = false;
  config.messageTimeoutMs = 0;
  config.userPresenceTimeoutMs = 0;
  config.touchMode = TouchMode::kOnDemand;
  auto key = VirtualKey::Create(config);
  TestHost host(key);

  host.SendInitPacket(host.cid(), kCmdPing, 100, {});
  EXPECT_TRUE(host.Silent(100));
  key->RunDueTimers();
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer, 0));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrMsgTimeout});

  host.SendMessage(host.cid(), kCmdCbor, {kCtapReset});
  EXPECT_FALSE(host.ReadMessage(answer, 100));  // a keepalive, then nothing
  EXPECT_TRUE(key->Status().waitingForTouch);
  key->RunDueTimers();
  ASSERT_TRUE(host.ReadMessage(answer, 0));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kStatusUserActionTimeout});
  EXPECT_FALSE(key->Status().waitingForTouch);
}

// A host draining its reports polls with a time-out of 0: it gets what is queued, a
// time-out when nothing is, and the closed state once the key is pulled out.
TEST(VkeyPolling, PollTakesQueuedPacketsAndTellsEmptyFromClosed) {
  auto key = VirtualKey::Create(FastConfig());
  TestHost host(key);
  Packet packet{};
  EXPECT_EQ(host.link().WaitPacket(packet.data(), 0), WaitResult::kTimeout);
  host.SendMessage(host.cid(), kCmdPing, std::vector<std::uint8_t>(100, 7));
  EXPECT_EQ(host.link().WaitPacket(packet.data(), 0), WaitResult::kPacket);
  EXPECT_EQ(packet[4], kCmdPing | kInitBit);
  EXPECT_EQ(host.link().WaitPacket(packet.data(), 0), WaitResult::kPacket);
  EXPECT_EQ(packet[4], 0);  // the continuation
  EXPECT_EQ(host.link().WaitPacket(packet.data(), 0), WaitResult::kTimeout);
  key->Unplug();
  EXPECT_EQ(host.link().WaitPacket(packet.data(), 0), WaitResult::kClosed);
}

}  // namespace
}  // namespace pinvale::vkey::test
