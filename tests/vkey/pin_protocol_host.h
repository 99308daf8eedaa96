#pragma once

// A platform that speaks either PIN/UV auth protocol to a virtual key, on top of
// TestHost's framing. Its cryptography is the key's own, held to the published
// vectors by pin_uv_protocol_test; what is under test here is what the key does with
// the requests.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cbor/cbor_writer.h"
#include "vkey/pin_uv_protocol.h"
#include "vkey_test_host.h"

namespace pinvale::vkey::test {

using Bytes = std::vector<std::uint8_t>;

// Members added to a clientPIN request after those the host writes itself, and how
// many pairs they are.
struct ExtraMembers {
  std::uint32_t pairs = 0;
  std::function<void(CborWriter&)> write;
};

// Permissions and rpId of a token request; absent when not set.
struct TokenAsk {
  std::optional<std::uint32_t> permissions;
  std::optional<std::string> rpId;
};

class PinProtocolHost {
 public:
  PinProtocolHost(std::shared_ptr<VirtualKey> key, std::uint32_t protocol);

  TestHost& host() { return host_; }
  std::uint32_t protocol() const { return protocol_; }

  // Status of getKeyAgreement alone, under this host's protocol.
  std::uint8_t KeyAgreementStatus();
  std::uint8_t SetPin(const std::string& pin);
  std::uint8_t ChangePin(const std::string& current, const std::string& next);
  // 0x09 (or 0x05 with `subCommand`); the decrypted token in `token`.
  std::uint8_t Token(const std::string& pin, const TokenAsk& ask, Bytes* token = nullptr,
                     std::uint8_t subCommand = 9);
  // A token request whose members after the PIN hash are `extra` alone.
  std::uint8_t TokenWith(const std::string& pin, std::uint8_t subCommand,
                         const ExtraMembers& extra);
  // getAssertion for `rpId` with a pinUvAuthParam made with `token` under `protocol`.
  std::uint8_t Assert(const std::string& rpId, const Bytes& token, std::uint32_t protocol);

  // The steps, for requests made wrong on purpose.
  bool Agree(ProtocolSecret& secret, Bytes& coseKey);
  Bytes Encrypt(const ProtocolSecret& secret, const Bytes& plaintext);
  static Bytes Mac(std::uint32_t protocol, const std::uint8_t* key, std::size_t keyLength,
                   const Bytes& message);
  std::uint8_t SendPin(std::uint8_t subCommand, const Bytes& coseKey, const Bytes* pinAuth,
                       const Bytes* newPinEnc, const Bytes* pinHashEnc,
                       const ExtraMembers& extra = {}, Bytes* answer = nullptr);

 private:
  TestHost host_;
  std::uint32_t protocol_;
  RandomSource random_;
};

Bytes PinHashBytes(const std::string& pin);

}  // namespace pinvale::vkey::test
