#pragma once

// The parameters of one authenticatorBioEnrollment request (0x09, or the prototype
// 0x40), read from its CBOR map. Pointers point into the request buffer.

#include <cstddef>
#include <cstdint>

#include "vkey/request_members.h"

namespace pinvale::vkey {

struct BioRequest {
  bool getModality = false;  // {6: true}: the platform asks only which modality the key has
  bool hasModality = false;
  std::uint32_t modality = 0;
  bool hasSubCommand = false;
  std::uint32_t subCommand = 0;
  // subCommandParams exactly as sent: the pinUvAuthParam covers these bytes.
  const std::uint8_t* params = nullptr;
  std::size_t paramsLength = 0;
  ByteField templateId;
  bool hasFriendlyName = false;
  const char* friendlyName = nullptr;
  std::uint32_t friendlyNameLength = 0;
  bool hasTimeout = false;
  std::uint32_t timeoutMs = 0;
  bool hasProtocol = false;
  std::uint32_t protocol = 0;
  ByteField pinUvAuthParam;
};

// Reads the request; returns a CTAP status: 0, 0x14 for no bytes, 0x12 for bytes that
// are not one well-formed CBOR item or a friendly name that is not UTF-8, 0x11 for
// members of the wrong type. What the members mean is the command's to judge.
std::uint8_t ReadBioRequest(const std::uint8_t* cbor, std::size_t length, BioRequest& request);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const std::uint8_t* text, std::size_t length);

}  // namespace pinvale::vkey
