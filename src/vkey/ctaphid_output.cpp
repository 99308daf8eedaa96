// How the virtual key frames its answers, and where its faults bend them.

#include <algorithm>

#include "vkey/ctap_status.h"
#include "vkey/pin_crypto.h"
#include "vkey/virtual_key_internal.h"

namespace pinvale::vkey {

const VirtualKeyFault* VirtualKey::FindFault(FaultKind kind, int ctapCommand,
                                             int subCommand) const {
  for (const VirtualKeyFault& fault : config_.faults) {
    if (fault.kind != kind) continue;
    if (fault.command >= 0 && fault.command != ctapCommand) continue;
    if (fault.subCommand >= 0 && fault.subCommand != subCommand) continue;
    return &fault;
  }
  return nullptr;
}

void VirtualKey::PushLocked(LinkState& link, const Packet& packet) {
  if (!link.open) return;
  link.outgoing.push_back(packet);
  ++counters_.reportsSent;
  link.outgoingCv.notify_all();
}

void VirtualKey::SendFramesLocked(LinkState& link, std::uint32_t cid, std::uint8_t cmd,
                                  const std::vector<std::uint8_t>& payload, bool strayBetween) {
  Packet packet{};
  WriteChannel(packet.data(), cid);
  packet[4] = static_cast<std::uint8_t>(cmd | kInitBit);
  packet[5] = static_cast<std::uint8_t>(payload.size() >> 8);
  packet[6] = static_cast<std::uint8_t>(payload.size());
  std::size_t sent = std::min(payload.size(), kInitPayload);
  std::copy(payload.begin(), payload.begin() + sent, packet.begin() + 7);
  PushLocked(link, packet);
  for (std::uint8_t seq = 0; sent < payload.size(); ++seq) {
    if (strayBetween) {
      // Another program's continuation with the very sequence number ours has next.
      if (strayChannel_ == 0) NewStrayChannelLocked(cid);
      Packet stray;
      random_->Fill(stray.data(), stray.size());
      WriteChannel(stray.data(), strayChannel_);
      stray[4] = seq;
      PushLocked(link, stray);
    }
    packet.fill(0);
    WriteChannel(packet.data(), cid);
    packet[4] = seq;
    const std::size_t take = std::min(payload.size() - sent, kContPayload);
    std::copy(payload.begin() + sent, payload.begin() + sent + take, packet.begin() + 5);
    sent += take;
    PushLocked(link, packet);
  }
}

void VirtualKey::NewStrayChannelLocked(std::uint32_t cid) {
  do {
    random_->Fill(reinterpret_cast<std::uint8_t*>(&strayChannel_), sizeof strayChannel_);
  } while (strayChannel_ == cid || strayChannel_ == 0 || strayChannel_ == kMakerChannel ||
           strayChannel_ == kBroadcastChannel);
}

// Another program talking to the same key, as every reader of the node sees it:
// answers on its channel that look like success and, from the second packet on,
// every other one its INIT answer (its own nonce) allocating it a new channel.
void VirtualKey::SendStraysLocked(LinkState& link, std::uint32_t cid, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i % 2 == 0) {
      if (strayChannel_ == 0 || strayChannel_ == cid) NewStrayChannelLocked(cid);
      SendFramesLocked(link, strayChannel_, kCmdCbor, {kStatusOk});
      continue;
    }
    std::vector<std::uint8_t> answer(17, 0);
    random_->Fill(answer.data(), 8);
    if (std::all_of(answer.begin(), answer.begin() + 8, [](std::uint8_t b) { return b == 1; }))
      answer[0] = 2;
    NewStrayChannelLocked(cid);
    WriteChannel(answer.data() + 8, strayChannel_);
    answer[12] = kProtocolVersion;
    std::copy(kDeviceVersion, kDeviceVersion + 3, answer.begin() + 13);
    answer[16] = kCapabilityCbor | kCapabilityNmsg;
    SendFramesLocked(link, kBroadcastChannel, kCmdInit, answer);
  }
}

void VirtualKey::SendErrorLocked(LinkState& link, std::uint32_t cid, std::uint8_t error) {
  if (FindFault(FaultKind::kNoAnswer, -1, -1) != nullptr) return;
  SendFramesLocked(link, cid, kCmdError, {error});
}

void VirtualKey::SendKeepaliveLocked(LinkState& link, std::uint32_t cid, std::uint8_t status) {
  if (FindFault(FaultKind::kNoAnswer, -1, -1) != nullptr) return;
  ++counters_.keepalivesSent;
  SendFramesLocked(link, cid, kCmdKeepalive, {status});
}

// `ctapCommand` is the CTAP2 command answered, -1 for CTAPHID commands; only CBOR
// answers meet the faults that bend an answer, and every answer (INIT's too) meets
// other programs' traffic.
void VirtualKey::SendMessageLocked(LinkState& link, std::uint32_t cid, std::uint8_t cmd,
                                   const std::vector<std::uint8_t>& payload, int ctapCommand,
                                   int subCommand) {
  const VirtualKeyFault* stray = FindFault(FaultKind::kStrayPackets, ctapCommand, subCommand);
  if (ctapCommand < 0) {
    if (FindFault(FaultKind::kNoAnswer, -1, -1) != nullptr) return;
    if (stray) SendStraysLocked(link, cid, stray->count);
    SendFramesLocked(link, cid, cmd, payload, stray != nullptr);
    return;
  }
  if (FindFault(FaultKind::kNoAnswer, ctapCommand, subCommand) != nullptr) return;
  if (FindFault(FaultKind::kGarbage, ctapCommand, subCommand) != nullptr) {
    Packet garbage;
    random_->Fill(garbage.data(), garbage.size());
    PushLocked(link, garbage);
    return;
  }
  if (const VirtualKeyFault* zero = FindFault(FaultKind::kZeroLength, ctapCommand, subCommand)) {
    Packet empty{};
    WriteChannel(empty.data(), cid);
    empty[4] = static_cast<std::uint8_t>(cmd | kInitBit);
    for (std::uint32_t i = 0; i < zero->count; ++i) PushLocked(link, empty);
  }
  if (const VirtualKeyFault* storm =
          FindFault(FaultKind::kKeepaliveStorm, ctapCommand, subCommand)) {
    for (std::uint32_t i = 0; i < storm->count; ++i) {
      ++counters_.keepalivesSent;
      SendFramesLocked(link, cid, kCmdKeepalive, {kKeepaliveProcessing});
    }
  }
  if (stray) SendStraysLocked(link, cid, stray->count);
  SendFramesLocked(link, cid, cmd, payload, stray != nullptr);
}

}  // namespace pinvale::vkey
