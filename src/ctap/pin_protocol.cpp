#include "ctap/pin_protocol.h"

#include <array>

#include "cbor/cbor_item.h"
#include "ctap/pin_request.h"

namespace pinvale {

namespace {

constexpr std::uint32_t kKeyAgreementAnswerSize = 4096;
constexpr std::uint32_t kSmallAnswerSize = 1024;  // getRetries, getPINToken

// getKeyAgreement, then the shared secret. The answer goes to
// DeriveSharedSecret whatever its status: after a failed exchange the buffer is
// still all zero and reads as an unusable answer.
int AgreeOnSecret(CFidoToken& device, SharedSecret& secret, PlatformPublicKey& platformKey) {
  std::uint8_t request[kShortRequestSize];
  const std::uint32_t length =
      WriteShortPinRequest(PinSubCommand::kGetKeyAgreement, request, sizeof request);
  std::array<std::uint8_t, kKeyAgreementAnswerSize> answer{};
  std::uint32_t answerLength = answer.size();
  device.SendCborCommand(request, length, answer.data(), &answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();
  return DeriveSharedSecret(answer.data(), answerLength, secret, platformKey);
}

// setPIN and changePIN succeed with the status byte alone.
int SendWithoutAnswer(CFidoToken& device, const std::uint8_t* request, std::uint32_t length) {
  std::uint8_t unused = 0;
  std::uint32_t capacity = 0;
  return device.SendCborCommand(request, length, &unused, &capacity);
}

}  // namespace

std::uint32_t QueryPinRetries(CFidoToken& device) {
  std::uint32_t retries = 0;
  QueryPinRetriesWithStatus(device, retries);
  return retries;
}

int QueryPinRetriesWithStatus(CFidoToken& device, std::uint32_t& retries) {
  std::uint8_t request[kShortRequestSize];
  const std::uint32_t length =
      WriteShortPinRequest(PinSubCommand::kGetRetries, request, sizeof request);
  std::array<std::uint8_t, kSmallAnswerSize> answer{};
  std::uint32_t answerLength = answer.size();
  const int status = device.SendCborCommand(request, length, answer.data(), &answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();
  retries = 0;
  CborItem(answer.data(), answerLength).mapValueByInt(kAnswerRetries).getUnsigned(retries);
  return status;
}

bool ReadPinRetries(CFidoToken& device, std::uint32_t& retries) {
  std::uint8_t request[kShortRequestSize];
  const std::uint32_t length =
      WriteShortPinRequest(PinSubCommand::kGetRetries, request, sizeof request);
  std::array<std::uint8_t, kSmallAnswerSize> answer{};
  std::uint32_t answerLength = answer.size();
  retries = 0;
  if (device.SendCborCommand(request, length, answer.data(), &answerLength) != 0) return false;
  if (answerLength > answer.size()) return false;
  if (CborItem(answer.data(), answerLength).mapValueByInt(kAnswerRetries).getUnsigned(retries)) {
    return true;
  }
  retries = 0;
  return false;
}

PinRequestResult SendSetPin(CFidoToken& device, std::span<const std::uint8_t> newPin) {
  if (newPin.size() > kNewPinBlockSize) return {false, kNewPinTooLong};

  SharedSecret secret;
  PlatformPublicKey platformKey;
  if (int code = AgreeOnSecret(device, secret, platformKey); code != 0) return {false, code};

  NewPinBlock block;
  BuildNewPinBlock(newPin, block);
  SecretArray<kNewPinBlockSize> newPinEnc;
  if (int code = PinCipher(secret.data(), block.data(), block.size(), newPinEnc.data());
      code != 0) {
    return {false, code};
  }
  std::uint8_t pinAuth[kPinAuthSize];
  if (int code =
          ComputePinAuth(secret.data(), secret.size(), newPinEnc.data(), newPinEnc.size(), pinAuth);
      code != 0) {
    return {false, code};
  }

  SecretArray<kSetPinRequestSize> request;
  const std::uint32_t length =
      WriteSetPinRequest(platformKey, pinAuth, newPinEnc.data(), request.data(), request.size());
  return {true, SendWithoutAnswer(device, request.data(), length)};
}

PinRequestResult SendChangePin(CFidoToken& device, std::span<const std::uint8_t> currentPin,
                               std::span<const std::uint8_t> newPin) {
  if (newPin.size() > kNewPinBlockSize) return {false, kNewPinTooLong};

  SharedSecret secret;
  PlatformPublicKey platformKey;
  if (int code = AgreeOnSecret(device, secret, platformKey); code != 0) return {false, code};

  // newPinEnc and pinHashEnc side by side: the pinAuth covers all 80 bytes.
  SecretArray<kNewPinBlockSize + kPinHashSize> encrypted;
  std::uint8_t* newPinEnc = encrypted.data();
  std::uint8_t* pinHashEnc = encrypted.data() + kNewPinBlockSize;
  NewPinBlock block;
  BuildNewPinBlock(newPin, block);
  PinHash hash;
  int code = PinCipher(secret.data(), block.data(), block.size(), newPinEnc);
  if (code == 0) code = ComputePinHash(currentPin, hash);
  if (code == 0) code = PinCipher(secret.data(), hash.data(), hash.size(), pinHashEnc);
  std::uint8_t pinAuth[kPinAuthSize];
  if (code == 0) {
    code =
        ComputePinAuth(secret.data(), secret.size(), encrypted.data(), encrypted.size(), pinAuth);
  }
  if (code != 0) return {false, code};

  SecretArray<kChangePinRequestSize> request;
  const std::uint32_t length = WriteChangePinRequest(platformKey, pinAuth, newPinEnc, pinHashEnc,
                                                     request.data(), request.size());
  return {true, SendWithoutAnswer(device, request.data(), length)};
}

PinTokenResult ObtainPinToken(CFidoToken& device, std::span<const std::uint8_t> pin) {
  SharedSecret secret;
  PlatformPublicKey platformKey;
  if (int code = AgreeOnSecret(device, secret, platformKey); code != 0) return {false, code, false};

  PinHash hash;
  SecretArray<kPinHashSize> pinHashEnc;
  int code = ComputePinHash(pin, hash);
  if (code == 0) code = PinCipher(secret.data(), hash.data(), hash.size(), pinHashEnc.data());
  if (code != 0) return {false, code, false};

  SecretArray<kGetPinTokenRequestSize> request;
  const std::uint32_t length =
      WriteGetPinTokenRequest(platformKey, pinHashEnc.data(), request.data(), request.size());
  // The answer holds the encrypted token: wiped like the rest.
  SecretArray<kSmallAnswerSize> answer;
  std::uint32_t answerLength = answer.size();
  const int status = device.SendCborCommand(request.data(), length, answer.data(), &answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();

  const std::uint8_t* token = nullptr;
  std::uint32_t tokenLength = 0;
  const bool tokenPresent = CborItem(answer.data(), answerLength)
                                .mapValueByInt(kAnswerPinToken)
                                .getBytes(token, tokenLength) &&
                            tokenLength > 0;
  return {true, status, tokenPresent};
}

}  // namespace pinvale
