#pragma once

// Passkeys on a key: authenticatorCredentialManagement (0x0A), or its prototype
// (0x41) on keys of the CTAP 2.1 drafts. Requests are canonical CBOR; the MAC
// covers subCommand ‖ CBOR(params), made in management_request.cpp. A
// credential's descriptor is kept as the key sent it and sent back unchanged.
// The walks (Begin, then GetNext) trust no count: they stop at the count the
// key gave, at kMaxListedEntries, or at the first GetNext the key refuses.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ctap/authenticator_info.h"
#include "ctap/management_request.h"

namespace pinvale {

constexpr std::uint8_t kCredentialManagementCommand = 0x0A;
constexpr std::uint8_t kCredentialManagementPrototypeCommand = 0x41;

// No key stores more passkeys than this; a count beyond it is not walked.
constexpr std::uint32_t kMaxListedEntries = 1000;

enum class CredMgmtSubCommand : std::uint8_t {
  kGetCredsMetadata = 0x01,
  kEnumerateRPsBegin = 0x02,
  kEnumerateRPsGetNextRP = 0x03,
  kEnumerateCredentialsBegin = 0x04,
  kEnumerateCredentialsGetNextCredential = 0x05,
  kDeleteCredential = 0x06,
  kUpdateUserInformation = 0x07,
};

// The command byte for the key: 0x0A with the option credMgmt, else 0x41 with
// credentialMgmtPreview, else 0 (the key manages no passkeys).
std::uint8_t CredentialManagementCommandFor(const AuthenticatorInfo& info);
// updateUserInformation exists in 0x0A only.
inline bool CanUpdateUserInformation(std::uint8_t command) {
  return command == kCredentialManagementCommand;
}

using RpIdHash = std::array<std::uint8_t, 32>;
RpIdHash HashRpId(std::string_view rpId);

struct PasskeyUser {
  std::vector<std::uint8_t> id;
  std::optional<std::string> name;  // as the key sent them: PrintableText to show
  std::optional<std::string> displayName;
};

struct CredentialSlots {
  std::optional<std::uint32_t> existing;   // member 1
  std::optional<std::uint32_t> remaining;  // member 2
};

struct RelyingPartyEntry {
  std::string id;  // empty when the key did not say it
  std::optional<std::string> name;
  RpIdHash idHash{};
};

struct PasskeyEntry {
  PasskeyUser user;
  std::vector<std::uint8_t> credentialId;
  std::vector<std::uint8_t> descriptor;  // member 7, the encoded CBOR as the key sent it
  std::optional<std::uint32_t> credProtect;
};

// CBOR(params) of a request: rpIDHash (1), the descriptor as given (2) and the
// user (3), the one written as {id, name, displayName} with what is present.
struct CredMgmtParams {
  const RpIdHash* rpIdHash = nullptr;
  std::span<const std::uint8_t> descriptor;
  const PasskeyUser* user = nullptr;
};
std::vector<std::uint8_t> EncodeCredMgmtParams(const CredMgmtParams& params);

// `token` null for the GetNext commands, which carry no MAC.
int BuildCredMgmtRequest(std::uint8_t command, CredMgmtSubCommand subCommand,
                         const CredMgmtParams& params, const PinUvToken* token,
                         std::vector<std::uint8_t>& request);

// Answer readers: 0 or kManagementAnswerNotUnderstood. `total` is the count
// member of a Begin answer when present.
int ReadCredentialSlots(std::span<const std::uint8_t> body, CredentialSlots& slots);
int ReadRelyingParty(std::span<const std::uint8_t> body, RelyingPartyEntry& rp,
                     std::optional<std::uint32_t>& total);
int ReadPasskey(std::span<const std::uint8_t> body, PasskeyEntry& passkey,
                std::optional<std::uint32_t>& total);

// The commands on one key. Results: 0, the key's status, an exchange code, or
// kManagementAnswerNotUnderstood.
class CredentialManagement {
 public:
  CredentialManagement(CFidoToken& device, std::uint8_t command)
      : device_(device), command_(command) {}

  std::uint8_t Command() const { return command_; }

  int GetCredsMetadata(const PinUvToken& token, CredentialSlots& slots);
  // No passkeys (0x2E, or a success with an empty body) is an empty list.
  // `complete` turns false when the key stopped before the count it gave.
  int EnumerateRelyingParties(const PinUvToken& token, std::vector<RelyingPartyEntry>& rps,
                              bool& complete);
  int EnumerateCredentials(const PinUvToken& token, const RpIdHash& rpIdHash,
                           std::vector<PasskeyEntry>& passkeys, bool& complete);
  int DeleteCredential(const PinUvToken& token, const PasskeyEntry& passkey);
  // `user` replaces what the key holds; its id must be the passkey's.
  int UpdateUserInformation(const PinUvToken& token, const PasskeyEntry& passkey,
                            const PasskeyUser& user);

 private:
  int Exchange(CredMgmtSubCommand subCommand, const CredMgmtParams& params, const PinUvToken* token,
               std::vector<std::uint8_t>& body);

  CFidoToken& device_;
  std::uint8_t command_;
};

}  // namespace pinvale
