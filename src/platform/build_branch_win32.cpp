#include <windows.h>

#include <array>

#include "platform/build_branch.h"
#include "platform/registry_text.h"

namespace pinvale {

std::optional<std::u16string> ReadBuildBranch() {
  HKEY key = nullptr;
  // Read access only: the program never writes to the registry.
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::array<BYTE, kBuildBranchValueBytes> value{};
  DWORD size = static_cast<DWORD>(value.size());
  DWORD type = 0;
  LONG status = ::RegQueryValueExW(key, L"BuildBranch", nullptr, &type, value.data(), &size);
  ::RegCloseKey(key);
  // A longer value (ERROR_MORE_DATA) is no branch name this program knows.
  if (status != ERROR_SUCCESS) return std::nullopt;
  return RegistryStringText(type, std::span<const std::uint8_t>(value.data(), size));
}

}  // namespace pinvale
