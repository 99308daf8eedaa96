#pragma once

// UI text is UTF-16; UTF-8 appears only at the edges (fontconfig, SDL, typed text).

#include <string>
#include <string_view>

namespace pinvale::ui {

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

inline bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace pinvale::ui
