#pragma once

// The debugger output channel. Diagnostic lines go here and nowhere else: no log
// file, no levels. On Linux they reach stderr only when PINVALE_DEBUG is set; on
// Windows they go to OutputDebugStringW.

#include <functional>
#include <string_view>

namespace pinvale {

// Lines are formatted into a 1024-byte buffer and carry no line break.
constexpr int kDebugLineCapacity = 1024;

// printf-style; the result is cut to kDebugLineCapacity - 1 bytes.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tests capture the channel; an empty function restores the platform channel.
using DebugSink = std::function<void(std::string_view line)>;
void SetDebugSink(DebugSink sink);

}  // namespace pinvale
