#include "vkey/virtual_key.h"

#include <algorithm>
#include <utility>

#include <mbedtls/platform_util.h>

#include "cbor/cbor_item.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/fingerprint_enrollment.h"
#include "vkey/key_state_codec.h"
#include "vkey/link_state.h"
#include "vkey/pin_crypto.h"
#include "vkey/virtual_key_internal.h"

namespace pinvale::vkey {

std::shared_ptr<VirtualKey> VirtualKey::Create(VirtualKeyConfig config) {
  return std::make_shared<VirtualKey>(std::move(config));
}

VirtualKey::VirtualKey(VirtualKeyConfig config)
    : config_(std::move(config)),
      random_(std::make_unique<RandomSource>()),
      ctap_(std::make_unique<CtapAuthenticator>(config_, *random_)) {
  // The authenticator keeps only the hash of the first PIN.
  mbedtls_platform_zeroize(config_.initialPin.data(), config_.initialPin.size());
  config_.initialPin.clear();
  config_.initialState.reset();
  {
    std::lock_guard<std::mutex> lock(mu_);
    PowerUpLocked();
    // A fresh key is kept at once, so its state file exists from the start.
    PersistStateLocked();
  }
  if (config_.timerThread) timer_ = std::thread([this] { TimerLoop(); });
}

VirtualKey::~VirtualKey() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
    PullOutLocked();
  }
  timerCv_.notify_all();
  if (timer_.joinable()) timer_.join();
}

std::unique_ptr<VirtualKeyLink> VirtualKey::Connect() {
  std::lock_guard<std::mutex> lock(mu_);
  if (!plugged_) return nullptr;
  auto state = std::make_shared<LinkState>();
  links_.push_back(state);
  return std::make_unique<VirtualKeyLink>(shared_from_this(), std::move(state));
}

void VirtualKey::Unplug() {
  bool was = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    was = plugged_;
    PullOutLocked();
  }
  if (was) NotifyPlug(false);
}

void VirtualKey::Plug() {
  bool was = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    was = plugged_;
    PullOutLocked();
    PowerUpLocked();
  }
  timerCv_.notify_all();
  if (was) NotifyPlug(false);
  NotifyPlug(true);
}

void VirtualKey::SetPlugListener(PlugListener listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  plugListener_ = std::move(listener);
}

void VirtualKey::NotifyPlug(bool plugged) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  if (plugListener_) plugListener_(plugged);
}

bool VirtualKey::IsPlugged() const {
  std::lock_guard<std::mutex> lock(mu_);
  return plugged_;
}

void VirtualKey::PowerUpLocked() {
  plugged_ = true;
  powerUpAt_ = Clock::now();
  packetsSincePowerUp_ = 0;
  ctap_->PowerUp();
  ++counters_.powerCycles;
}

void VirtualKey::PersistStateLocked() {
  if (!config_.stateListener) return;
  const StateBytes bytes = EncodeKeyState(ctap_->State(), config_.profile);
  // The encoding ends with a SHA-256 of all the rest: the same checksum, the same state.
  StateChecksum checksum{};
  std::copy(bytes.end() - static_cast<std::ptrdiff_t>(checksum.size()), bytes.end(),
            checksum.begin());
  if (lastStateChecksum_ && *lastStateChecksum_ == checksum) return;
  config_.stateListener(bytes.data(), bytes.size());
  lastStateChecksum_ = checksum;
}

void VirtualKey::PullOutLocked() {
  plugged_ = false;
  DropPendingLocked();
  lockLink_.reset();
  for (auto& link : links_) CloseLinkLocked(*link);
  links_.clear();
}

void VirtualKey::CloseLinkLocked(LinkState& link) {
  link.open = false;
  link.assembling = false;
  link.data.clear();
  link.outgoing.clear();
  link.outgoingCv.notify_all();
}

void VirtualKey::Touch() {
  std::lock_guard<std::mutex> lock(mu_);
  // A key set up never to be touched ignores the touch too.
  if (pending_ && pending_->needsTouch && config_.touchMode != TouchMode::kNever) {
    FinishTouchLocked(true);
  }
}

void VirtualKey::Sensor(const SensorInput& input) {
  std::lock_guard<std::mutex> lock(mu_);
  if (pending_ && pending_->needsFinger) {
    FinishUserWaitLocked(input);
  } else {
    sensorQueue_.push_back(input);
  }
}

bool VirtualKey::StorePasskey(const StoredCredential& credential) {
  std::lock_guard<std::mutex> lock(mu_);
  const bool stored = ctap_->StorePasskey(credential);
  PersistStateLocked();
  return stored;
}

void VirtualKey::AutomaticTouchLocked() {
  const FingerprintEnrollment* enrollment = ctap_->Enrollment();
  if (config_.automaticBadFirstSample != 0 && pending_->needsFinger && enrollment &&
      enrollment->capturing && enrollment->templateId != badSampleTemplate_) {
    badSampleTemplate_ = enrollment->templateId;
    FinishUserWaitLocked({UserAction::kBadSample, config_.automaticBadFirstSample});
    return;
  }
  FinishTouchLocked(true);
}

VirtualKeyStatus VirtualKey::Status() const {
  std::lock_guard<std::mutex> lock(mu_);
  VirtualKeyStatus status;
  status.plugged = plugged_;
  status.pinSet = ctap_->PinSet();
  status.retries = ctap_->Retries();
  status.consecutiveFailures = ctap_->ConsecutiveFailures();
  status.forcePinChange = ctap_->ForcePinChange();
  status.waitingForTouch = pending_ != nullptr && pending_->needsTouch;
  status.waitingForFinger = pending_ != nullptr && pending_->needsFinger;
  status.passkeys = ctap_->State().credentials.size();
  status.fingerprints = ctap_->State().fingerprints.size();
  return status;
}

VirtualKeyCounters VirtualKey::Counters() const {
  std::lock_guard<std::mutex> lock(mu_);
  return counters_;
}

std::vector<CtapRequestRecord> VirtualKey::RecentRequests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return {requestLog_.begin(), requestLog_.end()};
}

void VirtualKey::ClearRecentRequests() {
  std::lock_guard<std::mutex> lock(mu_);
  requestLog_.clear();
}

void VirtualKey::LogRequestLocked(const std::vector<std::uint8_t>& payload) {
  CtapRequestRecord record;
  record.command = payload.empty() ? 0 : payload[0];
  if (payload.size() > 1) record.cbor.assign(payload.begin() + 1, payload.end());
  if (record.command == kCtapClientPin) {
    record.subCommand = ClientPinSubCommand(record.cbor.data(), record.cbor.size());
  } else if (record.command == 0x0A || record.command == 0x41) {
    std::uint32_t subCommand = 0;
    if (CborItem(record.cbor.data(), static_cast<std::uint32_t>(record.cbor.size()))
            .mapValueByInt(1)
            .getUnsigned(subCommand)) {
      record.subCommand = static_cast<int>(subCommand);
    }
  }
  requestLog_.push_back(std::move(record));
  while (requestLog_.size() > kRequestLogSize) requestLog_.pop_front();
}

// ---- links ----

bool VirtualKey::ReceiveFrom(const std::shared_ptr<LinkState>& link, const std::uint8_t* packet) {
  bool pulledOut = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!link->open) return false;
    HandlePacketLocked(link, packet);
    pulledOut = std::exchange(pulledOutByFault_, false);
  }
  timerCv_.notify_all();
  if (pulledOut) NotifyPlug(false);
  // A packet that pulled the key out never made it.
  return !pulledOut;
}

WaitResult VirtualKey::WaitFor(const std::shared_ptr<LinkState>& link, std::uint8_t* packet,
                               int timeoutMs) {
  std::unique_lock<std::mutex> lock(mu_);
  auto ready = [&] { return !link->open || !link->outgoing.empty(); };
  if (timeoutMs == 0) {
    // A poll answers from the queue: a wait of no time still costs a futex call and a
    // trip through the scheduler, and a host draining its reports polls after every packet.
    if (!ready()) return WaitResult::kTimeout;
  } else if (timeoutMs < 0) {
    link->outgoingCv.wait(lock, ready);
  } else if (!link->outgoingCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return WaitResult::kTimeout;
  }
  if (link->outgoing.empty()) return WaitResult::kClosed;
  std::copy(link->outgoing.front().begin(), link->outgoing.front().end(), packet);
  link->outgoing.pop_front();
  return WaitResult::kPacket;
}

void VirtualKey::DrainLink(const std::shared_ptr<LinkState>& link) {
  std::lock_guard<std::mutex> lock(mu_);
  link->outgoing.clear();
}

bool VirtualKey::LinkOpen(const std::shared_ptr<LinkState>& link) const {
  std::lock_guard<std::mutex> lock(mu_);
  return link->open;
}

void VirtualKey::CloseLink(const std::shared_ptr<LinkState>& link) {
  std::lock_guard<std::mutex> lock(mu_);
  if (pending_ && pending_->link == link) DropPendingLocked();
  if (lockLink_ == link) lockLink_.reset();
  CloseLinkLocked(*link);
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

VirtualKeyLink::VirtualKeyLink(std::shared_ptr<VirtualKey> key, std::shared_ptr<LinkState> state)
    : key_(std::move(key)), state_(std::move(state)) {}

VirtualKeyLink::~VirtualKeyLink() {
  Close();
}

bool VirtualKeyLink::ReceivePacket(const std::uint8_t packet[kPacketSize]) {
  return key_->ReceiveFrom(state_, packet);
}

WaitResult VirtualKeyLink::WaitPacket(std::uint8_t packet[kPacketSize], int timeoutMs) {
  return key_->WaitFor(state_, packet, timeoutMs);
}

void VirtualKeyLink::Drain() {
  key_->DrainLink(state_);
}
bool VirtualKeyLink::IsOpen() const {
  return key_->LinkOpen(state_);
}
void VirtualKeyLink::Close() {
  key_->CloseLink(state_);
}

// ---- timers ----

void VirtualKey::RunDueTimers() {
  std::lock_guard<std::mutex> lock(mu_);
  RunTimersLocked(Clock::now());
}

void VirtualKey::TimerLoop() {
  std::unique_lock<std::mutex> lock(mu_);
  while (!stopping_) {
    Clock::time_point next = NextDeadlineLocked();
    if (next == Clock::time_point::max()) {
      timerCv_.wait(lock);
    } else {
      timerCv_.wait_until(lock, next);
    }
    if (stopping_) break;
    RunTimersLocked(Clock::now());
  }
}

std::chrono::steady_clock::time_point VirtualKey::NextDeadlineLocked() const {
  Clock::time_point next = Clock::time_point::max();
  for (const auto& link : links_) {
    if (link->assembling) {
      next =
          std::min(next, link->lastPacketAt + std::chrono::milliseconds(config_.messageTimeoutMs));
    }
  }
  if (pending_) {
    next = std::min({next, pending_->nextKeepalive, pending_->deadline});
    if (pending_->autoTouchAt) next = std::min(next, *pending_->autoTouchAt);
  }
  return next;
}

void VirtualKey::RunTimersLocked(Clock::time_point now) {
  const auto messageTimeout = std::chrono::milliseconds(config_.messageTimeoutMs);
  for (const auto& link : links_) {
    if (link->assembling && now >= link->lastPacketAt + messageTimeout) {
      link->assembling = false;
      link->data.clear();
      SendErrorLocked(*link, link->cid, kErrMsgTimeout);
    }
  }
  if (!pending_) return;
  if (!pending_->needsTouch) {
    if (now >= pending_->deadline) {
      std::unique_ptr<PendingRequest> done = std::move(pending_);
      SendMessageLocked(*done->link, done->cid, kCmdCbor, done->answer, done->command,
                        done->subCommand);
    } else if (now >= pending_->nextKeepalive) {
      SendKeepaliveLocked(*pending_->link, pending_->cid, kKeepaliveProcessing);
      pending_->nextKeepalive = now + std::chrono::milliseconds(config_.keepaliveIntervalMs);
    }
    return;
  }
  if (pending_->autoTouchAt && now >= *pending_->autoTouchAt) {
    AutomaticTouchLocked();
  } else if (now >= pending_->deadline) {
    FinishTouchLocked(false);
  } else if (now >= pending_->nextKeepalive) {
    SendKeepaliveLocked(*pending_->link, pending_->cid, kKeepaliveUpNeeded);
    pending_->nextKeepalive = now + std::chrono::milliseconds(config_.keepaliveIntervalMs);
  }
}

}  // namespace pinvale::vkey
