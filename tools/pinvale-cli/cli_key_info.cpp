#include "cli_key_info.h"

#include <cstdio>
#include <string_view>

namespace pinvale::cli {

namespace {

struct OptionWords {
  std::string_view name;
  std::string_view meaning;
};

// The question each option answers; options not listed here are shown by name.
constexpr OptionWords kOptionWords[] = {
    {"plat", "built into a computer"},
    {"rk", "stores passkeys"},
    {"clientPin", "PIN set"},
    {"up", "checks user presence"},
    {"uv", "user verification configured"},
    {"pinUvAuthToken", "tokens with permissions"},
    {"noMcGaPermissionsWithClientPin", "no sign-in tokens from a PIN"},
    {"credMgmt", "passkeys managed"},
    {"credentialMgmtPreview", "passkeys managed (prototype)"},
    {"bioEnroll", "fingerprint enrolled"},
    {"userVerificationMgmtPreview", "fingerprint enrolled (prototype)"},
    {"uvBioEnroll", "fingerprints enrolled with a fingerprint"},
    {"authnrCfg", "settings can be changed"},
    {"setMinPINLength", "minimum PIN length can be raised"},
    {"alwaysUv", "always verifies the user"},
    {"makeCredUvNotRqd", "credentials without user verification"},
    {"largeBlobs", "stores large blobs"},
    {"ep", "enterprise attestation on"},
};

// getInfo uvModality bits, lowest first.
constexpr std::string_view kModalities[] = {
    "presence", "fingerprint", "voice", "passcode", "face", "location",
    "eye",      "pattern",     "hand",  "none",     "all",
};

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
  std::string out;
  char pair[3];
  for (std::size_t i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    out += pair;
  }
  return out;
}

std::string Number(std::uint32_t value) {
  return std::to_string(value);
}

// Appends the parts in turn: chains of operator+ on strings make GCC 12 warn falsely
// (-Wrestrict) in optimised builds.
template <typename... Parts>
void Append(std::string& out, const Parts&... parts) {
  (out.append(std::string_view(parts)), ...);
}

void AppendOptionLine(std::string& out, const std::string& name, bool value) {
  std::string_view meaning;
  for (const OptionWords& words : kOptionWords) {
    if (words.name == name) meaning = words.meaning;
  }
  if (meaning.empty()) {
    Append(out, "  ", name);
  } else {
    Append(out, "  ", meaning, " (", name, ")");
  }
  Append(out, ": ", value ? "yes" : "no", "\n");
}

}  // namespace

std::string DescribeKeyInfo(const AuthenticatorInfo& info) {
  std::string out;
  if (!info.versions.empty()) {
    out += "Versions:";
    for (const std::string& version : info.versions) Append(out, " ", version);
    out += "\n";
  }
  if (info.aaguid) Append(out, "AAGUID: ", Hex(info.aaguid->data(), info.aaguid->size()), "\n");
  if (!info.options.empty()) {
    out += "Options:\n";
    for (const auto& [name, value] : info.options) AppendOptionLine(out, name, value);
  }
  if (info.maxMsgSize) Append(out, "Largest message: ", Number(*info.maxMsgSize), " bytes\n");
  out += "PIN protocols:";
  if (info.pinUvAuthProtocols.empty()) out += " none listed (protocol 1 is used)";
  for (std::uint32_t protocol : info.pinUvAuthProtocols) Append(out, " ", Number(protocol));
  out += "\n";
  if (info.minPinLength) {
    Append(out, "Minimum PIN length: ", Number(*info.minPinLength), " characters\n");
  }
  if (info.forcePinChange) out += "The key wants its PIN changed before it is used.\n";
  if (info.firmwareVersion) Append(out, "Firmware version: ", Number(*info.firmwareVersion), "\n");
  if (info.remainingDiscoverableCredentials) {
    Append(out, "Free passkey slots: ", Number(*info.remainingDiscoverableCredentials), "\n");
  }
  if (info.uvModality) {
    out += "Ways of user verification:";
    std::size_t shown = 0;
    for (std::size_t bit = 0; bit < std::size(kModalities); ++bit) {
      if ((*info.uvModality & (1u << bit)) == 0) continue;
      Append(out, shown++ == 0 ? " " : ", ", kModalities[bit]);
    }
    if (shown == 0) out += " none named";
    out += "\n";
  }
  return out;
}

}  // namespace pinvale::cli
