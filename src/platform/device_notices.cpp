#include <cctype>

#include "platform/device_notices.h"

namespace pinvale {

namespace {

bool IsHexRun(std::string_view text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return false;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// "BBBB:VVVV:PPPP.NNNN", the kernel's name of a HID device.
bool IsHidDeviceName(std::string_view part) {
  return part.size() == 19 && IsHexRun(part, 0, 4) && part[4] == ':' && IsHexRun(part, 5, 4) &&
         part[9] == ':' && IsHexRun(part, 10, 4) && part[14] == '.' && IsHexRun(part, 15, 4);
}

std::u16string LowerWide(std::string_view text) {
  std::u16string out;
  for (char c : text)
    out.push_back(static_cast<char16_t>(std::tolower(static_cast<unsigned char>(c))));
  return out;
}

}  // namespace

std::u16string WidenPath(std::string_view path) {
  std::u16string out;
  out.reserve(path.size());
  for (char c : path) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

std::u16string HidrawNoticePath(std::string_view sysPath, std::string_view devNode) {
  std::u16string path = u"\\\\?\\hidraw#";
  std::size_t start = 0;
  while (start <= sysPath.size()) {
    std::size_t end = sysPath.find('/', start);
    if (end == std::string_view::npos) end = sysPath.size();
    std::string_view part = sysPath.substr(start, end - start);
    if (IsHidDeviceName(part)) {
      path +=
          u"vid_" + LowerWide(part.substr(5, 4)) + u"&pid_" + LowerWide(part.substr(10, 4)) + u"#";
      break;
    }
    start = end + 1;
  }
  return path + WidenPath(devNode);
}

bool IsVirtualKeySocketName(std::string_view fileName) {
  constexpr std::string_view kSuffix = ".sock";
  return fileName.size() > kSuffix.size() && fileName.ends_with(kSuffix) && fileName.front() != '.';
}

}  // namespace pinvale
