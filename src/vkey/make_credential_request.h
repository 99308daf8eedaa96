#pragma once

// The parameters of one makeCredential request, read from its CBOR map. Pointers
// point into the request buffer.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vkey/request_members.h"

namespace pinvale::vkey {

// The longest user id a site may give (WebAuthn's limit).
constexpr std::size_t kMaxUserIdLength = 64;

struct TextField {
  const char* data = nullptr;
  std::uint32_t length = 0;
};

struct MakeCredentialRequest {
  ByteField clientDataHash;
  TextField rpId;
  TextField rpName;
  ByteField userId;
  TextField userName;
  TextField userDisplayName;
  bool es256 = false;  // pubKeyCredParams offers ES256
  std::vector<ByteField> excludeList;
  std::uint8_t credProtect = 0;  // 0: not asked for
  // Options: "rk" and "uv" default to false, "up" to true.
  bool rk = false;
  bool up = true;
  bool uv = false;
  ByteField pinAuth;
  bool hasPinProtocol = false;
  std::uint32_t pinProtocol = 0;
};

// Reads the request; returns a CTAP status: 0, 0x12 for bytes that are not one
// well-formed CBOR item, 0x14 for a missing clientDataHash, rp, rp id, user, user id,
// pubKeyCredParams or a member of one of their entries, 0x11 for a member of the wrong
// type, 0x03 for a clientDataHash that is not 32 bytes or a user id that is empty or
// over 64 bytes, 0x02 for a credProtect level outside 1 to 3. Which algorithms are
// offered is left to the caller (es256).
std::uint8_t ReadMakeCredentialRequest(const std::uint8_t* cbor, std::size_t length,
                                       MakeCredentialRequest& request);

}  // namespace pinvale::vkey
