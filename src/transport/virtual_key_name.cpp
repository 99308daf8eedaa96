#include "transport/virtual_key_name.h"

namespace pinvale {

namespace {

bool ParseFourLowerHex(std::string_view text, std::uint16_t& value) {
  if (text.size() != 4) return false;
  std::uint16_t result = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return false;
    }
    result = static_cast<std::uint16_t>((result << 4) | digit);
  }
  value = result;
  return true;
}

}  // namespace

bool ParseVirtualKeySocketName(std::string_view fileName, std::uint16_t& vendorId,
                               std::uint16_t& productId) {
  constexpr std::string_view kSuffix = ".sock";
  // "vvvv-pppp-" then at least one label character, then ".sock".
  if (fileName.size() < 10 + 1 + kSuffix.size()) return false;
  if (fileName.substr(fileName.size() - kSuffix.size()) != kSuffix) return false;
  if (fileName[4] != '-' || fileName[9] != '-') return false;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  if (!ParseFourLowerHex(fileName.substr(0, 4), vid) ||
      !ParseFourLowerHex(fileName.substr(5, 4), pid)) {
    return false;
  }
  vendorId = vid;
  productId = pid;
  return true;
}

}  // namespace pinvale
