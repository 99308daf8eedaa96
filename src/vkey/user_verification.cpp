// Built-in user verification by the fingerprint sensor: matching a finger, and the
// clientPIN subcommands that use it, getPinUvAuthTokenUsingUvWithPermissions (0x06, a
// 2.1 key) and getUVRetries (0x07, any key with the sensor).
//
// Each finger that does not match costs one of kMaxUvRetries; when none are left the
// sensor stays blocked (UV_BLOCKED) until the PIN earns a token, which restores them.
// A sample the sensor could not read and no finger at all cost nothing: nobody was
// refused.

#include <memory>
#include <string>

#include "cbor/cbor_writer.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

bool CtapAuthenticator::CanMatchFinger() const {
  return HasSensor() && !state_.fingerprints.empty() && state_.uvRetries > 0;
}

std::uint8_t CtapAuthenticator::MatchFinger(const SensorInput& input) {
  if (state_.uvRetries == 0) return kStatusUvBlocked;
  switch (input.action) {
    case UserAction::kTouch:
      state_.uvRetries = kMaxUvRetries;
      return kStatusOk;
    case UserAction::kOtherFinger:
      --state_.uvRetries;
      return state_.uvRetries == 0 ? kStatusUvBlocked : kStatusUvInvalid;
    case UserAction::kBadSample:
      return kStatusUvInvalid;
    case UserAction::kNoFinger:
      break;
  }
  return kStatusUserActionTimeout;
}

// Everything that can refuse the request without the user is checked before the
// sensor waits. Enrolling more fingers takes a PIN: the key does not say uvBioEnroll,
// so a token from a finger never carries be.
std::uint8_t CtapAuthenticator::GetTokenUsingUv(const PinRequest& request, CtapReply& reply) {
  if (!request.hasKeyAgreement) return kStatusMissingParameter;
  if (std::uint8_t status = CheckPermissions(request); status != kStatusOk) return status;
  if ((request.permissions & kPermissionBioEnrollment) != 0) return kStatusUnauthorizedPermission;
  if (state_.fingerprints.empty()) return kStatusNotAllowed;
  if (state_.uvRetries == 0) return kStatusUvBlocked;
  if (state_.forcePinChange) return kStatusPinPolicyViolation;
  auto secret = std::make_shared<ProtocolSecret>();
  if (std::uint8_t status = AgreeOnSecret(request, *secret); status != kStatusOk) return status;

  reply.wait = UserWait::kFinger;
  std::string rpId;
  if (request.rpId != nullptr) rpId.assign(request.rpId, request.rpIdLength);
  resume_ = [this, secret, permissions = request.permissions, rpId = std::move(rpId)](
                const SensorInput& input, std::vector<std::uint8_t>& answer) {
    std::uint8_t status = MatchFinger(input);
    answer.assign(1, kStatusOk);
    if (status == kStatusOk) status = IssueToken(*secret, permissions, rpId, answer);
    if (status != kStatusOk) answer.assign(1, status);
  };
  return kStatusOk;
}

void CtapAuthenticator::AnswerUvRetries(std::vector<std::uint8_t>& answer) const {
  std::uint8_t body[16];
  CborWriter writer(body, sizeof body);
  writer.beginMap(1).putInt(5).putInt(static_cast<std::int32_t>(state_.uvRetries));
  answer.insert(answer.end(), body, body + writer.length());
}

std::uint8_t CtapAuthenticator::UserConsented(const SensorInput& input, bool byFinger) {
  if (byFinger) return MatchFinger(input);
  return input.action == UserAction::kTouch ? kStatusOk : kStatusOperationDenied;
}

}  // namespace pinvale::vkey
