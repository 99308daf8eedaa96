#pragma once

// What the PIN dialogs read from the key before a PIN goes out: the PIN protocol to
// speak and the key's own PIN rules (its minimum length, a PIN change it asks for).
// Read off the UI thread, in the same wait as the request that follows.

#include <cstdint>
#include <span>
#include <string>

#include "ctap/authenticator_info.h"
#include "ctap/pin_protocol.h"
#include "ctap/pin_uv_auth_protocol.h"
#include "transport/fido_token.h"

namespace pinvale {

struct KeyPinRules {
  AuthenticatorInfo info;
  const PinUvAuthProtocol* protocol = nullptr;
  // 0, or why no PIN may go out: kNoSupportedPinProtocol (the key lists only
  // protocols Pinvale does not know).
  int refusal = 0;
  // The key's minimum in Unicode code points, when it asks for more than 4.
  std::uint32_t minPinLength = 0;
  // getInfo's own outcome: 0, or why `info` is empty.
  int infoStatus = 0;
};

// getInfo and the protocol choice. A getInfo that fails or is not understood leaves
// protocol 1 and no rules of the key's own, as a key that lists none is served: the
// request that follows tells whether the key is there.
KeyPinRules ReadKeyPinRules(CFidoToken& device);

// A PIN request and the reading of the rules before it, made in one wait: `result` is
// left as it is (nothing sent) when the rules refused or the PIN is below the key's
// minimum.
struct RuledPinRequest {
  KeyPinRules rules;
  bool belowKeyMinimum = false;
  PinRequestResult result;
};

// True when `pin` (UTF-8) is shorter than the key's own minimum.
bool BelowKeyMinimum(const KeyPinRules& rules, std::span<const std::uint8_t> pin);

// "Your PIN must be at least %d characters." with the key's minimum in place.
std::u16string KeyMinimumText(std::uint32_t minimum);

}  // namespace pinvale
