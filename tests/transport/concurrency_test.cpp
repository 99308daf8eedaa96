// Exchanges on one token never overlap: the reset command on its worker thread
// and a reconnection or getInfo on the UI thread take turns.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "fake_hid.h"
#include "transport/ctaphid.h"

namespace pinvale::test {
namespace {

TEST(TokenLock, ExchangesFromTwoThreadsTakeTurns) {
  FakeKeyRig rig;
  // The key echoes each request, so every thread can tell its own answer, and
  // takes a moment over it, which leaves room for the other thread to cut in.
  rig.key->SetResponder([](const Bytes& request) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return CtapAnswer(0x00, request);
  });
  constexpr int kRounds = 40;
  std::atomic<int> wrongAnswers{0};
  std::atomic<int> ready{0};

  auto worker = [&](std::uint8_t tag, bool reconnect) {
    // Long enough to need continuation packets both ways.
    const Bytes message(100, tag);
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    for (int i = 0; i < kRounds; ++i) {
      if (reconnect) {
        rig.token.EnumerateDevices();
        rig.token.SelectDevice(kMakerVendorId, kMakerProductIds[0]);
      }
      Bytes response(kReceiveBufferSize);
      std::uint32_t length = kReceiveBufferSize;
      std::uint16_t status = rig.token.SendCborCommand(
          message.data(), static_cast<std::uint32_t>(message.size()), response.data(), &length);
      response.resize(length);
      if (status != 0x00 || response != message) ++wrongAnswers;
    }
  };
  std::thread reset(worker, 0x07, false);
  std::thread ui(worker, 0x04, true);
  reset.join();
  ui.join();

  EXPECT_EQ(wrongAnswers.load(), 0);
  // On the wire: INIT, message, INIT, message, ... never two INITs in a row.
  const auto messages = rig.key->SentCtapHidMessages();
  ASSERT_EQ(messages.size(), 4u * kRounds);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(messages[i].command, i % 2 == 0 ? ctaphid::kCommandInit : ctaphid::kCommandCbor)
        << "message " << i;
  }
}

}  // namespace
}  // namespace pinvale::test
