#include "ctap/pin_protocol.h"

#include <array>

#include "cbor/cbor_item.h"
#include "ctap/pin_request.h"
#include "ctap/pin_session.h"

namespace pinvale {

namespace {

constexpr std::uint32_t kSmallAnswerSize = 1024;  // getRetries, getPINToken

// setPIN and changePIN succeed with the status byte alone.
int SendWithoutAnswer(CFidoToken& device, const PinRequestBytes& request) {
  std::uint8_t unused = 0;
  std::uint32_t capacity = 0;
  return device.SendCborCommand(request.bytes.data(), request.length, &unused, &capacity);
}

}  // namespace

PinRetriesReading ReadPinRetriesAnswer(CFidoToken& device, const PinUvAuthProtocol& protocol) {
  std::uint8_t request[kShortRequestSize + 2];
  const std::uint32_t length = WriteClientPinRequest(
      ClientPinRequest(protocol.Number(), PinSubCommand::kGetRetries), request, sizeof request);
  std::array<std::uint8_t, kSmallAnswerSize> answer{};
  std::uint32_t answerLength = answer.size();
  PinRetriesReading result;
  result.status = device.SendCborCommand(request, length, answer.data(), &answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();
  const CborItem body(answer.data(), answerLength);
  const CborItem count = body.mapValueByInt(kAnswerRetries);
  result.countRead = count.getUnsigned(result.retries);
  result.countMalformed = !result.countRead && isWellFormed(count.head()) &&
                          !(count.head().majorType == 7 && count.simpleValue() == 22);
  const CborItem powerCycle = body.mapValueByInt(kAnswerPowerCycleState);
  if (powerCycle.head().majorType == 7 && isWellFormed(powerCycle.head())) {
    if (powerCycle.simpleValue() == 21) result.powerCycleState = true;
    if (powerCycle.simpleValue() == 20) result.powerCycleState = false;
  }
  return result;
}

std::uint32_t QueryPinRetries(CFidoToken& device) {
  std::uint32_t retries = 0;
  QueryPinRetriesWithStatus(device, retries);
  return retries;
}

int QueryPinRetriesWithStatus(CFidoToken& device, std::uint32_t& retries) {
  const PinRetriesReading answer = ReadPinRetriesAnswer(device, PinProtocolOne());
  retries = answer.retries;
  return answer.status;
}

bool ReadPinRetries(CFidoToken& device, std::uint32_t& retries) {
  const PinRetriesReading answer = ReadPinRetriesAnswer(device, PinProtocolOne());
  const bool shown = answer.status == 0 && answer.countRead;
  retries = shown ? answer.retries : 0;
  return shown;
}

PinRequestResult SendSetPin(CFidoToken& device, const PinUvAuthProtocol& protocol,
                            std::span<const std::uint8_t> newPin) {
  if (newPin.size() > kNewPinBlockSize) return {false, kNewPinTooLong};
  PinSession session(protocol);
  if (int code = session.Agree(device); code != 0) return {false, code};
  PinRequestBytes request;
  if (int code = session.BuildSetPin(newPin, request); code != 0) return {false, code};
  return {true, SendWithoutAnswer(device, request)};
}

PinRequestResult SendChangePin(CFidoToken& device, const PinUvAuthProtocol& protocol,
                               std::span<const std::uint8_t> currentPin,
                               std::span<const std::uint8_t> newPin) {
  if (newPin.size() > kNewPinBlockSize) return {false, kNewPinTooLong};
  PinSession session(protocol);
  if (int code = session.Agree(device); code != 0) return {false, code};
  PinRequestBytes request;
  if (int code = session.BuildChangePin(currentPin, newPin, request); code != 0) {
    return {false, code};
  }
  return {true, SendWithoutAnswer(device, request)};
}

PinTokenResult ObtainPinToken(CFidoToken& device, const PinUvAuthProtocol& protocol,
                              std::span<const std::uint8_t> pin) {
  PinSession session(protocol);
  if (int code = session.Agree(device); code != 0) return {false, code, false};
  PinRequestBytes request;
  if (int code = session.BuildTokenRequest(PinSubCommand::kGetPinToken, pin, 0, {}, request);
      code != 0) {
    return {false, code, false};
  }
  // The answer holds the encrypted token: wiped like the rest.
  SecretArray<kSmallAnswerSize> answer;
  std::uint32_t answerLength = answer.size();
  const int status =
      device.SendCborCommand(request.bytes.data(), request.length, answer.data(), &answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();

  const std::uint8_t* token = nullptr;
  std::uint32_t tokenLength = 0;
  const bool tokenPresent = CborItem(answer.data(), answerLength)
                                .mapValueByInt(kAnswerPinToken)
                                .getBytes(token, tokenLength) &&
                            tokenLength > 0;
  return {true, status, tokenPresent};
}

PinRequestResult SendSetPin(CFidoToken& device, std::span<const std::uint8_t> newPin) {
  return SendSetPin(device, PinProtocolOne(), newPin);
}

PinRequestResult SendChangePin(CFidoToken& device, std::span<const std::uint8_t> currentPin,
                               std::span<const std::uint8_t> newPin) {
  return SendChangePin(device, PinProtocolOne(), currentPin, newPin);
}

PinTokenResult ObtainPinToken(CFidoToken& device, std::span<const std::uint8_t> pin) {
  return ObtainPinToken(device, PinProtocolOne(), pin);
}

}  // namespace pinvale
