#pragma once

// The PIN operations of CTAP2 authenticatorClientPIN as the PIN dialogs and
// pinvale-cli use them. The forms without a protocol speak PIN protocol 1; the
// forms that take one speak it from getKeyAgreement on (see
// pin_protocol_choice.h for choosing it). PINs are UTF-8 byte strings (see pin_text.h
// for the conversion from the UI's UTF-16 text). Every operation that sends PIN
// material makes its own key pair and shared secret and wipes every PIN, hash,
// secret and block it made before it returns.

#include <cstdint>
#include <optional>
#include <span>

#include "ctap/pin_crypto.h"
#include "ctap/pin_uv_auth_protocol.h"
#include "transport/fido_token.h"

namespace pinvale {

// Result of setPIN and changePIN. When requestSent is false, nothing carrying
// PIN material went out and `code` is the local refusal (kNewPinTooLong), the
// key-agreement code (kKeyAgreementUnusable or an mbedTLS error) or a failed
// local cipher step. When true, `code` is the status of the request: 0, the
// key's CTAP status, or an exchange code of CFidoToken.
struct PinRequestResult {
  bool requestSent = false;
  int code = 0;
};

struct PinTokenResult {
  bool requestSent = false;
  int code = 0;
  bool tokenPresent = false;  // the answer carried a non-empty pinToken
};

// One reading of getRetries. The three forms below are views of it.
struct PinRetriesReading {
  int status = 0;             // of the exchange: 0, the key's status, an exchange code
  bool countRead = false;     // member 3 was there and an unsigned integer
  std::uint32_t retries = 0;  // the count when countRead, else 0
  // Member 3 was there but not an unsigned count (one key sends -61 before a
  // PIN is set): the count could not be read, which is not "no attempts left".
  bool countMalformed = false;
  std::optional<bool> powerCycleState;  // member 4: a re-plug is needed first
};

PinRetriesReading ReadPinRetriesAnswer(CFidoToken& device, const PinUvAuthProtocol& protocol);

// getRetries; 0 when the answer has no unsigned member 3, whatever went wrong.
std::uint32_t QueryPinRetries(CFidoToken& device);

// The same for callers that report the status too (pinvale-cli): returns the
// status of the exchange and sets `retries` as QueryPinRetries would.
int QueryPinRetriesWithStatus(CFidoToken& device, std::uint32_t& retries);

// getRetries for callers that show the count: true only when the key answered
// with status 0 and an unsigned count, which is then in `retries`. A count that
// could not be read is never shown as 0, which would read as a locked key.
bool ReadPinRetries(CFidoToken& device, std::uint32_t& retries);

PinRequestResult SendSetPin(CFidoToken& device, std::span<const std::uint8_t> newPin);

PinRequestResult SendChangePin(CFidoToken& device, std::span<const std::uint8_t> currentPin,
                               std::span<const std::uint8_t> newPin);

PinTokenResult ObtainPinToken(CFidoToken& device, std::span<const std::uint8_t> pin);

// The same under a chosen protocol. ObtainPinToken sends getPINToken (0x05) and
// reports only whether a token came; pin_token.h has the token itself.
PinRequestResult SendSetPin(CFidoToken& device, const PinUvAuthProtocol& protocol,
                            std::span<const std::uint8_t> newPin);
PinRequestResult SendChangePin(CFidoToken& device, const PinUvAuthProtocol& protocol,
                               std::span<const std::uint8_t> currentPin,
                               std::span<const std::uint8_t> newPin);
PinTokenResult ObtainPinToken(CFidoToken& device, const PinUvAuthProtocol& protocol,
                              std::span<const std::uint8_t> pin);

}  // namespace pinvale
