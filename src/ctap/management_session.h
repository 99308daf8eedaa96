#pragma once

// One fingerprint or passkey session of a window or a CLI command. It keeps the
// PIN the user typed, in wiped storage, for as long as it lives, and a token
// with only the permission the work needs (be or cm). When the key answers a
// command with 0x33 (PIN auth invalid) or 0x38 (token expired) part-way, it gets
// a new token with the kept PIN once and runs the command again, so the user is
// not asked again for a token that timed out.

#include <cstdint>
#include <functional>
#include <span>

#include "ctap/authenticator_info.h"
#include "ctap/pin_token.h"
#include "ctap/secret_buffer.h"

namespace pinvale {

constexpr int kPinUvAuthInvalid = 0x33;
constexpr int kPinUvAuthTokenExpired = 0x38;

class ManagementSession {
 public:
  // `permission`: kPermissionBioEnrollment or kPermissionCredentialManagement.
  ManagementSession(CFidoToken& device, const AuthenticatorInfo& info,
                    const PinUvAuthProtocol& protocol, std::uint32_t permission);
  ~ManagementSession();
  ManagementSession(const ManagementSession&) = delete;
  ManagementSession& operator=(const ManagementSession&) = delete;

  // Keeps `pin` and gets the first token. The result is ObtainPinUvAuthToken's;
  // on failure the PIN is dropped at once.
  PinRequestResult Open(std::span<const std::uint8_t> pin);

  // Runs `command` with the token. On 0x33 or 0x38 a new token is got once and
  // the command run again; the second outcome is returned as it is. When the new
  // token cannot be had, its code (a wrong PIN means the PIN was changed
  // meanwhile) is returned and the PIN is dropped.
  using Command = std::function<int(const PinUvToken& token)>;
  int Run(const Command& command);

  bool IsOpen() const { return token_.size != 0; }
  // How many times a new token was got after the first.
  int Renewals() const { return renewals_; }
  // Drops the PIN and the token.
  void Close();

 private:
  PinRequestResult Obtain();

  CFidoToken& device_;
  const AuthenticatorInfo& info_;
  const PinUvAuthProtocol& protocol_;
  std::uint32_t permission_;
  SecretBytes pin_;
  PinUvToken token_;
  int renewals_ = 0;
};

}  // namespace pinvale
