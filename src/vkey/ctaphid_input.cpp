// How the virtual key takes CTAPHID packets apart: channels, message assembly,
// framing errors and the dispatch of complete messages.

#include <algorithm>
#include <cstring>

#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/virtual_key_internal.h"

namespace pinvale::vkey {

bool VirtualKey::ChannelKnownLocked(const LinkState& link, std::uint32_t cid) const {
  if (cid == kMakerChannel) return link.initSeen;
  return std::find(link.channels.begin(), link.channels.end(), cid) != link.channels.end();
}

void VirtualKey::HandlePacketLocked(const std::shared_ptr<LinkState>& link,
                                    const std::uint8_t* packet) {
  ++counters_.reportsReceived;
  ++packetsSincePowerUp_;
  if (const VirtualKeyFault* pullOut = FindFault(FaultKind::kPullOut, -1, -1);
      pullOut != nullptr && packetsSincePowerUp_ >= pullOut->count) {
    PullOutLocked();
    pulledOutByFault_ = true;
    return;
  }
  const std::uint32_t cid = ReadChannel(packet);
  if (packet[4] & kInitBit) {
    HandleInitPacketLocked(link, cid, packet);
  } else {
    HandleContPacketLocked(link, cid, packet);
  }
}

void VirtualKey::HandleInitPacketLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                        const std::uint8_t* packet) {
  const std::uint8_t cmd = packet[4] & 0x7F;
  const std::size_t length = static_cast<std::size_t>(packet[5]) << 8 | packet[6];

  if (cid == 0 || (cid == kBroadcastChannel && cmd != kCmdInit) ||
      (cid != kBroadcastChannel && !ChannelKnownLocked(*link, cid))) {
    SendErrorLocked(*link, cid, kErrInvalidChannel);
    return;
  }
  if (link->assembling) {
    if (link->cid == cid) {
      // A new message on the channel that is mid-message: INIT resynchronises it,
      // anything else breaks the sequence.
      link->assembling = false;
      link->data.clear();
      if (cmd != kCmdInit) {
        SendErrorLocked(*link, cid, kErrInvalidSeq);
        return;
      }
    } else if (cmd != kCmdInit) {
      SendErrorLocked(*link, cid, kErrChannelBusy);
      return;
    }
  }
  if (length > kMaxMessageSize || (cmd == kCmdInit && length != 8)) {
    SendErrorLocked(*link, cid, kErrInvalidLen);
    return;
  }
  if (length <= kInitPayload) {
    DispatchLocked(link, cid, cmd, std::vector<std::uint8_t>(packet + 7, packet + 7 + length));
    return;
  }
  link->assembling = true;
  link->cid = cid;
  link->cmd = cmd;
  link->expected = length;
  link->nextSeq = 0;
  link->data.assign(packet + 7, packet + kPacketSize);
  link->lastPacketAt = Clock::now();
}

void VirtualKey::HandleContPacketLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                        const std::uint8_t* packet) {
  // A continuation with no message begun on its channel has nothing to continue.
  if (!link->assembling || link->cid != cid) return;
  if (packet[4] != link->nextSeq) {
    link->assembling = false;
    link->data.clear();
    SendErrorLocked(*link, cid, kErrInvalidSeq);
    return;
  }
  const std::size_t take = std::min(kContPayload, link->expected - link->data.size());
  link->data.insert(link->data.end(), packet + 5, packet + 5 + take);
  ++link->nextSeq;
  link->lastPacketAt = Clock::now();
  if (link->data.size() < link->expected) return;
  link->assembling = false;
  DispatchLocked(link, cid, link->cmd, std::move(link->data));
  link->data.clear();
}

void VirtualKey::DispatchLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                std::uint8_t cmd, std::vector<std::uint8_t> payload) {
  ++counters_.messagesReceived;
  if (cmd == kCmdInit) {
    HandleInitCommandLocked(link, cid, payload);
    return;
  }
  if (cmd == kCmdCancel) {
    HandleCancelLocked(link, cid);
    return;
  }
  // While a request waits for the user, or another channel holds the lock, the key
  // takes nothing else.
  if (pending_ || LockedOutLocked(link, cid)) {
    SendErrorLocked(*link, cid, kErrChannelBusy);
    return;
  }
  switch (cmd) {
    case kCmdLock:
      HandleLockLocked(link, cid, payload);
      break;
    case kCmdPing:
      SendMessageLocked(*link, cid, kCmdPing, payload, -1, -1);
      break;
    case kCmdCbor:
      HandleCborLocked(link, cid, std::move(payload));
      break;
    default:  // MSG (no U2F here), WINK, and anything unknown
      SendErrorLocked(*link, cid, kErrInvalidCmd);
      break;
  }
}

void VirtualKey::HandleInitCommandLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                         const std::vector<std::uint8_t>& payload) {
  link->initSeen = true;
  std::uint32_t assigned = cid;
  if (cid == kBroadcastChannel) {
    while (nextChannel_ == 0 || nextChannel_ == kMakerChannel ||
           nextChannel_ == kBroadcastChannel) {
      ++nextChannel_;
    }
    assigned = nextChannel_++;
    link->channels.push_back(assigned);
  } else if (pending_ && pending_->link == link && pending_->cid == cid) {
    // Resynchronising a channel abandons what it was waiting for.
    DropPendingLocked();
  }
  std::vector<std::uint8_t> answer(payload.begin(), payload.begin() + 8);
  answer.resize(17);
  WriteChannel(answer.data() + 8, assigned);
  answer[12] = kProtocolVersion;
  std::memcpy(answer.data() + 13, kDeviceVersion, 3);
  answer[16] = kCapabilityCbor | kCapabilityNmsg;
  SendMessageLocked(*link, cid, kCmdInit, answer, -1, -1);
}

void VirtualKey::HandleCancelLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid) {
  // CANCEL has no answer of its own; the request it cancels answers 0x2D. Only a
  // wait for the user can be cancelled; a request being processed still answers.
  if (!pending_ || !pending_->needsTouch || pending_->link != link || pending_->cid != cid) {
    return;
  }
  const int command = pending_->command;
  DropPendingLocked();
  SendMessageLocked(*link, cid, kCmdCbor, {kStatusKeepaliveCancel}, command, -1);
}

bool VirtualKey::LockedOutLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid) const {
  if (!lockLink_ || Clock::now() >= lockUntil_) return false;
  return lockLink_ != link || lockCid_ != cid;
}

// LOCK keeps the key for one channel for up to 10 seconds; 0 seconds releases it.
void VirtualKey::HandleLockLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                  const std::vector<std::uint8_t>& payload) {
  if (payload.size() != 1) {
    SendErrorLocked(*link, cid, kErrInvalidLen);
    return;
  }
  if (payload[0] > 10) {
    SendErrorLocked(*link, cid, kErrInvalidPar);
    return;
  }
  if (payload[0] == 0) {
    lockLink_.reset();
  } else {
    lockLink_ = link;
    lockCid_ = cid;
    lockUntil_ = Clock::now() + std::chrono::seconds(payload[0]);
  }
  SendMessageLocked(*link, cid, kCmdLock, {}, -1, -1);
}

void VirtualKey::HandleCborLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                  std::vector<std::uint8_t> payload) {
  if (payload.empty()) {
    SendErrorLocked(*link, cid, kErrInvalidLen);
    return;
  }
  ++counters_.cborRequests;
  LogRequestLocked(payload);
  const int command = payload[0];
  const int subCommand = requestLog_.back().subCommand;

  std::vector<std::uint8_t> answer;
  const VirtualKeyFault* forced = FindFault(FaultKind::kForcedStatus, command, subCommand);
  if (forced && forced->count != 0 && forcedAnswers_ >= forced->count) forced = nullptr;
  if (forced) {
    if (forced->count != 0) ++forcedAnswers_;
    answer.push_back(forced->status);
  } else if (payload.size() > config_.maxMsgSize) {
    answer.push_back(kStatusRequestTooLarge);
  } else if (command == kCtapReset) {
    StartResetLocked(link, cid);
    return;
  } else {
    CtapReply reply;
    const bool pinSetBefore = ctap_->PinSet();
    ctap_->Handle(payload.data(), payload.size(), reply);
    if (!pinSetBefore && ctap_->PinSet() && ctap_->State().credentials.empty()) {
      for (const auto& example : config_.passkeysWithNewPin) {
        if (example) ctap_->StorePasskey(*example);
      }
    }
    if (reply.wait != UserWait::kNone) {
      WaitForUserLocked(link, cid, command, subCommand, reply);
      return;
    }
    PersistStateLocked();
    answer = std::move(reply.answer);
  }
  AnswerCborLocked(link, cid, std::move(answer), command, subCommand);
}

void VirtualKey::AnswerCborLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                  std::vector<std::uint8_t> answer, int command, int subCommand) {
  if (config_.processingDelayMs <= 0) {
    SendMessageLocked(*link, cid, kCmdCbor, answer, command, subCommand);
    return;
  }
  // The state has changed already; only the answer waits, as on a key that is
  // pulled out just before it could reply.
  const Clock::time_point now = Clock::now();
  pending_ = std::make_unique<PendingRequest>();
  pending_->link = link;
  pending_->cid = cid;
  pending_->deadline = now + std::chrono::milliseconds(config_.processingDelayMs);
  pending_->answer = std::move(answer);
  pending_->command = command;
  pending_->subCommand = subCommand;
  SendKeepaliveLocked(*link, cid, kKeepaliveProcessing);
  pending_->nextKeepalive = now + std::chrono::milliseconds(config_.keepaliveIntervalMs);
}

void VirtualKey::StartResetLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid) {
  if (Clock::now() - powerUpAt_ > std::chrono::milliseconds(config_.resetWindowMs)) {
    SendMessageLocked(*link, cid, kCmdCbor, {kStatusNotAllowed}, kCtapReset, -1);
    return;
  }
  WaitForTouchLocked(link, cid, kCtapReset, kStatusOk, kStatusUserActionTimeout);
}

// The answer waits for the user's touch, with keepalives meanwhile; a slow key's
// processing delay does not add to it.
void VirtualKey::WaitForTouchLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                    int command, std::uint8_t touchedStatus,
                                    std::uint8_t timeoutStatus) {
  pending_ = std::make_unique<PendingRequest>();
  pending_->touchedStatus = touchedStatus;
  pending_->timeoutStatus = timeoutStatus;
  StartUserWaitLocked(link, cid, command, config_.userPresenceTimeoutMs);
}

// The authenticator's request waits for a touch or the sensor; what the user did goes
// back to it, and its answer to the host.
void VirtualKey::WaitForUserLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                   int command, int subCommand, const CtapReply& reply) {
  pending_ = std::make_unique<PendingRequest>();
  pending_->byAuthenticator = true;
  pending_->needsFinger = reply.wait == UserWait::kFinger;
  pending_->subCommand = subCommand;
  const int timeoutMs = reply.timeoutMs > 0 ? reply.timeoutMs : config_.userPresenceTimeoutMs;
  if (pending_->needsFinger && !sensorQueue_.empty()) {
    pending_->link = link;
    pending_->cid = cid;
    pending_->command = command;
    const SensorInput input = sensorQueue_.front();
    sensorQueue_.pop_front();
    FinishUserWaitLocked(input);
    return;
  }
  StartUserWaitLocked(link, cid, command, timeoutMs);
}

// Fills in the pending request the caller made and starts the
// wait: the time-out, the automatic touch and the keepalives.
void VirtualKey::StartUserWaitLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                                     int command, int timeoutMs) {
  const Clock::time_point now = Clock::now();
  pending_->link = link;
  pending_->cid = cid;
  pending_->needsTouch = true;
  pending_->command = command;
  pending_->deadline = now + std::chrono::milliseconds(timeoutMs);
  if (config_.touchMode == TouchMode::kAutomatic) {
    if (config_.touchDelayMs <= 0) {
      AutomaticTouchLocked();
      return;
    }
    pending_->autoTouchAt = now + std::chrono::milliseconds(config_.touchDelayMs);
  }
  SendKeepaliveLocked(*link, cid, kKeepaliveUpNeeded);
  pending_->nextKeepalive = now + std::chrono::milliseconds(config_.keepaliveIntervalMs);
}

void VirtualKey::FinishTouchLocked(bool touched) {
  if (pending_->byAuthenticator) {
    FinishUserWaitLocked({touched ? UserAction::kTouch : UserAction::kNoFinger, 0});
    return;
  }
  std::unique_ptr<PendingRequest> done = std::move(pending_);
  if (touched && done->command == kCtapReset) {
    ctap_->FactoryReset();
    PersistStateLocked();
  }
  const std::uint8_t status = touched ? done->touchedStatus : done->timeoutStatus;
  SendMessageLocked(*done->link, done->cid, kCmdCbor, {status}, done->command, -1);
}

void VirtualKey::FinishUserWaitLocked(const SensorInput& input) {
  std::unique_ptr<PendingRequest> done = std::move(pending_);
  std::vector<std::uint8_t> answer;
  ctap_->Resume(input, answer);
  PersistStateLocked();
  SendMessageLocked(*done->link, done->cid, kCmdCbor, answer, done->command, done->subCommand);
}

void VirtualKey::DropPendingLocked() {
  if (pending_ && pending_->byAuthenticator) ctap_->AbandonWait();
  pending_.reset();
}

}  // namespace pinvale::vkey
