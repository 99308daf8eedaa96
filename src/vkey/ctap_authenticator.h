#pragma once

// The CTAP2 side of the virtual key: getInfo, clientPIN (protocol 1 with the CTAP 2.0
// rules, or protocols 2 and 1 with the 2.1 rules and tokens with permissions),
// getAssertion without credentials and the state a reset wipes. Not thread-safe: VirtualKey
// calls it with its lock held. Reset itself is started by VirtualKey, which owns the touch and the
// clock, and ends here in FactoryReset.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vkey/client_pin_request.h"
#include "vkey/pin_crypto.h"
#include "vkey/pin_uv_protocol.h"
#include "vkey/vkey_config.h"

namespace pinvale::vkey {

struct AssertionRequest;

// What getAssertion answers: a status alone, after the user touched the key when
// `afterTouch` is set.
struct AssertionVerdict {
  std::uint8_t status = 0;
  bool afterTouch = false;
};

class CtapAuthenticator {
 public:
  CtapAuthenticator(const VirtualKeyConfig& config, RandomSource& random);

  // A power cycle: a fresh key-agreement key and PIN token, and the three-in-a-row
  // counter cleared. The PIN and its retries persist.
  void PowerUp();

  // Handles one CTAP2 message (command byte, then CBOR parameters) other than reset
  // and getAssertion and stores the answer: status byte, then the CBOR body.
  void Handle(const std::uint8_t* message, std::size_t length, std::vector<std::uint8_t>& answer);

  // getAssertion's CBOR parameters. The key holds no credentials, so the answer is
  // a status; the touch, when one is needed, is VirtualKey's to wait for.
  AssertionVerdict GetAssertion(const std::uint8_t* cbor, std::size_t length) const;

  // The PIN and its retries go back to the factory state.
  void FactoryReset();

  bool PinSet() const { return pinSet_; }
  bool ForcePinChange() const { return forcePinChange_; }
  std::uint32_t Retries() const { return retries_; }
  std::uint32_t ConsecutiveFailures() const { return consecutiveFailures_; }

 private:
  void GetInfo(std::vector<std::uint8_t>& answer) const;
  void ClientPin(const std::uint8_t* cbor, std::size_t length, std::vector<std::uint8_t>& answer);

  std::uint8_t GetKeyAgreement(std::vector<std::uint8_t>& answer);
  std::uint8_t SetPin(const PinRequest& request);
  std::uint8_t ChangePin(const PinRequest& request);
  // getPINToken (0x05) and, on a 2.1 key, getPinUvAuthTokenUsingPinWithPermissions
  // (0x09).
  std::uint8_t GetPinToken(const PinRequest& request, std::vector<std::uint8_t>& answer);
  std::uint8_t CheckPermissions(const PinRequest& request) const;
  std::uint8_t CheckAssertionPinAuth(const AssertionRequest& request) const;

  // Shared steps of the PIN subcommands.
  std::uint8_t AgreeOnSecret(const PinRequest& request, ProtocolSecret& secret);
  std::uint8_t CheckPinHash(const ProtocolSecret& secret, const PinRequest& request);
  std::uint8_t StoreNewPin(const ProtocolSecret& secret, const PinRequest& request, bool changing);
  bool PinAuthMatches(const ProtocolSecret& secret, const std::uint8_t* message, std::size_t length,
                      const ByteField& pinAuth) const;
  void RenewKeyAgreement();
  // A fresh token (2.1: at every issue; 2.0: once per power cycle) without permissions.
  void RenewPinToken();

  bool Ctap21() const { return config_.profile == CtapProfile::kCtap21; }
  std::size_t TokenSize() const { return Ctap21() ? 32 : 16; }
  bool SupportsProtocol(std::uint32_t protocol) const;

  const VirtualKeyConfig& config_;
  RandomSource& random_;
  PinRequestRules rules_;
  int minPinLength_ = 0;  // code points; 0: only the 4-byte floor
  KeyAgreementKey keyAgreement_;
  SecretBuffer<32> pinToken_;  // TokenSize() bytes of it
  // 2.1: what the token may do, for which site, and the protocol it was issued under.
  std::uint32_t tokenPermissions_ = 0;
  std::string tokenRpId_;
  std::uint32_t tokenProtocol_ = 0;

  bool pinSet_ = false;
  PinHash pinHash_;
  std::uint32_t retries_ = 8;
  std::uint32_t consecutiveFailures_ = 0;
  bool forcePinChange_ = false;
};

// The clientPIN subcommand of a request's CBOR parameters, -1 when it has none.
int ClientPinSubCommand(const std::uint8_t* cbor, std::size_t length);

}  // namespace pinvale::vkey
