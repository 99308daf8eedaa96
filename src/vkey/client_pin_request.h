#pragma once

// The parameters of one clientPIN request, read from its CBOR map. Pointers point
// into the request buffer.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vkey/request_members.h"

namespace pinvale::vkey {

struct PinRequest {
  std::uint32_t protocol = 0;  // 0: absent (getPINRetries on a 2.1 key needs none)
  std::uint32_t subCommand = 0;
  bool hasKeyAgreement = false;
  ByteField x;  // the platform key's coordinates
  ByteField y;
  ByteField pinAuth;
  ByteField newPinEnc;
  ByteField pinHashEnc;
  bool hasPermissions = false;
  std::uint32_t permissions = 0;
  const char* rpId = nullptr;  // null: absent
  std::uint32_t rpIdLength = 0;
};

// What the key accepts: its protocols; a 2.1 key also reads permissions and rpId
// and takes getPINRetries with any protocol or none. A 2.0 key ignores members it does not know.
struct PinRequestRules {
  std::vector<std::uint8_t> protocols = {1};
  bool ctap21 = false;
};

// Reads the request; returns a CTAP status: 0, 0x12 for bytes that are not one
// well-formed CBOR item, 0x11 for members of the wrong type, 0x14 when pinProtocol or
// subCommand is missing, 0x02 for a PIN protocol the key does not speak.
std::uint8_t ReadPinRequest(const std::uint8_t* cbor, std::size_t length,
                            const PinRequestRules& rules, PinRequest& request);

}  // namespace pinvale::vkey
