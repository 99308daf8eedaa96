#pragma once

// One key agreement with a key and the clientPIN requests built on it. This is
// the one place where each request is put together with its MAC input: setPIN
// covers newPinEnc, changePIN newPinEnc followed by pinHashEnc, and the token
// requests carry pinHashEnc without a MAC. The shared secret and every
// encrypted PIN stay in wiped buffers and go when the session does.

#include <cstdint>
#include <span>
#include <string_view>

#include "ctap/pin_request.h"
#include "ctap/pin_uv_auth_protocol.h"
#include "transport/fido_token.h"

namespace pinvale {

// A request as built: the bytes of the command and map, wiped afterwards since
// they hold encrypted PINs.
struct PinRequestBytes {
  SecretArray<kMaxClientPinRequestSize> bytes;
  std::uint32_t length = 0;
};

// A PIN/UV auth token as the key gave it, decrypted, with the protocol that
// must compute every MAC made with it.
struct PinUvToken {
  SecretArray<kMaxPinTokenSize> bytes;
  std::size_t size = 0;
  const PinUvAuthProtocol* protocol = nullptr;
  std::span<const std::uint8_t> span() const { return {bytes.data(), size}; }
  void Wipe() {
    bytes.Wipe();
    size = 0;
    protocol = nullptr;
  }
};

class PinSession {
 public:
  explicit PinSession(const PinUvAuthProtocol& protocol) : protocol_(protocol) {}

  const PinUvAuthProtocol& Protocol() const { return protocol_; }

  // getKeyAgreement under the session's protocol, then the shared secret. The
  // answer is read whatever its status: after a failed exchange the buffer is
  // all zero and reads as an unusable answer (kKeyAgreementUnusable).
  int Agree(CFidoToken& device);
  // The same from an answer body (tests, fuzzing).
  int AgreeFromAnswer(const std::uint8_t* body, std::uint32_t length);

  int BuildSetPin(std::span<const std::uint8_t> newPin, PinRequestBytes& request) const;
  int BuildChangePin(std::span<const std::uint8_t> currentPin, std::span<const std::uint8_t> newPin,
                     PinRequestBytes& request) const;
  // getPINToken (0x05; `permissions` and `rpId` must be empty) or
  // getPinUvAuthTokenUsingPinWithPermissions (0x09).
  int BuildTokenRequest(PinSubCommand subCommand, std::span<const std::uint8_t> pin,
                        std::uint32_t permissions, std::string_view rpId,
                        PinRequestBytes& request) const;

  // The pinUvAuthToken (member 2) of a token answer, decrypted and checked for
  // the length the protocol allows: 0 or kPinAnswerNotUnderstood.
  int ReadToken(const std::uint8_t* body, std::uint32_t length, PinUvToken& token) const;

  const PlatformPublicKey& PlatformKey() const { return platformKey_; }

 private:
  const PinUvAuthProtocol& protocol_;
  PinSharedSecret secret_;
  PlatformPublicKey platformKey_;
};

}  // namespace pinvale
