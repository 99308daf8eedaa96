#pragma once

// The CTAP2 side of the virtual key: getInfo, clientPIN (PIN protocol 1, CTAP 2.0
// rules), getAssertion without credentials and the state a reset wipes. Not thread-safe: VirtualKey
// calls it with its lock held. Reset itself is started by VirtualKey, which owns the touch and the
// clock, and ends here in FactoryReset.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vkey/pin_crypto.h"
#include "vkey/vkey_config.h"

namespace pinvale::vkey {

struct PinRequest;

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
  std::uint32_t Retries() const { return retries_; }
  std::uint32_t ConsecutiveFailures() const { return consecutiveFailures_; }

 private:
  void GetInfo(std::vector<std::uint8_t>& answer) const;
  void ClientPin(const std::uint8_t* cbor, std::size_t length, std::vector<std::uint8_t>& answer);

  std::uint8_t GetKeyAgreement(std::vector<std::uint8_t>& answer);
  std::uint8_t SetPin(const PinRequest& request);
  std::uint8_t ChangePin(const PinRequest& request);
  std::uint8_t GetPinToken(const PinRequest& request, std::vector<std::uint8_t>& answer);

  // Shared steps of the PIN subcommands.
  std::uint8_t AgreeOnSecret(const PinRequest& request, SharedSecret& secret);
  std::uint8_t CheckPinHash(const SharedSecret& secret, const PinRequest& request);
  std::uint8_t StoreNewPin(const SharedSecret& secret, const PinRequest& request);
  void RenewKeyAgreement();

  const VirtualKeyConfig& config_;
  RandomSource& random_;
  KeyAgreementKey keyAgreement_;
  SecretBuffer<16> pinToken_;

  bool pinSet_ = false;
  PinHash pinHash_;
  std::uint32_t retries_ = 8;
  std::uint32_t consecutiveFailures_ = 0;
};

// The clientPIN subcommand of a request's CBOR parameters, -1 when it has none.
int ClientPinSubCommand(const std::uint8_t* cbor, std::size_t length);

}  // namespace pinvale::vkey
