#pragma once

// Which PIN/UV auth protocol to speak with a key: the first one of the key's
// getInfo list that Pinvale speaks, protocol 1 when the key lists none.

#include "ctap/authenticator_info.h"
#include "ctap/pin_uv_auth_protocol.h"

namespace pinvale {

// The key lists protocols, but none that Pinvale speaks; nothing is sent.
constexpr int kNoSupportedPinProtocol = 0xFE01;
// A protocol asked for by number that the key does not list (or that Pinvale
// does not speak); nothing is sent.
constexpr int kPinProtocolNotListed = 0xFE02;

// `forced` 0 chooses; 1 or 2 takes that protocol when the key lists it (a key
// that lists none takes 1 only). Returns 0 with `chosen` set, or one of the two
// codes above with `chosen` left as it was.
int ChoosePinProtocol(const AuthenticatorInfo& info, int forced, const PinUvAuthProtocol*& chosen);

// The protocol of that number, or nullptr.
const PinUvAuthProtocol* PinProtocolByNumber(std::uint32_t number);

}  // namespace pinvale
