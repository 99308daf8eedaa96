#include "ctap/management_session.h"

#include "ctap/management_request.h"

#include "platform/debug_log.h"

namespace pinvale {

ManagementSession::ManagementSession(CFidoToken& device, const AuthenticatorInfo& info,
                                     const PinUvAuthProtocol& protocol, std::uint32_t permission)
    : device_(device), info_(info), protocol_(protocol), permission_(permission) {}

ManagementSession::~ManagementSession() {
  Close();
}

void ManagementSession::Close() {
  pin_.Clear();
  token_.Wipe();
}

PinRequestResult ManagementSession::Obtain() {
  // cm and be name no site: asked without an rpId.
  return ObtainPinUvAuthToken(device_, info_, protocol_, pin_.span(), permission_, {}, token_);
}

PinRequestResult ManagementSession::Open(std::span<const std::uint8_t> pin) {
  Close();
  pin_.Assign(pin);
  const PinRequestResult result = Obtain();
  if (!result.requestSent || result.code != 0) Close();
  return result;
}

int ManagementSession::Run(const Command& command) {
  if (!IsOpen()) return kManagementRequestUnbuildable;
  const int first = command(token_);
  if (first != kPinUvAuthInvalid && first != kPinUvAuthTokenExpired) return first;
  DebugLog("Management token refused (0x%02X): getting a new one", first);
  const PinRequestResult renewed = Obtain();
  if (!renewed.requestSent || renewed.code != 0) {
    DebugLog("Management token renewal failed: 0x%04X", renewed.code);
    Close();
    return renewed.code;
  }
  ++renewals_;
  return command(token_);
}

}  // namespace pinvale
