#include "ctap/pin_token.h"

namespace pinvale {

namespace {

constexpr std::uint32_t kTokenAnswerSize = 1024;

// Sends a built token request and reads the token from its answer.
PinRequestResult SendTokenRequest(CFidoToken& device, const PinSession& session,
                                  const PinRequestBytes& request, PinUvToken& token) {
  SecretArray<kTokenAnswerSize> answer;
  std::uint32_t answerLength = answer.size();
  const int status =
      device.SendCborCommand(request.bytes.data(), request.length, answer.data(), &answerLength);
  if (status != 0) return {true, status};
  if (answerLength > answer.size()) return {true, kAnswerTooLarge};
  return {true, session.ReadToken(answer.data(), answerLength, token)};
}

PinRequestResult RequestToken(CFidoToken& device, const PinUvAuthProtocol& protocol,
                              PinSubCommand subCommand, std::span<const std::uint8_t> pin,
                              std::uint32_t permissions, std::string_view rpId, PinUvToken& token) {
  PinSession session(protocol);
  if (int code = session.Agree(device); code != 0) return {false, code};
  PinRequestBytes request;
  if (int code = session.BuildTokenRequest(subCommand, pin, permissions, rpId, request);
      code != 0) {
    return {false, code};
  }
  return SendTokenRequest(device, session, request, token);
}

}  // namespace

bool UsesPermissionTokens(const AuthenticatorInfo& info) {
  return info.OptionTrue("pinUvAuthToken");
}

std::uint32_t SupportedPermissions(const AuthenticatorInfo& info, std::uint32_t wanted,
                                   std::string_view rpId) {
  std::uint32_t supported = 0;
  // mc and ga name a site: without an rpId the key answers 0x02.
  if (!info.OptionTrue("noMcGaPermissionsWithClientPin") && !rpId.empty()) {
    supported |= kPermissionMakeCredential | kPermissionGetAssertion;
  }
  // Present at all is enough: false there means "supported, nothing stored yet".
  if (info.Option("credMgmt")) supported |= kPermissionCredentialManagement;
  if (info.Option("bioEnroll")) supported |= kPermissionBioEnrollment;
  if (info.OptionTrue("largeBlobs")) supported |= kPermissionLargeBlobWrite;
  if (info.OptionTrue("authnrCfg")) supported |= kPermissionAuthenticatorConfig;
  return wanted & supported;
}

PinRequestResult ObtainPinUvAuthToken(CFidoToken& device, const AuthenticatorInfo& info,
                                      const PinUvAuthProtocol& protocol,
                                      std::span<const std::uint8_t> pin, std::uint32_t permissions,
                                      std::string_view rpId, PinUvToken& token) {
  token.Wipe();
  // Some keys answer even the right PIN with 0x31 until it is changed.
  if (info.forcePinChange) return {false, kPinChangeRequired};
  if (!UsesPermissionTokens(info)) {
    return RequestToken(device, protocol, PinSubCommand::kGetPinToken, pin, 0, {}, token);
  }
  const std::uint32_t asked = SupportedPermissions(info, permissions, rpId);
  if (asked == 0) return {false, kNoPermissionSupported};
  // An rpId goes with mc/ga only; cm and the others are asked without one.
  const bool namesSite = (asked & (kPermissionMakeCredential | kPermissionGetAssertion)) != 0;
  return RequestToken(device, protocol, PinSubCommand::kGetPinUvAuthTokenUsingPinWithPermissions,
                      pin, asked, namesSite ? rpId : std::string_view{}, token);
}

PinRequestResult VerifyPin(CFidoToken& device, const AuthenticatorInfo& info,
                           const PinUvAuthProtocol& protocol, std::span<const std::uint8_t> pin) {
  PinUvToken token;
  if (info.forcePinChange) return {false, kPinChangeRequired};
  if (!UsesPermissionTokens(info) || !info.OptionTrue("noMcGaPermissionsWithClientPin")) {
    return RequestToken(device, protocol, PinSubCommand::kGetPinToken, pin, 0, {}, token);
  }
  // The key takes no getPINToken: any permission it grants proves the PIN as well.
  // The token is dropped at once and allows nothing on its own.
  for (std::uint32_t permission : {kPermissionCredentialManagement, kPermissionBioEnrollment,
                                   kPermissionAuthenticatorConfig, kPermissionLargeBlobWrite}) {
    if (SupportedPermissions(info, permission, {}) != 0) {
      return RequestToken(device, protocol,
                          PinSubCommand::kGetPinUvAuthTokenUsingPinWithPermissions, pin, permission,
                          {}, token);
    }
  }
  return {false, kNoPermissionSupported};
}

}  // namespace pinvale
