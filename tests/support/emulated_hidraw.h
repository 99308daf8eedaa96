#pragma once

// The virtual key's engine behind emulated hidraw nodes (umockdev), so that the
// Linux backend, the udev monitor and any other hidraw client meet it through the
// system's own interfaces: udev enumeration, /dev/hidrawN, the report-descriptor
// ioctls, poll/read/write and udev add/remove events.
//
// Only works in a process started with umockdev's preload library
// (umockdev-wrapper, or LD_PRELOAD=libumockdev-preload.so.0); Usable() says so.
//
// A pulled-out device behaves as the kernel's hidraw driver makes it: queued input
// reports can still be read, then read() fails with EIO and poll() reports POLLHUP
// (the driver adds POLLERR, a pty cannot); write() and the ioctls fail with ENODEV;
// the node is gone, so a new open fails with ENOENT. A stalled device (SetStalled)
// holds every write() for up to 5 s.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vkey/virtual_key.h"

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace pinvale::emulation {

enum class KeyShape {
  kFidoOnly,          // one interface, the FIDO collection, no report ids
  kFidoWithReportId,  // one interface, the FIDO collection in numbered reports
  kComposite,         // a boot keyboard interface first, then the FIDO interface
};

// The report id of the FIDO reports of kFidoWithReportId.
constexpr std::uint8_t kFidoReportId = 1;

std::vector<std::uint8_t> FidoReportDescriptor(bool withReportId);
std::vector<std::uint8_t> KeyboardReportDescriptor();

enum class ReportDirection { kToKey, kToHost };

// Called for every report the FIDO interface of a device carries, after it has
// been carried; `index` counts from 1 per direction and device. Runs on umockdev's
// worker thread (kToKey) or the device's pump thread (kToHost); may call Unplug.
using ReportObserver = std::function<void(int device, ReportDirection, int index)>;

class HidrawBed {
 public:
  HidrawBed();
  ~HidrawBed();
  HidrawBed(const HidrawBed&) = delete;
  HidrawBed& operator=(const HidrawBed&) = delete;

  // False when the process runs without umockdev's preload.
  bool Usable() const { return usable_; }

  // Plugs `key` in as a USB device with the interfaces of `shape` and sends the
  // udev add events. Returns the device's number, -1 on failure.
  int Plug(std::shared_ptr<vkey::VirtualKey> key, KeyShape shape);
  // Pulls the device out: kernel side first (see above), then udev remove events.
  // Safe from any thread, also from a ReportObserver; unplugging twice is harmless.
  void Unplug(int device);
  void UnplugAll();

  // The device nodes of a device's interfaces, in interface order.
  std::vector<std::string> Nodes(int device) const;
  std::string FidoNode(int device) const;

  // The file mode of a node's emulated device file; with 0600 a user other than
  // root can no longer open it.
  bool SetNodeMode(const std::string& node, unsigned mode);
  // Lets other users reach the emulation (for tests that drop privileges).
  bool OpenToOtherUsers();

  // A stalled device takes no report on its FIDO interface: a write() to it
  // waits until the stall ends (the report then goes to the key), the device is
  // pulled out (ENODEV) or 5 s have passed (ETIMEDOUT, the kernel's limit for
  // the USB transfer). The waiting write holds umockdev's request thread, so the
  // device's reads and ioctls wait as well, as on a key that has locked up.
  void SetStalled(int device, bool stalled);

  void SetReportObserver(ReportObserver observer);

  // Reports carried so far, by direction, for one device.
  int ReportsCarried(int device, ReportDirection direction) const;

 private:
  struct Interface;
  struct Device;

  bool AddInterface(Device& device, int index, const std::vector<std::uint8_t>& descriptor,
                    bool fido, bool reportIds);
  void NotifyObserver(int device, ReportDirection direction, int index);

  UMockdevTestbed* testbed_ = nullptr;
  bool usable_ = false;
  mutable std::mutex mutex_;  // guards the testbed calls and the lists
  std::vector<std::unique_ptr<Device>> devices_;
  int nextNode_ = 0;
  std::mutex observerMutex_;
  std::shared_ptr<ReportObserver> observer_;
};

}  // namespace pinvale::emulation
