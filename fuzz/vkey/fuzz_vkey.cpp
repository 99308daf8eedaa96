// A client that says whatever the fuzzer makes it say to a fresh virtual key: packets on
// any channel, messages framed across continuations (in order or not), CTAP2 requests,
// touches, second connections, pull-outs.
//
// The key has no timer thread: its timers run when the input says so, and each is set
// either to 0 (due whenever they run) or far beyond the life of an input. Touches are
// immediate or on demand, and answers are taken without waiting, so an input always runs
// the same way.
//
// Input: [config][argument] then operations, or with config bit 7 one CTAP2 request
// (command byte and CBOR) sent on channel 1 after an INIT. Config bit 3 makes the key
// a CTAP 2.1 one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "vkey/virtual_key.h"

namespace {

using namespace pinvale::vkey;

constexpr int kNever = 24 * 3600 * 1000;  // longer than any run

void Check(bool ok) {
  if (!ok) std::abort();
}

VirtualKeyConfig ConfigOf(std::uint8_t config, std::uint8_t argument) {
  VirtualKeyConfig c;
  c.timerThread = false;
  c.touchMode = (config & 1) ? TouchMode::kOnDemand : TouchMode::kAutomatic;
  // Argument bits 4-7 pick which timers are due at once.
  c.touchDelayMs = (argument & 0x10) ? kNever : 0;
  c.userPresenceTimeoutMs = (argument & 0x20) ? 0 : kNever;
  c.resetWindowMs = kNever;
  c.keepaliveIntervalMs = (argument & 0x40) ? 0 : kNever;
  c.messageTimeoutMs = (argument & 0x80) ? 0 : kNever;
  c.processingDelayMs = (config & 2) ? kNever : 0;
  if (config & 4) c.initialPin = "1234";
  // Config bit 3: the 2.1 profile, whose protocols, minimum and forced change come
  // from argument bits 2, 3 and 1 (those choose fault filters too, which is fine).
  c.uv = (argument & 2) != 0;
  if (config & 8) {
    c.profile = CtapProfile::kCtap21;
    if (argument & 4) c.pinProtocols = {2};
    if (argument & 8) c.minPinLength = 6;
    c.forcePinChange = (argument & 2) != 0 && !c.initialPin.empty();
  }
  c.maxMsgSize = (argument & 1) ? 1200 : static_cast<std::uint16_t>(argument * 8);
  VirtualKeyFault fault;
  fault.count = argument & 3;
  fault.command = (argument & 4) ? 6 : -1;
  fault.subCommand = (argument & 8) ? 2 : -1;
  fault.status = argument;
  switch ((config >> 4) & 7) {
    case 1:
      fault.kind = FaultKind::kZeroLength;
      break;
    case 2:
      fault.kind = FaultKind::kKeepaliveStorm;
      break;
    case 3:
      fault.kind = FaultKind::kStrayPackets;
      break;
    case 4:
      fault.kind = FaultKind::kGarbage;
      break;
    case 5:
      fault.kind = FaultKind::kKeyAgreementNoY;
      break;
    case 6:
      fault.kind = FaultKind::kPullOut;
      fault.count = 1 + argument;
      break;
    case 7:
      fault.kind = FaultKind::kForcedStatus;
      break;
    default:
      return c;
  }
  c.faults.push_back(fault);
  return c;
}

class Client {
 public:
  // With the garbage fault the key sends random reports, which prove nothing.
  Client(std::shared_ptr<VirtualKey> key, bool checkFraming)
      : key_(std::move(key)), checkFraming_(checkFraming) {
    Connect();
  }

  void Connect() {
    if (links_.size() >= 4) return;
    if (auto link = key_->Connect()) {
      links_.push_back(std::move(link));
      current_ = links_.size() - 1;
    }
  }
  void Switch() {
    if (!links_.empty()) current_ = (current_ + 1) % links_.size();
  }
  void CloseCurrent() {
    if (links_.empty()) return;
    links_.erase(links_.begin() + static_cast<std::ptrdiff_t>(current_));
    current_ = 0;
  }

  void Send(const std::uint8_t* packet) {
    if (links_.empty()) return;
    VirtualKeyLink& link = *links_[current_];
    const bool wasOpen = link.IsOpen();
    const bool taken = link.ReceivePacket(packet);
    if (!wasOpen) Check(!taken);
    TakeAnswers();
  }

  // A message framed as a client frames it; `skew` bends the sequence numbers.
  void SendMessage(std::uint32_t cid, std::uint8_t cmd, const std::uint8_t* payload,
                   std::size_t length, std::uint16_t claimed, std::uint8_t skew) {
    std::uint8_t packet[kPacketSize] = {};
    PutChannel(packet, cid);
    packet[4] = cmd | kInitBit;
    packet[5] = static_cast<std::uint8_t>(claimed >> 8);
    packet[6] = static_cast<std::uint8_t>(claimed);
    std::size_t sent = std::min(length, kInitPayload);
    std::copy_n(payload, sent, packet + 7);
    Send(packet);
    for (std::uint8_t seq = 0; sent < length && seq < 130; ++seq) {
      std::fill_n(packet, kPacketSize, 0);
      PutChannel(packet, cid);
      packet[4] = static_cast<std::uint8_t>(seq + (seq == skew ? 1 : 0));
      const std::size_t take = std::min(length - sent, kContPayload);
      std::copy_n(payload + sent, take, packet + 5);
      sent += take;
      Send(packet);
    }
  }

  // Reads what the key sent, without waiting, as a host draining its reports.
  void TakeAnswers() {
    std::uint8_t packet[kPacketSize];
    for (auto& link : links_) {
      while (link->WaitPacket(packet, 0) == WaitResult::kPacket) {
        // An initialisation packet never claims more than a message can hold.
        if (checkFraming_ && (packet[4] & kInitBit)) {
          Check(static_cast<std::size_t>(packet[5] << 8 | packet[6]) <= kMaxMessageSize);
        }
      }
    }
  }

  static void PutChannel(std::uint8_t* packet, std::uint32_t cid) {
    packet[0] = static_cast<std::uint8_t>(cid >> 24);
    packet[1] = static_cast<std::uint8_t>(cid >> 16);
    packet[2] = static_cast<std::uint8_t>(cid >> 8);
    packet[3] = static_cast<std::uint8_t>(cid);
  }

 private:
  std::shared_ptr<VirtualKey> key_;
  std::vector<std::unique_ptr<VirtualKeyLink>> links_;
  std::size_t current_ = 0;
  bool checkFraming_;
};

std::uint32_t ChannelOf(std::uint8_t choice, const std::uint8_t*& data, const std::uint8_t* end) {
  if (choice == 0) return kBroadcastChannel;
  if (choice != 0xFF || end - data < 4) return choice;  // 1 is the maker's, 2.. assigned
  const std::uint32_t cid = static_cast<std::uint32_t>(data[0]) << 24 |
                            static_cast<std::uint32_t>(data[1]) << 16 |
                            static_cast<std::uint32_t>(data[2]) << 8 | data[3];
  data += 4;
  return cid;
}

const std::uint8_t kInitPayloadBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 16384) return 0;
  const std::uint8_t config = data[0];
  auto key = VirtualKey::Create(ConfigOf(config, data[1]));
  const std::uint8_t* p = data + 2;
  const std::uint8_t* end = data + size;
  {
    Client client(key, ((config >> 4) & 7) != 4);
    if (config & 0x80) {
      // One request: INIT on the broadcast channel opens channel 1 for it.
      client.SendMessage(kBroadcastChannel, kCmdInit, kInitPayloadBytes, 8, 8, 0xFF);
      const std::size_t length = static_cast<std::size_t>(end - p);
      client.SendMessage(kMakerChannel, kCmdCbor, p, length, static_cast<std::uint16_t>(length),
                         0xFF);
      key->Touch();
      client.TakeAnswers();
    } else {
      while (p < end) {
        const std::uint8_t op = *p++;
        switch (op & 7) {
          case 0: {  // one raw packet
            std::uint8_t packet[kPacketSize] = {};
            const std::size_t take = std::min<std::size_t>(kPacketSize, end - p);
            std::copy_n(p, take, packet);
            p += take;
            client.Send(packet);
            break;
          }
          case 1:
          case 2: {  // a message: [channel][command][length high][length low] payload
            if (end - p < 4) {
              p = end;
              break;
            }
            const std::uint8_t choice = *p++;
            const std::uint32_t cid = ChannelOf(choice, p, end);
            if (end - p < 3) {
              p = end;
              break;
            }
            const std::uint8_t cmd = p[0] & 0x7F;
            const std::size_t length = std::min<std::size_t>(
                static_cast<std::size_t>(p[1] << 8 | p[2]), static_cast<std::size_t>(end - p - 3));
            p += 3;
            // Operation 2 claims a length of its own choosing and skews one sequence number.
            const std::uint16_t claimed = (op & 7) == 2
                                              ? static_cast<std::uint16_t>(length + (op >> 3))
                                              : static_cast<std::uint16_t>(length);
            client.SendMessage(cid, cmd, p, length, claimed, (op & 7) == 2 ? op >> 5 : 0xFF);
            p += length;
            break;
          }
          case 3:
            if (op & 0x80) {
              key->RunDueTimers();
            } else {
              key->Touch();
            }
            client.TakeAnswers();
            break;
          case 4:
            client.Connect();
            break;
          case 5:
            client.Switch();
            break;
          case 6:
            client.CloseCurrent();
            break;
          default:
            if (op & 0x80) {
              key->Plug();
            } else {
              key->Unplug();
            }
            break;
        }
      }
    }
    client.TakeAnswers();
  }
  return 0;
}
