#pragma once

// A platform that enrols fingerprints on a virtual key: bioEnrollment requests (0x09,
// or the prototype 0x40) signed with a token it got by PIN, and the sensor's own token
// (clientPIN 0x06).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cbor/cbor_item.h"
#include "pin_protocol_host.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {

// subCommandParams as CBOR: {1: templateId, 2: name, 3: timeout}, the members given.
struct BioParams {
  std::optional<Bytes> templateId;
  std::optional<std::string> name;
  std::optional<std::uint32_t> timeoutMs;
};
Bytes EncodeParams(const BioParams& params);

// The member of a CTAP answer (status byte, then a map).
CborItem AnswerMember(const Bytes& answer, int member);

class BioHost {
 public:
  BioHost(std::shared_ptr<VirtualKey> key, std::uint32_t protocol, bool prototype = false);

  PinProtocolHost& pin() { return pin_; }
  TestHost& host() { return pin_.host(); }
  Bytes& token() { return token_; }

  // A token for bio enrolment: 0x09 with `permissions`, or the legacy 0x05 (a 2.1-pre
  // key knows no other).
  std::uint8_t Login(const std::string& pin, std::uint32_t permissions = kPermissionBioEnrollment);
  std::uint8_t LegacyLogin(const std::string& pin);
  // One bioEnrollment request with modality 1; signed with the token when `sign`.
  Bytes Bio(std::uint32_t subCommand, const BioParams& params = {}, bool sign = true);
  // enrollBegin, then captures until the key has the template; its id, empty on failure.
  Bytes Enroll();
  // clientPIN 0x06; the decrypted token in `token`.
  std::uint8_t UvToken(const TokenAsk& ask, Bytes* token = nullptr);
  std::uint32_t UvRetries();

 private:
  PinProtocolHost pin_;
  bool prototype_;
  Bytes token_;
};

}  // namespace pinvale::vkey::test
