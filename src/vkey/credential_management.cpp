// authenticatorCredentialManagement and its prototype.

#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

void CtapAuthenticator::CredentialManagement(bool, const std::uint8_t*, std::size_t,
                                             CtapReply& reply) {
  reply.answer.assign(1, kStatusInvalidCommand);
}

void CtapAuthenticator::EndWalksBefore(const std::uint8_t*, std::size_t) {}

}  // namespace pinvale::vkey
