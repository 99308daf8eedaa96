#include "transport/hid_win32.h"

// windows.h first: the SetupAPI and HID headers need its types. hidsdi.h
// brings hidusage.h and hidpi.h in the order they need; mingw's HID headers
// declare C functions without saying so.
#include <windows.h>

#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <mbedtls/platform_util.h>

#include "platform/wide_text_win32.h"
#include "transport/hid_caps_record.h"
#include "transport/hid_device_list.h"
#include "transport/hid_interface_walk.h"
#include "transport/hid_report_writer_win32.h"

namespace pinvale {

namespace {

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 0x12
static_assert(kPresentInterfaces == 0x12);

// A write may take as long as a read may stay silent, and fails with the code
// that a silent read is logged with.
constexpr DWORD kWriteLimitMs = CHidDeviceList::kDefaultSilenceLimitMs;
static_assert(CHidDeviceList::kSilenceErrorCode == ERROR_TIMEOUT);

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct DeviceInfoSetCloser {
  void operator()(HDEVINFO set) const { ::SetupDiDestroyDeviceInfoList(set); }
};
using UniqueDeviceInfoSet = std::unique_ptr<void, DeviceInfoSetCloser>;

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};
using UniqueLocal = std::unique_ptr<void, LocalFreer>;

struct PreparsedDataFreer {
  void operator()(PHIDP_PREPARSED_DATA data) const { ::HidD_FreePreparsedData(data); }
};
using UniquePreparsedData =
    std::unique_ptr<std::remove_pointer_t<PHIDP_PREPARSED_DATA>, PreparsedDataFreer>;

// The present HID interfaces as SetupAPI lists them.
class SetupApiInterfaceSet final : public HidInterfaceSet {
 public:
  SetupApiInterfaceSet(HDEVINFO set, const GUID& hidClass) : set_(set), hidClass_(hidClass) {}

  bool SelectInterface(std::uint32_t index) override {
    interface_ = SP_DEVICE_INTERFACE_DATA{};
    interface_.cbSize = sizeof interface_;
    return ::SetupDiEnumDeviceInterfaces(set_.get(), nullptr, &hidClass_, index, &interface_);
  }

  bool QueryDetailSize(std::uint32_t& size) override {
    DWORD required = 0;
    BOOL ok =
        ::SetupDiGetDeviceInterfaceDetailW(set_.get(), &interface_, nullptr, 0, &required, nullptr);
    if (!ok && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    size = required;
    return true;
  }

  bool AllocateDetail(std::uint32_t size) override {
    detail_.reset(::LocalAlloc(LPTR, size));  // LPTR: fixed and zero-filled
    detailSize_ = detail_ ? size : 0;
    return detail_ != nullptr;
  }

  bool ReadDetailPath(std::u16string& path) override {
    if (!detail_ || detailSize_ < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return false;
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail_.get());
    // cbSize names the fixed part of the record, not the buffer.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!::SetupDiGetDeviceInterfaceDetailW(set_.get(), &interface_, detail, detailSize_, nullptr,
                                            nullptr)) {
      return false;
    }
    static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) == kDetailPathOffset);
    path = DetailRecordPath({static_cast<const std::uint8_t*>(detail_.get()), detailSize_});
    return true;
  }

 private:
  UniqueDeviceInfoSet set_;
  GUID hidClass_;
  SP_DEVICE_INTERFACE_DATA interface_{};
  UniqueLocal detail_;
  DWORD detailSize_ = 0;
};

std::wstring ToWide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

class WinHidHandle final : public HidHandle {
 public:
  WinHidHandle(HANDLE handle, HidAccess access) : handle_(handle), access_(access) {}

  ~WinHidHandle() override {
    if (!readBuffer_.empty()) mbedtls_platform_zeroize(readBuffer_.data(), readBuffer_.size());
  }

  bool GetAttributes(HidAttributes& attributes) override {
    HIDD_ATTRIBUTES raw{};
    raw.Size = sizeof raw;
    if (!::HidD_GetAttributes(handle_.get(), &raw)) return false;
    attributes.vendorId = raw.VendorID;
    attributes.productId = raw.ProductID;
    return true;
  }

  bool GetCaps(HidCaps& caps) override {
    PHIDP_PREPARSED_DATA raw = nullptr;
    if (!::HidD_GetPreparsedData(handle_.get(), &raw)) return false;
    UniquePreparsedData preparsed(raw);
    HIDP_CAPS hidCaps{};
    if (::HidP_GetCaps(preparsed.get(), &hidCaps) != HIDP_STATUS_SUCCESS) return false;
    caps.inputReportLength = hidCaps.InputReportByteLength;
    caps.outputReportLength = hidCaps.OutputReportByteLength;
    return true;
  }

  void Flush() override { ::HidD_FlushQueue(handle_.get()); }

  // A key that stops taking reports on its OUT endpoint would hold a plain
  // WriteFile, and the thread, for good. A write gets as long as a read may stay
  // silent; then it is cancelled and fails with the code a silent read is logged
  // with.
  int WriteReport(const std::uint8_t* report, std::size_t length, std::uint32_t& error) override {
    if (access_ != HidAccess::kWrite) {
      error = ERROR_ACCESS_DENIED;
      return -1;
    }
    if (!writer_) writer_ = std::make_unique<HidReportWriter>(handle_.get());
    return writer_->Write(report, length, kWriteLimitMs, error);
  }

  // The read handle is overlapped so that a key that has stopped answering ends
  // the wait after the caller's time-out instead of holding the thread forever.
  HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                           std::size_t& received, std::uint32_t& error) override {
    received = 0;
    if (access_ != HidAccess::kRead) {
      error = ERROR_ACCESS_DENIED;
      return HidReadStatus::kError;
    }
    // ReadFile refuses buffers shorter than the interface's input report, so the
    // report lands in a buffer of that size and the caller gets what fits.
    if (!PrepareReadBuffer(capacity, error)) return HidReadStatus::kError;
    if (!event_) {
      event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
      if (!event_) {
        error = ::GetLastError();
        return HidReadStatus::kError;
      }
    }
    ::ResetEvent(event_.get());
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    DWORD count = 0;
    const DWORD length = static_cast<DWORD>(readBuffer_.size());
    if (!::ReadFile(handle_.get(), readBuffer_.data(), length, nullptr, &overlapped)) {
      DWORD code = ::GetLastError();
      if (code != ERROR_IO_PENDING) {
        error = code;
        return HidReadStatus::kError;
      }
      DWORD wait = ::WaitForSingleObject(event_.get(),
                                         timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
      if (wait != WAIT_OBJECT_0) {
        // The read must be over before its buffer and OVERLAPPED go; a report
        // that arrived while cancelling still counts.
        ::CancelIo(handle_.get());
        if (::GetOverlappedResult(handle_.get(), &overlapped, &count, TRUE)) {
          return Deliver(report, capacity, count, received);
        }
        if (wait == WAIT_TIMEOUT) return HidReadStatus::kTimeout;
        error = ::GetLastError();
        return HidReadStatus::kError;
      }
    }
    if (!::GetOverlappedResult(handle_.get(), &overlapped, &count, TRUE)) {
      error = ::GetLastError();
      return HidReadStatus::kError;
    }
    return Deliver(report, capacity, count, received);
  }

 private:
  bool PrepareReadBuffer(std::size_t capacity, std::uint32_t& error) {
    if (inputReportLength_ == 0) {
      HidCaps caps;
      if (!GetCaps(caps)) {
        error = ::GetLastError();
        return false;
      }
      inputReportLength_ = caps.inputReportLength;
    }
    readBuffer_.resize(std::max<std::size_t>(capacity, inputReportLength_));
    return true;
  }

  HidReadStatus Deliver(std::uint8_t* report, std::size_t capacity, DWORD count,
                        std::size_t& received) {
    received = std::min<std::size_t>(count, capacity);
    std::memcpy(report, readBuffer_.data(), received);
    // Reports carry encrypted PIN material.
    mbedtls_platform_zeroize(readBuffer_.data(), readBuffer_.size());
    return HidReadStatus::kOk;
  }

  UniqueHandle handle_;
  HidAccess access_;
  UniqueHandle event_;
  std::uint16_t inputReportLength_ = 0;
  std::vector<std::uint8_t> readBuffer_;
  // Last, so that it goes first, while the handle it writes to is still open.
  std::unique_ptr<HidReportWriter> writer_;
};

}  // namespace

bool WinHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  paths.clear();
  GUID hidClass;
  ::HidD_GetHidGuid(&hidClass);
  HDEVINFO set = ::SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, kPresentInterfaces);
  if (set == INVALID_HANDLE_VALUE) return false;
  SetupApiInterfaceSet interfaces(set, hidClass);
  for (const std::u16string& path : WalkInterfacePaths(interfaces)) {
    paths.push_back(WideToUtf8(ToWide(path)));
  }
  return true;
}

HidInterfaceKind WinHidPlatform::Kind(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  UniqueHandle handle(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) return HidInterfaceKind::kUnknown;
  PHIDP_PREPARSED_DATA raw = nullptr;
  if (!::HidD_GetPreparsedData(handle.get(), &raw)) return HidInterfaceKind::kUnknown;
  UniquePreparsedData preparsed(raw);
  HIDP_CAPS caps{};
  if (::HidP_GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS) {
    return HidInterfaceKind::kUnknown;
  }
  static_assert(offsetof(HIDP_CAPS, Usage) == kCapsUsageOffset);
  static_assert(offsetof(HIDP_CAPS, UsagePage) == kCapsUsagePageOffset);
  return KindOfCapsRecord({reinterpret_cast<const std::uint8_t*>(&caps), sizeof caps});
}

std::unique_ptr<HidHandle> WinHidPlatform::Open(const std::string& path, HidAccess access,
                                                std::uint32_t& error) {
  const std::wstring wide = Utf8ToWide(path);
  // Both handles share the interface with every other program, as the HID class
  // driver expects; both are overlapped, so that neither a read nor a write
  // waits longer than its limit (see ReadReport and WriteReport).
  const bool read = access == HidAccess::kRead;
  HANDLE handle = ::CreateFileW(wide.c_str(), read ? GENERIC_READ : GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
    return nullptr;
  }
  return std::make_unique<WinHidHandle>(handle, access);
}

}  // namespace pinvale
