#include <cstdlib>
#include <string>

#include "vkey/vkey_config.h"

namespace pinvale::vkey {

namespace {

bool ParseNumber(const std::string& text, int base, std::uint32_t limit, std::uint32_t& value) {
  std::string digits = text;
  if (base == 16 && digits.size() > 2 && digits[0] == '0' &&
      (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 10) return false;
  char* end = nullptr;
  unsigned long parsed = std::strtoul(digits.c_str(), &end, base);
  if (*end != '\0' || digits[0] == '-' || digits[0] == '+' || parsed > limit) return false;
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

// CMD or CMD/SUB, hexadecimal.
bool ParseFilter(const std::string& text, VirtualKeyFault& fault) {
  const std::size_t slash = text.find('/');
  std::uint32_t command = 0;
  std::uint32_t subCommand = 0;
  if (!ParseNumber(text.substr(0, slash), 16, 0xFF, command)) return false;
  fault.command = static_cast<int>(command);
  if (slash == std::string::npos) return true;
  if (!ParseNumber(text.substr(slash + 1), 16, 0xFF, subCommand)) return false;
  fault.subCommand = static_cast<int>(subCommand);
  return true;
}

}  // namespace

bool ParseFault(const std::string& text, VirtualKeyFault& fault) {
  const std::size_t equals = text.find('=');
  const std::string name = text.substr(0, equals);
  const bool hasArg = equals != std::string::npos;
  const std::string arg = hasArg ? text.substr(equals + 1) : std::string();
  fault = VirtualKeyFault{};

  if (name == "no-answer" || name == "garbage") {
    fault.kind = name == "no-answer" ? FaultKind::kNoAnswer : FaultKind::kGarbage;
    return !hasArg || ParseFilter(arg, fault);
  }
  if (name == "status") {
    fault.kind = FaultKind::kForcedStatus;
    const std::size_t colon = arg.find(':');
    std::uint32_t status = 0;
    if (!hasArg || colon == std::string::npos) return false;
    if (!ParseFilter(arg.substr(0, colon), fault)) return false;
    if (!ParseNumber(arg.substr(colon + 1), 16, 0xFF, status)) return false;
    fault.status = static_cast<std::uint8_t>(status);
    return true;
  }
  if (name == "pull-out") {
    fault.kind = FaultKind::kPullOut;
    return hasArg && ParseNumber(arg, 10, 1000000, fault.count) && fault.count > 0;
  }
  if (name == "zero-length" || name == "keepalive-storm" || name == "stray") {
    fault.kind = name == "zero-length"       ? FaultKind::kZeroLength
                 : name == "keepalive-storm" ? FaultKind::kKeepaliveStorm
                                             : FaultKind::kStrayPackets;
    fault.count = name == "keepalive-storm" ? 50 : name == "zero-length" ? 3 : 1;
    return !hasArg || ParseNumber(arg, 10, 100000, fault.count);
  }
  if (name == "no-y") {
    fault.kind = FaultKind::kKeyAgreementNoY;
    return !hasArg;
  }
  return false;
}

}  // namespace pinvale::vkey
