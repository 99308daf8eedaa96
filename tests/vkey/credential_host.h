#pragma once

// A platform that makes and uses credentials on a virtual key, on top of TestHost:
// it writes makeCredential and getAssertion requests, reads their answers apart and
// checks their signatures with mbedTLS against the credential's COSE key.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vkey_test_host.h"

namespace pinvale::vkey::test {

using Bytes = std::vector<std::uint8_t>;

inline const std::string kSite = "pinvale.example";
inline const Bytes kClientDataHash(32, 0x5A);

struct MakeArgs {
  std::string rpId = kSite;
  Bytes userId = {0x75, 0x01};
  std::string userName = "alice";
  bool rk = false;
  std::optional<bool> up{};
  std::optional<bool> uv{};
  int credProtect = 0;  // 0: no extension
  std::vector<Bytes> excludeList{};
  const Bytes* token = nullptr;  // pinUvAuthParam with this token, protocol 1
  bool emptyPinAuth = false;
  int algorithm = -7;
};

struct AssertArgs {
  std::string rpId = kSite;
  std::vector<Bytes> allowList{};
  std::optional<bool> up{};
  std::optional<bool> uv{};
  const Bytes* token = nullptr;
};

Bytes MakeCredentialMessage(const MakeArgs& args);
Bytes GetAssertionMessage(const AssertArgs& args);

struct MadeCredential {
  std::uint8_t status = 0xFF;
  std::string format;
  Bytes authData;
  std::uint8_t flags = 0;
  std::uint32_t counter = 0;
  Bytes aaguid;
  Bytes credentialId;
  Bytes x;
  Bytes y;
  Bytes extensions;  // the CBOR after the COSE key, empty: none
  std::int32_t attestationAlg = 0;
  Bytes signature;
};

struct Assertion {
  std::uint8_t status = 0xFF;
  Bytes credentialId;
  Bytes authData;
  std::uint8_t flags = 0;
  std::uint32_t counter = 0;
  Bytes signature;
  bool hasUser = false;
  Bytes userId;
  bool userHasName = false;
  std::uint32_t numberOfCredentials = 0;  // 0: absent
};

MadeCredential ReadMadeCredential(const Bytes& answer);
Assertion ReadAssertion(const Bytes& answer);

// ECDSA P-256 over SHA-256(authData ‖ clientDataHash) with the public key (x, y).
bool VerifiesWith(const Bytes& x, const Bytes& y, const Bytes& authData, const Bytes& signature,
                  const Bytes& clientDataHash = kClientDataHash);

}  // namespace pinvale::vkey::test
