#include "ctap/pin_session.h"

#include <array>
#include <cstring>

#include "cbor/cbor_item.h"

namespace pinvale {

namespace {

constexpr std::uint32_t kKeyAgreementAnswerSize = 4096;

}  // namespace

int PinSession::Agree(CFidoToken& device) {
  std::uint8_t request[kShortRequestSize + 2];
  const std::uint32_t length =
      WriteClientPinRequest(ClientPinRequest(protocol_.Number(), PinSubCommand::kGetKeyAgreement),
                            request, sizeof request);
  std::array<std::uint8_t, kKeyAgreementAnswerSize> answer{};
  std::uint32_t answerLength = answer.size();
  device.SendCborCommand(request, length, answer.data(), &answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();
  return AgreeFromAnswer(answer.data(), answerLength);
}

int PinSession::AgreeFromAnswer(const std::uint8_t* body, std::uint32_t length) {
  return protocol_.AgreeFromAnswer(body, length, secret_, platformKey_);
}

int PinSession::BuildSetPin(std::span<const std::uint8_t> newPin, PinRequestBytes& request) const {
  request.length = 0;
  NewPinBlock block;
  if (!BuildNewPinBlock(newPin, block)) return kNewPinTooLong;
  SecretBytes newPinEnc;
  int code = protocol_.Encrypt(secret_, block.span(), newPinEnc);
  PinUvAuthParam mac;
  if (code == 0) code = protocol_.Authenticate(secret_.span(), newPinEnc.span(), mac);
  if (code != 0) return code;

  ClientPinRequest fields{protocol_.Number(), PinSubCommand::kSetPin, &platformKey_};
  fields.pinUvAuthParam = mac.span();
  fields.newPinEnc = newPinEnc.span();
  request.length = WriteClientPinRequest(fields, request.bytes.data(), request.bytes.size());
  return request.length == 0 ? kNewPinTooLong : 0;
}

int PinSession::BuildChangePin(std::span<const std::uint8_t> currentPin,
                               std::span<const std::uint8_t> newPin,
                               PinRequestBytes& request) const {
  request.length = 0;
  NewPinBlock block;
  if (!BuildNewPinBlock(newPin, block)) return kNewPinTooLong;
  PinHash hash;
  SecretBytes newPinEnc;
  SecretBytes pinHashEnc;
  int code = protocol_.Encrypt(secret_, block.span(), newPinEnc);
  if (code == 0) code = ComputePinHash(currentPin, hash);
  if (code == 0) code = protocol_.Encrypt(secret_, hash.span(), pinHashEnc);
  if (code != 0) return code;

  // The MAC covers newPinEnc and pinHashEnc side by side.
  SecretBytes covered;
  covered.Reserve(newPinEnc.size() + pinHashEnc.size());
  for (std::uint8_t byte : newPinEnc.span()) covered.Append(byte);
  for (std::uint8_t byte : pinHashEnc.span()) covered.Append(byte);
  PinUvAuthParam mac;
  code = protocol_.Authenticate(secret_.span(), covered.span(), mac);
  if (code != 0) return code;

  ClientPinRequest fields{protocol_.Number(), PinSubCommand::kChangePin, &platformKey_};
  fields.pinUvAuthParam = mac.span();
  fields.newPinEnc = newPinEnc.span();
  fields.pinHashEnc = pinHashEnc.span();
  request.length = WriteClientPinRequest(fields, request.bytes.data(), request.bytes.size());
  return request.length == 0 ? kNewPinTooLong : 0;
}

int PinSession::BuildTokenRequest(PinSubCommand subCommand, std::span<const std::uint8_t> pin,
                                  std::uint32_t permissions, std::string_view rpId,
                                  PinRequestBytes& request) const {
  request.length = 0;
  PinHash hash;
  SecretBytes pinHashEnc;
  int code = ComputePinHash(pin, hash);
  if (code == 0) code = protocol_.Encrypt(secret_, hash.span(), pinHashEnc);
  if (code != 0) return code;

  ClientPinRequest fields{protocol_.Number(), subCommand, &platformKey_};
  fields.pinHashEnc = pinHashEnc.span();
  fields.permissions = permissions;
  fields.rpId = rpId;
  request.length = WriteClientPinRequest(fields, request.bytes.data(), request.bytes.size());
  return request.length == 0 ? kPinAnswerNotUnderstood : 0;
}

int PinSession::ReadToken(const std::uint8_t* body, std::uint32_t length, PinUvToken& token) const {
  token.Wipe();
  const std::uint8_t* encrypted = nullptr;
  std::uint32_t encryptedLength = 0;
  if (!CborItem(body, length).mapValueByInt(kAnswerPinToken).getBytes(encrypted, encryptedLength) ||
      encryptedLength == 0) {
    return kPinAnswerNotUnderstood;
  }
  SecretBytes plain;
  const int code =
      protocol_.Decrypt(secret_, std::span<const std::uint8_t>(encrypted, encryptedLength), plain);
  if (code != 0) return code;
  if (!protocol_.TokenLengthAllowed(plain.size()) || plain.size() > token.bytes.size()) {
    return kPinAnswerNotUnderstood;
  }
  std::memcpy(token.bytes.data(), plain.data(), plain.size());
  token.size = plain.size();
  token.protocol = &protocol_;
  return 0;
}

}  // namespace pinvale
