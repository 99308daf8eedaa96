// getAssertion as a key without credentials answers it. The key has nothing
// to sign, but clients prove a PIN this way: a PIN token, then a
// getAssertion whose pinAuth is made with that token. So the pinAuth is checked as a
// key with credentials would check it, and only then is "no credentials" the answer.

#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/get_assertion_request.h"

namespace pinvale::vkey {

// A 2.0 key checks a pinAuth before the options and the touch, and with a protocol
// other than 1 (or none) it cannot check it at all: both are refused the same way. A
// 2.1 key tells a missing protocol (0x14) and one it does not speak (0x02) from a
// wrong MAC, and wants a token with the ga permission, for this site if it names one,
// used with the protocol it was issued under.
std::uint8_t CtapAuthenticator::CheckAssertionPinAuth(const AssertionRequest& request) const {
  if (!Ctap21()) {
    if (!request.hasPinProtocol || request.pinProtocol != 1) return kStatusPinAuthInvalid;
  } else {
    if (!request.hasPinProtocol) return kStatusMissingParameter;
    if (!SupportsProtocol(request.pinProtocol)) return kStatusInvalidParameter;
    if (request.pinProtocol != tokenProtocol_) return kStatusPinAuthInvalid;
  }
  if (!ProtocolVerify(request.pinProtocol, pinToken_.data(), TokenSize(),
                      request.clientDataHash.data, request.clientDataHash.length,
                      request.pinAuth.data, request.pinAuth.length)) {
    return kStatusPinAuthInvalid;
  }
  if (!Ctap21()) return kStatusOk;
  if ((tokenPermissions_ & kPermissionGetAssertion) == 0) return kStatusPinAuthInvalid;
  if (!tokenRpId_.empty() &&
      tokenRpId_.compare(0, std::string::npos, request.rpId, request.rpIdLength) != 0) {
    return kStatusPinAuthInvalid;
  }
  return kStatusOk;
}

AssertionVerdict CtapAuthenticator::GetAssertion(const std::uint8_t* cbor,
                                                 std::size_t length) const {
  AssertionRequest request;
  if (std::uint8_t status = ReadAssertionRequest(cbor, length, request); status != kStatusOk) {
    return {status, false};
  }
  // An empty pinAuth asks only which of several keys the user means: after a touch
  // the key says whether it has a PIN, whatever the protocol.
  if (request.pinAuth.present && request.pinAuth.length == 0) {
    return {pinSet_ ? kStatusPinInvalid : kStatusPinNotSet, true};
  }
  if (request.pinAuth.present) {
    if (std::uint8_t status = CheckAssertionPinAuth(request); status != kStatusOk) {
      return {status, false};
    }
  }
  if (request.rk) return {kStatusInvalidOption, false};  // it belongs to makeCredential
  if (request.uv && !config_.uv) return {kStatusUnsupportedOption, false};
  // The key may say it has no credentials only once the user is there (a touch, which
  // also stands for the gesture of a key with "uv"), so that an unattended client
  // cannot ask it which sites it knows. With "up" false nobody needs to be there.
  return {kStatusNoCredentials, request.up || request.uv};
}

}  // namespace pinvale::vkey
