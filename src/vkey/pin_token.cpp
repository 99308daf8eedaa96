// PIN tokens. A 2.0 key has one token per power cycle, and it authorises everything.
// A 2.1 key makes a new token at every request and gives it permissions: the legacy
// getPINToken (0x05) carries makeCredential and getAssertion, for any site;
// getPinUvAuthTokenUsingPinWithPermissions (0x09) and the sensor's
// getPinUvAuthTokenUsingUvWithPermissions (0x06) carry what the platform asks for, if
// the key has it: mc and ga, which name the site (rpId) they are for, cm, which names
// one when it manages that site's passkeys only, and be. The key has no large blobs or
// configuration command. The right PIN also gives the sensor its retries back.
//
// While the key wants a new PIN (forcePINChange), the right PIN still restores the
// retries but earns no token: PIN_POLICY_VIOLATION says "right PIN, change it first",
// which a platform can tell from a wrong PIN (PIN_INVALID) and lead the user to
// changePIN, the one way out.

#include <string>

#include "cbor/cbor_writer.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint32_t kSupportedPermissions =
    kPermissionMakeCredential | kPermissionGetAssertion | kPermissionCredentialManagement |
    kPermissionBioEnrollment;
constexpr std::uint32_t kSitePermissions = kPermissionMakeCredential | kPermissionGetAssertion;

}  // namespace

// A 2.0 or 2.1-pre key checks a MAC before anything else, and with a protocol other
// than 1 (or none) it cannot check it at all: both are refused the same way. A 2.1 key
// tells a missing protocol (0x14) and one it does not speak (0x02) from a wrong MAC,
// and wants a token with the permission, for this site if the token names one, used
// with the protocol it was issued under.
std::uint8_t CtapAuthenticator::CheckTokenAuth(bool hasProtocol, std::uint32_t protocol,
                                               const std::uint8_t* message, std::size_t length,
                                               const ByteField& mac, std::uint32_t permission,
                                               const char* rpId, std::uint32_t rpIdLength) const {
  if (!Ctap21()) {
    if (!hasProtocol || protocol != 1) return kStatusPinAuthInvalid;
  } else {
    if (!hasProtocol) return kStatusMissingParameter;
    if (!SupportsProtocol(protocol)) return kStatusInvalidParameter;
    if (protocol != tokenProtocol_) return kStatusPinAuthInvalid;
  }
  if (!ProtocolVerify(protocol, pinToken_.data(), TokenSize(), message, length, mac.data,
                      mac.length)) {
    return kStatusPinAuthInvalid;
  }
  if (!Ctap21()) return kStatusOk;
  if ((tokenPermissions_ & permission) == 0) return kStatusPinAuthInvalid;
  if (rpId != nullptr && !tokenRpId_.empty() &&
      tokenRpId_.compare(0, std::string::npos, rpId, rpIdLength) != 0) {
    return kStatusPinAuthInvalid;
  }
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::CheckPermissions(const PinRequest& request) const {
  if (request.subCommand == kPinGetPinToken) {
    return request.hasPermissions || request.rpId != nullptr ? kStatusInvalidParameter : kStatusOk;
  }
  if (!request.hasPermissions) return kStatusMissingParameter;
  if (request.permissions == 0) return kStatusInvalidParameter;
  if ((request.permissions & ~kSupportedPermissions) != 0) return kStatusUnauthorizedPermission;
  // mc and ga are for one site; cm may be, for managing that site's passkeys only.
  if ((request.permissions & kSitePermissions) != 0 &&
      (request.rpId == nullptr || request.rpIdLength == 0)) {
    return kStatusInvalidParameter;
  }
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::GetPinToken(const PinRequest& request,
                                            std::vector<std::uint8_t>& answer) {
  if (!request.hasKeyAgreement || !request.pinHashEnc.present) return kStatusMissingParameter;
  if (Ctap21()) {
    if (std::uint8_t status = CheckPermissions(request); status != kStatusOk) return status;
  }
  if (!state_.pinSet) return kStatusPinNotSet;
  if (state_.pinRetries == 0) return kStatusPinBlocked;
  if (consecutiveFailures_ >= kMaxConsecutivePinFailures) return kStatusPinAuthBlocked;
  if (request.pinHashEnc.length != CiphertextSize(request.protocol, 16)) {
    return kStatusInvalidParameter;
  }
  ProtocolSecret secret;
  if (std::uint8_t status = AgreeOnSecret(request, secret); status != kStatusOk) return status;
  if (std::uint8_t status = CheckPinHash(secret, request); status != kStatusOk) return status;
  state_.uvRetries = kMaxUvRetries;

  if (Ctap21() && state_.forcePinChange) return kStatusPinPolicyViolation;
  if (request.subCommand == kPinGetPinToken) {
    return IssueToken(secret, kPermissionMakeCredential | kPermissionGetAssertion, std::string(),
                      answer);
  }
  std::string rpId;
  if (request.rpId != nullptr) rpId.assign(request.rpId, request.rpIdLength);
  return IssueToken(secret, request.permissions, rpId, answer);
}

// A 2.0 or 2.1-pre key hands out the token of the power cycle, which authorises
// everything.
std::uint8_t CtapAuthenticator::IssueToken(const ProtocolSecret& secret, std::uint32_t permissions,
                                           const std::string& rpId,
                                           std::vector<std::uint8_t>& answer) {
  if (Ctap21()) {
    RenewPinToken();
    tokenProtocol_ = secret.protocol();
    tokenPermissions_ = permissions;
    tokenRpId_ = rpId;
  }
  std::uint8_t encrypted[32 + kIvSize];
  if (!ProtocolEncrypt(secret, random_, pinToken_.data(), TokenSize(), encrypted)) {
    return kStatusInvalidParameter;  // cannot happen: the token is whole blocks
  }
  std::uint8_t body[80];
  CborWriter writer(body, sizeof body);
  writer.beginMap(1).putInt(2).putBytes(
      encrypted, static_cast<std::uint32_t>(CiphertextSize(secret.protocol(), TokenSize())));
  answer.insert(answer.end(), body, body + writer.length());
  return kStatusOk;
}

}  // namespace pinvale::vkey
