#pragma once

// What the Fingerprints and Passkeys windows stand on: the checks made before a PIN
// is asked for (no PIN, a PIN change the key wants, a blocked PIN), and the access a
// window gets once the PIN was right: the key's getInfo, its PIN protocol, the
// command byte of the family and a session holding the PIN and a token with only
// the permission the family needs. Everything here runs off the UI thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "ctap/authenticator_info.h"
#include "ctap/management_session.h"
#include "ctap/pin_protocol.h"
#include "dialogs/key_pin_rules.h"

namespace pinvale {

enum class ManagementKind { kFingerprints, kPasskeys };

// The command byte the key takes for `kind` (0x09/0x40, 0x0A/0x41), or 0.
std::uint8_t ManagementCommandFor(const AuthenticatorInfo& info, ManagementKind kind);
std::uint32_t ManagementPermission(ManagementKind kind);

// What the key says before a PIN is asked for.
enum class ManagementPrecheck {
  kReady,            // a PIN is set and usable: ask for it
  kNoPin,            // fingerprints and passkeys need a PIN first: offer Set PIN
  kPinChangeWanted,  // forcePINChange: offer Change PIN
  kPinBlocked,       // no attempts left: only a reset helps
  kNotSupported,     // the key manages no such thing (or knows no PIN protocol of ours)
  kExchangeFailed,   // the key did not answer
};

struct ManagementPrecheckResult {
  ManagementPrecheck outcome = ManagementPrecheck::kExchangeFailed;
  KeyPinRules rules;
  std::uint8_t command = 0;
  // getRetries, when the key answered it.
  std::optional<std::uint32_t> pinRetries;
  int code = 0;  // the exchange's code for kExchangeFailed
};

ManagementPrecheckResult CheckBeforeManagement(CFidoToken& device, ManagementKind kind);

// The access a window works with; made by OpenManagementAccess and handed to the
// window, which owns it. The session refers to `info` and `protocol`, so the access
// stays where it was made (it lives behind a unique_ptr).
struct ManagementAccess {
  ManagementAccess(CFidoToken& device, const KeyPinRules& rules, ManagementKind kind,
                   std::uint8_t command);
  ManagementAccess(const ManagementAccess&) = delete;
  ManagementAccess& operator=(const ManagementAccess&) = delete;

  CFidoToken& device;
  ManagementKind kind;
  AuthenticatorInfo info;
  const PinUvAuthProtocol* protocol;
  std::uint8_t command;            // 0x09/0x40 for fingerprints, 0x0A/0x41 for passkeys
  std::uint32_t minPinLength = 0;  // the key's own minimum, above 4
  ManagementSession session;
};

// Opens a session with `pin` (UTF-8) after a kReady precheck. On success the access
// is returned and `result` holds 0; otherwise nullptr, and `result` what
// ObtainPinUvAuthToken returned (0x31 wrong PIN, 0x32 blocked, ...).
std::unique_ptr<ManagementAccess> OpenManagementAccess(CFidoToken& device,
                                                       const ManagementPrecheckResult& precheck,
                                                       ManagementKind kind,
                                                       std::span<const std::uint8_t> pin,
                                                       PinRequestResult& result);

}  // namespace pinvale
