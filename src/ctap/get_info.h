#pragma once

// authenticatorGetInfo: how the key is set up, asked afresh before every decision
// about what the user may do.

#include <cstdint>

#include "transport/fido_token.h"

namespace pinvale {

// The caller clears both before every call; GetInfo only ever sets them.
struct TokenInfo {
  std::uint8_t pinSet = 0;          // option "clientPin" true: a PIN is set
  std::uint8_t uvSet = 0;           // option "uv" true: user verification is configured
  std::uint8_t forcePinChange = 0;  // member 0x0C true: the key wants a new PIN first
  // The key manages fingerprints (option bioEnroll or userVerificationMgmtPreview) or
  // passkeys (credMgmt or credentialMgmtPreview): present at all, true or false.
  std::uint8_t managesFingerprints = 0;
  std::uint8_t managesPasskeys = 0;
};

// Sends getInfo (0x04) and reads the options above and forcePINChange from the answer. Returns the
// result of SendCborCommand: 0x00, the key's status, or 0xABCD, 0xFF, 3. The
// answer is read whatever the result: after a failure the buffer is empty and
// both fields stay as they were, so a key that cannot answer looks like a key
// without PIN and without user verification.
std::uint16_t GetInfo(CFidoToken& token, TokenInfo& info);

}  // namespace pinvale
