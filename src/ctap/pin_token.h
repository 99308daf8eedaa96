#pragma once

// PIN/UV auth tokens for the work that needs one, and the PIN check of the
// Verify PIN window. A key whose getInfo option "pinUvAuthToken" is true gives
// tokens with permissions (getPinUvAuthTokenUsingPinWithPermissions, 0x09) and
// is asked only for permissions it supports; other keys give a getPINToken
// (0x05) token, which on them covers everything.

#include <cstdint>
#include <span>
#include <string_view>

#include "ctap/authenticator_info.h"
#include "ctap/pin_protocol.h"
#include "ctap/pin_session.h"

namespace pinvale {

// None of the permissions asked for is one the key supports (or mc/ga were
// asked without an rpId); nothing is sent.
constexpr int kNoPermissionSupported = 0xFE03;
// The key's getInfo says its PIN must be changed before it is used
// (forcePINChange); no PIN is sent.
constexpr int kPinChangeRequired = 0xFE04;

// The permission bits of `wanted` that the key supports: mc and ga unless the
// key refuses them with a PIN (noMcGaPermissionsWithClientPin) and only with an
// rpId, cm with credMgmt, be with bioEnroll, lbw with largeBlobs, acfg with
// authnrCfg.
std::uint32_t SupportedPermissions(const AuthenticatorInfo& info, std::uint32_t wanted,
                                   std::string_view rpId);

// True when tokens come from 0x09.
bool UsesPermissionTokens(const AuthenticatorInfo& info);

// Gets a token for `pin`, decrypted into `token` (with the protocol). Result as
// PinRequestResult: requestSent false when nothing carrying the PIN went out
// (kPinChangeRequired, kNoPermissionSupported, the key agreement's code); when
// true, `code` is the key's status, or kPinAnswerNotUnderstood for a status 0
// whose token is missing, undecryptable or of a length the protocol forbids.
PinRequestResult ObtainPinUvAuthToken(CFidoToken& device, const AuthenticatorInfo& info,
                                      const PinUvAuthProtocol& protocol,
                                      std::span<const std::uint8_t> pin, std::uint32_t permissions,
                                      std::string_view rpId, PinUvToken& token);

// Checks a PIN with the key, for the Verify PIN window: getPINToken where the
// key takes it; on a key that allows no mc/ga token with a PIN
// (noMcGaPermissionsWithClientPin), a 0x09 token for the first of cm, be, acfg,
// lbw the key supports (kNoPermissionSupported when none). 0 only when a token
// of the right length came back. A key with forcePINChange gets no PIN.
PinRequestResult VerifyPin(CFidoToken& device, const AuthenticatorInfo& info,
                           const PinUvAuthProtocol& protocol, std::span<const std::uint8_t> pin);

}  // namespace pinvale
