#pragma once

// What getAssertion finds, and what getNextAssertion walks through: the credentials
// the last getAssertion found beyond the first one it answered with, signed over the
// same clientDataHash with the same flags.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vkey/credential_crypto.h"

namespace pinvale::vkey {

// A credential found for a site: a stored one (`stored` its index in
// KeyState::credentials) or one whose id carried its key.
struct FoundCredential {
  static constexpr std::size_t kNotStored = static_cast<std::size_t>(-1);
  std::vector<std::uint8_t> id;
  PrivateKey privateKey;
  std::uint8_t credProtect = 1;
  std::size_t stored = kNotStored;
};

// A getAssertion request in the key's own copy, so that it outlives the request's
// buffer while the key waits for the user.
struct AssertionQuery {
  std::string rpId;
  Sha256Digest rpIdHash{};
  std::array<std::uint8_t, 32> clientDataHash{};
  std::vector<std::vector<std::uint8_t>> allowList;  // empty: discover stored credentials
  bool up = true;
};

struct AssertionWalk {
  std::vector<std::size_t> remaining;  // indexes into KeyState::credentials, next first
  Sha256Digest rpIdHash{};
  std::array<std::uint8_t, 32> clientDataHash{};
  std::uint8_t flags = 0;
};

}  // namespace pinvale::vkey
