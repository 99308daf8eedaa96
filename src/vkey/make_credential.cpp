// makeCredential: a new ES256 credential for a site, with packed self attestation
// (signed with the credential's own key: the virtual key has no attestation
// certificate to show).
//
// A discoverable credential (a passkey, "rk") is stored on the key, with a random id;
// a new one for the same site and user replaces the old one. A non-discoverable one is
// not stored: its id carries its private key, sealed with the key's credential key for
// this site, so the key can use it whenever the site hands the id back.

#include <algorithm>
#include <string>

#include "cbor/cbor_writer.h"
#include "vkey/assertion_walk.h"
#include "vkey/authenticator_data.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/make_credential_request.h"

namespace pinvale::vkey {

namespace {

// Names are shown, not compared: longer ones are cut to this many bytes, at the start
// of a UTF-8 sequence, as keys may.
constexpr std::size_t kMaxNameBytes = 64;
constexpr std::size_t kDiscoverableIdSize = 32;

std::string Truncated(const TextField& text) {
  std::size_t length = text.length;
  if (length > kMaxNameBytes) {
    length = kMaxNameBytes;
    while (length > 0 && (static_cast<unsigned char>(text.data[length]) & 0xC0) == 0x80) --length;
  }
  return std::string(text.data == nullptr ? "" : text.data, text.data == nullptr ? 0 : length);
}

}  // namespace

// A makeCredential request in the key's own copy, while it waits for the user.
struct NewCredential {
  std::string rpId;
  Sha256Digest rpIdHash{};
  std::string rpName;
  std::vector<std::uint8_t> userId;
  std::string userName;
  std::string userDisplayName;
  std::array<std::uint8_t, 32> clientDataHash{};
  bool rk = false;
  std::uint8_t credProtect = 0;  // 0: not asked for
  // The exclude list names a credential of this site; one that needs user
  // verification counts only once the user is verified.
  bool excluded = false;
  bool excludedOnceVerified = false;
};

void CtapAuthenticator::MakeCredential(const std::uint8_t* cbor, std::size_t length,
                                       CtapReply& reply) {
  MakeCredentialRequest request;
  if (std::uint8_t status = ReadMakeCredentialRequest(cbor, length, request); status != kStatusOk) {
    reply.answer.assign(1, status);
    return;
  }
  if (request.pinAuth.present && request.pinAuth.length == 0) {
    AnswerPinProbe(reply);
    return;
  }
  auto refuse = [&reply](std::uint8_t status) { reply.answer.assign(1, status); };
  if (!request.es256) return refuse(kStatusUnsupportedAlgorithm);
  // makeCredential always asks for the user's presence.
  if (!request.up) return refuse(kStatusInvalidOption);

  bool uv = false;
  if (request.pinAuth.present) {
    if (std::uint8_t status =
            CheckTokenAuth(request.hasPinProtocol, request.pinProtocol, request.clientDataHash.data,
                           request.clientDataHash.length, request.pinAuth,
                           kPermissionMakeCredential, request.rpId.data, request.rpId.length);
        status != kStatusOk) {
      return refuse(status);
    }
    uv = true;
  }
  bool finger = false;
  const bool builtInUv = request.uv && !uv;
  if (builtInUv) {
    // A key that cannot verify the user itself but has a PIN says so the way
    // platforms expect: they ask for the PIN when told a token is required.
    if (std::uint8_t status = CheckBuiltInUv(finger); status != kStatusOk) {
      return refuse(status != kStatusUvBlocked && state_.pinSet ? kStatusPuatRequired : status);
    }
  }
  if (!uv && !builtInUv) {
    // A key protected by a PIN (or, on 2.1, a fingerprint) wants the user verified.
    // On 2.1 only a passkey needs it (makeCredUvNotRqd); a 2.0 key wants it for all.
    const bool protectedKey =
        state_.pinSet || (config_.profile != CtapProfile::kCtap20 && !state_.fingerprints.empty());
    if (protectedKey && (request.rk || !Ctap21())) return refuse(kStatusPuatRequired);
  }

  NewCredential credential;
  credential.rpId.assign(request.rpId.data, request.rpId.length);
  credential.rpIdHash =
      Sha256(reinterpret_cast<const std::uint8_t*>(request.rpId.data), request.rpId.length);
  credential.rpName = Truncated(request.rpName);
  credential.userId.assign(request.userId.data, request.userId.data + request.userId.length);
  credential.userName = Truncated(request.userName);
  credential.userDisplayName = Truncated(request.userDisplayName);
  std::copy(request.clientDataHash.data, request.clientDataHash.data + 32,
            credential.clientDataHash.begin());
  credential.rk = request.rk;
  // credProtect is an extension of the keys with a sensor (getInfo lists it); a 2.0
  // key passes over it as over any extension it does not know.
  if (config_.profile != CtapProfile::kCtap20) credential.credProtect = request.credProtect;
  for (const ByteField& id : request.excludeList) {
    FoundCredential found;
    if (LookUpCredential(credential.rpId, credential.rpIdHash, id.data, id.length, found)) {
      (found.credProtect >= 3 ? credential.excludedOnceVerified : credential.excluded) = true;
    }
  }

  reply.wait = finger ? UserWait::kFinger : UserWait::kTouch;
  resume_ = [this, credential = std::move(credential), uv, builtInUv, finger](
                const SensorInput& input, std::vector<std::uint8_t>& answer) {
    if (std::uint8_t status = UserConsented(input, finger); status != kStatusOk) {
      answer.assign(1, status);
      return;
    }
    const bool verified = uv || builtInUv;
    if (credential.excluded || (verified && credential.excludedOnceVerified)) {
      answer.assign(1, kStatusCredentialExcluded);
      return;
    }
    FinishMakeCredential(credential, verified, answer);
  };
}

void CtapAuthenticator::FinishMakeCredential(const NewCredential& credential, bool uv,
                                             std::vector<std::uint8_t>& answer) {
  std::size_t replaced = state_.credentials.size();
  if (credential.rk) {
    for (std::size_t i = 0; i < state_.credentials.size(); ++i) {
      if (state_.credentials[i].rpId == credential.rpId &&
          state_.credentials[i].userId == credential.userId) {
        replaced = i;
      }
    }
    if (replaced == state_.credentials.size() && RemainingDiscoverableCredentials() == 0) {
      answer.assign(1, kStatusKeyStoreFull);
      return;
    }
  }
  const std::uint8_t level = credential.credProtect != 0 ? credential.credProtect : 1;
  StoredCredential made;
  PublicPoint publicKey;
  if (!GenerateCredentialKey(random_, made.privateKey, publicKey)) {
    answer.assign(1, kStatusOther);
    return;
  }
  if (credential.rk) {
    made.id.resize(kDiscoverableIdSize);
    random_.Fill(made.id.data(), made.id.size());
  } else {
    WrappedCredential wrapped;
    wrapped.privateKey = made.privateKey;
    wrapped.credProtect = level;
    if (!WrapCredentialId(state_.credentialKey, random_, credential.rpIdHash, wrapped, made.id)) {
      answer.assign(1, kStatusOther);
      return;
    }
  }

  const AttestedCredential attested{&config_.aaguid, &made.id, &publicKey};
  const std::uint8_t flags =
      static_cast<std::uint8_t>(kFlagUserPresent | (uv ? kFlagUserVerified : 0));
  const std::vector<std::uint8_t> authData = AuthenticatorData(
      credential.rpIdHash, flags, ++state_.signCount, &attested, credential.credProtect);
  std::vector<std::uint8_t> signature;
  if (!SignEs256(made.privateKey, random_, authData.data(), authData.size(),
                 credential.clientDataHash.data(), credential.clientDataHash.size(), signature)) {
    answer.assign(1, kStatusOther);
    return;
  }

  std::vector<std::uint8_t> body(authData.size() + signature.size() + 64);
  CborWriter writer(body.data(), static_cast<std::uint32_t>(body.size()));
  writer.beginMap(3).putInt(1).putText("packed", 6);
  writer.putInt(2).putBytes(authData.data(), static_cast<std::uint32_t>(authData.size()));
  writer.putInt(3).beginMap(2).putText("alg", 3).putInt(kCoseAlgorithmEs256);
  writer.putText("sig", 3).putBytes(signature.data(), static_cast<std::uint32_t>(signature.size()));
  answer.assign(1, kStatusOk);
  answer.insert(answer.end(), body.begin(), body.begin() + writer.length());

  if (!credential.rk) return;
  made.rpId = credential.rpId;
  made.rpName = credential.rpName;
  made.userId = credential.userId;
  made.userName = credential.userName;
  made.userDisplayName = credential.userDisplayName;
  made.credProtect = level;
  // The newest is last: a replaced passkey moves there too.
  if (replaced < state_.credentials.size()) {
    state_.credentials.erase(state_.credentials.begin() + static_cast<std::ptrdiff_t>(replaced));
  }
  state_.credentials.push_back(std::move(made));
}

}  // namespace pinvale::vkey
