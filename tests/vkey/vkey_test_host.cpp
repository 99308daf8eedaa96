#include "vkey_test_host.h"

#include <algorithm>
#include <cstring>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {

std::vector<std::uint8_t> HostCoseKey(const KeyAgreementKey& key) {
  std::uint8_t x[32];
  std::uint8_t y[32];
  key.PublicCoordinates(x, y);
  std::uint8_t buffer[96];
  CborWriter writer(buffer, sizeof buffer);
  writer.beginMap(5).putInt(1).putInt(2).putInt(3).putInt(-25).putInt(-1).putInt(1);
  writer.putInt(-2).putBytes(x, 32).putInt(-3).putBytes(y, 32);
  return std::vector<std::uint8_t>(buffer, buffer + writer.length());
}

VirtualKeyConfig FastConfig() {
  VirtualKeyConfig config;
  config.touchMode = TouchMode::kAutomatic;
  config.touchDelayMs = 0;
  config.userPresenceTimeoutMs = 400;
  config.resetWindowMs = 5000;
  config.keepaliveIntervalMs = 20;
  config.messageTimeoutMs = 300;
  return config;
}

TestHost::TestHost(std::shared_ptr<VirtualKey> key, bool init)
    : key_(std::move(key)), link_(key_->Connect()) {
  if (init) Init();
}

std::uint32_t TestHost::Init(int timeoutMs) {
  const std::vector<std::uint8_t> nonce = {1, 2, 3, 4, 5, 6, 7, 8};
  SendMessage(kBroadcastChannel, kCmdInit, nonce);
  HidMessage answer;
  // Another program's traffic may come first; its INIT answers carry its own nonce.
  do {
    if (!ReadMessage(answer, timeoutMs)) return 0;
  } while (answer.cid != kBroadcastChannel || answer.cmd != kCmdInit ||
           answer.payload.size() < 17 ||
           !std::equal(nonce.begin(), nonce.end(), answer.payload.begin()));
  cid_ = static_cast<std::uint32_t>(answer.payload[8]) << 24 | answer.payload[9] << 16 |
         answer.payload[10] << 8 | answer.payload[11];
  return cid_;
}

void TestHost::SendPacket(const std::uint8_t* packet) {
  link_->ReceivePacket(packet);
}

void TestHost::SendInitPacket(std::uint32_t cid, std::uint8_t cmd, std::uint16_t length,
                              const std::vector<std::uint8_t>& data) {
  Packet packet{};
  packet[0] = static_cast<std::uint8_t>(cid >> 24);
  packet[1] = static_cast<std::uint8_t>(cid >> 16);
  packet[2] = static_cast<std::uint8_t>(cid >> 8);
  packet[3] = static_cast<std::uint8_t>(cid);
  packet[4] = static_cast<std::uint8_t>(cmd | kInitBit);
  packet[5] = static_cast<std::uint8_t>(length >> 8);
  packet[6] = static_cast<std::uint8_t>(length);
  if (!data.empty())
    std::memcpy(packet.data() + 7, data.data(), std::min(data.size(), kInitPayload));
  SendPacket(packet.data());
}

void TestHost::SendMessage(std::uint32_t cid, std::uint8_t cmd,
                           const std::vector<std::uint8_t>& payload) {
  SendInitPacket(cid, cmd, static_cast<std::uint16_t>(payload.size()), payload);
  std::size_t sent = std::min(payload.size(), kInitPayload);
  for (std::uint8_t seq = 0; sent < payload.size(); ++seq) {
    Packet packet{};
    packet[0] = static_cast<std::uint8_t>(cid >> 24);
    packet[1] = static_cast<std::uint8_t>(cid >> 16);
    packet[2] = static_cast<std::uint8_t>(cid >> 8);
    packet[3] = static_cast<std::uint8_t>(cid);
    packet[4] = seq;
    const std::size_t take = std::min(payload.size() - sent, kContPayload);
    std::memcpy(packet.data() + 5, payload.data() + sent, take);
    sent += take;
    SendPacket(packet.data());
  }
}

bool TestHost::ReadPacket(Packet& packet, int timeoutMs) {
  return link_->WaitPacket(packet.data(), timeoutMs) == WaitResult::kPacket;
}

bool TestHost::ReadMessage(HidMessage& message, int timeoutMs) {
  message = HidMessage{};
  Packet packet;
  for (;;) {
    if (!ReadPacket(packet, timeoutMs)) return false;
    message.cid =
        static_cast<std::uint32_t>(packet[0]) << 24 | packet[1] << 16 | packet[2] << 8 | packet[3];
    message.cmd = packet[4] & 0x7F;
    const std::size_t length = static_cast<std::size_t>(packet[5]) << 8 | packet[6];
    if (message.cmd == kCmdKeepalive) {
      message.keepalives.push_back(packet[7]);
      continue;
    }
    message.payload.assign(packet.begin() + 7, packet.begin() + 7 + std::min(length, kInitPayload));
    while (message.payload.size() < length) {
      if (!ReadPacket(packet, timeoutMs)) return false;
      const std::uint32_t cid = static_cast<std::uint32_t>(packet[0]) << 24 | packet[1] << 16 |
                                packet[2] << 8 | packet[3];
      if (cid != message.cid) {  // another program's
        ++message.strays;
        continue;
      }
      const std::size_t take = std::min(length - message.payload.size(), kContPayload);
      message.payload.insert(message.payload.end(), packet.begin() + 5, packet.begin() + 5 + take);
    }
    return true;
  }
}

bool TestHost::Silent(int ms) {
  Packet packet;
  return link_->WaitPacket(packet.data(), ms) == WaitResult::kTimeout;
}

std::vector<std::uint8_t> TestHost::Ctap(const std::vector<std::uint8_t>& message,
                                         std::vector<std::uint8_t>* keepalives) {
  SendMessage(cid_, kCmdCbor, message);
  HidMessage answer;
  if (!ReadMessage(answer) || answer.cmd != kCmdCbor) return {};
  if (keepalives) *keepalives = answer.keepalives;
  return answer.payload;
}

namespace {

// 0x06 followed by a clientPIN map built by `fill` (which writes `pairs` pairs).
template <typename Fill>
std::vector<std::uint8_t> PinMessage(std::uint32_t pairs, Fill fill) {
  std::uint8_t buffer[512];
  buffer[0] = kCtapClientPin;
  CborWriter writer(buffer + 1, sizeof buffer - 1);
  writer.beginMap(pairs);
  fill(writer);
  return std::vector<std::uint8_t>(buffer, buffer + 1 + writer.length());
}

std::vector<std::uint8_t> Encrypt(const SharedSecret& secret, const std::vector<std::uint8_t>& in) {
  std::vector<std::uint8_t> out(in.size());
  PinEncrypt(secret, in.data(), in.size(), out.data());
  return out;
}

std::vector<std::uint8_t> PinHashOf(const std::string& pin) {
  PinHash hash;
  HashPin(reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size(), hash);
  return std::vector<std::uint8_t>(hash.data(), hash.data() + hash.size());
}

}  // namespace

std::vector<std::uint8_t> PinBlock(const std::string& pin) {
  std::vector<std::uint8_t> block(pin.begin(), pin.end());
  block.resize(64, 0);
  return block;
}

std::uint8_t TestHost::GetRetries(std::uint32_t& retries) {
  auto answer =
      Ctap(PinMessage(2, [](CborWriter& w) { w.putInt(1).putInt(1).putInt(2).putInt(1); }));
  if (answer.empty()) return 0xFF;
  if (answer[0] == kStatusOk &&
      !CborItem(answer.data() + 1, answer.size() - 1).mapValueByInt(3).getUnsigned(retries)) {
    return 0xFE;
  }
  return answer[0];
}

bool TestHost::AgreeOnSecret(SharedSecret& secret, std::vector<std::uint8_t>& coseKey) {
  auto answer =
      Ctap(PinMessage(2, [](CborWriter& w) { w.putInt(1).putInt(1).putInt(2).putInt(2); }));
  if (answer.size() < 2 || answer[0] != kStatusOk) return false;
  CborItem cose = CborItem(answer.data() + 1, answer.size() - 1).mapValueByInt(1);
  const std::uint8_t* x = nullptr;
  const std::uint8_t* y = nullptr;
  std::uint32_t xLength = 0;
  std::uint32_t yLength = 0;
  if (!cose.mapValueByInt(-2).getBytes(x, xLength) ||
      !cose.mapValueByInt(-3).getBytes(y, yLength)) {
    return false;
  }
  KeyAgreementKey host;
  if (!host.Generate(random_) ||
      !host.DeriveSharedSecret(x, xLength, y, yLength, random_, secret)) {
    return false;
  }
  coseKey = HostCoseKey(host);
  return true;
}

std::uint8_t TestHost::SetPinBlock(const std::vector<std::uint8_t>& block, bool corruptPinAuth) {
  SharedSecret secret;
  std::vector<std::uint8_t> cose;
  if (!AgreeOnSecret(secret, cose)) return 0xFE;
  // A block that is not a whole number of AES blocks goes out as it is.
  std::vector<std::uint8_t> newPinEnc = block.size() % 16 == 0 ? Encrypt(secret, block) : block;
  std::uint8_t pinAuth[16];
  PinAuth16(secret, newPinEnc.data(), newPinEnc.size(), pinAuth);
  if (corruptPinAuth) pinAuth[0] ^= 1;
  auto answer = Ctap(PinMessage(5, [&](CborWriter& w) {
    w.putInt(1).putInt(1).putInt(2).putInt(3).putInt(3).putRaw(cose.data(), cose.size());
    w.putInt(4).putBytes(pinAuth, 16).putInt(5).putBytes(newPinEnc.data(), newPinEnc.size());
  }));
  return answer.empty() ? 0xFF : answer[0];
}

std::uint8_t TestHost::SetPin(const std::string& pin) {
  return SetPinBlock(PinBlock(pin));
}

std::uint8_t TestHost::ChangePin(const std::string& current, const std::string& next) {
  SharedSecret secret;
  std::vector<std::uint8_t> cose;
  if (!AgreeOnSecret(secret, cose)) return 0xFE;
  std::vector<std::uint8_t> newPinEnc = Encrypt(secret, PinBlock(next));
  std::vector<std::uint8_t> pinHashEnc = Encrypt(secret, PinHashOf(current));
  std::vector<std::uint8_t> signedPart = newPinEnc;
  signedPart.insert(signedPart.end(), pinHashEnc.begin(), pinHashEnc.end());
  std::uint8_t pinAuth[16];
  PinAuth16(secret, signedPart.data(), signedPart.size(), pinAuth);
  auto answer = Ctap(PinMessage(6, [&](CborWriter& w) {
    w.putInt(1).putInt(1).putInt(2).putInt(4).putInt(3).putRaw(cose.data(), cose.size());
    w.putInt(4).putBytes(pinAuth, 16).putInt(5).putBytes(newPinEnc.data(), newPinEnc.size());
    w.putInt(6).putBytes(pinHashEnc.data(), pinHashEnc.size());
  }));
  return answer.empty() ? 0xFF : answer[0];
}

std::uint8_t TestHost::GetPinToken(const std::string& pin, std::vector<std::uint8_t>* token) {
  SharedSecret secret;
  std::vector<std::uint8_t> cose;
  if (!AgreeOnSecret(secret, cose)) return 0xFE;
  std::vector<std::uint8_t> pinHashEnc = Encrypt(secret, PinHashOf(pin));
  auto answer = Ctap(PinMessage(4, [&](CborWriter& w) {
    w.putInt(1).putInt(1).putInt(2).putInt(5).putInt(3).putRaw(cose.data(), cose.size());
    w.putInt(6).putBytes(pinHashEnc.data(), pinHashEnc.size());
  }));
  if (answer.empty()) return 0xFF;
  if (answer[0] == kStatusOk && token != nullptr) {
    const std::uint8_t* encrypted = nullptr;
    std::uint32_t length = 0;
    if (!CborItem(answer.data() + 1, answer.size() - 1)
             .mapValueByInt(2)
             .getBytes(encrypted, length) ||
        length % 16 != 0 || length == 0) {
      return 0xFE;
    }
    token->resize(length);
    PinDecrypt(secret, encrypted, length, token->data());
  }
  return answer[0];
}

}  // namespace pinvale::vkey::test
