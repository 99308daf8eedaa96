// authenticatorCredentialManagement and its prototype: the passkeys the key stores,
// counted, listed by site, deleted and renamed.
//
// Sites are listed in the order their first passkey was stored, and a site's passkeys
// oldest first, the order of the store, so a list read twice reads the same. Every
// command but a walk's GetNext ends the walk, a delete or an update among them: what a
// walk still has to list is never out of date, and a GetNext after it is NOT_ALLOWED.
//
// A token that names a site (a 2.1 token with an rpId) may list, delete and update
// that site's passkeys only; counting and listing every site need a token for no site.

#include <mbedtls/sha256.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "cbor/cbor_writer.h"
#include "vkey/credential_crypto.h"
#include "vkey/credential_management_request.h"
#include "vkey/credential_walk.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::size_t kRpIdHashSize = 32;
// A key may keep a user's name and display name shortened to 64 bytes.
constexpr std::size_t kMaxUserTextBytes = 64;

using RpIdHash = std::array<std::uint8_t, kRpIdHashSize>;

RpIdHash HashRpId(const std::string& rpId) {
  RpIdHash hash{};
  mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(rpId.data()), rpId.size(), hash.data(),
                     0);
  return hash;
}

bool SameBytes(const ByteField& field, const std::uint8_t* data, std::size_t length) {
  return field.length == length && (length == 0 || std::memcmp(field.data, data, length) == 0);
}

bool SameText(const TextField& field, const char* text) {
  const std::size_t length = std::strlen(text);
  return field.length == length && std::memcmp(field.data, text, length) == 0;
}

// At most kMaxUserTextBytes, cut before a UTF-8 continuation byte so that no
// character is split.
std::string ShortenedText(const TextField& field) {
  if (!field.present) return {};
  std::size_t length = field.length;
  if (length > kMaxUserTextBytes) {
    length = kMaxUserTextBytes;
    while (length > 0 && (static_cast<std::uint8_t>(field.data[length]) & 0xC0) == 0x80) --length;
  }
  return std::string(field.data, length);
}

CborWriter& PutText(CborWriter& writer, const std::string& text) {
  return writer.putText(text.data(), static_cast<std::uint32_t>(text.size()));
}

// The status byte, then the body written into a buffer of `capacity` bytes.
template <typename Write>
void Answer(std::vector<std::uint8_t>& answer, std::size_t capacity, Write write) {
  answer.assign(1 + capacity, 0);
  CborWriter writer(answer.data() + 1, static_cast<std::uint32_t>(capacity));
  write(writer);
  answer.resize(1 + writer.length());
}

// The sites of the store in the order their first passkey was stored, each with the
// name the site gave with its newest passkey that came with one.
struct StoredRp {
  std::string id;
  std::string name;
};

std::vector<StoredRp> StoredRps(const KeyState& state) {
  std::vector<StoredRp> rps;
  for (const StoredCredential& credential : state.credentials) {
    auto it = std::find_if(rps.begin(), rps.end(),
                           [&](const StoredRp& rp) { return rp.id == credential.rpId; });
    if (it == rps.end()) {
      rps.push_back({credential.rpId, credential.rpName});
    } else if (!credential.rpName.empty()) {
      it->name = credential.rpName;
    }
  }
  return rps;
}

std::string RpNameOf(const KeyState& state, const std::string& rpId) {
  std::string name;
  for (const StoredCredential& credential : state.credentials) {
    if (credential.rpId == rpId && !credential.rpName.empty()) name = credential.rpName;
  }
  return name;
}

void WriteRp(std::vector<std::uint8_t>& answer, const std::string& rpId, const std::string& rpName,
             const std::size_t* total) {
  const RpIdHash hash = HashRpId(rpId);
  Answer(answer, 64 + rpId.size() + rpName.size(), [&](CborWriter& writer) {
    writer.beginMap(total ? 3 : 2).putInt(3).beginMap(rpName.empty() ? 1 : 2);
    PutText(writer.putText("id", 2), rpId);
    if (!rpName.empty()) PutText(writer.putText("name", 4), rpName);
    writer.putInt(4).putBytes(hash.data(), kRpIdHashSize);
    if (total) writer.putInt(5).putInt(static_cast<std::int32_t>(*total));
  });
}

bool WriteCredential(std::vector<std::uint8_t>& answer, const StoredCredential& credential,
                     RandomSource& random, const std::size_t* total) {
  PublicPoint publicKey;
  if (!CredentialPublicKey(credential.privateKey, random, publicKey)) return false;
  std::vector<std::uint8_t> cose;
  AppendCoseKey(publicKey, cose);
  const std::uint32_t userMembers =
      1 + !credential.userName.empty() + !credential.userDisplayName.empty();
  const std::size_t capacity = 96 + cose.size() + credential.id.size() + credential.userId.size() +
                               credential.userName.size() + credential.userDisplayName.size();
  Answer(answer, capacity, [&](CborWriter& writer) {
    writer.beginMap(total ? 5 : 4).putInt(6).beginMap(userMembers).putText("id", 2);
    writer.putBytes(credential.userId.data(), static_cast<std::uint32_t>(credential.userId.size()));
    if (!credential.userName.empty()) PutText(writer.putText("name", 4), credential.userName);
    if (!credential.userDisplayName.empty()) {
      PutText(writer.putText("displayName", 11), credential.userDisplayName);
    }
    writer.putInt(7).beginMap(2).putText("id", 2);
    writer.putBytes(credential.id.data(), static_cast<std::uint32_t>(credential.id.size()));
    writer.putText("type", 4).putText("public-key", 10);
    writer.putInt(8).putRaw(cose.data(), static_cast<std::uint32_t>(cose.size()));
    if (total) writer.putInt(9).putInt(static_cast<std::int32_t>(*total));
    writer.putInt(10).putInt(credential.credProtect);
  });
  return true;
}

// The passkey a descriptor names; the store's end when it names none. A descriptor of
// another type than "public-key" names none.
std::vector<StoredCredential>::iterator FindCredential(KeyState& state,
                                                       const CredentialManagementRequest& request) {
  if (!SameText(request.credentialType, "public-key")) return state.credentials.end();
  return std::find_if(
      state.credentials.begin(), state.credentials.end(), [&](const StoredCredential& credential) {
        return SameBytes(request.credentialId, credential.id.data(), credential.id.size());
      });
}

bool NeedsToken(std::uint32_t subCommand) {
  return subCommand != kCredMgmtEnumerateRpsGetNextRp &&
         subCommand != kCredMgmtEnumerateCredentialsGetNext;
}

bool KnownSubCommand(bool prototype, std::uint32_t subCommand) {
  const std::uint32_t last = prototype ? kCredMgmtDeleteCredential : kCredMgmtUpdateUserInformation;
  return subCommand >= kCredMgmtGetCredsMetadata && subCommand <= last;
}

}  // namespace

void CtapAuthenticator::CredentialManagement(bool prototype, const std::uint8_t* cbor,
                                             std::size_t length, CtapReply& reply) {
  std::vector<std::uint8_t>& answer = reply.answer;
  CredentialManagementRequest request;
  std::uint8_t status = ReadCredentialManagementRequest(cbor, length, request);
  if (status == kStatusOk && !request.hasSubCommand) status = kStatusMissingParameter;
  if (status == kStatusOk && !KnownSubCommand(prototype, request.subCommand)) {
    status = kStatusInvalidSubcommand;
  }
  if (status == kStatusOk && NeedsToken(request.subCommand)) {
    status = CheckManagementToken(request);
  }
  if (status != kStatusOk) {
    answer.assign(1, status);
    return;
  }
  switch (request.subCommand) {
    case kCredMgmtGetCredsMetadata:
      status = CredsMetadata(answer);
      break;
    case kCredMgmtEnumerateRpsBegin:
      status = BeginRpWalk(prototype, answer);
      break;
    case kCredMgmtEnumerateCredentialsBegin:
      status = BeginCredentialWalk(prototype, request, answer);
      break;
    case kCredMgmtEnumerateRpsGetNextRp:
    case kCredMgmtEnumerateCredentialsGetNext:
      status = ContinueWalk(answer);
      break;
    case kCredMgmtDeleteCredential:
      status = DeleteCredential(request);
      break;
    default:
      status = UpdateUserInformation(request);
      break;
  }
  if (status != kStatusOk) answer.assign(1, status);
  if (answer.empty()) answer.assign(1, kStatusOk);
}

// The MAC over subCommand ‖ subCommandParams as sent, and a token with the cm
// permission. Which site the token may name is each subcommand's own check.
std::uint8_t CtapAuthenticator::CheckManagementToken(const CredentialManagementRequest& request) {
  if (!request.pinUvAuthParam.present) return kStatusPuatRequired;
  std::vector<std::uint8_t> message(1 + request.paramsLength);
  message[0] = static_cast<std::uint8_t>(request.subCommand);
  if (request.paramsLength > 0) {
    std::memcpy(message.data() + 1, request.params, request.paramsLength);
  }
  return CheckTokenAuth(request.hasProtocol, request.protocol, message.data(), message.size(),
                        request.pinUvAuthParam, kPermissionCredentialManagement);
}

// Only a 2.1 token names a site; the others are for every site.
bool CtapAuthenticator::TokenNamesSite() const {
  return Ctap21() && !tokenRpId_.empty();
}

bool CtapAuthenticator::TokenAllowsSite(const std::string& rpId) const {
  return !TokenNamesSite() || tokenRpId_ == rpId;
}

std::uint8_t CtapAuthenticator::CredsMetadata(std::vector<std::uint8_t>& answer) {
  if (TokenNamesSite()) return kStatusPinAuthInvalid;
  Answer(answer, 16, [&](CborWriter& writer) {
    writer.beginMap(2).putInt(1).putInt(static_cast<std::int32_t>(state_.credentials.size()));
    writer.putInt(2).putInt(RemainingDiscoverableCredentials());
  });
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::BeginRpWalk(bool prototype, std::vector<std::uint8_t>& answer) {
  if (TokenNamesSite()) return kStatusPinAuthInvalid;
  std::vector<StoredRp> rps = StoredRps(state_);
  if (rps.empty()) return kStatusNoCredentials;
  const std::size_t total = rps.size();
  WriteRp(answer, rps[0].id, rps[0].name, &total);
  if (total > 1) {
    auto walk = std::make_unique<CredentialWalk>();
    walk->command = prototype ? kCtapCredentialManagementPre : kCtapCredentialManagement;
    walk->getNext = kCredMgmtEnumerateRpsGetNextRp;
    walk->next = 1;
    for (StoredRp& rp : rps) walk->rpIds.push_back(std::move(rp.id));
    credentialWalk_ = std::move(walk);
  }
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::BeginCredentialWalk(bool prototype,
                                                    const CredentialManagementRequest& request,
                                                    std::vector<std::uint8_t>& answer) {
  if (!request.rpIdHash.present) return kStatusMissingParameter;
  if (request.rpIdHash.length != kRpIdHashSize) return kStatusInvalidLength;
  if (TokenNamesSite() &&
      !SameBytes(request.rpIdHash, HashRpId(tokenRpId_).data(), kRpIdHashSize)) {
    return kStatusPinAuthInvalid;
  }
  std::vector<const StoredCredential*> found;
  for (const StoredCredential& credential : state_.credentials) {
    if (SameBytes(request.rpIdHash, HashRpId(credential.rpId).data(), kRpIdHashSize)) {
      found.push_back(&credential);
    }
  }
  if (found.empty()) return kStatusNoCredentials;
  const std::size_t total = found.size();
  if (!WriteCredential(answer, *found[0], random_, &total)) return kStatusOther;
  if (total > 1) {
    auto walk = std::make_unique<CredentialWalk>();
    walk->command = prototype ? kCtapCredentialManagementPre : kCtapCredentialManagement;
    walk->getNext = kCredMgmtEnumerateCredentialsGetNext;
    walk->next = 1;
    for (const StoredCredential* credential : found) walk->credentialIds.push_back(credential->id);
    credentialWalk_ = std::move(walk);
  }
  return kStatusOk;
}

// The walk ends with its last entry, so one GetNext too many is NOT_ALLOWED too.
std::uint8_t CtapAuthenticator::ContinueWalk(std::vector<std::uint8_t>& answer) {
  if (!credentialWalk_) return kStatusNotAllowed;
  CredentialWalk& walk = *credentialWalk_;
  const std::size_t index = walk.next++;
  std::uint8_t status = kStatusNotAllowed;
  if (walk.getNext == kCredMgmtEnumerateRpsGetNextRp && index < walk.rpIds.size()) {
    const std::string& rpId = walk.rpIds[index];
    WriteRp(answer, rpId, RpNameOf(state_, rpId), nullptr);
    status = kStatusOk;
  } else if (walk.getNext == kCredMgmtEnumerateCredentialsGetNext &&
             index < walk.credentialIds.size()) {
    const std::vector<std::uint8_t>& id = walk.credentialIds[index];
    auto it = std::find_if(state_.credentials.begin(), state_.credentials.end(),
                           [&](const StoredCredential& credential) { return credential.id == id; });
    if (it != state_.credentials.end()) {
      status = WriteCredential(answer, *it, random_, nullptr) ? kStatusOk : kStatusOther;
    }
  }
  const bool more = walk.next < std::max(walk.rpIds.size(), walk.credentialIds.size());
  if (status != kStatusOk || !more) credentialWalk_.reset();
  return status;
}

std::uint8_t CtapAuthenticator::DeleteCredential(const CredentialManagementRequest& request) {
  if (!request.hasCredential) return kStatusMissingParameter;
  if (!request.credentialId.present || !request.credentialType.present) {
    return kStatusMissingParameter;
  }
  auto it = FindCredential(state_, request);
  if (it == state_.credentials.end()) return kStatusNoCredentials;
  if (!TokenAllowsSite(it->rpId)) return kStatusPinAuthInvalid;
  state_.credentials.erase(it);
  return kStatusOk;
}

// The user id stays what it was; the name and display name become those sent, and
// one left out is removed.
std::uint8_t CtapAuthenticator::UpdateUserInformation(const CredentialManagementRequest& request) {
  if (!request.hasCredential || !request.hasUser) return kStatusMissingParameter;
  if (!request.credentialId.present || !request.credentialType.present || !request.userId.present) {
    return kStatusMissingParameter;
  }
  auto it = FindCredential(state_, request);
  if (it == state_.credentials.end()) return kStatusNoCredentials;
  if (!TokenAllowsSite(it->rpId)) return kStatusPinAuthInvalid;
  if (!SameBytes(request.userId, it->userId.data(), it->userId.size())) {
    return kStatusInvalidParameter;
  }
  it->userName = ShortenedText(request.userName);
  it->userDisplayName = ShortenedText(request.userDisplayName);
  return kStatusOk;
}

bool CtapAuthenticator::ContinuesCredentialWalk(const std::uint8_t* message,
                                                std::size_t length) const {
  return credentialWalk_ && length > 0 && message[0] == credentialWalk_->command &&
         CredentialManagementSubCommand(message + 1, length - 1) == credentialWalk_->getNext;
}

}  // namespace pinvale::vkey
