// getAssertion and getNextAssertion. Clients also prove a PIN this way: a PIN token,
// then a getAssertion whose pinUvAuthParam is made with that token; so the MAC is
// checked before the key looks for credentials, and "no credentials" is the answer
// when it has none for the site.
//
// The key answers only once the user is there (a touch, or the sensor's match), also
// when it has nothing for the site, so that an unattended client cannot ask it which
// sites it knows. With "up" false nobody needs to be there.

#include <algorithm>

#include "cbor/cbor_writer.h"
#include "vkey/assertion_walk.h"
#include "vkey/authenticator_data.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/get_assertion_request.h"

namespace pinvale::vkey {

namespace {

// Whether a credential may be used: a credProtect level 3 one only after user
// verification, a level 2 one also when the site names it in an allow list.
bool Usable(std::uint8_t credProtect, bool uv, bool named) {
  if (credProtect >= 3) return uv;
  if (credProtect == 2) return uv || named;
  return true;
}

}  // namespace

std::uint8_t CtapAuthenticator::CheckAssertionPinAuth(const AssertionRequest& request) const {
  return CheckTokenAuth(request.hasPinProtocol, request.pinProtocol, request.clientDataHash.data,
                        request.clientDataHash.length, request.pinAuth, kPermissionGetAssertion,
                        request.rpId, request.rpIdLength);
}

void CtapAuthenticator::AnswerPinProbe(CtapReply& reply) {
  reply.wait = UserWait::kTouch;
  resume_ = [this](const SensorInput& input, std::vector<std::uint8_t>& answer) {
    if (input.action != UserAction::kTouch) {
      answer.assign(1, kStatusOperationDenied);
      return;
    }
    answer.assign(1, state_.pinSet ? kStatusPinInvalid : kStatusPinNotSet);
  };
}

std::uint8_t CtapAuthenticator::CheckBuiltInUv(bool& finger) const {
  finger = false;
  if (config_.profile == CtapProfile::kCtap20) {
    if (config_.uv) return kStatusOk;
  } else if (CanMatchFinger()) {
    finger = true;
    return kStatusOk;
  } else if (!state_.fingerprints.empty()) {
    // Fingerprints enrolled but their retries used up: only the PIN helps now.
    return kStatusUvBlocked;
  }
  return Ctap21() ? kStatusInvalidOption : kStatusUnsupportedOption;
}

bool CtapAuthenticator::LookUpCredential(const std::string& rpId, const Sha256Digest& rpIdHash,
                                         const std::uint8_t* id, std::size_t length,
                                         FoundCredential& found) const {
  for (std::size_t i = 0; i < state_.credentials.size(); ++i) {
    const StoredCredential& stored = state_.credentials[i];
    if (stored.rpId == rpId && stored.id.size() == length &&
        std::equal(stored.id.begin(), stored.id.end(), id)) {
      found.id = stored.id;
      found.privateKey = stored.privateKey;
      found.credProtect = stored.credProtect;
      found.stored = i;
      return true;
    }
  }
  WrappedCredential wrapped;
  if (!UnwrapCredentialId(state_.credentialKey, rpIdHash, id, length, wrapped)) return false;
  found.id.assign(id, id + length);
  found.privateKey = wrapped.privateKey;
  found.credProtect = wrapped.credProtect;
  found.stored = FoundCredential::kNotStored;
  return true;
}

void CtapAuthenticator::GetAssertion(const std::uint8_t* cbor, std::size_t length,
                                     CtapReply& reply) {
  AssertionRequest request;
  if (std::uint8_t status = ReadAssertionRequest(cbor, length, request); status != kStatusOk) {
    reply.answer.assign(1, status);
    return;
  }
  // An empty pinAuth asks only which of several keys the user means: after a touch
  // the key says whether it has a PIN, whatever the protocol.
  if (request.pinAuth.present && request.pinAuth.length == 0) {
    AnswerPinProbe(reply);
    return;
  }
  bool uv = false;
  if (request.pinAuth.present) {
    if (std::uint8_t status = CheckAssertionPinAuth(request); status != kStatusOk) {
      reply.answer.assign(1, status);
      return;
    }
    uv = true;
  }
  if (request.rk) {  // it belongs to makeCredential
    reply.answer.assign(1, kStatusInvalidOption);
    return;
  }
  bool finger = false;
  const bool builtInUv = request.uv && !uv;
  if (builtInUv) {
    if (std::uint8_t status = CheckBuiltInUv(finger); status != kStatusOk) {
      reply.answer.assign(1, status);
      return;
    }
  }

  AssertionQuery query;
  query.rpId.assign(request.rpId, request.rpIdLength);
  query.rpIdHash = Sha256(reinterpret_cast<const std::uint8_t*>(request.rpId), request.rpIdLength);
  std::copy(request.clientDataHash.data, request.clientDataHash.data + 32,
            query.clientDataHash.begin());
  for (const ByteField& id : request.allowList)
    query.allowList.emplace_back(id.data, id.data + id.length);
  query.up = request.up;

  if (!request.up && !builtInUv) {
    FinishAssertion(query, uv, reply.answer);
    return;
  }
  // Without a touch the user did not consent, which getAssertion reports as denied.
  reply.wait = finger ? UserWait::kFinger : UserWait::kTouch;
  resume_ = [this, query = std::move(query), uv, builtInUv, finger](
                const SensorInput& input, std::vector<std::uint8_t>& answer) {
    if (std::uint8_t status = UserConsented(input, finger); status != kStatusOk) {
      answer.assign(1, status);
      return;
    }
    FinishAssertion(query, uv || builtInUv, answer);
  };
}

void CtapAuthenticator::FinishAssertion(const AssertionQuery& query, bool uv,
                                        std::vector<std::uint8_t>& answer) {
  const std::uint8_t flags =
      static_cast<std::uint8_t>((query.up ? kFlagUserPresent : 0) | (uv ? kFlagUserVerified : 0));
  FoundCredential found;
  if (!query.allowList.empty()) {
    // The site names its credentials: the first usable one answers, alone.
    for (const std::vector<std::uint8_t>& id : query.allowList) {
      if (LookUpCredential(query.rpId, query.rpIdHash, id.data(), id.size(), found) &&
          Usable(found.credProtect, uv, true)) {
        SignAssertion(found, query.rpIdHash, query.clientDataHash.data(), flags, 0, answer);
        return;
      }
    }
    answer.assign(1, kStatusNoCredentials);
    return;
  }
  // Discovery: the site's passkeys, newest first.
  std::vector<std::size_t> matches;
  for (std::size_t i = state_.credentials.size(); i-- > 0;) {
    const StoredCredential& stored = state_.credentials[i];
    if (stored.rpId == query.rpId && Usable(stored.credProtect, uv, false)) matches.push_back(i);
  }
  if (matches.empty()) {
    answer.assign(1, kStatusNoCredentials);
    return;
  }
  const StoredCredential& first = state_.credentials[matches.front()];
  found.id = first.id;
  found.privateKey = first.privateKey;
  found.credProtect = first.credProtect;
  found.stored = matches.front();
  SignAssertion(found, query.rpIdHash, query.clientDataHash.data(), flags,
                matches.size() > 1 ? matches.size() : 0, answer);
  if (matches.size() > 1 && answer.size() > 1) {
    assertionWalk_ = std::make_unique<AssertionWalk>();
    assertionWalk_->remaining.assign(matches.begin() + 1, matches.end());
    assertionWalk_->rpIdHash = query.rpIdHash;
    assertionWalk_->clientDataHash = query.clientDataHash;
    assertionWalk_->flags = flags;
  }
}

void CtapAuthenticator::GetNextAssertion(CtapReply& reply) {
  if (!assertionWalk_ || assertionWalk_->remaining.empty() ||
      assertionWalk_->remaining.front() >= state_.credentials.size()) {
    reply.answer.assign(1, kStatusNotAllowed);
    return;
  }
  const std::size_t index = assertionWalk_->remaining.front();
  assertionWalk_->remaining.erase(assertionWalk_->remaining.begin());
  const StoredCredential& stored = state_.credentials[index];
  FoundCredential found;
  found.id = stored.id;
  found.privateKey = stored.privateKey;
  found.credProtect = stored.credProtect;
  found.stored = index;
  SignAssertion(found, assertionWalk_->rpIdHash, assertionWalk_->clientDataHash.data(),
                assertionWalk_->flags, 0, reply.answer);
}

void CtapAuthenticator::SignAssertion(const FoundCredential& credential,
                                      const Sha256Digest& rpIdHash,
                                      const std::uint8_t* clientDataHash, std::uint8_t flags,
                                      std::size_t count, std::vector<std::uint8_t>& answer) {
  const std::vector<std::uint8_t> authData = AuthenticatorData(rpIdHash, flags, ++state_.signCount);
  std::vector<std::uint8_t> signature;
  if (!SignEs256(credential.privateKey, random_, authData.data(), authData.size(), clientDataHash,
                 32, signature)) {
    answer.assign(1, kStatusOther);
    return;
  }
  const StoredCredential* stored = credential.stored != FoundCredential::kNotStored
                                       ? &state_.credentials[credential.stored]
                                       : nullptr;
  // The user's name and display name say who signs in, so only a verified user sees them.
  const bool names = stored != nullptr && (flags & kFlagUserVerified) != 0;
  const bool userName = names && !stored->userName.empty();
  const bool displayName = names && !stored->userDisplayName.empty();

  std::vector<std::uint8_t> body(1024);
  CborWriter writer(body.data(), static_cast<std::uint32_t>(body.size()));
  writer.beginMap(3 + (stored != nullptr) + (count > 0));
  writer.putInt(1).beginMap(2);
  writer.putText("id", 2).putBytes(credential.id.data(),
                                   static_cast<std::uint32_t>(credential.id.size()));
  writer.putText("type", 4).putText("public-key", 10);
  writer.putInt(2).putBytes(authData.data(), static_cast<std::uint32_t>(authData.size()));
  writer.putInt(3).putBytes(signature.data(), static_cast<std::uint32_t>(signature.size()));
  if (stored != nullptr) {
    writer.putInt(4).beginMap(1 + userName + displayName);
    writer.putText("id", 2).putBytes(stored->userId.data(),
                                     static_cast<std::uint32_t>(stored->userId.size()));
    if (userName) {
      writer.putText("name", 4).putText(stored->userName.data(),
                                        static_cast<std::uint32_t>(stored->userName.size()));
    }
    if (displayName) {
      writer.putText("displayName", 11)
          .putText(stored->userDisplayName.data(),
                   static_cast<std::uint32_t>(stored->userDisplayName.size()));
    }
  }
  if (count > 0) writer.putInt(5).putInt(static_cast<std::int32_t>(count));
  answer.assign(1, kStatusOk);
  answer.insert(answer.end(), body.begin(), body.begin() + writer.length());
}

}  // namespace pinvale::vkey
