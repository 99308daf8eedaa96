// The exchange while another program talks to the same key: every reader of the
// node sees the other program's reports too, on the other program's channels.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include "fake_hid.h"
#include "log_capture.h"
#include "transport/ctaphid.h"

namespace pinvale::test {
namespace {

constexpr std::uint32_t kOtherChannel = 0x5EEDCAFE;
constexpr std::uint32_t kAllocatedChannel = 0x00000007;

// An INIT answer on the broadcast channel: `nonce` repeated, then the channel.
Bytes InitAnswer(std::uint8_t nonce, std::uint32_t channel) {
  Bytes payload(ctaphid::kInitNonceLength, nonce);
  for (int shift = 24; shift >= 0; shift -= 8)
    payload.push_back(static_cast<std::uint8_t>(channel >> shift));
  payload.insert(payload.end(), {0x02, 0x01, 0x00, 0x00, 0x05});
  return CtapHidReports(ctaphid::kBroadcastChannel, ctaphid::kCommandInit, payload)[0];
}
Bytes OurInitAnswer() {
  return InitAnswer(ctaphid::kInitNonceByte, kAllocatedChannel);
}
// Another program's successful answer: it looked like ours before channels were
// checked, and a key with a PIN came out blank.
Bytes StraySuccess(std::uint32_t channel = kOtherChannel) {
  return CtapHidReports(channel, ctaphid::kCommandCbor, {0x00})[0];
}
Bytes StrayContinuation(std::uint8_t sequence) {
  Bytes report = CtapHidReports(kOtherChannel, ctaphid::kCommandCbor, Bytes(80, 0xEE))[1];
  report[ctaphid::kCommandOffset] = sequence;
  return report;
}

// The getInfo answer of a key with a PIN, long enough for two continuation packets.
Bytes AnswerWithPin() {
  Bytes answer(150);
  std::iota(answer.begin(), answer.end(), 0);
  answer[0] = 0x00;
  return answer;
}

std::uint16_t Send(CFidoToken& token, const Bytes& message) {
  Bytes response(4096);
  std::uint32_t length = 4096;
  return token.SendCborCommand(message.data(), static_cast<std::uint32_t>(message.size()),
                               response.data(), &length);
}

struct StrayCase {
  const char* name;
  std::vector<Bytes> initReads;  // what answers the INIT; empty: its own answer
  // The reads after the message, with the answer's packets (on `answerChannel`)
  // put in where an element is empty.
  std::vector<Bytes> reads;
  std::uint32_t answerChannel = ctaphid::kMessageChannel;
};

class StrayTraffic : public ::testing::TestWithParam<StrayCase> {};

TEST_P(StrayTraffic, IsSkippedAndTheMessageGoesOutAsAlways) {
  const StrayCase& c = GetParam();
  FakeKeyRig rig;
  if (!c.initReads.empty()) rig.key->ScriptInitAnswer(AsReads(c.initReads));
  std::vector<Bytes> answer =
      CtapHidReports(c.answerChannel, ctaphid::kCommandCbor, AnswerWithPin());
  std::vector<Bytes> reads;
  std::size_t next = 0;
  for (const Bytes& r : c.reads) reads.push_back(r.empty() ? answer.at(next++) : r);
  ASSERT_EQ(next, answer.size());
  rig.key->ScriptReads(AsReads(reads));
  rig.key->ClearRecords();
  LogCapture log;

  Bytes response(4096, 0xEE);
  std::uint32_t length = 4096;
  ASSERT_EQ(rig.token.SendCborCommand(Bytes{0x04}.data(), 1, response.data(), &length), 0x00);
  response.resize(length);
  const Bytes expected = AnswerWithPin();
  EXPECT_EQ(response, Bytes(expected.begin() + 1, expected.end()));
  EXPECT_TRUE(log.Lines().empty());

  // The key sees the same traffic as without the strays: INIT, then the message.
  const auto sent = rig.key->SentReports();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Bytes(sent[0].begin(), sent[0].begin() + 16),
            (Bytes{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 0x08, 1, 1, 1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(Bytes(sent[1].begin(), sent[1].begin() + 9),
            (Bytes{0x00, 0x00, 0x00, 0x00, 0x01, 0x90, 0x00, 0x01, 0x04}));
}

const Bytes kOurs{};  // marks where the answer's next packet goes

INSTANTIATE_TEST_SUITE_P(
    Cases, StrayTraffic,
    ::testing::Values(
        StrayCase{"SuccessOnAnotherChannelBeforeTheAnswer",
                  {},
                  {StraySuccess(), StraySuccess(0x00000002), kOurs, kOurs, kOurs}},
        StrayCase{"ErrorAndKeepaliveOnAnotherChannel",
                  {},
                  {CtapHidReports(kOtherChannel, ctaphid::kCommandError, {0x06})[0],
                   KeepaliveReport(0x02, kOtherChannel), kOurs, kOurs, kOurs}},
        StrayCase{
            "ContinuationsOnAnotherChannelInsideTheAnswer",
            {},
            {kOurs, StrayContinuation(0), StraySuccess(), kOurs, StrayContinuation(1), kOurs}},
        StrayCase{"StrayInPlaceOfTheInitAnswerWhichComesLate",
                  {StraySuccess()},
                  {OurInitAnswer(), StraySuccess(), kOurs, kOurs, kOurs}},
        StrayCase{"AnswerOnTheChannelTheInitAnswerAllocated",
                  {OurInitAnswer()},
                  {StraySuccess(), kOurs, StrayContinuation(0), kOurs, kOurs},
                  kAllocatedChannel},
        StrayCase{"AnswerOnTheAllocatedChannelAfterALateInitAnswer",
                  {StraySuccess()},
                  {OurInitAnswer(), kOurs, kOurs, kOurs},
                  kAllocatedChannel},
        // Another program's INIT answer names its channel, not ours: what comes
        // on that channel stays another program's.
        StrayCase{"AnotherProgramsInitAnswerAllocatesNothingForUs",
                  {InitAnswer(0x5A, kOtherChannel)},
                  {InitAnswer(0x33, 0x00000002), StraySuccess(), StraySuccess(0x00000002), kOurs,
                   kOurs, kOurs}},
        // Odd INIT answers are not examined more strictly than the key needs.
        StrayCase{"OddInitAnswerOnChannelOne",
                  {CtapHidReports(ctaphid::kMessageChannel, ctaphid::kCommandInit, {0x01})[0]},
                  {kOurs, kOurs, kOurs}},
        StrayCase{"InitAnswerAllocatingTheBroadcastChannel",
                  {InitAnswer(ctaphid::kInitNonceByte, ctaphid::kBroadcastChannel)},
                  {InitAnswer(0x5A, kOtherChannel), kOurs, kOurs, kOurs}},
        StrayCase{"ShortInitAnswer", {Bytes{0x00, 0xFF, 0xFF, 0xFF}}, {kOurs, kOurs, kOurs}}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ a flood, in real time

// Pushes another program's reports onto the key's input about every millisecond
// until stopped, and a keepalive on our channel every `keepaliveEvery` reports (0:
// none).
class Flood {
 public:
  Flood(FakeHidDevice& key, int keepaliveEvery) {
    thread_ = std::thread([this, &key, keepaliveEvery] {
      while (key.SentMessages().empty() && !stop_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      for (int i = 1; !stop_; ++i) {
        key.PushReport(StraySuccess());
        if (keepaliveEvery > 0 && i % keepaliveEvery == 0) key.PushReport(KeepaliveReport());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  ~Flood() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(ExchangeFlood, OtherTrafficDoesNotKeepASilentKeyWaiting) {
  constexpr int kLimitMs = 100;
  struct Where {
    std::vector<FakeRead> script;
    const char* log;
  };
  const auto answer = CtapHidReports(1, ctaphid::kCommandCbor, AnswerWithPin());
  // The key falls silent before its answer, and in the middle of it.
  for (const Where& where :
       {Where{{}, "ReadFile L:578 ERR: 0x000005B4"},
        Where{{FakeRead::Report(answer[0])}, "ReadFile L:639 ERR: 0x000005B4"}}) {
    FakeKeyRig rig;
    rig.token.DeviceList().SetSilenceLimitMs(kLimitMs);
    rig.key->ScriptReads(where.script);
    LogCapture log;
    Flood flood(*rig.key, 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Send(rig.token, {0x04}), kExchangeFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{where.log});
  }
}

TEST(ExchangeFlood, KeepalivesAmongOtherTrafficKeepTheWaitAlive) {
  // Roomy against a loaded machine: a keepalive comes every ten strays.
  constexpr int kLimitMs = 300;
  FakeKeyRig rig;
  rig.token.DeviceList().SetSilenceLimitMs(kLimitMs);
  rig.key->ScriptReads({});  // the answer comes only after a "touch"
  Flood flood(*rig.key, 10);

  std::thread touch([&] {
    while (rig.key->SentMessages().empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * kLimitMs));
    for (Bytes& r : CtapHidReports(1, ctaphid::kCommandCbor, AnswerWithPin()))
      rig.key->PushReport(r);
  });
  const auto start = std::chrono::steady_clock::now();
  const std::uint16_t status = Send(rig.token, {0x07});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  touch.join();

  EXPECT_EQ(status, 0x00);
  EXPECT_GT(elapsed, std::chrono::milliseconds(2 * kLimitMs));
}

}  // namespace
}  // namespace pinvale::test
