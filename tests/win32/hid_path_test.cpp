// The Windows HID path end to end: the SetupAPI backend and the HID class
// driver under Wine, meeting the virtual key that pinvale-vkey --emulate-hidraw
// plugs in as an emulated hidraw device (Wine's winebus reads it through its udev
// backend). hid_path.sh runs the suites, each inside its own emulation:
//   PlainKey.*      a key with a FIDO interface only, PIN 1234 at start (it is
//                   stalled for a while, through the same FIFO);
//   CompositeKey.*  a key with a keyboard interface before its FIDO interface;
//   SilentKey.*     a key that never answers CTAP2 command 0x0B.
// PINVALE_TEST_CONTROL names the emulation's control FIFO (a Unix path, reached
// through Wine's Z: drive), through which the tests pull the key out and plug it in,
// and stall it.

#include <windows.h>

#include <dbt.h>
extern "C" {
#include <hidsdi.h>
}
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "../tools/scripted_console.h"
#include "cli_commands.h"
#include "platform/debug_log.h"
#include "platform/device_interface_notice.h"
#include "platform/wide_text_win32.h"
#include "transport/fido_token.h"
#include "transport/hid_win32.h"

namespace pinvale::win32::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kVendor = 0x3F8C;
constexpr std::uint16_t kProduct = 0x2D71;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool NamesTheKey(const std::string& path) {
  return Lower(path).find("vid_3f8c&pid_2d71") != std::string::npos;
}

// The key's interfaces as SetupAPI lists them now.
std::vector<std::string> KeyInterfaces() {
  WinHidPlatform platform;
  std::vector<std::string> paths, key;
  platform.ListInterfaces(paths);
  for (const std::string& path : paths) {
    if (NamesTheKey(path)) key.push_back(path);
  }
  return key;
}

// Wine adds and removes the interfaces a moment after the emulated device comes
// or goes; waits until `count` of the key's interfaces are listed.
bool WaitForInterfaces(std::size_t count, std::chrono::milliseconds limit = 15s) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (KeyInterfaces().size() == count) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// Tells the emulation a command (touch, unplug, plug) through its FIFO.
bool TellKey(const std::string& command) {
  const char* fifo = std::getenv("PINVALE_TEST_CONTROL");
  if (!fifo || !*fifo) return false;
  std::wstring path = L"Z:" + Utf8ToWide(fifo);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string line = command + "\n";
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
      written == line.size();
  ::CloseHandle(file);
  return ok;
}

struct CliOutcome {
  int exit = -1;
  std::string out;
  std::string err;
};

CliOutcome RunCli(std::vector<std::string> args, std::deque<std::string> input = {},
                  std::shared_ptr<HidPlatform> platform = std::make_shared<WinHidPlatform>()) {
  cli::test::ScriptedConsole console(std::move(input));
  const int code =
      cli::RunCli(args, "", console, [platform](const std::string&) { return platform; });
  return {code, console.out, console.err};
}

// The SetupAPI backend, recording what it opens.
class RecordingPlatform final : public WinHidPlatform {
 public:
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      opened_.insert(path);
    }
    return WinHidPlatform::Open(path, access, error);
  }
  std::set<std::string> Opened() {
    std::lock_guard<std::mutex> hold(mutex_);
    return opened_;
  }

 private:
  std::mutex mutex_;
  std::set<std::string> opened_;
};

class KeyTest : public testing::Test {
 protected:
  void SetUp() override {
    // The transport's diagnostic lines, with PINVALE_DEBUG=1.
    if (std::getenv("PINVALE_DEBUG")) {
      SetDebugSink([](std::string_view line) {
        std::fprintf(stderr, "debug: %.*s\n", static_cast<int>(line.size()), line.data());
      });
    }
    ASSERT_TRUE(WaitForInterfaces(ExpectedInterfaces()))
        << "the emulated key's interfaces did not appear; listed: "
        << testing::PrintToString(KeyInterfaces());
  }
  virtual std::size_t ExpectedInterfaces() const { return 1; }
};

using PlainKey = KeyTest;

TEST_F(PlainKey, SetupApiListsTheKeyWithItsAttributesAndCapabilities) {
  const std::vector<std::string> paths = KeyInterfaces();
  ASSERT_EQ(paths.size(), 1u);
  WinHidPlatform platform;
  EXPECT_EQ(platform.Kind(paths[0]), HidInterfaceKind::kFido);
  for (HidAccess access : {HidAccess::kRead, HidAccess::kWrite}) {
    std::uint32_t error = 0;
    auto handle = platform.Open(paths[0], access, error);
    ASSERT_NE(handle, nullptr) << "error " << error;
    HidAttributes attributes;
    ASSERT_TRUE(handle->GetAttributes(attributes));
    EXPECT_EQ(attributes.vendorId, kVendor);
    EXPECT_EQ(attributes.productId, kProduct);
    HidCaps caps;
    ASSERT_TRUE(handle->GetCaps(caps));
    EXPECT_EQ(caps.inputReportLength, 65);
    EXPECT_EQ(caps.outputReportLength, 65);
  }
  // The program's own list, the way it selects a key.
  CFidoToken token(std::make_shared<WinHidPlatform>());
  token.SetTransport(kTransportUsbHid);
  EXPECT_EQ(token.EnumerateDevices(), 1);
  EXPECT_EQ(token.SelectDevice(kVendor, kProduct), 1);
}

// Every operation through pinvale-cli's commands, in the order a user might take
// them; the key starts with PIN 1234 and touches itself for the reset.
TEST_F(PlainKey, EveryOperationSucceeds) {
  CliOutcome outcome = RunCli({"info"});
  ASSERT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
  EXPECT_THAT(outcome.out, testing::HasSubstr("Key 3f8c:2d71\nPIN: set\n"));

  outcome = RunCli({"retries"});
  ASSERT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
  EXPECT_EQ(outcome.out, "8 PIN attempts left.\n");

  outcome = RunCli({"--pin-stdin", "verify-pin"}, {"1234"});
  ASSERT_EQ(outcome.exit, cli::kExitOk) << outcome.err;

  outcome = RunCli({"--pin-stdin", "change-pin"}, {"1234", "56789"});
  ASSERT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
  outcome = RunCli({"--pin-stdin", "verify-pin"}, {"56789"});
  ASSERT_EQ(outcome.exit, cli::kExitOk) << outcome.err;

  // The emulation touches the key only when told to.
  std::thread toucher([] {
    std::this_thread::sleep_for(700ms);
    TellKey("touch");
  });
  outcome = RunCli({"--yes", "reset"});
  toucher.join();
  ASSERT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
  EXPECT_EQ(outcome.out, "Key reset.\n");

  outcome = RunCli({"--pin-stdin", "set-pin"}, {"2468"});
  ASSERT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
  EXPECT_EQ(outcome.out, "PIN set.\n");
  outcome = RunCli({"--pin-stdin", "verify-pin"}, {"2468"});
  EXPECT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
}

// A key pulled out while a reset waits for its touch: the pending overlapped read
// ends at once (Wine completes it with ERROR_ACCESS_DENIED; Windows with another
// code), and the user hears that the key was pulled out. Plugged in again, the
// key is found and works.
TEST_F(PlainKey, PullOutDuringAnExchangeEndsAtOnce) {
  std::atomic<bool> done{false};
  std::thread puller([&] {
    // The reset is sent and the key sends keepalives while it waits for a touch
    // that never comes.
    std::this_thread::sleep_for(1500ms);
    if (!done) TellKey("unplug");
  });
  const std::string path = KeyInterfaces().at(0);
  std::vector<std::string> lines;
  std::mutex linesMutex;
  SetDebugSink([&](std::string_view line) {
    std::lock_guard<std::mutex> hold(linesMutex);
    lines.emplace_back(line);
  });
  const auto start = Clock::now();
  const CliOutcome outcome = RunCli({"--yes", "reset"});
  const auto elapsed = Clock::now() - start;
  done = true;
  puller.join();
  SetDebugSink(nullptr);
  // The read that the pull-out ended, with the system's code (5 on Wine).
  EXPECT_THAT(lines, testing::Contains(testing::StartsWith("ReadFile L:")));
  for (const std::string& line : lines) std::printf("transport: %s\n", line.c_str());
  EXPECT_EQ(outcome.exit, cli::kExitNoKey) << outcome.out << outcome.err;
  EXPECT_THAT(outcome.err, testing::HasSubstr("The key was pulled out before it answered."));
  // Soon after the pull-out, long before the silence limit would end the wait.
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  EXPECT_LT(elapsed,
            1500ms + std::chrono::milliseconds(CHidDeviceList::kDefaultSilenceLimitMs / 3));
  std::printf("reset until the pull-out ended it: %d ms (pulled out at 1500 ms)\n",
              static_cast<int>(ms));

  ASSERT_TRUE(WaitForInterfaces(0)) << "the pulled-out key is still listed";
  std::uint32_t error = 0;
  EXPECT_EQ(WinHidPlatform().Open(path, HidAccess::kRead, error), nullptr);
  EXPECT_NE(error, 0u);
  std::printf("opening the pulled-out key's path: error %u\n", static_cast<unsigned>(error));
  CliOutcome absent = RunCli({"info"});
  EXPECT_EQ(absent.exit, cli::kExitNoKey) << absent.out << absent.err;

  ASSERT_TRUE(TellKey("plug"));
  ASSERT_TRUE(WaitForInterfaces(1)) << "the key plugged in again is not listed";
  CliOutcome back = RunCli({"info"});
  EXPECT_EQ(back.exit, cli::kExitOk) << back.err;
}

// Which device-interface notices Wine broadcasts when the key comes and goes.
class NoticeWindow {
 public:
  NoticeWindow() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> hold(mutex_);
    ready_.wait(hold, [this] { return started_; });
  }
  ~NoticeWindow() {
    if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  bool Registered() const { return registered_ == 2; }
  // Notices so far as "arrival|removal <interface name>".
  std::vector<std::string> Notices() {
    std::lock_guard<std::mutex> hold(mutex_);
    return notices_;
  }
  bool WaitFor(const std::string& prefix, const std::string& part,
               std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      for (const std::string& notice : Notices()) {
        if (notice.rfind(prefix, 0) == 0 && Lower(notice).find(part) != std::string::npos)
          return true;
      }
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      ::SetWindowLongPtrW(
          window, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<NoticeWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_DEVICECHANGE && lParam) {
      const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
      std::u16string name;
      if (ParseDeviceInterfaceNotice(
              static_cast<std::uint32_t>(wParam),
              {reinterpret_cast<const std::uint8_t*>(header), header->dbch_size}, name)) {
        std::lock_guard<std::mutex> hold(self->mutex_);
        self->notices_.push_back(
            std::string(wParam == DBT_DEVICEARRIVAL ? "arrival " : "removal ") +
            WideToUtf8(std::wstring(name.begin(), name.end())));
      }
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

  void Run() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PinvaleNoticeProbe";
    ::RegisterClassExW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, windowClass.hInstance, this);
    std::vector<HDEVNOTIFY> registrations;
    if (window) {
      GUID hid;
      ::HidD_GetHidGuid(&hid);
      const GUID usbDevice = {
          0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
      for (const GUID& guid : {hid, usbDevice}) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = guid;
        if (HDEVNOTIFY registration =
                ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE)) {
          registrations.push_back(registration);
        }
      }
    }
    {
      std::lock_guard<std::mutex> hold(mutex_);
      window_ = window;
      registered_ = static_cast<int>(registrations.size());
      started_ = true;
    }
    ready_.notify_all();
    MSG message;
    while (window && ::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    for (HDEVNOTIFY registration : registrations) ::UnregisterDeviceNotification(registration);
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_;
  bool started_ = false;
  HWND window_ = nullptr;
  int registered_ = 0;
  std::vector<std::string> notices_;
};

// Wine's plugplay service broadcasts the HID interfaces hidclass adds and
// removes. It raises no USB device interface for a device on winebus's hidraw
// backend, so a window watching only that class hears nothing there.
TEST_F(PlainKey, WineBroadcastsTheHidInterfaceNotices) {
  NoticeWindow notices;
  ASSERT_TRUE(notices.Registered());
  // Wine's sechost hands the first registration of a process to a listener
  // thread that signs up with the plugplay service a moment later; a notice
  // sent before then is lost.
  std::this_thread::sleep_for(1s);
  ASSERT_TRUE(TellKey("unplug"));
  EXPECT_TRUE(notices.WaitFor("removal ", "vid_3f8c&pid_2d71", 10s))
      << testing::PrintToString(notices.Notices());
  ASSERT_TRUE(WaitForInterfaces(0));
  ASSERT_TRUE(TellKey("plug"));
  EXPECT_TRUE(notices.WaitFor("arrival ", "vid_3f8c&pid_2d71", 10s))
      << testing::PrintToString(notices.Notices());
  ASSERT_TRUE(WaitForInterfaces(1));
  std::this_thread::sleep_for(500ms);
  for (const std::string& notice : notices.Notices()) std::printf("notice: %s\n", notice.c_str());
}

// A key that stops taking reports: every write through the overlapped write
// handle ends after the silence limit with the silence code, an exchange fails
// instead of holding its thread, and once the key takes reports again it answers.
TEST_F(PlainKey, AStalledKeyEndsEachWriteAfterTheLimit) {
  const std::string path = KeyInterfaces().at(0);
  const auto limit = std::chrono::milliseconds(CHidDeviceList::kDefaultSilenceLimitMs);
  std::uint8_t report[65] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0, 8, 1, 1, 1, 1, 1, 1, 1, 1};
  {
    std::uint32_t error = 0;
    auto writer = WinHidPlatform().Open(path, HidAccess::kWrite, error);
    ASSERT_NE(writer, nullptr) << "error " << error;
    ASSERT_TRUE(TellKey("stall"));
    std::this_thread::sleep_for(300ms);  // the emulation reads its FIFO every 50 ms
    // Run apart, so that a write that hangs after all fails the test instead of
    // holding it: the key is then told to take reports again.
    auto write = std::async(std::launch::async, [&] {
      const auto start = Clock::now();
      std::uint32_t code = 0;
      const int written = writer->WriteReport(report, sizeof report, code);
      return std::make_tuple(written, code, Clock::now() - start);
    });
    if (write.wait_for(limit * 4) != std::future_status::ready) {
      TellKey("unstall");
      ADD_FAILURE() << "WriteReport still waits " << (limit * 4).count() << " ms later";
    }
    const auto [written, code, elapsed] = write.get();
    EXPECT_EQ(written, -1);
    EXPECT_EQ(code, CHidDeviceList::kSilenceErrorCode);
    EXPECT_GE(elapsed, limit - 100ms);
    EXPECT_LT(elapsed, limit + 2s);
    std::printf(
        "stalled key: the write ended after %d ms with error %u\n",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()),
        static_cast<unsigned>(code));
  }

  // A whole exchange, as the program runs it; its lines name the writes that
  // the limit ended.
  CFidoToken token(std::make_shared<WinHidPlatform>());
  token.SetTransport(kTransportUsbHid);
  ASSERT_EQ(token.EnumerateDevices(), 1);
  ASSERT_EQ(token.SelectDevice(kVendor, kProduct), 1);
  std::vector<std::string> lines;
  std::mutex linesMutex;
  SetDebugSink([&](std::string_view line) {
    std::lock_guard<std::mutex> hold(linesMutex);
    lines.emplace_back(line);
  });
  auto exchange = std::async(std::launch::async, [&] {
    std::uint8_t getInfo = 0x04;
    std::uint8_t answer[kReceiveBufferSize];
    std::uint32_t length = sizeof answer;
    const auto start = Clock::now();
    const std::uint16_t status = token.SendCborCommand(&getInfo, 1, answer, &length);
    return std::make_pair(status, Clock::now() - start);
  });
  if (exchange.wait_for(limit * 6) != std::future_status::ready) {
    TellKey("unstall");
    ADD_FAILURE() << "the exchange still waits " << (limit * 6).count() << " ms later";
  }
  const auto [status, elapsed] = exchange.get();
  SetDebugSink(nullptr);
  EXPECT_EQ(status, kExchangeFailed);
  // The INIT write and read, then the message's first write: a limit each, and
  // under Wine the seconds that calls into the HID stack wait while the driver
  // still sits in a write.
  EXPECT_LT(elapsed, limit * 5);
  EXPECT_THAT(lines, testing::Contains("WriteFile L:551 ERR: 0x000005B4"));
  for (const std::string& line : lines) std::printf("transport: %s\n", line.c_str());
  std::printf(
      "stalled key: the exchange ended after %d ms\n",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));

  // The reports held back reach the key once it takes reports again, and their
  // answers still arrive while the next exchanges run (the INIT answer is not
  // examined, so a late report passes for it); one of the next four succeeds.
  ASSERT_TRUE(TellKey("unstall"));
  std::this_thread::sleep_for(2s);
  lines.clear();
  SetDebugSink([&](std::string_view line) {
    std::lock_guard<std::mutex> hold(linesMutex);
    lines.emplace_back(line);
  });
  std::uint8_t getInfo = 0x04;
  std::uint8_t answer[kReceiveBufferSize];
  std::vector<std::uint16_t> statuses;
  for (int attempt = 0; attempt < 4 && (statuses.empty() || statuses.back() != 0); ++attempt) {
    std::uint32_t length = sizeof answer;
    statuses.push_back(token.SendCborCommand(&getInfo, 1, answer, &length));
  }
  EXPECT_EQ(statuses.back(), 0) << testing::PrintToString(statuses);
  for (const std::string& line : lines) std::printf("transport: %s\n", line.c_str());
  std::printf("after the stall: getInfo statuses %s\n", testing::PrintToString(statuses).c_str());
}

class CompositeKey : public KeyTest {
 protected:
  std::size_t ExpectedInterfaces() const override { return 2; }
};

// SetupAPI lists both interfaces of the key; the program's list holds only the
// FIDO one, and nothing but the FIDO one is ever opened.
TEST_F(CompositeKey, OnlyTheFidoInterfaceIsListedAndOpened) {
  const std::vector<std::string> paths = KeyInterfaces();
  ASSERT_EQ(paths.size(), 2u);
  WinHidPlatform platform;
  std::string fido;
  int others = 0;
  for (const std::string& path : paths) {
    const HidInterfaceKind kind = platform.Kind(path);
    if (kind == HidInterfaceKind::kFido) fido = path;
    if (kind == HidInterfaceKind::kOther) ++others;
  }
  ASSERT_FALSE(fido.empty()) << testing::PrintToString(paths);
  EXPECT_EQ(others, 1) << testing::PrintToString(paths);
  EXPECT_THAT(Lower(fido), testing::HasSubstr("&mi_01"));

  auto recording = std::make_shared<RecordingPlatform>();
  CliOutcome outcome = RunCli({"list"}, {}, recording);
  EXPECT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
  EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 1) << outcome.out;
  EXPECT_THAT(Lower(outcome.out), testing::HasSubstr(Lower(fido)));
  outcome = RunCli({"info"}, {}, recording);
  EXPECT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
  EXPECT_THAT(recording->Opened(), testing::ElementsAre(fido));
}

class SilentKey : public KeyTest {
 protected:
  std::size_t ExpectedInterfaces() const override { return 2; }  // composite as well
};

// A key that takes a command and then says nothing: the overlapped read ends
// after the silence limit, not later and not sooner, and the key still answers
// afterwards.
TEST_F(SilentKey, TheSilenceLimitHoldsOnTheOverlappedReadHandle) {
  CFidoToken token(std::make_shared<WinHidPlatform>());
  token.SetTransport(kTransportUsbHid);
  ASSERT_EQ(token.EnumerateDevices(), 1);
  ASSERT_EQ(token.SelectDevice(kVendor, kProduct), 1);
  std::uint8_t selection = 0x0B;
  std::uint8_t answer[kReceiveBufferSize];
  std::uint32_t length = sizeof answer;
  const auto start = Clock::now();
  const std::uint16_t status = token.SendCborCommand(&selection, 1, answer, &length);
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(status, kExchangeFailed);
  const auto limit = std::chrono::milliseconds(CHidDeviceList::kDefaultSilenceLimitMs);
  EXPECT_GE(elapsed, limit - 100ms);
  EXPECT_LT(elapsed, limit + 2s);
  std::printf(
      "silent key: the exchange ended after %d ms\n",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));

  std::uint8_t getInfo = 0x04;
  length = sizeof answer;
  EXPECT_EQ(token.SendCborCommand(&getInfo, 1, answer, &length), 0);
}

}  // namespace
}  // namespace pinvale::win32::test
