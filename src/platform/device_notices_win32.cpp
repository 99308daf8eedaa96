#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <span>
#include <thread>

#include "platform/device_interface_notice.h"
#include "platform/device_notices.h"

namespace pinvale {

namespace {

// GUID_DEVINTERFACE_USB_DEVICE: every USB device, so a key is seen the moment it
// is plugged in or pulled out, before its HID interfaces settle.
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// GUID_DEVINTERFACE_HID. Wine's HID bus raises no USB device interface for a key
// it meets through Linux's hidraw, only the HID interface the HID class driver
// adds on top; so under Wine this class is watched as well, and a key's arrival
// and removal are seen there too. Windows itself gets the USB class alone.
constexpr GUID kHidInterface = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

bool RunsUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

HDEVNOTIFY RegisterForClass(HWND window, const GUID& interfaceClass) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;  // 32 bytes
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = interfaceClass;
  return ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

constexpr wchar_t kWindowClass[] = L"PinvaleDeviceNotices";

// Windows sends device notices to a window. This one is message-only and lives
// on its own thread, which calls the callback as the Linux watcher does; the
// application then posts the notice to its windows.
class Win32DeviceNoticeWatcher final : public DeviceNoticeWatcher {
 public:
  explicit Win32DeviceNoticeWatcher(DeviceNoticeCallback callback)
      : callback_(std::move(callback)) {}

  ~Win32DeviceNoticeWatcher() override {
    HWND window = nullptr;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      window = window_;
    }
    if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
  }

  Win32DeviceNoticeWatcher(const Win32DeviceNoticeWatcher&) = delete;
  Win32DeviceNoticeWatcher& operator=(const Win32DeviceNoticeWatcher&) = delete;

  // False when the window or the registration could not be made.
  bool Start() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> hold(mutex_);
    started_.wait(hold, [this] { return ready_; });
    return window_ != nullptr;
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self =
        reinterpret_cast<Win32DeviceNoticeWatcher*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_DEVICECHANGE) {
      self->OnDeviceChange(static_cast<std::uint32_t>(wParam), lParam);
      return TRUE;
    }
    if (message == WM_CLOSE) {
      ::DestroyWindow(window);
      return 0;
    }
    if (message == WM_DESTROY) {
      ::PostQuitMessage(0);
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  void OnDeviceChange(std::uint32_t event, LPARAM lParam) {
    if (lParam == 0) return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    // The record's own size bounds every read; the cap guards against a nonsense size.
    const std::size_t size = std::min<std::size_t>(header->dbch_size, 64 * 1024);
    std::u16string name;
    if (!ParseDeviceInterfaceNotice(
            event,
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(header), size),
            name)) {
      return;
    }
    callback_(event, std::move(name));
  }

  void Run() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);  // fails harmlessly when a watcher registered it before
    HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    instance, this);
    HDEVNOTIFY registration = nullptr;
    HDEVNOTIFY hidRegistration = nullptr;
    if (window) {
      registration = RegisterForClass(window, kUsbDeviceInterface);
      if (!registration) {
        ::DestroyWindow(window);
        window = nullptr;
      } else if (RunsUnderWine()) {
        hidRegistration = RegisterForClass(window, kHidInterface);
      }
    }
    {
      std::lock_guard<std::mutex> hold(mutex_);
      window_ = window;
      ready_ = true;
    }
    started_.notify_all();
    if (!window) return;

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::UnregisterDeviceNotification(registration);
    if (hidRegistration) ::UnregisterDeviceNotification(hidRegistration);
    std::lock_guard<std::mutex> hold(mutex_);
    window_ = nullptr;
  }

  DeviceNoticeCallback callback_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable started_;
  bool ready_ = false;
  HWND window_ = nullptr;
};

}  // namespace

// Windows has no virtual-key sockets; only the system's devices are watched.
std::unique_ptr<DeviceNoticeWatcher> StartDeviceNoticeWatcher(const DeviceNoticeSources& sources,
                                                              DeviceNoticeCallback callback) {
  if (!sources.hidraw || !callback) return nullptr;
  auto watcher = std::make_unique<Win32DeviceNoticeWatcher>(std::move(callback));
  if (!watcher->Start()) return nullptr;
  return watcher;
}

}  // namespace pinvale
