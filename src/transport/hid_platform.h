#pragma once

// The narrow interface between the CTAPHID logic and an operating system's HID
// stack. Everything above it is plain C++ and is tested on fakes; below it sit
// hidraw + libudev (Linux), SetupAPI + HID (Windows), the virtual-key sockets and
// the in-process virtual key.
//
// Reports are passed the way Windows passes them: the report id byte first, so a
// CTAPHID packet of 64 bytes travels as a 65-byte report. Backends whose system
// works without the report id byte add or strip it themselves.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pinvale {

enum class HidAccess { kRead, kWrite };

struct HidAttributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
};

// Report lengths as the interface declares them, report id byte included.
struct HidCaps {
  std::uint16_t inputReportLength = 0;
  std::uint16_t outputReportLength = 0;
};

// Outcome of reading one report.
enum class HidReadStatus { kOk, kTimeout, kError };

// One open HID interface, read-only or write-only. Closing is destruction.
class HidHandle {
 public:
  virtual ~HidHandle() = default;

  virtual bool GetAttributes(HidAttributes& attributes) = 0;
  virtual bool GetCaps(HidCaps& caps) = 0;

  // Discards every input report queued on this handle, without blocking.
  virtual void Flush() = 0;

  // Writes one report. Returns the bytes written, or -1 with the platform error
  // code in `error`.
  virtual int WriteReport(const std::uint8_t* report, std::size_t length, std::uint32_t& error) = 0;

  // Waits at most `timeoutMs` (no limit when negative) for one report and stores
  // up to `capacity` bytes of it. On kOk `received` holds the byte count; on
  // kError `error` holds the platform error code.
  virtual HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                                   std::size_t& received, std::uint32_t& error) = 0;
};

// What an interface's report descriptor declares, as far as it can be learned
// without opening the interface for reading or writing.
enum class HidInterfaceKind { kFido, kOther, kUnknown };

// One source of HID interfaces.
class HidPlatform {
 public:
  virtual ~HidPlatform() = default;

  // The device paths of the HID interfaces present now, in a stable order.
  // False when the set of interfaces cannot be obtained at all.
  virtual bool ListInterfaces(std::vector<std::string>& paths) = 0;

  // Opens one interface for reading only or writing only; null on failure, with
  // the platform error code in `error`.
  virtual std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                          std::uint32_t& error) = 0;

  // Whether the interface is a FIDO interface (usage page 0xF1D0, usage 0x01).
  // Asked before Open, so that a keyboard or other interface of the same device is
  // never opened; kUnknown where the system cannot tell without opening it.
  virtual HidInterfaceKind Kind(const std::string& /*path*/) { return HidInterfaceKind::kUnknown; }
};

}  // namespace pinvale
