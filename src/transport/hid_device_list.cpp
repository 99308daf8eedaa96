#include "transport/hid_device_list.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include <mbedtls/platform_util.h>

#include "platform/debug_log.h"
#include "transport/ctaphid.h"
#include "transport/ctaphid_channels.h"
#include "transport/maker_ids.h"

namespace pinvale {

namespace {

std::atomic<bool> accessFailure{false};

// Interfaces of the maker carry its vendor id in their path as four lower-case
// hex digits.
bool PathNamesMaker(const std::string& path) {
  char digits[5];
  std::snprintf(digits, sizeof digits, "%04x", kMakerVendorId);
  return path.find(digits) != std::string::npos;
}

bool FitsReportBuffer(const HidCaps& caps) {
  return caps.inputReportLength <= ctaphid::kReportBufferSize &&
         caps.outputReportLength <= ctaphid::kReportBufferSize;
}

void SleepMilliseconds(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Reports carry encrypted PIN material both ways, so the buffer is wiped on leaving.
struct Report {
  std::array<std::uint8_t, ctaphid::kReportBufferSize> bytes{};
  ~Report() { mbedtls_platform_zeroize(bytes.data(), bytes.size()); }
  std::uint8_t& operator[](std::size_t i) { return bytes[i]; }
  const std::uint8_t& operator[](std::size_t i) const { return bytes[i]; }
  std::uint8_t* data() { return bytes.data(); }
  void fill(std::uint8_t value) { bytes.fill(value); }
};

void PutChannel(Report& report, std::uint32_t channel) {
  report[ctaphid::kChannelOffset + 0] = static_cast<std::uint8_t>(channel >> 24);
  report[ctaphid::kChannelOffset + 1] = static_cast<std::uint8_t>(channel >> 16);
  report[ctaphid::kChannelOffset + 2] = static_cast<std::uint8_t>(channel >> 8);
  report[ctaphid::kChannelOffset + 3] = static_cast<std::uint8_t>(channel);
}

std::uint16_t LengthField(const Report& report) {
  return static_cast<std::uint16_t>((report[ctaphid::kLengthOffset] << 8) |
                                    report[ctaphid::kLengthOffset + 1]);
}

// Fixed numbers for the exchange's log lines, one per step, so that support can
// tell from a log which step failed; they stay the same from release to release.
constexpr int kLineInitWrite = 480;
constexpr int kLineMessageWrite = 551;
constexpr int kLineFirstRead = 578;
constexpr int kLineNextRead = 639;
constexpr int kLineCancelWrite = 661;

// How long the key has said nothing on our channels. Reports of other programs do
// not count: a flood of them must not keep the exchange waiting, while the key's
// keepalives on our channel keep it waiting for as long as the user takes.
class SilenceWatch {
 public:
  explicit SilenceWatch(int limitMs) : limitMs_(limitMs) { Heard(); }
  void Heard() { since_ = std::chrono::steady_clock::now(); }
  // What is left of the limit, in whole milliseconds rounded up; 0 once it has
  // passed; negative (no limit) when the limit is negative.
  int RemainingMs() const {
    if (limitMs_ < 0) return -1;
    const auto left =
        std::chrono::milliseconds(limitMs_) - (std::chrono::steady_clock::now() - since_);
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  }

 private:
  int limitMs_;
  std::chrono::steady_clock::time_point since_;
};

bool ReadAnswerReport(HidHandle& handle, std::uint8_t* report, std::uint16_t length, int timeoutMs,
                      std::size_t& received, int logLine) {
  // Each report starts from zero, so a short report never shows bytes of the
  // one before it.
  std::memset(report, 0, ctaphid::kReportBufferSize);
  received = 0;
  std::uint32_t error = 0;
  HidReadStatus status = handle.ReadReport(report, length, timeoutMs, received, error);
  if (status == HidReadStatus::kOk) return true;
  if (status == HidReadStatus::kTimeout) error = CHidDeviceList::kSilenceErrorCode;
  DebugLog("ReadFile L:%d ERR: 0x%08X", logLine, error);
  return false;
}

// Reads until a report arrives on one of our channels. Reports on other channels
// are another program's traffic and are skipped, apart from our own INIT answer,
// which may come late (when another program's report took its place) and still
// names the channel the key allocated to us.
bool ReadOwnReport(HidHandle& handle, std::uint8_t* report, std::uint16_t length,
                   ctaphid::AnswerChannels& channels, SilenceWatch& silence, int logLine) {
  for (;;) {
    const int remainingMs = silence.RemainingMs();
    if (remainingMs == 0) {
      DebugLog("ReadFile L:%d ERR: 0x%08X", logLine, CHidDeviceList::kSilenceErrorCode);
      return false;
    }
    std::size_t received = 0;
    if (!ReadAnswerReport(handle, report, length, remainingMs, received, logLine)) return false;
    if (channels.IsOurs(report, received)) {
      silence.Heard();
      return true;
    }
    channels.NoteInitAnswer(report, received);
  }
}

}  // namespace

bool HidAccessFailureFlag() {
  return accessFailure.load();
}
void SetHidAccessFailureFlag() {
  accessFailure.store(true);
}
void ClearHidAccessFailureFlag() {
  accessFailure.store(false);
}

CHidDeviceList::CHidDeviceList(std::shared_ptr<HidPlatform> platform)
    : platform_(std::move(platform)), pause_(SleepMilliseconds) {}

CHidDeviceList::~CHidDeviceList() {
  CloseAll();
}

int CHidDeviceList::Enumerate() {
  entries_.clear();
  std::vector<std::string> paths;
  if (!platform_ || !platform_->ListInterfaces(paths)) return 0;

  for (const std::string& path : paths) {
    // Only the maker's interfaces are opened: nothing is gained by opening the
    // user's keyboards and mice.
    if (!PathNamesMaker(path)) continue;
    // A key may offer a keyboard (or another HID function) beside its FIDO
    // interface. That interface cannot carry CTAPHID, and opening it could fail
    // for reasons that have nothing to do with the key: it is left alone.
    if (platform_->Kind(path) == HidInterfaceKind::kOther) continue;

    std::uint32_t error = 0;
    std::shared_ptr<HidHandle> writeHandle = platform_->Open(path, HidAccess::kWrite, error);
    std::shared_ptr<HidHandle> readHandle = platform_->Open(path, HidAccess::kRead, error);
    if (!writeHandle || !readHandle) {
      // Typically another process holds the key exclusively or the account may
      // not open it; the main window turns this into its warning.
      SetHidAccessFailureFlag();
      continue;
    }

    HidAttributes attributes;
    if (!readHandle->GetAttributes(attributes)) continue;
    if (attributes.vendorId != kMakerVendorId) continue;

    HidCaps caps;
    if (!readHandle->GetCaps(caps)) continue;
    // The framing works in a fixed report buffer; a longer report could not be
    // held whole.
    if (!FitsReportBuffer(caps)) continue;

    if (attributes.productId == kMakerSlowProductId && pause_) pause_(kSlowProductOpenPauseMs);

    HidDeviceInfo entry;
    entry.vendorId = attributes.vendorId;
    entry.productId = attributes.productId;
    entry.path = path;
    entry.readHandle = std::move(readHandle);
    entry.writeHandle = std::move(writeHandle);
    entries_.push_back(std::move(entry));
  }
  return Count();
}

int CHidDeviceList::Select(std::uint32_t vendorId, std::uint32_t productId) {
  for (const HidDeviceInfo& entry : entries_) {
    if (entry.vendorId == vendorId && entry.productId == productId) {
      selected_ = entry;
      return 1;
    }
  }
  return 0;
}

void CHidDeviceList::CloseAll() {
  entries_.clear();
  selected_ = HidDeviceInfo{};
}

namespace {

bool WriteCancel(HidHandle& writer, std::uint16_t outLength) {
  Report cancel{};
  PutChannel(cancel, ctaphid::kMessageChannel);
  cancel[ctaphid::kCommandOffset] = ctaphid::kCommandCancel;
  std::uint32_t error = 0;
  const int written = writer.WriteReport(cancel.data(), outLength, error);
  if (written < 0) DebugLog("WriteFile L:%d ERR: 0x%08X", kLineCancelWrite, error);
  return written == outLength;
}

// Clears a cancel request when the exchange ends, by whatever path.
class CancelRequestScope {
 public:
  explicit CancelRequestScope(std::atomic<bool>& flag) : flag_(flag) {}
  ~CancelRequestScope() { flag_.store(false); }
  CancelRequestScope(const CancelRequestScope&) = delete;
  CancelRequestScope& operator=(const CancelRequestScope&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

std::int32_t CHidDeviceList::Transceive(const std::uint8_t* message, std::uint32_t length,
                                        std::uint8_t* response, std::uint32_t* responseLength) {
  CancelRequestScope cancelScope(cancelRequested_);
  if (selected_.productId == 0 || !selected_.readHandle || !selected_.writeHandle) return -1;
  // Sequence numbers run from 0 to 0x7F, which bounds what one message can carry.
  if (!responseLength || (length > 0 && !message) || length > ctaphid::kMaxMessageLength) return -1;
  HidHandle& writer = *selected_.writeHandle;
  HidHandle& reader = *selected_.readHandle;
  const std::uint32_t capacity = response ? *responseLength : 0;

  writer.Flush();
  reader.Flush();

  HidCaps caps;
  if (!writer.GetCaps(caps)) return -1;
  const std::uint16_t outLength =
      std::min<std::uint16_t>(caps.outputReportLength, ctaphid::kReportBufferSize);
  const std::uint16_t inLength =
      std::min<std::uint16_t>(caps.inputReportLength, ctaphid::kReportBufferSize);

  Report report{};
  std::uint32_t error = 0;

  // A fresh INIT before every message. The maker's keys accept every message on
  // channel 1 after an INIT, so the message goes there whatever the answer says;
  // the channel the answer allocates is only learned, because a key may answer
  // on it. A failed or odd INIT does not stop the exchange; the message itself
  // will tell.
  PutChannel(report, ctaphid::kBroadcastChannel);
  report[ctaphid::kCommandOffset] = ctaphid::kCommandInit;
  report[ctaphid::kLengthOffset + 1] = ctaphid::kInitNonceLength;
  std::fill_n(report.data() + ctaphid::kInitPayloadOffset, ctaphid::kInitNonceLength,
              ctaphid::kInitNonceByte);
  if (writer.WriteReport(report.data(), outLength, error) < 0) {
    DebugLog("WriteFile L:%d ERR: 0x%08X", kLineInitWrite, error);
  }
  ctaphid::AnswerChannels channels(ctaphid::kMessageChannel);
  {
    report.fill(0);
    std::size_t received = 0;
    if (reader.ReadReport(report.data(), outLength, silenceLimitMs_, received, error) ==
        HidReadStatus::kOk) {
      channels.NoteInitAnswer(report.data(), received);
    }
  }

  // The message: one initialisation packet, then continuation packets.
  std::uint32_t sent = 0;
  for (int packet = 0; packet == 0 || sent < length; ++packet) {
    report.fill(0);
    PutChannel(report, ctaphid::kMessageChannel);
    std::size_t offset;
    std::size_t room;
    if (packet == 0) {
      report[ctaphid::kCommandOffset] = ctaphid::kCommandCbor;
      report[ctaphid::kLengthOffset] = static_cast<std::uint8_t>(length >> 8);
      report[ctaphid::kLengthOffset + 1] = static_cast<std::uint8_t>(length);
      offset = ctaphid::kInitPayloadOffset;
      room = ctaphid::kInitPayloadSize;
    } else {
      report[ctaphid::kCommandOffset] = static_cast<std::uint8_t>(packet - 1);
      offset = ctaphid::kContPayloadOffset;
      room = ctaphid::kContPayloadSize;
    }
    const std::size_t chunk = std::min<std::size_t>(length - sent, room);
    if (chunk > 0) std::memcpy(report.data() + offset, message + sent, chunk);
    sent += static_cast<std::uint32_t>(chunk);

    int written = writer.WriteReport(report.data(), outLength, error);
    if (written < 0) {
      DebugLog("WriteFile L:%d ERR: 0x%08X", kLineMessageWrite, error);
      return -1;
    }
    if (written < outLength) return -1;
  }

  // The key sends keepalives while it waits for the user, and may send empty
  // reports; both are skipped for as long as they keep coming. Only silence on
  // our channels longer than the limit ends the wait: the limit runs from the
  // last report the key sent us, not per read, so other programs' traffic can
  // neither stretch it nor hold the exchange forever.
  SilenceWatch silence(silenceLimitMs_);
  bool cancelSent = false;
  for (;;) {
    if (!ReadOwnReport(reader, report.data(), inLength, channels, silence, kLineFirstRead))
      return -1;
    const bool keepalive = report[ctaphid::kCommandOffset] == ctaphid::kCommandKeepalive;
    if (!keepalive && LengthField(report) != 0) break;
    // The key waits for the user: the moment to cancel when asked. CANCEL has no
    // answer of its own; the request it ends answers on the same channel.
    if (keepalive && !cancelSent && cancelRequested_.load()) {
      cancelSent = true;
      if (!WriteCancel(writer, outLength)) return -1;
    }
  }

  const std::uint32_t answerLength = LengthField(report);
  // An answer that does not fit is refused before a byte of it is stored.
  if (answerLength > capacity) return -1;

  std::uint32_t stored = std::min<std::uint32_t>(answerLength, ctaphid::kInitPayloadSize);
  std::memcpy(response, report.data() + ctaphid::kInitPayloadOffset, stored);
  while (stored < answerLength) {
    if (!ReadOwnReport(reader, report.data(), inLength, channels, silence, kLineNextRead))
      return -1;
    const std::uint32_t chunk =
        std::min<std::uint32_t>(answerLength - stored, ctaphid::kContPayloadSize);
    std::memcpy(response + stored, report.data() + ctaphid::kContPayloadOffset, chunk);
    stored += chunk;
  }
  *responseLength = answerLength;
  return 0;
}

}  // namespace pinvale
