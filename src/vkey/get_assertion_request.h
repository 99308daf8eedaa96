#pragma once

// The parameters of one getAssertion request, read from its CBOR map. Pointers point
// into the request buffer. Of the extensions only their form is checked: the key
// has none for getAssertion.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vkey/client_pin_request.h"
#include "vkey/key_state.h"

namespace pinvale::vkey {

struct AssertionRequest {
  const char* rpId = nullptr;
  std::uint32_t rpIdLength = 0;
  ByteField clientDataHash;
  // The ids of the allow list's first kMaxCredentialCountInList public-key entries.
  bool hasAllowList = false;
  std::vector<ByteField> allowList;
  ByteField pinAuth;
  bool hasPinProtocol = false;
  std::uint32_t pinProtocol = 0;
  // Options: "up" defaults to true, "uv" to false; "rk" has no meaning here.
  bool up = true;
  bool uv = false;
  bool rk = false;  // present, whatever its value
};

// Reads the request; returns a CTAP status: 0, 0x12 for bytes that are not one
// well-formed CBOR item, 0x11 for a member of the wrong type, 0x14 when rpId,
// clientDataHash or a member of an allow-list entry is missing, 0x03 for a
// clientDataHash that is not 32 bytes.
std::uint8_t ReadAssertionRequest(const std::uint8_t* cbor, std::size_t length,
                                  AssertionRequest& request);

}  // namespace pinvale::vkey
