// authenticatorBioEnrollment and its prototype.

#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

void CtapAuthenticator::BioEnrollment(bool, const std::uint8_t*, std::size_t, CtapReply& reply) {
  reply.answer.assign(1, kStatusInvalidCommand);
}

bool CtapAuthenticator::CanMatchFinger() const {
  return config_.profile != CtapProfile::kCtap20 && !state_.fingerprints.empty() &&
         state_.uvRetries > 0;
}

std::uint8_t CtapAuthenticator::MatchFinger(const SensorInput& input) {
  return input.action == UserAction::kTouch ? kStatusOk : kStatusUvInvalid;
}

}  // namespace pinvale::vkey
