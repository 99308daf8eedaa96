// authenticatorCredentialManagement and its prototype.

#include "vkey/credential_walk.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

void CtapAuthenticator::CredentialManagement(bool, const std::uint8_t*, std::size_t,
                                             CtapReply& reply) {
  reply.answer.assign(1, kStatusInvalidCommand);
}

bool CtapAuthenticator::ContinuesCredentialWalk(const std::uint8_t*, std::size_t) const {
  return false;
}

}  // namespace pinvale::vkey
