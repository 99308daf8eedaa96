#pragma once

// The parameters of one clientPIN request, read from its CBOR map. Pointers point
// into the request buffer.

#include <cstddef>
#include <cstdint>

#include "vkey/request_members.h"

namespace pinvale::vkey {

struct PinRequest {
  std::uint32_t subCommand = 0;
  bool hasKeyAgreement = false;
  ByteField x;  // the platform key's coordinates
  ByteField y;
  ByteField pinAuth;
  ByteField newPinEnc;
  ByteField pinHashEnc;
};

// Reads the request; returns a CTAP status: 0, 0x12 for bytes that are not one
// well-formed CBOR item, 0x11 for members of the wrong type, 0x14 when pinProtocol or
// subCommand is missing, 0x02 for a PIN protocol other than 1.
std::uint8_t ReadPinRequest(const std::uint8_t* cbor, std::size_t length, PinRequest& request);

}  // namespace pinvale::vkey
