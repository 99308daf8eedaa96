#include <windows.h>

#include "platform/build_branch.h"

namespace pinvale {

std::optional<std::u16string> ReadBuildBranch() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  wchar_t value[130] = {};  // 260 bytes
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  LONG status = ::RegQueryValueExW(key, L"BuildBranch", nullptr, &type,
                                   reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  std::u16string branch;
  for (const wchar_t* c = value; *c; ++c) branch.push_back(static_cast<char16_t>(*c));
  return branch;
}

}  // namespace pinvale
