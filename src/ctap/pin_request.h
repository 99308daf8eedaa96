#pragma once

// The bytes of the authenticatorClientPIN requests: the command byte 0x06
// followed by the CBOR map, written with CborWriter into the caller's fixed
// buffer. WriteClientPinRequest is the one writer; the others are its protocol-1
// forms. Each returns the request length, command byte included.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

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
  kGetPinUvAuthTokenUsingUvWithPermissions = 6,
  kGetUvRetries = 7,
  kGetPinUvAuthTokenUsingPinWithPermissions = 9,
};

// Permission bits of a token (member 9).
enum PinUvPermission : std::uint32_t {
  kPermissionMakeCredential = 0x01,
  kPermissionGetAssertion = 0x02,
  kPermissionCredentialManagement = 0x04,
  kPermissionBioEnrollment = 0x08,
  kPermissionLargeBlobWrite = 0x10,
  kPermissionAuthenticatorConfig = 0x20,
};

// Request and answer map keys.
constexpr std::int32_t kKeyPinProtocol = 1;
constexpr std::int32_t kKeySubCommand = 2;
constexpr std::int32_t kKeyKeyAgreement = 3;
constexpr std::int32_t kKeyPinAuth = 4;
constexpr std::int32_t kKeyNewPinEnc = 5;
constexpr std::int32_t kKeyPinHashEnc = 6;
constexpr std::int32_t kKeyPermissions = 9;
constexpr std::int32_t kKeyRpId = 0x0A;
constexpr std::int32_t kAnswerKeyAgreement = 1;
constexpr std::int32_t kAnswerPinToken = 2;
constexpr std::int32_t kAnswerRetries = 3;
constexpr std::int32_t kAnswerPowerCycleState = 4;

// Encoded sizes: the COSE key is always 78 bytes since both coordinates are 32.
constexpr std::size_t kCoseKeySize = 78;
constexpr std::size_t kShortRequestSize = 6;  // getRetries, getKeyAgreement
constexpr std::size_t kSetPinRequestSize = 170;
constexpr std::size_t kChangePinRequestSize = 188;
constexpr std::size_t kGetPinTokenRequestSize = 103;

// The members of one request; empty spans and a null key are left out, and the
// members present are written in ascending key order.
struct ClientPinRequest {
  ClientPinRequest(std::int32_t protocolNumber, PinSubCommand sub,
                   const PlatformPublicKey* platformKey = nullptr)
      : protocol(protocolNumber), subCommand(sub), keyAgreement(platformKey) {}

  std::int32_t protocol = kPinProtocolOne;
  PinSubCommand subCommand = PinSubCommand::kGetRetries;
  const PlatformPublicKey* keyAgreement = nullptr;
  std::span<const std::uint8_t> pinUvAuthParam;
  std::span<const std::uint8_t> newPinEnc;
  std::span<const std::uint8_t> pinHashEnc;
  std::uint32_t permissions = 0;  // 0: member 9 left out
  std::string_view rpId;
};

// The largest request: changePIN under protocol 2 (32-byte MAC, 80 + 32 bytes
// encrypted), with room to spare for an rpId.
constexpr std::size_t kMaxClientPinRequestSize = 512;

// 0 when the request does not fit `capacity`.
std::uint32_t WriteClientPinRequest(const ClientPinRequest& request, std::uint8_t* buffer,
                                    std::uint32_t capacity);

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
