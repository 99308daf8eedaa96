// getAssertion as a key without credentials answers it. The key has nothing
// to sign, but clients prove a PIN this way: a PIN token, then a
// getAssertion whose pinAuth is made with that token. So the pinAuth is checked as a
// key with credentials would check it, and only then is "no credentials" the answer.

#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/get_assertion_request.h"

namespace pinvale::vkey {

std::uint8_t CtapAuthenticator::CheckAssertionPinAuth(const AssertionRequest& request) const {
  return CheckTokenAuth(request.hasPinProtocol, request.pinProtocol, request.clientDataHash.data,
                        request.clientDataHash.length, request.pinAuth, kPermissionGetAssertion,
                        request.rpId, request.rpIdLength);
}

void CtapAuthenticator::GetAssertion(const std::uint8_t* cbor, std::size_t length,
                                     CtapReply& reply) {
  const AssertionVerdict verdict = CheckAssertion(cbor, length);
  if (!verdict.afterTouch) {
    reply.answer.assign(1, verdict.status);
    return;
  }
  // Without a touch the user did not consent, which getAssertion reports as denied.
  reply.wait = UserWait::kTouch;
  resume_ = [status = verdict.status](const SensorInput& input, std::vector<std::uint8_t>& answer) {
    answer.assign(1, input.action == UserAction::kNoFinger ? kStatusOperationDenied : status);
  };
}

void CtapAuthenticator::GetNextAssertion(CtapReply& reply) {
  reply.answer.assign(1, kStatusNotAllowed);
}

AssertionVerdict CtapAuthenticator::CheckAssertion(const std::uint8_t* cbor,
                                                   std::size_t length) const {
  AssertionRequest request;
  if (std::uint8_t status = ReadAssertionRequest(cbor, length, request); status != kStatusOk) {
    return {status, false};
  }
  // An empty pinAuth asks only which of several keys the user means: after a touch
  // the key says whether it has a PIN, whatever the protocol.
  if (request.pinAuth.present && request.pinAuth.length == 0) {
    return {state_.pinSet ? kStatusPinInvalid : kStatusPinNotSet, true};
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
