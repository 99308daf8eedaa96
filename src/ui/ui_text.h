#pragma once

// UI text is UTF-16; UTF-8 appears only at the edges (fontconfig, SDL, typed text).

#include <string>
#include <string_view>

#include "secret/wiping_text.h"

namespace pinvale::ui {

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// The same into storage that is wiped (typed text, which may be a password). `out` is
// replaced; its storage is reserved once for the longest result, so it never moves.
void Utf8ToUtf16(std::string_view utf8, WipingU16Text& out);
void Utf16ToUtf8(std::u16string_view utf16, WipingU8Text& out);

inline bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace pinvale::ui
