#include "ctap/credential_management.h"

#include <mbedtls/sha256.h>

#include <algorithm>

#include "cbor/cbor_writer.h"

namespace pinvale {

namespace {

constexpr int kNoCredentials = 0x2E;

constexpr ManagementRequestLayout kLayoutBase{0, 1, 2, 3, 4, std::nullopt};
// subCommandParams members.
constexpr std::int32_t kParamRpIdHash = 1;
constexpr std::int32_t kParamCredentialId = 2;
constexpr std::int32_t kParamUser = 3;
// Answer members.
constexpr std::int32_t kAnswerExisting = 1;
constexpr std::int32_t kAnswerRemaining = 2;
constexpr std::int32_t kAnswerRp = 3;
constexpr std::int32_t kAnswerRpIdHash = 4;
constexpr std::int32_t kAnswerTotalRps = 5;
constexpr std::int32_t kAnswerUser = 6;
constexpr std::int32_t kAnswerCredentialId = 7;
constexpr std::int32_t kAnswerTotalCredentials = 9;
constexpr std::int32_t kAnswerCredProtect = 10;

// A user id is at most 64 bytes, names a few hundred; the descriptor of a long
// credential id about 1 KB. Room for all of them at once.
constexpr std::uint32_t kMaxParamsSize = 2048;

CborItem View(std::span<const std::uint8_t> body) {
  return CborItem(body.data(), static_cast<std::uint32_t>(body.size()));
}

bool IsMap(const CborItem& item) {
  const CborHead head = item.head();
  return isWellFormed(head) && head.majorType == 5;
}

bool ReadBytes(const CborItem& item, std::vector<std::uint8_t>& out) {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;
  if (!item.getBytes(bytes, length)) return false;
  out.assign(bytes, bytes + length);
  return true;
}

void PutText(CborWriter& writer, std::string_view text) {
  writer.putText(text.data(), static_cast<std::uint32_t>(text.size()));
}

// Whether a walk may ask for one more: the key's count when it gave one, else
// until it refuses; never beyond the bound.
bool WantsMore(std::size_t listed, const std::optional<std::uint32_t>& total) {
  if (listed >= kMaxListedEntries) return false;
  return !total || listed < *total;
}

}  // namespace

std::uint8_t CredentialManagementCommandFor(const AuthenticatorInfo& info) {
  if (info.Option("credMgmt")) return kCredentialManagementCommand;
  if (info.Option("credentialMgmtPreview")) return kCredentialManagementPrototypeCommand;
  return 0;
}

RpIdHash HashRpId(std::string_view rpId) {
  RpIdHash hash{};
  mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(rpId.data()), rpId.size(), hash.data(),
                     0);
  return hash;
}

std::vector<std::uint8_t> EncodeCredMgmtParams(const CredMgmtParams& params) {
  const std::uint32_t members =
      (params.rpIdHash ? 1 : 0) + (params.descriptor.empty() ? 0 : 1) + (params.user ? 1 : 0);
  if (members == 0) return {};
  const std::size_t wanted =
      params.descriptor.size() +
      (params.user ? params.user->id.size() + params.user->name.value_or("").size() +
                         params.user->displayName.value_or("").size()
                   : 0);
  if (wanted + 64 > kMaxParamsSize) return {};
  std::vector<std::uint8_t> bytes(kMaxParamsSize);
  CborWriter writer(bytes.data(), kMaxParamsSize);
  writer.beginMap(members);
  if (params.rpIdHash) {
    writer.putInt(kParamRpIdHash).putBytes(params.rpIdHash->data(), 32);
  }
  if (!params.descriptor.empty()) {
    writer.putInt(kParamCredentialId);
    writer.putRaw(params.descriptor.data(), static_cast<std::uint32_t>(params.descriptor.size()));
  }
  if (params.user) {
    const PasskeyUser& user = *params.user;
    // Canonical order: shorter keys first, so id, name, displayName.
    writer.putInt(kParamUser).beginMap(1 + (user.name ? 1 : 0) + (user.displayName ? 1 : 0));
    PutText(writer, "id");
    writer.putBytes(user.id.data(), static_cast<std::uint32_t>(user.id.size()));
    if (user.name) {
      PutText(writer, "name");
      PutText(writer, *user.name);
    }
    if (user.displayName) {
      PutText(writer, "displayName");
      PutText(writer, *user.displayName);
    }
  }
  bytes.resize(writer.length());
  return bytes;
}

int BuildCredMgmtRequest(std::uint8_t command, CredMgmtSubCommand subCommand,
                         const CredMgmtParams& params, const PinUvToken* token,
                         std::vector<std::uint8_t>& request) {
  ManagementRequestLayout layout = kLayoutBase;
  layout.command = command;
  const std::vector<std::uint8_t> encoded = EncodeCredMgmtParams(params);
  const bool wantsParams = params.rpIdHash || !params.descriptor.empty() || params.user;
  if (wantsParams && encoded.empty()) {
    request.clear();
    return kManagementRequestUnbuildable;
  }
  return BuildManagementRequest(layout, static_cast<std::uint8_t>(subCommand), encoded, token,
                                request);
}

int ReadCredentialSlots(std::span<const std::uint8_t> body, CredentialSlots& slots) {
  slots = {};
  const CborItem map = View(body);
  if (!IsMap(map) || !ReadOptionalUnsigned(map, kAnswerExisting, slots.existing) ||
      !ReadOptionalUnsigned(map, kAnswerRemaining, slots.remaining)) {
    slots = {};
    return kManagementAnswerNotUnderstood;
  }
  return 0;
}

int ReadRelyingParty(std::span<const std::uint8_t> body, RelyingPartyEntry& rp,
                     std::optional<std::uint32_t>& total) {
  rp = {};
  total.reset();
  const CborItem map = View(body);
  if (!IsMap(map)) return kManagementAnswerNotUnderstood;
  const CborItem entity = map.mapValueByInt(kAnswerRp);
  std::optional<std::string> id;
  if (Present(entity)) {
    if (!IsMap(entity) || !ReadOptionalText(entity, "id", id) ||
        !ReadOptionalText(entity, "name", rp.name)) {
      rp = {};
      return kManagementAnswerNotUnderstood;
    }
  }
  rp.id = id.value_or("");
  std::vector<std::uint8_t> hash;
  const CborItem hashItem = map.mapValueByInt(kAnswerRpIdHash);
  if (Present(hashItem)) {
    if (!ReadBytes(hashItem, hash) || hash.size() != rp.idHash.size()) {
      rp = {};
      return kManagementAnswerNotUnderstood;
    }
    std::copy(hash.begin(), hash.end(), rp.idHash.begin());
  } else if (id) {
    // The hash names the site in the next requests; from the id it is the same.
    rp.idHash = HashRpId(*id);
  } else {
    rp = {};
    return kManagementAnswerNotUnderstood;
  }
  if (!ReadOptionalUnsigned(map, kAnswerTotalRps, total)) {
    rp = {};
    return kManagementAnswerNotUnderstood;
  }
  return 0;
}

int ReadPasskey(std::span<const std::uint8_t> body, PasskeyEntry& passkey,
                std::optional<std::uint32_t>& total) {
  passkey = {};
  total.reset();
  const CborItem map = View(body);
  if (!IsMap(map)) return kManagementAnswerNotUnderstood;
  const CborItem descriptor = map.mapValueByInt(kAnswerCredentialId);
  const CborItem user = map.mapValueByInt(kAnswerUser);
  bool understood =
      IsMap(descriptor) && IsMap(user) && EncodedItem(descriptor, passkey.descriptor) &&
      ReadBytes(descriptor.mapValueByText("id", 2), passkey.credentialId) &&
      !passkey.credentialId.empty() && ReadBytes(user.mapValueByText("id", 2), passkey.user.id) &&
      ReadOptionalText(user, "name", passkey.user.name) &&
      ReadOptionalText(user, "displayName", passkey.user.displayName) &&
      ReadOptionalUnsigned(map, kAnswerTotalCredentials, total);
  // credProtect is shown when it reads; a key's odd value there hides nothing else.
  if (understood && !ReadOptionalUnsigned(map, kAnswerCredProtect, passkey.credProtect)) {
    passkey.credProtect.reset();
  }
  if (!understood) {
    passkey = {};
    total.reset();
    return kManagementAnswerNotUnderstood;
  }
  return 0;
}

int CredentialManagement::Exchange(CredMgmtSubCommand subCommand, const CredMgmtParams& params,
                                   const PinUvToken* token, std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> request;
  if (int code = BuildCredMgmtRequest(command_, subCommand, params, token, request); code != 0) {
    return code;
  }
  return ExchangeManagementRequest(device_, request, body);
}

int CredentialManagement::GetCredsMetadata(const PinUvToken& token, CredentialSlots& slots) {
  std::vector<std::uint8_t> body;
  const int status = Exchange(CredMgmtSubCommand::kGetCredsMetadata, {}, &token, body);
  if (status != 0) return status;
  return ReadCredentialSlots(body, slots);
}

int CredentialManagement::EnumerateRelyingParties(const PinUvToken& token,
                                                  std::vector<RelyingPartyEntry>& rps,
                                                  bool& complete) {
  rps.clear();
  complete = true;
  std::vector<std::uint8_t> body;
  int status = Exchange(CredMgmtSubCommand::kEnumerateRPsBegin, {}, &token, body);
  if (status == kNoCredentials || (status == 0 && body.empty())) return 0;
  if (status != 0) return status;
  std::optional<std::uint32_t> total;
  RelyingPartyEntry rp;
  if (int code = ReadRelyingParty(body, rp, total); code != 0) return code;
  if (total && *total == 0) return 0;
  rps.push_back(std::move(rp));
  while (WantsMore(rps.size(), total)) {
    std::optional<std::uint32_t> ignored;
    status = Exchange(CredMgmtSubCommand::kEnumerateRPsGetNextRP, {}, nullptr, body);
    // A key that went away mid-walk is a failure, not a short list.
    if (status == kExchangeFailed) return status;
    if (status != 0 || ReadRelyingParty(body, rp, ignored) != 0) {
      // Without a count the walk ends when the key has no more to say.
      complete = !total;
      break;
    }
    rps.push_back(std::move(rp));
  }
  if (total && rps.size() < *total && rps.size() >= kMaxListedEntries) complete = false;
  return 0;
}

int CredentialManagement::EnumerateCredentials(const PinUvToken& token, const RpIdHash& rpIdHash,
                                               std::vector<PasskeyEntry>& passkeys,
                                               bool& complete) {
  passkeys.clear();
  complete = true;
  std::vector<std::uint8_t> body;
  CredMgmtParams params;
  params.rpIdHash = &rpIdHash;
  int status = Exchange(CredMgmtSubCommand::kEnumerateCredentialsBegin, params, &token, body);
  if (status == kNoCredentials || (status == 0 && body.empty())) return 0;
  if (status != 0) return status;
  std::optional<std::uint32_t> total;
  PasskeyEntry passkey;
  if (int code = ReadPasskey(body, passkey, total); code != 0) return code;
  if (total && *total == 0) return 0;
  passkeys.push_back(std::move(passkey));
  while (WantsMore(passkeys.size(), total)) {
    std::optional<std::uint32_t> ignored;
    status =
        Exchange(CredMgmtSubCommand::kEnumerateCredentialsGetNextCredential, {}, nullptr, body);
    if (status == kExchangeFailed) return status;
    if (status != 0 || ReadPasskey(body, passkey, ignored) != 0) {
      complete = !total;
      break;
    }
    passkeys.push_back(std::move(passkey));
  }
  if (total && passkeys.size() < *total && passkeys.size() >= kMaxListedEntries) complete = false;
  return 0;
}

int CredentialManagement::DeleteCredential(const PinUvToken& token, const PasskeyEntry& passkey) {
  if (passkey.descriptor.empty()) return kManagementRequestUnbuildable;
  std::vector<std::uint8_t> body;
  CredMgmtParams params;
  params.descriptor = passkey.descriptor;
  return Exchange(CredMgmtSubCommand::kDeleteCredential, params, &token, body);
}

int CredentialManagement::UpdateUserInformation(const PinUvToken& token,
                                                const PasskeyEntry& passkey,
                                                const PasskeyUser& user) {
  if (!CanUpdateUserInformation(command_) || passkey.descriptor.empty() || user.id.empty()) {
    return kManagementRequestUnbuildable;
  }
  std::vector<std::uint8_t> body;
  CredMgmtParams params;
  params.descriptor = passkey.descriptor;
  params.user = &user;
  return Exchange(CredMgmtSubCommand::kUpdateUserInformation, params, &token, body);
}

}  // namespace pinvale
