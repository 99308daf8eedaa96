#include "transport/hid_linux.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include <mbedtls/platform_util.h>

#include "transport/hid_report_descriptor.h"
#include "transport/hidraw_path.h"

namespace pinvale {

namespace {

// Reports the exchange writes are far shorter (see ctaphid.h).
constexpr std::size_t kLongestNumberedReport = 256;

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, UdevDeleter>;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

class HidrawHandle : public HidHandle {
 public:
  HidrawHandle(int fd, HidAccess access) : fd_(fd), access_(access) {}

  bool GetAttributes(HidAttributes& attributes) override {
    hidraw_devinfo info{};
    if (::ioctl(fd_.get(), HIDIOCGRAWINFO, &info) < 0) return false;
    attributes.vendorId = static_cast<std::uint16_t>(info.vendor);
    attributes.productId = static_cast<std::uint16_t>(info.product);
    return true;
  }

  bool GetCaps(HidCaps& caps) override {
    if (!ReadDescriptor()) return false;
    caps.inputReportLength = descriptor_.inputReportLength;
    caps.outputReportLength = descriptor_.outputReportLength;
    return true;
  }

  void Flush() override {
    // Only a handle opened for reading has a queue to drain. The bound keeps a
    // device that streams reports from holding us here.
    if (access_ != HidAccess::kRead) return;
    std::uint8_t scratch[HID_MAX_DESCRIPTOR_SIZE];
    for (int i = 0; i < 1024; ++i) {
      if (::read(fd_.get(), scratch, sizeof scratch) <= 0) break;
    }
  }

  int WriteReport(const std::uint8_t* report, std::size_t length, std::uint32_t& error) override {
    // hidraw takes the report id as the first byte, as Windows does; for a
    // device without report ids the kernel drops the 0. A device that numbers its
    // reports gets the id of its FIDO output report in place of the 0.
    std::array<std::uint8_t, kLongestNumberedReport> numbered;
    const std::uint8_t* bytes = report;
    if (length > 0 && length <= numbered.size() && report[0] == 0 && ReadDescriptor() &&
        descriptor_.usesReportIds && descriptor_.fidoOutputReportId != 0) {
      std::memcpy(numbered.data(), report, length);
      numbered[0] = descriptor_.fidoOutputReportId;
      bytes = numbered.data();
    }
    ssize_t written;
    do {
      written = ::write(fd_.get(), bytes, length);
    } while (written < 0 && errno == EINTR);
    // The report may carry encrypted PIN material.
    if (bytes == numbered.data()) mbedtls_platform_zeroize(numbered.data(), length);
    if (written < 0) {
      error = static_cast<std::uint32_t>(errno);
      return -1;
    }
    return static_cast<int>(written);
  }

  HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                           std::size_t& received, std::uint32_t& error) override {
    received = 0;
    if (!ReadDescriptor()) {
      error = static_cast<std::uint32_t>(errno ? errno : EIO);
      return HidReadStatus::kError;
    }
    pollfd waiting{fd_.get(), POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&waiting, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
      error = static_cast<std::uint32_t>(errno);
      return HidReadStatus::kError;
    }
    if (ready == 0) return HidReadStatus::kTimeout;
    if (!(waiting.revents & POLLIN)) {
      error = static_cast<std::uint32_t>(ENODEV);  // unplugged
      return HidReadStatus::kError;
    }
    // Without report ids the kernel hands over the bare report; callers expect
    // the report id 0 in front, as Windows gives it.
    const std::size_t skip = descriptor_.usesReportIds ? 0 : 1;
    if (capacity <= skip) return HidReadStatus::kOk;
    ssize_t n = ::read(fd_.get(), report + skip, capacity - skip);
    if (n < 0) {
      error = static_cast<std::uint32_t>(errno);
      return HidReadStatus::kError;
    }
    if (skip) report[0] = 0;
    received = static_cast<std::size_t>(n) + skip;
    return HidReadStatus::kOk;
  }

 private:
  bool ReadDescriptor() {
    if (descriptorRead_) return true;
    int size = 0;
    if (::ioctl(fd_.get(), HIDIOCGRDESCSIZE, &size) < 0) return false;
    hidraw_report_descriptor raw{};
    raw.size = static_cast<std::uint32_t>(std::clamp(size, 0, HID_MAX_DESCRIPTOR_SIZE));
    if (::ioctl(fd_.get(), HIDIOCGRDESC, &raw) < 0) return false;
    if (!ParseReportDescriptor(raw.value, raw.size, descriptor_)) {
      errno = EINVAL;
      return false;
    }
    descriptorRead_ = true;
    return true;
  }

  FileDescriptor fd_;
  HidAccess access_;
  bool descriptorRead_ = false;
  ReportDescriptorInfo descriptor_;
};

}  // namespace

bool LinuxHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  paths.clear();
  UdevPtr context(udev_new());
  if (!context) return false;
  UdevEnumeratePtr enumeration(udev_enumerate_new(context.get()));
  if (!enumeration) return false;
  if (udev_enumerate_add_match_subsystem(enumeration.get(), "hidraw") < 0 ||
      udev_enumerate_scan_devices(enumeration.get()) < 0) {
    return false;
  }
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    udev_device* device =
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry));
    if (!device) continue;
    const char* node = udev_device_get_devnode(device);
    // The hid parent carries the ids; it belongs to `device` and is freed with it.
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
    const char* hidId = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    if (node && hidId && ParseHidId(hidId, vendorId, productId)) {
      paths.push_back(BuildHidrawPath(vendorId, productId, node));
    }
    udev_device_unref(device);
  }
  return true;
}

HidInterfaceKind LinuxHidPlatform::Kind(const std::string& path) {
  std::string node;
  if (!ParseHidrawPath(path, node)) return HidInterfaceKind::kUnknown;
  const std::string name = node.substr(node.rfind('/') + 1);
  std::ifstream file("/sys/class/hidraw/" + name + "/device/report_descriptor", std::ios::binary);
  if (!file) return HidInterfaceKind::kUnknown;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(HID_MAX_DESCRIPTOR_SIZE);
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  ReportDescriptorInfo info;
  if (file.bad() || !ParseReportDescriptor(bytes.data(), bytes.size(), info)) {
    return HidInterfaceKind::kUnknown;
  }
  return info.declaresFido ? HidInterfaceKind::kFido : HidInterfaceKind::kOther;
}

std::unique_ptr<HidHandle> LinuxHidPlatform::Open(const std::string& path, HidAccess access,
                                                  std::uint32_t& error) {
  std::string node;
  if (!ParseHidrawPath(path, node)) {
    error = static_cast<std::uint32_t>(ENOENT);
    return nullptr;
  }
  // The read handle never blocks in read(): waiting is done by poll() with the
  // caller's time-out, and the flush drains without waiting.
  const int flags = (access == HidAccess::kRead ? O_RDONLY | O_NONBLOCK : O_WRONLY) | O_CLOEXEC;
  int fd = ::open(node.c_str(), flags);
  if (fd < 0) {
    error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  return std::make_unique<HidrawHandle>(fd, access);
}

}  // namespace pinvale
