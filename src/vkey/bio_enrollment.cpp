// authenticatorBioEnrollment and its prototype.

#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

void CtapAuthenticator::BioEnrollment(bool, const std::uint8_t*, std::size_t, CtapReply& reply) {
  reply.answer.assign(1, kStatusInvalidCommand);
}

}  // namespace pinvale::vkey
