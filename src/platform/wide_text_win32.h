#pragma once

// UTF-8 <-> UTF-16 at the edges of the Win32 API, through the system's own
// converters (WideCharToMultiByte / MultiByteToWideChar). Invalid sequences
// become U+FFFD rather than failing: these texts are shown or logged, never
// compared byte for byte.

#include <string>
#include <string_view>

namespace pinvale {

std::string WideToUtf8(std::wstring_view wide);
std::wstring Utf8ToWide(std::string_view utf8);

}  // namespace pinvale
