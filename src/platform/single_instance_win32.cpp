#include <windows.h>

#include <string>

#include "platform/single_instance.h"
#include "platform/wide_text_win32.h"

namespace pinvale {

namespace {

// A named mutex in the session's local namespace (the name has no "Global\"
// prefix), held until the process ends.
class NamedMutexClaim final : public SingleInstanceClaim {
 public:
  explicit NamedMutexClaim(HANDLE mutex) : mutex_(mutex) {}
  ~NamedMutexClaim() override { ::CloseHandle(mutex_); }
  NamedMutexClaim(const NamedMutexClaim&) = delete;
  NamedMutexClaim& operator=(const NamedMutexClaim&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<SingleInstanceClaim> ClaimSingleInstance(std::string_view name) {
  const std::wstring wide = Utf8ToWide(name);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, wide.c_str());
  if (mutex == nullptr) return nullptr;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return nullptr;
  }
  return std::make_unique<NamedMutexClaim>(mutex);
}

}  // namespace pinvale
