#include <windows.h>

#include <string>
#include <string_view>

#include "platform/wide_text_win32.h"

namespace pinvale {

// The debugger output channel: DebugView or an attached debugger shows the line.
// Lines carry no line break, as the tools that read them expect.
void WriteDebugLine(std::string_view line) {
  std::wstring wide = Utf8ToWide(line);
  ::OutputDebugStringW(wide.c_str());
}

}  // namespace pinvale
