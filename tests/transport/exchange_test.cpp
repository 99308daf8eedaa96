// The CTAPHID exchange, packet by packet, against the scripted fake key.

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>

#include "fake_hid.h"
#include "log_capture.h"
#include "transport/ctaphid.h"

namespace pinvale::test {
namespace {

Bytes Pattern(std::size_t length, std::uint8_t start = 1) {
  Bytes bytes(length);
  std::iota(bytes.begin(), bytes.end(), start);
  return bytes;
}

Bytes Report(std::initializer_list<std::uint8_t> head) {
  Bytes report(head);
  report.resize(ctaphid::kReportSize, 0);
  return report;
}

struct Exchange {
  std::uint16_t status;
  Bytes payload;
};

Exchange Send(CFidoToken& token, const Bytes& message, std::uint32_t capacity = 4096) {
  Bytes response(capacity, 0xEE);
  std::uint32_t length = capacity;
  std::uint16_t status = token.SendCborCommand(
      message.data(), static_cast<std::uint32_t>(message.size()), response.data(), &length);
  response.resize(std::min<std::uint32_t>(length, capacity));
  return {status, response};
}

// ------------------------------------------------------------ what goes out

TEST(ExchangeFraming, GetInfoIsFlushInitThenOnePacketOnChannelOne) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00, {0xA0});
  rig.key->ClearRecords();

  EXPECT_EQ(Send(rig.token, {0x04}).status, 0x00);

  EXPECT_EQ(rig.key->FlushCount(), 2);  // write handle, then read handle
  const auto sent = rig.key->SentReports();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], Report({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 0x08, 0x01, 0x01, 0x01, 0x01,
                             0x01, 0x01, 0x01, 0x01}));
  EXPECT_EQ(sent[1], Report({0x00, 0x00, 0x00, 0x00, 0x01, 0x90, 0x00, 0x01, 0x04}));
}

TEST(ExchangeFraming, SixtyByteMessageSplitsFiftySevenAndThree) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00);
  const Bytes message = Pattern(60);

  Send(rig.token, message);

  const auto sent = rig.key->SentReports();
  ASSERT_EQ(sent.size(), 3u);
  Bytes first = Report({0x00, 0x00, 0x00, 0x00, 0x01, 0x90, 0x00, 60});
  std::copy(message.begin(), message.begin() + 57, first.begin() + 8);
  EXPECT_EQ(sent[1], first);
  EXPECT_EQ(sent[2], Report({0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 58, 59, 60}));
  EXPECT_EQ(rig.key->SentMessages().back(), message);
}

TEST(ExchangeFraming, ContinuationSequenceNumbersCount) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00);
  const Bytes message = Pattern(57 + 59 * 2 + 1);

  Send(rig.token, message);

  const auto sent = rig.key->SentReports();
  ASSERT_EQ(sent.size(), 5u);
  for (std::uint8_t seq = 0; seq < 3; ++seq) EXPECT_EQ(sent[2 + seq][5], seq);
  EXPECT_EQ(rig.key->SentMessages().back(), message);
}

TEST(ExchangeFraming, MessageTooLongForSequenceNumbersIsRefusedBeforeAnyIo) {
  FakeKeyRig rig;
  rig.key->ClearRecords();
  EXPECT_EQ(Send(rig.token, Bytes(ctaphid::kMaxMessageLength + 1, 0x55)).status, kExchangeFailed);
  EXPECT_TRUE(rig.key->SentReports().empty());
}

// ------------------------------------------------------------ what comes back

class AnswerLength : public ::testing::TestWithParam<std::size_t> {};

// Lengths around the packet boundaries, the receive buffer's size included.
TEST_P(AnswerLength, ArrivesWholeAndReadsNoFurtherReport) {
  const std::size_t answerLength = GetParam();
  FakeKeyRig rig;
  const Bytes payload = Pattern(answerLength - 1, 7);
  auto reports =
      CtapHidReports(ctaphid::kMessageChannel, ctaphid::kCommandCbor, CtapAnswer(0x00, payload));
  const std::size_t answerReports = reports.size();
  reports.push_back(KeepaliveReport());  // must stay unread
  rig.key->ScriptReads(AsReads(reports));
  rig.key->ClearRecords();

  const Exchange result = Send(rig.token, {0x04});

  EXPECT_EQ(result.status, 0x00);
  EXPECT_EQ(result.payload, payload);
  EXPECT_EQ(rig.key->ReadTimeouts().size(), 1 + answerReports);  // INIT answer + the answer
}

INSTANTIATE_TEST_SUITE_P(PacketBoundaries, AnswerLength,
                         ::testing::Values(2, 57, 58, 116, 117, 4096));

TEST(ExchangeAnswer, OneByteAnswerLeavesResponseLengthUnchanged) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00);
  Bytes response(16, 0xEE);
  std::uint32_t length = 16;
  EXPECT_EQ(rig.token.SendCborCommand(Bytes{0x04}.data(), 1, response.data(), &length), 0x00);
  EXPECT_EQ(length, 16u);
  EXPECT_EQ(response, Bytes(16, 0xEE));
}

TEST(ExchangeAnswer, KeepalivesAndEmptyReportsBeforeTheAnswerAreSkipped) {
  FakeKeyRig rig;
  std::vector<Bytes> reports(1000, KeepaliveReport());
  reports.push_back(Report({0x00, 0x00, 0x00, 0x00, 0x01, 0x90, 0x00, 0x00}));  // length 0
  reports.push_back(Bytes{});                                                   // nothing at all
  reports.push_back(KeepaliveReport(0x01));
  for (Bytes& r : CtapHidReports(1, ctaphid::kCommandCbor, {0x00, 0xA1, 0x01, 0xF5})) {
    reports.push_back(r);
  }
  rig.key->ScriptReads(AsReads(reports));

  const Exchange result = Send(rig.token, {0x04});
  EXPECT_EQ(result.status, 0x00);
  EXPECT_EQ(result.payload, (Bytes{0xA1, 0x01, 0xF5}));
}

TEST(ExchangeAnswer, CtapHidErrorIsReturnedAsStatus) {
  FakeKeyRig rig;
  rig.key->ScriptCtapHidAnswer(ctaphid::kCommandError, {0x06});
  EXPECT_EQ(Send(rig.token, {0x04}).status, 0x06);
}

TEST(ExchangeAnswer, PayloadLargerThanCapacityReturnsThreeAndCopiesNothing) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00, Pattern(10));
  const Exchange result = Send(rig.token, {0x04}, 9);
  EXPECT_EQ(result.status, kAnswerTooLarge);
  EXPECT_EQ(result.payload, Bytes(9, 0xEE));

  rig.key->ScriptAnswer(0x00, Pattern(10));
  std::uint32_t length = 100;
  EXPECT_EQ(rig.token.SendCborCommand(Bytes{0x04}.data(), 1, nullptr, &length), kAnswerTooLarge);

  rig.key->ScriptAnswer(0x00, Pattern(10));
  EXPECT_EQ(Send(rig.token, {0x04}, 10).payload, Pattern(10));
}

TEST(ExchangeAnswer, AnswerLongerThanReceiveBufferFailsWithoutOverrun) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00, Pattern(4096));  // 4097 bytes with the status
  EXPECT_EQ(Send(rig.token, {0x04}).status, kExchangeFailed);

  // The list itself honours a small capacity: nothing beyond it is touched.
  rig.key->ScriptAnswer(0x00, Pattern(100));
  Bytes buffer(64, 0xEE);
  std::uint32_t length = 32;
  EXPECT_EQ(rig.token.DeviceList().Transceive(Bytes{0x04}.data(), 1, buffer.data(), &length), -1);
  EXPECT_EQ(length, 32u);
  EXPECT_EQ(buffer, Bytes(64, 0xEE));
}

TEST(ExchangeAnswer, UnansweredInitDoesNotStopTheExchange) {
  FakeKeyRig rig;
  rig.key->SetAnswerInit(false);
  rig.key->ScriptAnswer(0x00, {0xA0});
  EXPECT_EQ(Send(rig.token, {0x04}).status, 0x00);
}

// ------------------------------------------------------------ nothing to talk to

TEST(ExchangeWithoutKey, NoSelectionFailsWithoutTouchingHid) {
  auto platform = std::make_shared<FakeHidPlatform>();
  auto key = platform->AddMakerKey();
  CFidoToken token(platform);
  token.SetTransport(kTransportUsbHid);
  token.EnumerateDevices();  // listed, but not selected

  EXPECT_EQ(Send(token, {0x04}).status, kExchangeFailed);
  EXPECT_TRUE(key->SentReports().empty());
  EXPECT_EQ(key->FlushCount(), 0);
}

TEST(ExchangeWithoutKey, TransportTwoHasNoExchange) {
  FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00);
  rig.key->ClearRecords();
  EXPECT_EQ(rig.token.SetTransport(kTransportOther), 1);
  EXPECT_EQ(Send(rig.token, {0x04}).status, kExchangeFailed);
  EXPECT_TRUE(rig.key->SentReports().empty());

  EXPECT_EQ(rig.token.SetTransport(3), 0);  // refused: type 2 stays
  EXPECT_EQ(rig.token.EnumerateDevices(), 0);
  EXPECT_EQ(rig.token.SetTransport(kTransportUsbHid), 1);
  EXPECT_EQ(Send(rig.token, {0x04}).status, 0x00);
}

TEST(ExchangeWithoutKey, UnpluggedSelectedKeyFails) {
  FakeKeyRig rig;
  rig.key->SetPresent(false);
  EXPECT_EQ(Send(rig.token, {0x04}).status, kExchangeFailed);
  EXPECT_TRUE(rig.key->SentReports().empty());
}

// ------------------------------------------------------------ failures and their log lines

struct FailureCase {
  const char* name;
  std::function<void(FakeHidDevice&)> arrange;
  std::uint16_t status;
  std::vector<std::string> log;
};

class ExchangeFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ExchangeFailure, GivesStatusAndLogLine) {
  FakeKeyRig rig;
  rig.key->ClearRecords();
  GetParam().arrange(*rig.key);
  LogCapture log;
  EXPECT_EQ(Send(rig.token, {0x04}).status, GetParam().status);
  EXPECT_EQ(log.Lines(), GetParam().log);
}

const Bytes kLongAnswer = CtapAnswer(0x00, Pattern(80));

INSTANTIATE_TEST_SUITE_P(
    Cases, ExchangeFailure,
    ::testing::Values(
        FailureCase{"InitWriteFailsButExchangeGoesOn",
                    [](FakeHidDevice& key) {
                      key.FailWrite(0, 0x1F);
                      key.ScriptAnswer(0x00);
                    },
                    0x00,
                    {"WriteFile L:480 ERR: 0x0000001F"}},
        FailureCase{"MessageWriteFails",
                    [](FakeHidDevice& key) { key.FailWrite(1, 0x1F); },
                    kExchangeFailed,
                    {"WriteFile L:551 ERR: 0x0000001F"}},
        FailureCase{"ShortMessageWriteFailsSilently",
                    [](FakeHidDevice& key) { key.ShortWrite(1); },
                    kExchangeFailed,
                    {}},
        FailureCase{"FirstAnswerReadFails",
                    [](FakeHidDevice& key) { key.ScriptReads({FakeRead::Error(0x3E5)}); },
                    kExchangeFailed,
                    {"ReadFile L:578 ERR: 0x000003E5"}},
        FailureCase{
            "ReadFailsAfterKeepalives",
            [](FakeHidDevice& key) {
              key.ScriptReads({FakeRead::Report(KeepaliveReport()), FakeRead::Error(0x3E5)});
            },
            kExchangeFailed,
            {"ReadFile L:578 ERR: 0x000003E5"}},
        FailureCase{"ContinuationReadFails",
                    [](FakeHidDevice& key) {
                      auto reports = CtapHidReports(1, ctaphid::kCommandCbor, kLongAnswer);
                      key.ScriptReads({FakeRead::Report(reports[0]), FakeRead::Error(0x3E5)});
                    },
                    kExchangeFailed,
                    {"ReadFile L:639 ERR: 0x000003E5"}},
        FailureCase{"SilenceBeforeTheAnswer",
                    [](FakeHidDevice& key) { key.ScriptReads({FakeRead::Silence()}); },
                    kExchangeFailed,
                    {"ReadFile L:578 ERR: 0x000005B4"}},
        FailureCase{"SilenceInsideTheAnswer",
                    [](FakeHidDevice& key) {
                      auto reports = CtapHidReports(1, ctaphid::kCommandCbor, kLongAnswer);
                      key.ScriptReads({FakeRead::Report(reports[0]), FakeRead::Silence()});
                    },
                    kExchangeFailed,
                    {"ReadFile L:639 ERR: 0x000005B4"}},
        FailureCase{"CapabilitiesUnreadable",
                    [](FakeHidDevice& key) { key.FailCaps(); },
                    kExchangeFailed,
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ silence limit, in real time

TEST(ExchangeSilence, SilentKeyFailsAfterTheLimitInsteadOfHanging) {
  FakeKeyRig rig;
  rig.token.DeviceList().SetSilenceLimitMs(30);
  rig.key->ClearRecords();
  LogCapture log;

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Send(rig.token, {0x04}).status, kExchangeFailed);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ReadFile L:578 ERR: 0x000005B4"}));
  // A read waits for what is left of the limit, never longer.
  for (int timeout : rig.key->ReadTimeouts()) {
    EXPECT_GT(timeout, 0);
    EXPECT_LE(timeout, 30);
  }
}

TEST(ExchangeSilence, KeepalivesKeepTheExchangeWaitingPastTheLimit) {
  FakeKeyRig rig;
  constexpr int kLimitMs = 100;
  rig.token.DeviceList().SetSilenceLimitMs(kLimitMs);

  // The key waits for a touch: a keepalive every 10 ms for well over the limit,
  // then the answer.
  std::thread key([&] {
    while (rig.key->SentMessages().empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int i = 0; i < 30; ++i) {
      rig.key->PushReport(KeepaliveReport());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (Bytes& r : CtapHidReports(1, ctaphid::kCommandCbor, {0x00, 0xA0})) rig.key->PushReport(r);
  });
  const auto start = std::chrono::steady_clock::now();
  const Exchange result = Send(rig.token, {0x07});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  key.join();

  EXPECT_EQ(result.status, 0x00);
  EXPECT_EQ(result.payload, (Bytes{0xA0}));
  EXPECT_GT(elapsed, std::chrono::milliseconds(2 * kLimitMs));
}

}  // namespace
}  // namespace pinvale::test
