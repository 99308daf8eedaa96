#pragma once

// The whole getInfo answer, read in one walk, for what decides how Pinvale
// talks to a key: which PIN protocols and token kinds it takes, its PIN rules
// and its options. TokenInfo (get_info.h) keeps the main window's narrow reading.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "transport/fido_token.h"

namespace pinvale {

// A getInfo answer that is not a map, or a member Pinvale reads with a value of
// the wrong type: not understood, the code the dialogs already show as such.
constexpr std::uint16_t kInfoNotUnderstood = kEmptyAnswer;

struct AuthenticatorInfo {
  std::vector<std::string> versions;                      // 0x01
  std::vector<std::string> extensions;                    // 0x02
  std::optional<std::array<std::uint8_t, 16>> aaguid;     // 0x03
  std::vector<std::pair<std::string, bool>> options;      // 0x04, in the key's order
  std::optional<std::uint32_t> maxMsgSize;                // 0x05
  std::vector<std::uint32_t> pinUvAuthProtocols;          // 0x06, the key's preference first
  std::optional<std::uint32_t> maxCredentialCountInList;  // 0x07
  bool forcePinChange = false;                            // 0x0C
  std::optional<std::uint32_t> minPinLength;              // 0x0D, in Unicode code points
  std::optional<std::uint32_t> firmwareVersion;           // 0x0E
  std::optional<std::uint32_t> uvModality;                // 0x12
  std::optional<std::uint32_t> remainingDiscoverableCredentials;  // 0x14

  // The option's value; nothing when the key does not list it, which is not
  // the same as false (a clientPin of false: PINs supported, none set).
  std::optional<bool> Option(std::string_view name) const;
  bool OptionTrue(std::string_view name) const { return Option(name).value_or(false); }
  bool HasVersion(std::string_view version) const;
};

// Reads a getInfo answer body. 0, or kInfoNotUnderstood (with `info` cleared)
// when the body is not a map or a member has the wrong type. Members Pinvale
// does not read are skipped whatever they hold.
std::uint16_t ParseAuthenticatorInfo(const std::uint8_t* body, std::uint32_t length,
                                     AuthenticatorInfo& info);

// Sends getInfo and reads the answer: 0, the key's status, an exchange code of
// CFidoToken, or kInfoNotUnderstood. `info` is cleared unless the result is 0.
std::uint16_t ReadAuthenticatorInfo(CFidoToken& token, AuthenticatorInfo& info);

}  // namespace pinvale
