#pragma once

// A scripted HID key for tests. It plays the maker's key at the level of single
// reports: every report written to it is recorded, whole CTAPHID messages are
// reassembled, an INIT is answered on its own, and each further message is
// answered with what the test scripted (or what a responder computes), packet by
// packet, through the same HidPlatform interface the real backends implement.
//
//   auto platform = std::make_shared<FakeHidPlatform>();
//   auto key = platform->AddMakerKey();
//   key->ScriptAnswer(0x00, {0xA1, 0x01, 0x02});   // status, CBOR payload
//   ... run the code under test ...
//   EXPECT_EQ(key->SentMessages()[0], (Bytes{0x04}));
//
// Answers are produced when the message arrives, after the exchange's flush, so a
// scripted answer is never flushed away. Reports pushed with PushReport before an
// exchange are flushed like any queued input.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transport/fido_token.h"
#include "transport/hid_platform.h"
#include "transport/maker_ids.h"

namespace pinvale::test {

using Bytes = std::vector<std::uint8_t>;

// Error code of I/O on a fake key that has been unplugged (Windows'
// ERROR_DEVICE_NOT_CONNECTED).
constexpr std::uint32_t kFakeDeviceGoneError = 0x48F;
// Error code of a refused open (Windows' ERROR_ACCESS_DENIED).
constexpr std::uint32_t kFakeAccessDeniedError = 5;

// The 65-byte reports (report id 0 first) that carry one CTAPHID message.
std::vector<Bytes> CtapHidReports(std::uint32_t channel, std::uint8_t command,
                                  const Bytes& payload);
// One keepalive report (status 2: waiting for the user's touch).
Bytes KeepaliveReport(std::uint8_t status = 0x02, std::uint32_t channel = 1);
// A CTAP answer: status byte then payload.
Bytes CtapAnswer(std::uint8_t status, const Bytes& payload = {});

// A message as the key received it.
struct CtapHidMessage {
  std::uint32_t channel = 0;
  std::uint8_t command = 0;  // with bit 7 set, as on the wire (0x86 INIT, 0x90 CBOR)
  Bytes payload;
};

// What one read of the key returns.
struct FakeRead {
  enum class Kind { kReport, kError, kSilence };
  Kind kind = Kind::kReport;
  Bytes report;
  std::uint32_t error = 0;

  static FakeRead Report(Bytes report) { return {Kind::kReport, std::move(report), 0}; }
  static FakeRead Error(std::uint32_t error) { return {Kind::kError, {}, error}; }
  // A read that ends in silence (time-out) at once, without waiting.
  static FakeRead Silence() { return {Kind::kSilence, {}, 0}; }
};
std::vector<FakeRead> AsReads(const std::vector<Bytes>& reports);

class FakeHidDevice {
 public:
  FakeHidDevice(std::string path, std::uint16_t vendorId, std::uint16_t productId);

  const std::string& Path() const { return path_; }

  // --- configuration, before the enumeration ---
  void SetAttributes(std::uint16_t vendorId, std::uint16_t productId);
  void SetCaps(HidCaps caps);  // default 65/65
  void FailOpen(HidAccess access, std::uint32_t error = kFakeAccessDeniedError);
  void FailAttributes(bool fail = true);
  void FailCaps(bool fail = true);
  // Unplugged: not listed any more, and I/O on open handles fails with
  // kFakeDeviceGoneError.
  void SetPresent(bool present);
  // INIT is answered on its own unless turned off (the INIT read then ends in
  // silence at once).
  void SetAnswerInit(bool answer);
  // The next INIT is answered with these reads instead of its own answer (another
  // program's report in its place, an odd answer, or nothing at all).
  void ScriptInitAnswer(std::vector<FakeRead> reads);

  // --- answers, one per message after INIT, in order ---
  void ScriptAnswer(std::uint8_t status, const Bytes& payload = {});     // CBOR answer
  void ScriptCtapHidAnswer(std::uint8_t command, const Bytes& payload);  // e.g. 0xBF {0x06}
  void ScriptReads(std::vector<FakeRead> reads);  // anything: reports, errors, silences
  // Used when no scripted answer is left: gets the CTAP request (command byte +
  // CBOR) and returns the CTAP answer (status + payload), or nothing to stay silent.
  using Responder = std::function<std::optional<Bytes>(const Bytes& request)>;
  void SetResponder(Responder responder);
  // Adds a report to the input queue now (any thread); wakes a waiting read.
  void PushReport(Bytes report);

  // --- write failures, by index of the write since the device was made or
  // ClearRecords (0: INIT of the first exchange, 1: its first message packet) ---
  void FailWrite(std::size_t writeIndex, std::uint32_t error);
  void ShortWrite(std::size_t writeIndex);

  // --- what happened ---
  std::vector<Bytes> SentReports() const;                   // every report written, as written
  std::vector<CtapHidMessage> SentCtapHidMessages() const;  // reassembled, INIT included
  std::vector<Bytes> SentMessages() const;                  // the CTAP requests (CBOR messages)
  std::vector<int> ReadTimeouts() const;                    // time-out of every read
  int FlushCount() const;
  int OpenHandleCount() const;
  void ClearRecords();

 private:
  friend class FakeHidHandle;
  friend class FakeHidPlatform;

  int Write(const std::uint8_t* report, std::size_t length, std::uint32_t& error);
  HidReadStatus Read(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                     std::size_t& received, std::uint32_t& error);
  void Flush();
  void Receive(const Bytes& report);             // under mutex_
  void Dispatch(const CtapHidMessage& message);  // under mutex_

  const std::string path_;
  mutable std::mutex mutex_;
  std::condition_variable inputArrived_;
  HidAttributes attributes_;
  HidCaps caps_{65, 65};
  std::optional<std::uint32_t> openReadError_;
  std::optional<std::uint32_t> openWriteError_;
  bool failAttributes_ = false;
  bool failCaps_ = false;
  bool present_ = true;
  bool answerInit_ = true;

  std::deque<std::vector<FakeRead>> scripted_;
  std::deque<std::vector<FakeRead>> scriptedInit_;
  Responder responder_;
  std::deque<FakeRead> input_;

  std::vector<std::pair<std::size_t, std::uint32_t>> failedWrites_;
  std::vector<std::size_t> shortWrites_;
  std::size_t writeCount_ = 0;

  std::vector<Bytes> sentReports_;
  std::vector<CtapHidMessage> sentMessages_;
  std::optional<CtapHidMessage> assembling_;
  std::size_t assemblingLength_ = 0;
  std::vector<int> readTimeouts_;
  int flushCount_ = 0;
  int openHandles_ = 0;
};

class FakeHidPlatform : public HidPlatform {
 public:
  std::shared_ptr<FakeHidDevice> AddDevice(std::string path, std::uint16_t vendorId,
                                           std::uint16_t productId);
  // A key of the maker with a hidraw-style path carrying its ids.
  std::shared_ptr<FakeHidDevice> AddMakerKey(std::uint16_t productId = kMakerProductIds[0]);
  void RemoveDevice(const std::shared_ptr<FakeHidDevice>& device);
  void FailListing(bool fail = true);
  int OpenCount() const;

  bool ListInterfaces(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<FakeHidDevice>> devices_;
  bool failListing_ = false;
  int openCount_ = 0;
  int nextNode_ = 0;
};

// A token connected to one fake key of the maker: transport 1, enumerated and
// selected, with a 100 ms silence limit and no 2-second pause.
struct FakeKeyRig {
  explicit FakeKeyRig(std::uint16_t productId = kMakerProductIds[0]);
  std::shared_ptr<FakeHidPlatform> platform;
  std::shared_ptr<FakeHidDevice> key;
  CFidoToken token;
};

}  // namespace pinvale::test
