#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>

#include "platform/debug_log.h"
#include "platform/elevation.h"

namespace pinvale {
namespace {

constexpr unsigned kFirstBuildWithoutDirectAccess = 18362;  // Windows 10 1903

bool ProcessElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL read =
      ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  ::CloseHandle(token);
  return read && elevation.TokenIsElevated != 0;
}

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

}  // namespace

unsigned WindowsBuildNumber() {
  // GetVersionEx is told the manifest's version; ntdll's RtlGetVersion tells the truth.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return 0;
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  if (!rtlGetVersion) return 0;
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (rtlGetVersion(&version) != 0) return 0;
  return version.dwMajorVersion >= 10 ? version.dwBuildNumber : 0;
}

bool ElevationMightHelp() {
  return WindowsBuildNumber() >= kFirstBuildWithoutDirectAccess && !ProcessElevated();
}

bool StartElevated(std::u16string_view program, std::u16string_view arguments, bool waitForExit) {
  std::wstring path = Wide(program);
  if (path.empty()) {
    path.resize(MAX_PATH * 4);
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return false;
    path.resize(length);
  }
  const std::wstring parameters = Wide(arguments);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // A failure is the caller's to tell: no error box of the shell's own.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = path.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    // ERROR_CANCELLED: the user said no at the prompt.
    DebugLog("Start as administrator failed: %lu", ::GetLastError());
    return false;
  }
  if (!info.hProcess) return !waitForExit;
  bool ok = true;
  if (waitForExit) {
    DWORD exitCode = 1;
    ok = ::WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0 &&
         ::GetExitCodeProcess(info.hProcess, &exitCode) && exitCode == 0;
  }
  ::CloseHandle(info.hProcess);
  return ok;
}

}  // namespace pinvale
