#include "pin_protocol_host.h"

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {

Bytes PinHashBytes(const std::string& pin) {
  PinHash hash;
  HashPin(reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size(), hash);
  return Bytes(hash.data(), hash.data() + hash.size());
}

PinProtocolHost::PinProtocolHost(std::shared_ptr<VirtualKey> key, std::uint32_t protocol)
    : host_(std::move(key)), protocol_(protocol) {}

namespace {

Bytes KeyAgreementRequest(std::uint32_t protocol) {
  std::uint8_t buffer[16] = {kCtapClientPin};
  CborWriter w(buffer + 1, sizeof buffer - 1);
  w.beginMap(2).putInt(1).putInt(static_cast<std::int32_t>(protocol)).putInt(2).putInt(2);
  return Bytes(buffer, buffer + 1 + w.length());
}

}  // namespace

std::uint8_t PinProtocolHost::KeyAgreementStatus() {
  const Bytes answer = host_.Ctap(KeyAgreementRequest(protocol_));
  return answer.empty() ? 0xFF : answer[0];
}

bool PinProtocolHost::Agree(ProtocolSecret& secret, Bytes& coseKey) {
  const Bytes answer = host_.Ctap(KeyAgreementRequest(protocol_));
  if (answer.size() < 2 || answer[0] != kStatusOk) return false;
  const CborItem cose = CborItem(answer.data() + 1, answer.size() - 1).mapValueByInt(1);
  const std::uint8_t* x = nullptr;
  const std::uint8_t* y = nullptr;
  std::uint32_t xLength = 0;
  std::uint32_t yLength = 0;
  if (!cose.mapValueByInt(-2).getBytes(x, xLength) ||
      !cose.mapValueByInt(-3).getBytes(y, yLength)) {
    return false;
  }
  KeyAgreementKey platform;
  SecretBuffer<32> z;
  if (!platform.Generate(random_) || !platform.ComputeZ(x, xLength, y, yLength, random_, z) ||
      !secret.Derive(protocol_, z.data())) {
    return false;
  }
  coseKey = HostCoseKey(platform);
  return true;
}

Bytes PinProtocolHost::Encrypt(const ProtocolSecret& secret, const Bytes& plaintext) {
  Bytes out(CiphertextSize(secret.protocol(), plaintext.size()));
  if (!ProtocolEncrypt(secret, random_, plaintext.data(), plaintext.size(), out.data())) return {};
  return out;
}

Bytes PinProtocolHost::Mac(std::uint32_t protocol, const std::uint8_t* key, std::size_t keyLength,
                           const Bytes& message) {
  std::uint8_t mac[kMaxMacSize];
  ProtocolAuthenticate(protocol, key, keyLength, message.data(), message.size(), mac);
  return Bytes(mac, mac + MacSize(protocol));
}

std::uint8_t PinProtocolHost::SendPin(std::uint8_t subCommand, const Bytes& coseKey,
                                      const Bytes* pinAuth, const Bytes* newPinEnc,
                                      const Bytes* pinHashEnc, const ExtraMembers& extra,
                                      Bytes* answer) {
  Bytes buffer(1024);
  buffer[0] = kCtapClientPin;
  CborWriter w(buffer.data() + 1, static_cast<std::uint32_t>(buffer.size() - 1));
  w.beginMap(3 + (pinAuth != nullptr) + (newPinEnc != nullptr) + (pinHashEnc != nullptr) +
             extra.pairs);
  w.putInt(1).putInt(static_cast<std::int32_t>(protocol_)).putInt(2).putInt(subCommand);
  w.putInt(3).putRaw(coseKey.data(), static_cast<std::uint32_t>(coseKey.size()));
  const auto put = [&w](int member, const Bytes* bytes) {
    if (bytes) {
      w.putInt(member).putBytes(bytes->data(), static_cast<std::uint32_t>(bytes->size()));
    }
  };
  put(4, pinAuth);
  put(5, newPinEnc);
  put(6, pinHashEnc);
  if (extra.write) extra.write(w);
  buffer.resize(1 + w.length());
  const Bytes reply = host_.Ctap(buffer);
  if (answer) *answer = reply;
  return reply.empty() ? 0xFF : reply[0];
}

std::uint8_t PinProtocolHost::SetPin(const std::string& pin) {
  ProtocolSecret secret;
  Bytes cose;
  if (!Agree(secret, cose)) return 0xFE;
  const Bytes newPinEnc = Encrypt(secret, PinBlock(pin));
  const Bytes pinAuth = Mac(protocol_, secret.HmacKey(), 32, newPinEnc);
  return SendPin(kPinSetPin, cose, &pinAuth, &newPinEnc, nullptr);
}

std::uint8_t PinProtocolHost::ChangePin(const std::string& current, const std::string& next) {
  ProtocolSecret secret;
  Bytes cose;
  if (!Agree(secret, cose)) return 0xFE;
  const Bytes newPinEnc = Encrypt(secret, PinBlock(next));
  const Bytes pinHashEnc = Encrypt(secret, PinHashBytes(current));
  Bytes signedPart = newPinEnc;
  signedPart.insert(signedPart.end(), pinHashEnc.begin(), pinHashEnc.end());
  const Bytes pinAuth = Mac(protocol_, secret.HmacKey(), 32, signedPart);
  return SendPin(kPinChangePin, cose, &pinAuth, &newPinEnc, &pinHashEnc);
}

std::uint8_t PinProtocolHost::Token(const std::string& pin, const TokenAsk& ask, Bytes* token,
                                    std::uint8_t subCommand) {
  ProtocolSecret secret;
  Bytes cose;
  if (!Agree(secret, cose)) return 0xFE;
  const Bytes pinHashEnc = Encrypt(secret, PinHashBytes(pin));
  ExtraMembers extra;
  extra.pairs = ask.permissions.has_value() + ask.rpId.has_value();
  extra.write = [&ask](CborWriter& w) {
    if (ask.permissions) w.putInt(9).putInt(static_cast<std::int32_t>(*ask.permissions));
    if (ask.rpId) {
      w.putInt(10).putText(ask.rpId->data(), static_cast<std::uint32_t>(ask.rpId->size()));
    }
  };
  Bytes answer;
  const std::uint8_t status =
      SendPin(subCommand, cose, nullptr, nullptr, &pinHashEnc, extra, &answer);
  if (status != kStatusOk || token == nullptr) return status;
  const std::uint8_t* encrypted = nullptr;
  std::uint32_t length = 0;
  if (!CborItem(answer.data() + 1, answer.size() - 1)
           .mapValueByInt(2)
           .getBytes(encrypted, length)) {
    return 0xFE;
  }
  token->assign(length, 0);
  std::size_t plainLength = 0;
  if (!ProtocolDecrypt(secret, encrypted, length, token->data(), plainLength)) return 0xFE;
  token->resize(plainLength);
  return status;
}

std::uint8_t PinProtocolHost::TokenWith(const std::string& pin, std::uint8_t subCommand,
                                        const ExtraMembers& extra) {
  ProtocolSecret secret;
  Bytes cose;
  if (!Agree(secret, cose)) return 0xFE;
  const Bytes pinHashEnc = Encrypt(secret, PinHashBytes(pin));
  return SendPin(subCommand, cose, nullptr, nullptr, &pinHashEnc, extra);
}

std::uint8_t PinProtocolHost::Assert(const std::string& rpId, const Bytes& token,
                                     std::uint32_t protocol) {
  const Bytes clientDataHash(32, 0x5A);
  const Bytes mac = Mac(protocol, token.data(), token.size(), clientDataHash);
  Bytes buffer(256);
  buffer[0] = kCtapGetAssertion;
  CborWriter w(buffer.data() + 1, static_cast<std::uint32_t>(buffer.size() - 1));
  w.beginMap(4).putInt(1).putText(rpId.data(), static_cast<std::uint32_t>(rpId.size()));
  w.putInt(2).putBytes(clientDataHash.data(), 32);
  w.putInt(6).putBytes(mac.data(), static_cast<std::uint32_t>(mac.size()));
  w.putInt(7).putInt(static_cast<std::int32_t>(protocol));
  buffer.resize(1 + w.length());
  const Bytes answer = host_.Ctap(buffer);
  return answer.empty() ? 0xFF : answer[0];
}

}  // namespace pinvale::vkey::test
