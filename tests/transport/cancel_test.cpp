// CTAPHID_CANCEL from another thread while an exchange waits for the user: the
// exchange sends it once on its own channel at the key's next keepalive and
// then takes the key's answer to the request it cancelled.

#include <gtest/gtest.h>

#include <thread>

#include "fake_hid.h"
#include "transport/ctaphid.h"

namespace pinvale::test {
namespace {

int CancelsSent(const FakeHidDevice& key) {
  int count = 0;
  for (const CtapHidMessage& message : key.SentCtapHidMessages()) {
    if (message.command == ctaphid::kCommandCancel) {
      EXPECT_EQ(message.channel, ctaphid::kMessageChannel);
      EXPECT_TRUE(message.payload.empty());
      ++count;
    }
  }
  return count;
}

std::uint16_t Send(CFidoToken& token) {
  const Bytes request = {0x09, 0xA1, 0x01, 0x01};
  Bytes answer(64);
  std::uint32_t length = static_cast<std::uint32_t>(answer.size());
  return token.SendCborCommand(request.data(), static_cast<std::uint32_t>(request.size()),
                               answer.data(), &length);
}

TEST(ExchangeCancel, GoesOutOnceAtTheNextKeepaliveFromAnotherThread) {
  FakeKeyRig rig;
  rig.token.DeviceList().SetSilenceLimitMs(2000);
  rig.key->SetResponder([](const Bytes&) { return std::optional<Bytes>{}; });  // the key waits
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rig.token.RequestCancel();
    // The key goes on waiting until it has seen the CANCEL, then answers 0x2D.
    for (int i = 0; i < 200 && CancelsSent(*rig.key) == 0; ++i) {
      rig.key->PushReport(KeepaliveReport());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    rig.key->PushReport(KeepaliveReport());
    for (const Bytes& report :
         CtapHidReports(ctaphid::kMessageChannel, ctaphid::kCommandCbor, CtapAnswer(0x2D))) {
      rig.key->PushReport(report);
    }
  });
  EXPECT_EQ(Send(rig.token), 0x2D);
  user.join();
  EXPECT_EQ(CancelsSent(*rig.key), 1);
}

TEST(ExchangeCancel, IsForgottenWhenTheExchangeEnds) {
  FakeKeyRig rig;
  rig.token.RequestCancel();
  rig.key->ScriptAnswer(0x00);  // answers at once: nothing to cancel
  EXPECT_EQ(Send(rig.token), 0x00);
  EXPECT_EQ(CancelsSent(*rig.key), 0);

  // The next exchange waits and is left alone.
  std::vector<Bytes> reports(3, KeepaliveReport());
  for (const Bytes& report :
       CtapHidReports(ctaphid::kMessageChannel, ctaphid::kCommandCbor, CtapAnswer(0x00))) {
    reports.push_back(report);
  }
  rig.key->ScriptReads(AsReads(reports));
  EXPECT_EQ(Send(rig.token), 0x00);
  EXPECT_EQ(CancelsSent(*rig.key), 0);
}

}  // namespace
}  // namespace pinvale::test
