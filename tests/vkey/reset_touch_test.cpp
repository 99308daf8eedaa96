// Reset, the touch it needs, the keepalives while the key waits, CANCEL, and power
// cycles.

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "vkey/ctap_status.h"
#include "vkey_test_host.h"

namespace pinvale::vkey::test {
namespace {

using Clock = std::chrono::steady_clock;

std::shared_ptr<VirtualKey> MakeKey(TouchMode mode, int touchDelayMs, int resetWindowMs = 5000) {
  VirtualKeyConfig config = FastConfig();
  config.touchMode = mode;
  config.touchDelayMs = touchDelayMs;
  config.resetWindowMs = resetWindowMs;
  config.initialPin = "1234";
  return VirtualKey::Create(config);
}

TEST(VkeyResetTest, AutomaticTouchResetsAfterKeepalivesAtTheConfiguredCadence) {
  auto key = MakeKey(TouchMode::kAutomatic, 150);
  TestHost host(key);
  std::vector<std::uint8_t> keepalives;
  const auto start = Clock::now();
  EXPECT_EQ(host.Ctap({kCtapReset}, &keepalives), std::vector<std::uint8_t>{kStatusOk});
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(150));
  // One at once, then one every 20 ms: about 8 in 150 ms; timers may run late, never early.
  EXPECT_GE(keepalives.size(), 1u);
  EXPECT_LE(keepalives.size(), 9u);
  for (std::uint8_t status : keepalives) EXPECT_EQ(status, kKeepaliveUpNeeded);
  EXPECT_FALSE(key->Status().pinSet);
  EXPECT_EQ(key->Status().retries, 8u);
}

TEST(VkeyResetTest, KeepalivesNeverFurtherApartThanTheInterval) {
  VirtualKeyConfig config = FastConfig();
  config.touchMode = TouchMode::kOnDemand;
  config.keepaliveIntervalMs = 40;
  auto key = VirtualKey::Create(config);
  TestHost host(key);
  host.SendMessage(host.cid(), kCmdCbor, {kCtapReset});
  Packet packet;
  auto last = Clock::now();
  std::chrono::milliseconds longest{0};
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(host.ReadPacket(packet, 500));
    EXPECT_EQ(packet[4], kCmdKeepalive | kInitBit);
    EXPECT_EQ(packet[7], kKeepaliveUpNeeded);
    const auto now = Clock::now();
    if (i > 0) {
      longest =
          std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
    }
    last = now;
  }
  EXPECT_LT(longest.count(), 100);
  key->Touch();
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kStatusOk});
}

TEST(VkeyResetTest, OnDemandWaitsForTouch) {
  auto key = MakeKey(TouchMode::kOnDemand, 0);
  TestHost host(key);
  key->Touch();  // nothing waits yet: no effect
  host.SendMessage(host.cid(), kCmdCbor, {kCtapReset});
  Packet packet;
  ASSERT_TRUE(host.ReadPacket(packet));
  EXPECT_TRUE(key->Status().waitingForTouch);
  EXPECT_TRUE(key->Status().pinSet);
  key->Touch();
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kStatusOk});
  EXPECT_FALSE(key->Status().pinSet);
}

TEST(VkeyResetTest, NoTouchTimesOut) {
  for (TouchMode mode : {TouchMode::kOnDemand, TouchMode::kNever}) {
    auto key = MakeKey(mode, 0);
    TestHost host(key);
    if (mode == TouchMode::kNever) {
      std::thread([key] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        key->Touch();  // ignored: this key is never touched
      }).detach();
    }
    const auto start = Clock::now();
    EXPECT_EQ(host.Ctap({kCtapReset}), std::vector<std::uint8_t>{kStatusUserActionTimeout});
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_TRUE(key->Status().pinSet);
  }
}

TEST(VkeyResetTest, RefusedAfterTheWindowUntilPowerCycle) {
  auto key = MakeKey(TouchMode::kAutomatic, 0, 400);
  TestHost host(key);
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  EXPECT_EQ(host.Ctap({kCtapReset}), std::vector<std::uint8_t>{kStatusNotAllowed});
  EXPECT_TRUE(key->Status().pinSet);
  key->Plug();
  TestHost after(key);
  EXPECT_EQ(after.Ctap({kCtapReset}), std::vector<std::uint8_t>{kStatusOk});
  EXPECT_FALSE(key->Status().pinSet);
}

TEST(VkeyResetTest, CancelAbortsTheWait) {
  auto key = MakeKey(TouchMode::kOnDemand, 0);
  TestHost host(key);
  host.SendMessage(host.cid(), kCmdCbor, {kCtapReset});
  Packet packet;
  ASSERT_TRUE(host.ReadPacket(packet));
  host.SendMessage(host.cid(), kCmdCancel, {});
  HidMessage answer;
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_EQ(answer.cmd, kCmdCbor);
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kStatusKeepaliveCancel});
  EXPECT_FALSE(key->Status().waitingForTouch);
  EXPECT_TRUE(key->Status().pinSet);
  host.SendMessage(host.cid(), kCmdCancel, {});  // nothing to cancel: no answer
  EXPECT_TRUE(host.Silent());
}

TEST(VkeyResetTest, KeyIsBusyForOthersWhileItWaits) {
  auto key = MakeKey(TouchMode::kOnDemand, 0);
  TestHost waiting(key);
  TestHost other(key);
  waiting.SendMessage(waiting.cid(), kCmdCbor, {kCtapReset});
  other.SendMessage(other.cid(), kCmdCbor, {kCtapGetInfo});
  HidMessage answer;
  ASSERT_TRUE(other.ReadMessage(answer));
  EXPECT_EQ(answer.cmd, kCmdError);
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrChannelBusy});
  // CANCEL from another channel leaves the wait alone.
  other.SendMessage(other.cid(), kCmdCancel, {});
  EXPECT_TRUE(key->Status().waitingForTouch);
  key->Touch();
  ASSERT_TRUE(waiting.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kStatusOk});
}

TEST(VkeyProcessingTest, SlowKeySendsProcessingKeepalivesThenTheAnswer) {
  VirtualKeyConfig config = FastConfig();
  config.processingDelayMs = 120;
  auto key = VirtualKey::Create(config);
  TestHost host(key);
  TestHost other(key);
  std::vector<std::uint8_t> keepalives;
  const auto start = Clock::now();
  host.SendMessage(host.cid(), kCmdCbor, {kCtapGetInfo});
  other.SendMessage(other.cid(), kCmdPing, {1});  // the key is busy meanwhile
  host.SendMessage(host.cid(), kCmdCancel, {});   // and a request being processed still answers
  HidMessage answer;
  ASSERT_TRUE(other.ReadMessage(answer));
  EXPECT_EQ(answer.payload, std::vector<std::uint8_t>{kErrChannelBusy});
  ASSERT_TRUE(host.ReadMessage(answer));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(120));
  EXPECT_EQ(answer.cmd, kCmdCbor);
  EXPECT_EQ(answer.payload[0], kStatusOk);
  EXPECT_GE(answer.keepalives.size(), 1u);
  for (std::uint8_t status : answer.keepalives) EXPECT_EQ(status, kKeepaliveProcessing);
  EXPECT_FALSE(key->Status().waitingForTouch);
}

TEST(VkeyPowerTest, UnplugClosesLinksAndKeepsState) {
  auto key = MakeKey(TouchMode::kOnDemand, 0);
  TestHost host(key);
  EXPECT_EQ(host.GetPinToken("0000"), kStatusPinInvalid);
  host.SendMessage(host.cid(), kCmdCbor, {kCtapReset});
  key->Unplug();
  EXPECT_FALSE(key->IsPlugged());
  EXPECT_FALSE(host.link().IsOpen());
  Packet packet{};
  EXPECT_FALSE(host.link().ReceivePacket(packet.data()));
  EXPECT_EQ(host.link().WaitPacket(packet.data(), 10), WaitResult::kClosed);
  EXPECT_EQ(key->Connect(), nullptr);

  key->Plug();
  const VirtualKeyStatus status = key->Status();
  EXPECT_TRUE(status.pinSet);
  EXPECT_EQ(status.retries, 7u);
  EXPECT_EQ(status.consecutiveFailures, 0u);
  EXPECT_FALSE(status.waitingForTouch);
  EXPECT_EQ(key->Counters().powerCycles, 2u);
}

}  // namespace
}  // namespace pinvale::vkey::test
