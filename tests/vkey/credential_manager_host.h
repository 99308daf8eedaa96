#pragma once

// A platform that manages a virtual key's passkeys: credentialManagement requests
// (0x0A, or the prototype 0x41) with a pinUvAuthParam made with its token, and a way
// to put passkeys in the store for the tests and the benchmark.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pin_protocol_host.h"
#include "vkey/key_state.h"

namespace pinvale::vkey {

// Puts a passkey straight into a key's store, as a makeCredential with rk would.
struct VirtualKeyTestAccess {
  static void StorePasskey(VirtualKey& key, StoredCredential credential);
};

namespace test {

// A passkey for `rpId` whose private key is the scalar `serial` (1 or more), its
// credential id and user id made from `serial` too.
StoredCredential Passkey(const std::string& rpId, std::uint8_t serial,
                         const std::string& userName = "", const std::string& displayName = "",
                         const std::string& rpName = "");

Bytes Sha256(const std::string& text);
// subCommandParams in canonical CBOR.
Bytes RpIdHashParams(const std::string& rpId);
Bytes DescriptorParams(const Bytes& credentialId, const std::string& type = "public-key");
Bytes UpdateUserParams(const Bytes& credentialId, const Bytes& userId,
                       const std::optional<std::string>& name,
                       const std::optional<std::string>& displayName);

// How a request is authorised.
enum class Auth { kToken, kNone, kWrongMac, kNoProtocol, kProtocol3 };

class CredentialManagerHost {
 public:
  // `command` 0x0A or 0x41; a 2.1 key is spoken to with `protocol`, other keys with 1.
  CredentialManagerHost(std::shared_ptr<VirtualKey> key, std::uint8_t command,
                        std::uint32_t protocol = 2);

  PinProtocolHost& pin() { return pin_; }
  TestHost& host() { return pin_.host(); }
  Bytes& token() { return token_; }

  // A token: with permissions (0x09) on a 2.1 key, getPINToken (0x05) otherwise or
  // with `legacy`.
  std::uint8_t Login(const std::string& pin,
                     const TokenAsk& ask = {kPermissionCredentialManagement, std::nullopt},
                     bool legacy = false);

  // Status byte then body.
  Bytes Call(std::uint8_t subCommand, const Bytes& params = {}, Auth auth = Auth::kToken);
  // The GetNext commands, which carry no MAC.
  Bytes Next(std::uint8_t subCommand) { return Call(subCommand, {}, Auth::kNone); }
  // A request of any bytes after the command byte.
  Bytes Raw(const Bytes& cbor);

 private:
  PinProtocolHost pin_;
  std::uint8_t command_;
  std::uint32_t protocol_;
  bool ctap21_;
  Bytes token_;
};

}  // namespace test
}  // namespace pinvale::vkey
