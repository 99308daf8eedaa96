#include "platform/registry_text.h"

namespace pinvale {

std::optional<std::u16string> RegistryStringText(std::uint32_t type,
                                                 std::span<const std::uint8_t> bytes) {
  if (type != kRegistryString && type != kRegistryExpandString) return std::nullopt;
  std::u16string text;
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const auto unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace pinvale
