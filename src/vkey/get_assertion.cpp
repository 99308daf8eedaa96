// getAssertion as a CTAP 2.0 key without credentials answers it. The key has nothing
// to sign, but clients prove a PIN this way: a PIN token from getPINToken, then a
// getAssertion whose pinAuth is made with that token. So the pinAuth is checked as a
// key with credentials would check it, and only then is "no credentials" the answer.

#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/get_assertion_request.h"

namespace pinvale::vkey {

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
  // A pinAuth is checked before the options and the touch, and with a protocol other
  // than 1 (or none) it cannot be checked at all: both are refused the same way.
  if (request.pinAuth.present) {
    if (!request.hasPinProtocol || request.pinProtocol != 1) return {kStatusPinAuthInvalid, false};
    std::uint8_t expected[16];
    PinAuth16(pinToken_.data(), pinToken_.size(), request.clientDataHash.data,
              request.clientDataHash.length, expected);
    if (request.pinAuth.length != sizeof expected ||
        !EqualInConstantTime(expected, request.pinAuth.data, sizeof expected)) {
      return {kStatusPinAuthInvalid, false};
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
