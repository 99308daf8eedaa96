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
//
// Fingerprint enrolment needs a token the fuzzer cannot guess: the signed-request
// operation gets one with the PIN 1234 (config bit 2) as a platform does, on a link of
// its own, and sends [command][subCommand][params] signed with it there; the sensor
// operation says what the finger on the sensor does.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include <mbedtls/sha256.h>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/pin_crypto.h"
#include "vkey/virtual_key.h"

namespace {

using namespace pinvale::vkey;
using pinvale::CborItem;
using pinvale::CborWriter;

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

// P-256's generator: the platform key the signer claims. Under the crypto seam the
// shared secret is then SHA-256 of its x coordinate.
const std::uint8_t kGx[32] = {0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47, 0xF8, 0xBC, 0xE6,
                              0xE5, 0x63, 0xA4, 0x40, 0xF2, 0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB,
                              0x33, 0xA0, 0xF4, 0xA1, 0x39, 0x45, 0xD8, 0x98, 0xC2, 0x96};
const std::uint8_t kGy[32] = {0x4F, 0xE3, 0x42, 0xE2, 0xFE, 0x1A, 0x7F, 0x9B, 0x8E, 0xE7, 0xEB,
                              0x4A, 0x7C, 0x0F, 0x9E, 0x16, 0x2B, 0xCE, 0x33, 0x57, 0x6B, 0x31,
                              0x5E, 0xCE, 0xCB, 0xB6, 0x40, 0x68, 0x37, 0xBF, 0x51, 0xF5};

// A platform with the PIN 1234 and protocol 1: its token, learnt once per input.
class Signer {
 public:
  explicit Signer(std::shared_ptr<VirtualKey> key) : key_(std::move(key)) {}

  // Sends the signed request for `body` = [command][subCommand][params] on the signer's
  // own link and reads its answer. Without params, capture, rename and remove name the
  // template the key handed out last, which the fuzzer cannot know.
  void Send(const std::uint8_t* body, std::size_t length) {
    if (length < 2 || !Login()) return;
    const std::uint8_t subCommand = body[1];
    std::vector<std::uint8_t> params(body + 2, body + length);
    if (params.empty() && (subCommand == 2 || subCommand == 5 || subCommand == 6)) {
      params.resize(64);
      CborWriter p(params.data(), static_cast<std::uint32_t>(params.size()));
      p.beginMap(subCommand == 5 ? 2 : 1);
      p.putInt(1).putBytes(lastTemplate_.data(), static_cast<std::uint32_t>(lastTemplate_.size()));
      if (subCommand == 5) p.putInt(2).putText("thumb", 5);
      params.resize(p.length());
    }
    std::vector<std::uint8_t> signedPart = {1, subCommand};
    signedPart.insert(signedPart.end(), params.begin(), params.end());
    std::uint8_t mac[16];
    PinAuth16(token_.data(), tokenLength_, signedPart.data(), signedPart.size(), mac);
    std::vector<std::uint8_t> message(params.size() + 40, 0);
    message[0] = body[0];
    CborWriter w(message.data() + 1, static_cast<std::uint32_t>(message.size() - 1));
    w.beginMap(params.empty() ? 4 : 5).putInt(1).putInt(1).putInt(2).putInt(subCommand);
    if (!params.empty()) {
      w.putInt(3).putRaw(params.data(), static_cast<std::uint32_t>(params.size()));
    }
    w.putInt(4).putInt(1).putInt(5).putBytes(mac, sizeof mac);
    message.resize(1 + w.length());
    std::vector<std::uint8_t> answer;
    const std::uint8_t* id = nullptr;
    std::uint32_t idLength = 0;
    if (Exchange(*link_, cid_, kCmdCbor, message, answer) && answer.size() > 1 &&
        CborItem(answer.data() + 1, static_cast<std::uint32_t>(answer.size() - 1))
            .mapValueByInt(4)
            .getBytes(id, idLength)) {
      lastTemplate_.assign(id, id + idLength);
    }
  }

 private:
  bool Login() {
    if (tried_) return tokenLength_ > 0 && link_->IsOpen();
    tried_ = true;
    link_ = key_->Connect();
    if (!link_) return false;
    VirtualKeyLink& link = *link_;
    std::vector<std::uint8_t> answer;
    if (!Exchange(link, kBroadcastChannel, kCmdInit, {kInitPayloadBytes, kInitPayloadBytes + 8},
                  answer) ||
        answer.size() < 12) {
      return false;
    }
    cid_ = static_cast<std::uint32_t>(answer[8]) << 24 |
           static_cast<std::uint32_t>(answer[9]) << 16 |
           static_cast<std::uint32_t>(answer[10]) << 8 | answer[11];
    SharedSecret secret;
    mbedtls_sha256_ret(kGx, sizeof kGx, secret.data(), 0);
    std::uint8_t pinHash[32];
    mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>("1234"), 4, pinHash, 0);
    std::uint8_t pinHashEnc[16];
    PinEncrypt(secret, pinHash, 16, pinHashEnc);
    // 0x09 with cm and be on a 2.1 key, the legacy 0x05 on others.
    const bool ctap21 = key_->Config().profile == CtapProfile::kCtap21;
    std::vector<std::uint8_t> request(256);
    request[0] = 0x06;
    CborWriter w(request.data() + 1, static_cast<std::uint32_t>(request.size() - 1));
    w.beginMap(ctap21 ? 5 : 4).putInt(1).putInt(1).putInt(2).putInt(ctap21 ? 9 : 5);
    w.putInt(3).beginMap(5).putInt(1).putInt(2).putInt(3).putInt(-25).putInt(-1).putInt(1);
    w.putInt(-2).putBytes(kGx, 32).putInt(-3).putBytes(kGy, 32);
    w.putInt(6).putBytes(pinHashEnc, sizeof pinHashEnc);
    if (ctap21) w.putInt(9).putInt(0x0C);
    request.resize(1 + w.length());
    const std::uint8_t* encrypted = nullptr;
    std::uint32_t encryptedLength = 0;
    if (!Exchange(link, cid_, kCmdCbor, request, answer) || answer.size() < 2 || answer[0] != 0 ||
        !CborItem(answer.data() + 1, static_cast<std::uint32_t>(answer.size() - 1))
             .mapValueByInt(2)
             .getBytes(encrypted, encryptedLength) ||
        (encryptedLength != 16 && encryptedLength != 32)) {
      return false;
    }
    tokenLength_ = encryptedLength;
    return PinDecrypt(secret, encrypted, encryptedLength, token_.data());
  }

  // One message and its answer, framed by hand; keepalives and other channels skipped.
  static bool Exchange(VirtualKeyLink& link, std::uint32_t cid, std::uint8_t cmd,
                       const std::vector<std::uint8_t>& payload,
                       std::vector<std::uint8_t>& answer) {
    std::uint8_t packet[kPacketSize] = {};
    Client::PutChannel(packet, cid);
    packet[4] = cmd | kInitBit;
    packet[5] = static_cast<std::uint8_t>(payload.size() >> 8);
    packet[6] = static_cast<std::uint8_t>(payload.size());
    std::size_t sent = std::min(payload.size(), kInitPayload);
    std::copy_n(payload.begin(), sent, packet + 7);
    if (!link.ReceivePacket(packet)) return false;
    for (std::uint8_t seq = 0; sent < payload.size(); ++seq) {
      std::fill_n(packet, kPacketSize, 0);
      Client::PutChannel(packet, cid);
      packet[4] = seq;
      const std::size_t take = std::min(payload.size() - sent, kContPayload);
      std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(sent), take, packet + 5);
      sent += take;
      if (!link.ReceivePacket(packet)) return false;
    }
    answer.clear();
    std::size_t expected = 0;
    bool started = false;
    while (link.WaitPacket(packet, 0) == WaitResult::kPacket) {
      if (!started) {
        if (packet[4] != (cmd | kInitBit)) continue;  // keepalives, errors, strays
        expected = static_cast<std::size_t>(packet[5] << 8 | packet[6]);
        answer.assign(packet + 7, packet + 7 + std::min(expected, kInitPayload));
        started = true;
      } else if ((packet[4] & kInitBit) == 0) {
        const std::size_t take = std::min(expected - answer.size(), kContPayload);
        answer.insert(answer.end(), packet + 5, packet + 5 + take);
      }
      if (started && answer.size() >= expected) return true;
    }
    return false;
  }

  std::shared_ptr<VirtualKey> key_;
  std::unique_ptr<VirtualKeyLink> link_;
  std::uint32_t cid_ = 0;
  std::vector<std::uint8_t> lastTemplate_;
  bool tried_ = false;
  SecretBuffer<32> token_;
  std::size_t tokenLength_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 16384) return 0;
  const std::uint8_t config = data[0];
  auto key = VirtualKey::Create(ConfigOf(config, data[1]));
  const std::uint8_t* p = data + 2;
  const std::uint8_t* end = data + size;
  {
    Client client(key, ((config >> 4) & 7) != 4);
    Signer signer(key);
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
            // Operation 1 with bit 3: the payload is [command][subCommand][params] of a
            // request the signer signs and sends on its own link.
            if (op == 9) {
              signer.Send(p, length);
            } else {
              client.SendMessage(cid, cmd, p, length, claimed, (op & 7) == 2 ? op >> 5 : 0xFF);
            }
            p += length;
            break;
          }
          case 3:
            if (op & 0x40) {
              // The sensor: bits 3-4 the action, bit 5 which bad sample.
              const SensorInput input = {static_cast<UserAction>((op >> 3) & 3),
                                         static_cast<std::uint8_t>((op & 0x20) ? 0x0B : 0x05)};
              key->Sensor(input);
            } else if (op & 0x80) {
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
