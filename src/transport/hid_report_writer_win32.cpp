#include "transport/hid_report_writer_win32.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include <mbedtls/platform_util.h>

namespace pinvale {

namespace {

// How long a cancelled write may take to end before it is left to the system.
constexpr std::chrono::milliseconds kCancelGrace{500};

}  // namespace

// What the caller and the writing thread share; the thread holds it too, so
// that a write that never ends can be left behind with everything it uses.
struct HidReportWriter::Shared {
  HANDLE file = nullptr;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::uint8_t> report;  // carries encrypted PIN material
  bool requested = false;
  bool busy = false;
  bool quit = false;
  int result = -1;
  DWORD error = 0;

  void Run() {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::unique_lock<std::mutex> hold(mutex);
    for (;;) {
      changed.wait(hold, [this] { return requested || quit; });
      if (!requested) break;
      requested = false;
      hold.unlock();
      DWORD code = 0;
      const int written = WriteOne(event, code);
      mbedtls_platform_zeroize(report.data(), report.size());
      hold.lock();
      result = written;
      error = code;
      busy = false;
      changed.notify_all();
    }
    if (event) ::CloseHandle(event);
  }

  // The report is not touched by the caller while busy is set.
  int WriteOne(HANDLE event, DWORD& code) {
    if (!event) {
      code = ERROR_NOT_ENOUGH_MEMORY;
      return -1;
    }
    ::ResetEvent(event);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD count = 0;
    if (!::WriteFile(file, report.data(), static_cast<DWORD>(report.size()), nullptr,
                     &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
      code = ::GetLastError();
      return -1;
    }
    // No limit here: the caller cancels a write that takes too long.
    if (!::GetOverlappedResult(file, &overlapped, &count, TRUE)) {
      code = ::GetLastError();
      return -1;
    }
    return static_cast<int>(count);
  }
};

HidReportWriter::HidReportWriter(HANDLE file) : shared_(std::make_shared<Shared>()) {
  shared_->file = file;
  thread_ = std::thread([shared = shared_] { shared->Run(); });
}

HidReportWriter::~HidReportWriter() {
  std::unique_lock<std::mutex> hold(shared_->mutex);
  shared_->quit = true;
  shared_->changed.notify_all();
  if (shared_->busy) {
    ::CancelIoEx(shared_->file, nullptr);
    shared_->changed.wait_for(hold, kCancelGrace, [this] { return !shared_->busy; });
  }
  const bool stuck = shared_->busy;
  hold.unlock();
  // A write stuck in the driver keeps its thread; the thread keeps what it uses
  // and ends by itself should the write ever return.
  if (stuck) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

int HidReportWriter::Write(const std::uint8_t* report, std::size_t length, DWORD limitMs,
                           std::uint32_t& error) {
  const std::chrono::milliseconds limit{limitMs};
  std::unique_lock<std::mutex> hold(shared_->mutex);
  auto idle = [this] { return !shared_->busy; };
  // An earlier write that would not end: the interface is its until it does.
  if (!shared_->changed.wait_for(hold, limit, idle)) {
    error = ERROR_TIMEOUT;
    return -1;
  }
  shared_->report.assign(report, report + length);
  shared_->requested = true;
  shared_->busy = true;
  shared_->changed.notify_all();
  if (!shared_->changed.wait_for(hold, limit, idle)) {
    ::CancelIoEx(shared_->file, nullptr);
    if (!shared_->changed.wait_for(hold, kCancelGrace, idle)) {
      error = ERROR_TIMEOUT;
      return -1;
    }
    // A report taken while cancelling still counts; a cancelled one is the
    // limit's doing.
    if (shared_->result < 0) {
      error = shared_->error == ERROR_OPERATION_ABORTED ? ERROR_TIMEOUT : shared_->error;
      return -1;
    }
    return shared_->result;
  }
  if (shared_->result < 0) error = shared_->error;
  return shared_->result;
}

}  // namespace pinvale
