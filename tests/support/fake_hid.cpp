#include "fake_hid.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "transport/ctaphid.h"
#include "transport/hidraw_path.h"

namespace pinvale::test {

namespace {

std::uint32_t ChannelOf(const Bytes& report) {
  return static_cast<std::uint32_t>(report[1]) << 24 | static_cast<std::uint32_t>(report[2]) << 16 |
         static_cast<std::uint32_t>(report[3]) << 8 | report[4];
}

}  // namespace

std::vector<Bytes> CtapHidReports(std::uint32_t channel, std::uint8_t command,
                                  const Bytes& payload) {
  std::vector<Bytes> reports;
  std::size_t sent = 0;
  for (int packet = 0; packet == 0 || sent < payload.size(); ++packet) {
    Bytes report(ctaphid::kReportSize, 0);
    report[1] = static_cast<std::uint8_t>(channel >> 24);
    report[2] = static_cast<std::uint8_t>(channel >> 16);
    report[3] = static_cast<std::uint8_t>(channel >> 8);
    report[4] = static_cast<std::uint8_t>(channel);
    std::size_t offset = ctaphid::kContPayloadOffset;
    std::size_t room = ctaphid::kContPayloadSize;
    if (packet == 0) {
      report[5] = command;
      report[6] = static_cast<std::uint8_t>(payload.size() >> 8);
      report[7] = static_cast<std::uint8_t>(payload.size());
      offset = ctaphid::kInitPayloadOffset;
      room = ctaphid::kInitPayloadSize;
    } else {
      report[5] = static_cast<std::uint8_t>(packet - 1);
    }
    const std::size_t chunk = std::min(room, payload.size() - sent);
    std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(sent), chunk,
                report.begin() + static_cast<std::ptrdiff_t>(offset));
    sent += chunk;
    reports.push_back(std::move(report));
  }
  return reports;
}

Bytes KeepaliveReport(std::uint8_t status, std::uint32_t channel) {
  return CtapHidReports(channel, ctaphid::kCommandKeepalive, {status})[0];
}

Bytes CtapAnswer(std::uint8_t status, const Bytes& payload) {
  // Sized up front: GCC 12 at -O3 misreads an insert behind a one-byte
  // initialiser as a write past its end.
  Bytes answer(1 + payload.size());
  answer[0] = status;
  std::copy(payload.begin(), payload.end(), answer.begin() + 1);
  return answer;
}

std::vector<FakeRead> AsReads(const std::vector<Bytes>& reports) {
  std::vector<FakeRead> reads;
  for (const Bytes& r : reports) reads.push_back(FakeRead::Report(r));
  return reads;
}

// ---------------------------------------------------------------- handle

class FakeHidHandle : public HidHandle {
 public:
  FakeHidHandle(std::shared_ptr<FakeHidDevice> device, HidAccess access)
      : device_(std::move(device)), access_(access) {
    std::lock_guard<std::mutex> lock(device_->mutex_);
    ++device_->openHandles_;
  }
  ~FakeHidHandle() override {
    std::lock_guard<std::mutex> lock(device_->mutex_);
    --device_->openHandles_;
  }

  bool GetAttributes(HidAttributes& attributes) override {
    std::lock_guard<std::mutex> lock(device_->mutex_);
    if (device_->failAttributes_ || !device_->present_) return false;
    attributes = device_->attributes_;
    return true;
  }
  bool GetCaps(HidCaps& caps) override {
    std::lock_guard<std::mutex> lock(device_->mutex_);
    if (device_->failCaps_ || !device_->present_) return false;
    caps = device_->caps_;
    return true;
  }
  void Flush() override { device_->Flush(); }
  int WriteReport(const std::uint8_t* report, std::size_t length, std::uint32_t& error) override {
    if (access_ != HidAccess::kWrite) {
      error = kFakeAccessDeniedError;
      return -1;
    }
    return device_->Write(report, length, error);
  }
  HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                           std::size_t& received, std::uint32_t& error) override {
    if (access_ != HidAccess::kRead) {
      error = kFakeAccessDeniedError;
      return HidReadStatus::kError;
    }
    return device_->Read(report, capacity, timeoutMs, received, error);
  }

 private:
  std::shared_ptr<FakeHidDevice> device_;
  HidAccess access_;
};

// ---------------------------------------------------------------- device

FakeHidDevice::FakeHidDevice(std::string path, std::uint16_t vendorId, std::uint16_t productId)
    : path_(std::move(path)), attributes_{vendorId, productId} {}

void FakeHidDevice::SetAttributes(std::uint16_t vendorId, std::uint16_t productId) {
  std::lock_guard<std::mutex> lock(mutex_);
  attributes_ = {vendorId, productId};
}
void FakeHidDevice::SetCaps(HidCaps caps) {
  std::lock_guard<std::mutex> lock(mutex_);
  caps_ = caps;
}
void FakeHidDevice::FailOpen(HidAccess access, std::uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex_);
  (access == HidAccess::kRead ? openReadError_ : openWriteError_) = error;
}
void FakeHidDevice::FailAttributes(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failAttributes_ = fail;
}
void FakeHidDevice::FailCaps(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failCaps_ = fail;
}
void FakeHidDevice::SetPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = present;
  inputArrived_.notify_all();
}
void FakeHidDevice::SetAnswerInit(bool answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answerInit_ = answer;
}

void FakeHidDevice::ScriptInitAnswer(std::vector<FakeRead> reads) {
  std::lock_guard<std::mutex> lock(mutex_);
  scriptedInit_.push_back(std::move(reads));
}

void FakeHidDevice::ScriptAnswer(std::uint8_t status, const Bytes& payload) {
  ScriptCtapHidAnswer(ctaphid::kCommandCbor, CtapAnswer(status, payload));
}
void FakeHidDevice::ScriptCtapHidAnswer(std::uint8_t command, const Bytes& payload) {
  ScriptReads(AsReads(CtapHidReports(ctaphid::kMessageChannel, command, payload)));
}
void FakeHidDevice::ScriptReads(std::vector<FakeRead> reads) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripted_.push_back(std::move(reads));
}
void FakeHidDevice::SetResponder(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}
void FakeHidDevice::PushReport(Bytes report) {
  std::lock_guard<std::mutex> lock(mutex_);
  input_.push_back(FakeRead::Report(std::move(report)));
  inputArrived_.notify_all();
}

void FakeHidDevice::FailWrite(std::size_t writeIndex, std::uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex_);
  failedWrites_.emplace_back(writeIndex, error);
}
void FakeHidDevice::ShortWrite(std::size_t writeIndex) {
  std::lock_guard<std::mutex> lock(mutex_);
  shortWrites_.push_back(writeIndex);
}

std::vector<Bytes> FakeHidDevice::SentReports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sentReports_;
}
std::vector<CtapHidMessage> FakeHidDevice::SentCtapHidMessages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sentMessages_;
}
std::vector<Bytes> FakeHidDevice::SentMessages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Bytes> requests;
  for (const CtapHidMessage& m : sentMessages_) {
    if (m.command == ctaphid::kCommandCbor) requests.push_back(m.payload);
  }
  return requests;
}
std::vector<int> FakeHidDevice::ReadTimeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return readTimeouts_;
}
int FakeHidDevice::FlushCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flushCount_;
}
int FakeHidDevice::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openHandles_;
}
void FakeHidDevice::ClearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  sentReports_.clear();
  sentMessages_.clear();
  readTimeouts_.clear();
  flushCount_ = 0;
  writeCount_ = 0;
}

void FakeHidDevice::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++flushCount_;
  input_.clear();
}

int FakeHidDevice::Write(const std::uint8_t* report, std::size_t length, std::uint32_t& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t index = writeCount_++;
  if (!present_) {
    error = kFakeDeviceGoneError;
    return -1;
  }
  for (const auto& [at, code] : failedWrites_) {
    if (at == index) {
      error = code;
      return -1;
    }
  }
  if (std::find(shortWrites_.begin(), shortWrites_.end(), index) != shortWrites_.end()) {
    return length > 0 ? static_cast<int>(length) - 1 : 0;
  }
  Bytes written(report, report + length);
  sentReports_.push_back(written);
  Receive(written);
  return static_cast<int>(length);
}

void FakeHidDevice::Receive(const Bytes& report) {
  if (report.size() < ctaphid::kInitPayloadOffset) return;
  const std::uint8_t commandOrSequence = report[ctaphid::kCommandOffset];
  std::size_t offset;
  std::size_t room;
  if (commandOrSequence & 0x80) {
    assembling_ = CtapHidMessage{ChannelOf(report), commandOrSequence, {}};
    assemblingLength_ = static_cast<std::size_t>(report[6] << 8 | report[7]);
    offset = ctaphid::kInitPayloadOffset;
    room = ctaphid::kInitPayloadSize;
  } else {
    if (!assembling_) return;  // a continuation without its start: ignored
    offset = ctaphid::kContPayloadOffset;
    room = ctaphid::kContPayloadSize;
  }
  const std::size_t want = std::min(room, assemblingLength_ - assembling_->payload.size());
  const std::size_t have = std::min(want, report.size() - offset);
  assembling_->payload.insert(assembling_->payload.end(), report.begin() + offset,
                              report.begin() + offset + have);
  if (assembling_->payload.size() < assemblingLength_ && have == want) return;
  CtapHidMessage message = std::move(*assembling_);
  assembling_.reset();
  sentMessages_.push_back(message);
  Dispatch(message);
}

void FakeHidDevice::Dispatch(const CtapHidMessage& message) {
  if (message.command == ctaphid::kCommandInit && !scriptedInit_.empty()) {
    for (FakeRead& read : scriptedInit_.front()) input_.push_back(std::move(read));
    scriptedInit_.pop_front();
  } else if (message.command == ctaphid::kCommandInit) {
    if (!answerInit_) return;
    // nonce, channel 1, CTAPHID protocol 2, device version 1.0.0, capabilities
    // wink + CBOR.
    Bytes answer = message.payload;
    answer.resize(ctaphid::kInitNonceLength);
    answer.insert(answer.end(), {0x00, 0x00, 0x00, 0x01, 0x02, 0x01, 0x00, 0x00, 0x05});
    for (Bytes& r : CtapHidReports(message.channel, ctaphid::kCommandInit, answer)) {
      input_.push_back(FakeRead::Report(std::move(r)));
    }
  } else if (!scripted_.empty()) {
    for (FakeRead& read : scripted_.front()) input_.push_back(std::move(read));
    scripted_.pop_front();
  } else if (responder_ && message.command == ctaphid::kCommandCbor) {
    std::optional<Bytes> answer = responder_(message.payload);
    if (!answer) return;
    for (Bytes& r : CtapHidReports(message.channel, ctaphid::kCommandCbor, *answer)) {
      input_.push_back(FakeRead::Report(std::move(r)));
    }
  }
  inputArrived_.notify_all();
}

HidReadStatus FakeHidDevice::Read(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                                  std::size_t& received, std::uint32_t& error) {
  std::unique_lock<std::mutex> lock(mutex_);
  readTimeouts_.push_back(timeoutMs);
  received = 0;
  auto ready = [this] { return !input_.empty() || !present_; };
  if (timeoutMs < 0) {
    inputArrived_.wait(lock, ready);
  } else if (!inputArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return HidReadStatus::kTimeout;
  }
  if (!present_) {
    error = kFakeDeviceGoneError;
    return HidReadStatus::kError;
  }
  FakeRead read = std::move(input_.front());
  input_.pop_front();
  switch (read.kind) {
    case FakeRead::Kind::kError:
      error = read.error;
      return HidReadStatus::kError;
    case FakeRead::Kind::kSilence:
      return HidReadStatus::kTimeout;
    case FakeRead::Kind::kReport:
      break;
  }
  received = std::min(capacity, read.report.size());
  if (received > 0) std::memcpy(report, read.report.data(), received);
  return HidReadStatus::kOk;
}

// ---------------------------------------------------------------- platform

std::shared_ptr<FakeHidDevice> FakeHidPlatform::AddDevice(std::string path, std::uint16_t vendorId,
                                                          std::uint16_t productId) {
  auto device = std::make_shared<FakeHidDevice>(std::move(path), vendorId, productId);
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.push_back(device);
  return device;
}

std::shared_ptr<FakeHidDevice> FakeHidPlatform::AddMakerKey(std::uint16_t productId) {
  int node;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    node = nextNode_++;
  }
  return AddDevice(BuildHidrawPath(kMakerVendorId, productId, "/dev/fake" + std::to_string(node)),
                   kMakerVendorId, productId);
}

void FakeHidPlatform::RemoveDevice(const std::shared_ptr<FakeHidDevice>& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.erase(std::remove(devices_.begin(), devices_.end(), device), devices_.end());
}

void FakeHidPlatform::FailListing(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failListing_ = fail;
}

int FakeHidPlatform::OpenCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openCount_;
}

bool FakeHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  paths.clear();
  if (failListing_) return false;
  for (const auto& device : devices_) {
    std::lock_guard<std::mutex> deviceLock(device->mutex_);
    if (device->present_) paths.push_back(device->path_);
  }
  return true;
}

std::unique_ptr<HidHandle> FakeHidPlatform::Open(const std::string& path, HidAccess access,
                                                 std::uint32_t& error) {
  std::shared_ptr<FakeHidDevice> device;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++openCount_;
    for (const auto& d : devices_) {
      if (d->path_ == path) {
        device = d;
        break;
      }
    }
  }
  if (!device) {
    error = 2;
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(device->mutex_);
    const auto& failure =
        access == HidAccess::kRead ? device->openReadError_ : device->openWriteError_;
    if (failure) {
      error = *failure;
      return nullptr;
    }
    if (!device->present_) {
      error = 2;
      return nullptr;
    }
  }
  return std::make_unique<FakeHidHandle>(device, access);
}

// ---------------------------------------------------------------- rig

FakeKeyRig::FakeKeyRig(std::uint16_t productId)
    : platform(std::make_shared<FakeHidPlatform>()),
      key(platform->AddMakerKey(productId)),
      token(platform) {
  token.DeviceList().SetSilenceLimitMs(100);
  token.DeviceList().SetPauseFunction([](int) {});
  token.SetTransport(kTransportUsbHid);
  token.EnumerateDevices();
  token.SelectDevice(kMakerVendorId, productId);
}

}  // namespace pinvale::test
