#include "bio_host.h"

#include <algorithm>

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {

Bytes EncodeParams(const BioParams& params) {
  Bytes buffer(256);
  CborWriter w(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  w.beginMap(params.templateId.has_value() + params.name.has_value() +
             params.timeoutMs.has_value());
  if (params.templateId) {
    w.putInt(1).putBytes(params.templateId->data(),
                         static_cast<std::uint32_t>(params.templateId->size()));
  }
  if (params.name) {
    w.putInt(2).putText(params.name->data(), static_cast<std::uint32_t>(params.name->size()));
  }
  if (params.timeoutMs) w.putInt(3).putInt(static_cast<std::int32_t>(*params.timeoutMs));
  buffer.resize(w.length());
  return buffer;
}

CborItem AnswerMember(const Bytes& answer, int member) {
  if (answer.size() < 2) return {};
  return CborItem(answer.data() + 1, static_cast<std::uint32_t>(answer.size() - 1))
      .mapValueByInt(member);
}

BioHost::BioHost(std::shared_ptr<VirtualKey> key, std::uint32_t protocol, bool prototype)
    : pin_(std::move(key), protocol), prototype_(prototype) {}

std::uint8_t BioHost::Login(const std::string& pin, std::uint32_t permissions) {
  return pin_.Token(pin, {permissions, std::nullopt}, &token_);
}

std::uint8_t BioHost::LegacyLogin(const std::string& pin) {
  return pin_.Token(pin, {}, &token_, kPinGetPinToken);
}

Bytes BioHost::Bio(std::uint32_t subCommand, const BioParams& params, bool sign) {
  const bool hasParams = params.templateId || params.name || params.timeoutMs;
  const Bytes encoded = hasParams ? EncodeParams(params) : Bytes{};
  Bytes signedPart(2 + encoded.size());
  signedPart[0] = 0x01;
  signedPart[1] = static_cast<std::uint8_t>(subCommand);
  std::copy(encoded.begin(), encoded.end(), signedPart.begin() + 2);
  const Bytes mac = PinProtocolHost::Mac(pin_.protocol(), token_.data(), token_.size(), signedPart);

  Bytes buffer(512);
  buffer[0] = prototype_ ? kCtapBioEnrollmentPre : kCtapBioEnrollment;
  CborWriter w(buffer.data() + 1, static_cast<std::uint32_t>(buffer.size() - 1));
  w.beginMap(2 + hasParams + (sign ? 2 : 0));
  w.putInt(1).putInt(1).putInt(2).putInt(static_cast<std::int32_t>(subCommand));
  if (hasParams) w.putInt(3).putRaw(encoded.data(), static_cast<std::uint32_t>(encoded.size()));
  if (sign) {
    w.putInt(4).putInt(static_cast<std::int32_t>(pin_.protocol()));
    w.putInt(5).putBytes(mac.data(), static_cast<std::uint32_t>(mac.size()));
  }
  buffer.resize(1 + w.length());
  return host().Ctap(buffer);
}

Bytes BioHost::Enroll() {
  Bytes answer = Bio(1);
  const std::uint8_t* id = nullptr;
  std::uint32_t idLength = 0;
  if (answer.empty() || answer[0] != kStatusOk || !AnswerMember(answer, 4).getBytes(id, idLength)) {
    return {};
  }
  const Bytes templateId(id, id + idLength);
  std::uint32_t remaining = 0;
  for (int guard = 0; guard < 32; ++guard) {
    if (!AnswerMember(answer, 6).getUnsigned(remaining)) return {};
    if (remaining == 0) return templateId;
    answer = Bio(2, {templateId, std::nullopt, std::nullopt});
    if (answer.empty() || answer[0] != kStatusOk) return {};
  }
  return {};
}

std::uint8_t BioHost::UvToken(const TokenAsk& ask, Bytes* token) {
  ProtocolSecret secret;
  Bytes cose;
  if (!pin_.Agree(secret, cose)) return 0xFE;
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
      pin_.SendPin(kPinGetTokenUsingUv, cose, nullptr, nullptr, nullptr, extra, &answer);
  if (status != kStatusOk || token == nullptr) return status;
  const std::uint8_t* encrypted = nullptr;
  std::uint32_t length = 0;
  if (!AnswerMember(answer, 2).getBytes(encrypted, length)) return 0xFE;
  token->assign(length, 0);
  std::size_t plainLength = 0;
  if (!ProtocolDecrypt(secret, encrypted, length, token->data(), plainLength)) return 0xFE;
  token->resize(plainLength);
  return status;
}

std::uint32_t BioHost::UvRetries() {
  Bytes buffer(32);
  buffer[0] = kCtapClientPin;
  CborWriter w(buffer.data() + 1, static_cast<std::uint32_t>(buffer.size() - 1));
  w.beginMap(2).putInt(1).putInt(static_cast<std::int32_t>(pin_.protocol())).putInt(2).putInt(7);
  buffer.resize(1 + w.length());
  const Bytes answer = host().Ctap(buffer);
  std::uint32_t retries = 0xFFFF;
  if (!answer.empty() && answer[0] == kStatusOk) AnswerMember(answer, 5).getUnsigned(retries);
  return retries;
}

}  // namespace pinvale::vkey::test
