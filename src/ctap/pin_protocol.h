#pragma once

// The PIN operations of CTAP2 authenticatorClientPIN, PIN protocol 1, as the PIN
// dialogs and pinvale-cli use them. PINs are UTF-8 byte strings (see pin_text.h
// for the conversion from the UI's UTF-16 text). Every operation that sends PIN
// material makes its own key pair and shared secret and wipes every PIN, hash,
// secret and block it made before it returns.

#include <cstdint>
#include <span>

#include "ctap/pin_crypto.h"
#include "transport/fido_token.h"

namespace pinvale {

// A new PIN whose UTF-8 form does not fit the 64-byte new-PIN block is refused
// before anything is sent, with the status a key gives for a PIN it will not take.
constexpr int kNewPinTooLong = 0x37;  // CTAP2_ERR_PIN_POLICY_VIOLATION

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

}  // namespace pinvale
