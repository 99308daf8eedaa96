#pragma once

// Output reports written to a HID interface from a thread of their own, so that
// the caller waits no longer than its limit. An overlapped WriteFile alone is not
// enough: Wine issues it on the calling thread until the HID driver's dispatch
// has returned, and with a key that has stopped taking reports on its OUT
// endpoint that is never.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

namespace pinvale {

class HidReportWriter {
 public:
  // `file` is an overlapped write handle, owned by the caller, which keeps it
  // open for as long as this writer lives.
  explicit HidReportWriter(HANDLE file);
  ~HidReportWriter();
  HidReportWriter(const HidReportWriter&) = delete;
  HidReportWriter& operator=(const HidReportWriter&) = delete;

  // Writes one report. Returns the bytes written, or -1 with the system's error
  // code in `error`: ERROR_TIMEOUT when the write did not end within
  // `limitMs` (it is then cancelled), or when an earlier write that would not
  // end still holds the interface for another `limitMs`.
  int Write(const std::uint8_t* report, std::size_t length, DWORD limitMs, std::uint32_t& error);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace pinvale
