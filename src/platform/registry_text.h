#pragma once

// The text of a registry string value as RegQueryValueExW hands it over: raw
// bytes of UTF-16LE that may or may not end in NUL characters, cut to the
// buffer the caller offered.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pinvale {

constexpr std::uint32_t kRegistryString = 1;         // REG_SZ
constexpr std::uint32_t kRegistryExpandString = 2;   // REG_EXPAND_SZ
constexpr std::size_t kBuildBranchValueBytes = 260;  // what the branch read offers

// The value's text up to its first NUL; nothing when the value is not a string.
// A trailing odd byte (a value cut in the middle of a character) is ignored.
std::optional<std::u16string> RegistryStringText(std::uint32_t type,
                                                 std::span<const std::uint8_t> bytes);

}  // namespace pinvale
