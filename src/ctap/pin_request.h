#pragma once

// The bytes of the authenticatorClientPIN requests (PIN protocol 1): the command
// byte 0x06 followed by the CBOR map, written with CborWriter into the caller's
// fixed buffer. Each writer returns the request length, command byte included.

#include <cstddef>
#include <cstdint>

#include "ctap/pin_crypto.h"

namespace pinvale {

constexpr std::uint8_t kClientPinCommand = 0x06;
constexpr std::int32_t kPinProtocolOne = 1;

enum class PinSubCommand : std::int32_t {
  kGetRetries = 1,
  kGetKeyAgreement = 2,
  kSetPin = 3,
  kChangePin = 4,
  kGetPinToken = 5,
};

// Request and answer map keys.
constexpr std::int32_t kKeyPinProtocol = 1;
constexpr std::int32_t kKeySubCommand = 2;
constexpr std::int32_t kKeyKeyAgreement = 3;
constexpr std::int32_t kKeyPinAuth = 4;
constexpr std::int32_t kKeyNewPinEnc = 5;
constexpr std::int32_t kKeyPinHashEnc = 6;
constexpr std::int32_t kAnswerKeyAgreement = 1;
constexpr std::int32_t kAnswerPinToken = 2;
constexpr std::int32_t kAnswerRetries = 3;

// Encoded sizes: the COSE key is always 78 bytes since both coordinates are 32.
constexpr std::size_t kCoseKeySize = 78;
constexpr std::size_t kShortRequestSize = 6;  // getRetries, getKeyAgreement
constexpr std::size_t kSetPinRequestSize = 170;
constexpr std::size_t kChangePinRequestSize = 188;
constexpr std::size_t kGetPinTokenRequestSize = 103;

// getRetries and getKeyAgreement: 06 A2 01 01 02 0n.
std::uint32_t WriteShortPinRequest(PinSubCommand subCommand, std::uint8_t* buffer,
                                   std::uint32_t capacity);

std::uint32_t WriteSetPinRequest(const PlatformPublicKey& platformKey, const std::uint8_t* pinAuth,
                                 const std::uint8_t* newPinEnc, std::uint8_t* buffer,
                                 std::uint32_t capacity);

std::uint32_t WriteChangePinRequest(const PlatformPublicKey& platformKey,
                                    const std::uint8_t* pinAuth, const std::uint8_t* newPinEnc,
                                    const std::uint8_t* pinHashEnc, std::uint8_t* buffer,
                                    std::uint32_t capacity);

std::uint32_t WriteGetPinTokenRequest(const PlatformPublicKey& platformKey,
                                      const std::uint8_t* pinHashEnc, std::uint8_t* buffer,
                                      std::uint32_t capacity);

}  // namespace pinvale
