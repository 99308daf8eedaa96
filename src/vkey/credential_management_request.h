#pragma once

// The members of one credentialManagement request, read from its CBOR map. Pointers
// point into the request buffer. Only the form is checked here: whether a member a
// subcommand needs is there is the subcommand's business, after the MAC.

#include <cstddef>
#include <cstdint>

#include "vkey/request_members.h"

namespace pinvale::vkey {

constexpr std::uint8_t kCredMgmtGetCredsMetadata = 0x01;
constexpr std::uint8_t kCredMgmtEnumerateRpsBegin = 0x02;
constexpr std::uint8_t kCredMgmtEnumerateRpsGetNextRp = 0x03;
constexpr std::uint8_t kCredMgmtEnumerateCredentialsBegin = 0x04;
constexpr std::uint8_t kCredMgmtEnumerateCredentialsGetNext = 0x05;
constexpr std::uint8_t kCredMgmtDeleteCredential = 0x06;
constexpr std::uint8_t kCredMgmtUpdateUserInformation = 0x07;

struct TextField {
  bool present = false;
  const char* data = nullptr;
  std::uint32_t length = 0;
};

struct CredentialManagementRequest {
  bool hasSubCommand = false;
  std::uint32_t subCommand = 0;
  // subCommandParams exactly as sent: the MAC covers these bytes.
  const std::uint8_t* params = nullptr;
  std::uint32_t paramsLength = 0;
  bool hasProtocol = false;
  std::uint32_t protocol = 0;
  ByteField pinUvAuthParam;

  // The params' members.
  ByteField rpIdHash;
  bool hasCredential = false;
  ByteField credentialId;
  TextField credentialType;
  bool hasUser = false;
  ByteField userId;
  TextField userName;
  TextField userDisplayName;
};

// Reads the request; returns a CTAP status: 0, 0x14 for no bytes, 0x12 for bytes
// that are not one well-formed CBOR item, 0x11 for a member of the wrong type.
std::uint8_t ReadCredentialManagementRequest(const std::uint8_t* cbor, std::size_t length,
                                             CredentialManagementRequest& request);

// The subcommand alone, -1 when the bytes are not a request map with one.
int CredentialManagementSubCommand(const std::uint8_t* cbor, std::size_t length);

}  // namespace pinvale::vkey
