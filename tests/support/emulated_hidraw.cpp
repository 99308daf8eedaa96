#include "emulated_hidraw.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace pinvale::emulation {

namespace {

constexpr int kHidrawMajor = 240;

// umockdev's worker thread runs the node handlers, and it tells the client that a
// request is done over a socket, which ThreadSanitizer cannot see as ordering. A
// handler holds this for its whole run, and the testbed takes it once after the
// handlers are detached, so an interface is freed only after its last handler has
// returned. Recursive: a handler may pull the key out, which can run another.
std::recursive_mutex& HandlerMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}
constexpr std::size_t kPacketBytes = vkey::kPacketSize;
// The kernel's limit for a USB transfer of an output report (USB_CTRL_SET_TIMEOUT).
constexpr std::chrono::milliseconds kStalledWriteTimeout{5000};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    text += digits;
  }
  return text;
}

std::string Format(const char* format, auto... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

// Replaces the pty master by /dev/null under the same descriptor number (the
// testbed still owns the number): the other end sees the hang-up.
void HangUp(int masterFd) {
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return;
  ::dup2(null, masterFd);
  ::close(null);
}

}  // namespace

std::vector<std::uint8_t> FidoReportDescriptor(bool withReportId) {
  static constexpr std::uint8_t kCollection[] = {
      0x06, 0xD0, 0xF1,  // usage page FIDO alliance
      0x09, 0x01,        // usage CTAPHID
      0xA1, 0x01,        // collection application
  };
  static constexpr std::uint8_t kReports[] = {
      0x09, 0x20, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02,  // 64 in
      0x09, 0x21, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x91, 0x02,  // 64 out
      0xC0,
  };
  std::vector<std::uint8_t> d(std::begin(kCollection), std::end(kCollection));
  if (withReportId) {
    d.push_back(0x85);
    d.push_back(kFidoReportId);
  }
  for (std::uint8_t b : kReports) d.push_back(b);
  return d;
}

std::vector<std::uint8_t> KeyboardReportDescriptor() {
  // A USB HID boot keyboard: 8 bytes in, the LED byte out.
  return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
          0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
          0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91,
          0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
          0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
}

struct HidrawBed::Interface {
  HidrawBed* bed = nullptr;
  int device = 0;
  std::string node;     // /dev/hidrawN
  std::string sysPath;  // /sys/devices/.../hidraw/hidrawN
  std::vector<std::uint8_t> descriptor;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool fido = false;
  bool reportIds = false;
  UMockdevIoctlBase* handler = nullptr;
  int masterFd = -1;
  std::atomic<bool> removed{false};
  std::atomic<bool> stalled{false};

  // The FIDO interface only.
  std::unique_ptr<vkey::VirtualKeyLink> link;
  std::atomic<int> toKey{0};
  std::atomic<int> toHost{0};
  std::atomic<bool> stopping{false};
  std::thread pump;
  std::mutex writeMutex;  // one report at a time into the pty; guards hungUp
  std::recursive_mutex deliveryGate;
  bool hungUp = false;
  int peerFd = -1;  // our own end of the node's pty, to see what is unread

  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    std::lock_guard<std::recursive_mutex> handler(HandlerMutex());
    static_cast<Interface*>(self)->Ioctl(client);
    return TRUE;
  }
  // Reads stay with the pty (a poll() on the node only wakes for data there);
  // once the device is gone and what it sent has been read, hidraw's answer is
  // EIO where the hung-up pty would say 0.
  static gboolean OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    std::lock_guard<std::recursive_mutex> handler(HandlerMutex());
    auto* iface = static_cast<Interface*>(self);
    {
      std::lock_guard<std::mutex> lock(iface->writeMutex);
      if (!iface->removed || (!iface->hungUp && iface->QueuedBytes() > 0)) return FALSE;
    }
    umockdev_ioctl_client_complete(client, -1, EIO);
    return TRUE;
  }
  static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    std::lock_guard<std::recursive_mutex> handler(HandlerMutex());
    static_cast<Interface*>(self)->Write(client);
    return TRUE;
  }

  void Ioctl(UMockdevIoctlClient* client) {
    if (removed) return umockdev_ioctl_client_complete(client, -1, ENODEV);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    if (request == HIDIOCGRDESCSIZE) {
      UMockdevIoctlData* size = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), nullptr);
      if (!size) return umockdev_ioctl_client_complete(client, -1, EFAULT);
      const int length = static_cast<int>(descriptor.size());
      std::memcpy(size->data, &length, sizeof length);
      return umockdev_ioctl_client_complete(client, 0, 0);
    }
    if (request == HIDIOCGRDESC) {
      UMockdevIoctlData* raw =
          umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), nullptr);
      if (!raw) return umockdev_ioctl_client_complete(client, -1, EFAULT);
      auto* out = reinterpret_cast<hidraw_report_descriptor*>(raw->data);
      if (out->size > HID_MAX_DESCRIPTOR_SIZE - 1)
        return umockdev_ioctl_client_complete(client, -1, EINVAL);
      const std::size_t length = std::min<std::size_t>(out->size, descriptor.size());
      std::memcpy(out->value, descriptor.data(), length);
      out->size = static_cast<std::uint32_t>(length);
      return umockdev_ioctl_client_complete(client, 0, 0);
    }
    if (request == HIDIOCGRAWINFO) {
      UMockdevIoctlData* raw = umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_devinfo), nullptr);
      if (!raw) return umockdev_ioctl_client_complete(client, -1, EFAULT);
      hidraw_devinfo info{};
      info.bustype = 3;  // BUS_USB
      info.vendor = static_cast<__s16>(vendorId);
      info.product = static_cast<__s16>(productId);
      std::memcpy(raw->data, &info, sizeof info);
      return umockdev_ioctl_client_complete(client, 0, 0);
    }
    // Not a terminal, whatever the pty underneath says.
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
  }

  void Write(UMockdevIoctlClient* client) {
    if (removed) return umockdev_ioctl_client_complete(client, -1, ENODEV);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const std::uint8_t* bytes = arg->data;
    const std::size_t length = arg->data_len;
    if (length < 2) return umockdev_ioctl_client_complete(client, -1, EINVAL);
    if (!fido) return umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
    // A stalled OUT endpoint: the writer waits, as on the kernel's hidraw, until
    // the key takes the report, goes away, or the USB transfer times out.
    const auto giveUp = std::chrono::steady_clock::now() + kStalledWriteTimeout;
    while (stalled && !removed && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (removed) return umockdev_ioctl_client_complete(client, -1, ENODEV);
    if (stalled) return umockdev_ioctl_client_complete(client, -1, ETIMEDOUT);
    // The first byte is the report id. A device with numbered reports stalls on
    // one it does not have; without report ids the kernel drops a leading 0.
    std::uint8_t packet[kPacketBytes] = {};
    const std::uint8_t* payload = bytes;
    std::size_t payloadLength = length;
    if (reportIds) {
      if (bytes[0] != kFidoReportId) return umockdev_ioctl_client_complete(client, -1, EPIPE);
      ++payload, --payloadLength;
    } else if (bytes[0] == 0) {
      ++payload, --payloadLength;
    }
    std::memcpy(packet, payload, std::min(payloadLength, kPacketBytes));
    std::lock_guard<std::recursive_mutex> gate(deliveryGate);
    link->ReceivePacket(packet);
    umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
    bed->NotifyObserver(device, ReportDirection::kToKey, ++toKey);
  }

  void StartPump() {
    pump = std::thread([this] {
      std::uint8_t report[kPacketBytes + 1];
      const std::size_t offset = reportIds ? 1 : 0;
      report[0] = kFidoReportId;
      while (!stopping && !removed) {
        const vkey::WaitResult got = link->WaitPacket(report + offset, 20);
        if (got == vkey::WaitResult::kClosed) break;
        if (got != vkey::WaitResult::kPacket) continue;
        // hidraw hands out one report per read(); the pty would join reports
        // that meet in its buffer into one read for a reader that asks for
        // more than a report (Wine's winebus reads 1024 bytes). So a report
        // goes in only when the one before it has been read.
        while (!stopping && !removed && QueuedBytes() > 0) {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        int index;
        {
          // Not while a report to the key is being handed over: a pull-out
          // right after it must stop the answer too.
          std::lock_guard<std::recursive_mutex> gate(deliveryGate);
          std::lock_guard<std::mutex> lock(writeMutex);
          if (removed) break;
          if (::write(masterFd, report, kPacketBytes + offset) < 0) continue;
          index = ++toHost;
        }
        bed->NotifyObserver(device, ReportDirection::kToHost, index);
      }
      // Reports the key sent before it went away can still be read; then the
      // host sees the hang-up.
      while (!stopping) {
        {
          std::lock_guard<std::mutex> lock(writeMutex);
          if (removed && !hungUp && QueuedBytes() == 0) {
            HangUp(masterFd);
            hungUp = true;
          }
          if (hungUp) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }

  // Input bytes the host has not read yet. The poll pushes what the pty still
  // holds in its flip buffer through to where it can be read (and counted).
  int QueuedBytes() const {
    if (peerFd < 0) return 0;
    pollfd waiting{peerFd, POLLIN, 0};
    if (::poll(&waiting, 1, 0) != 1 || !(waiting.revents & POLLIN)) return 0;
    int queued = 0;
    if (::ioctl(peerFd, FIONREAD, &queued) != 0) return 0;
    return queued;
  }

  // What the kernel does at once when the device goes away.
  void PullOut() {
    if (removed.exchange(true)) return;
    if (link) link->Close();
    std::lock_guard<std::mutex> lock(writeMutex);
    if (!fido || QueuedBytes() == 0) {
      HangUp(masterFd);
      hungUp = true;
    }
  }

  ~Interface() {
    if (peerFd >= 0) ::close(peerFd);
  }
};

struct HidrawBed::Device {
  int number = 0;
  std::string usbPath;
  std::shared_ptr<vkey::VirtualKey> key;
  std::vector<std::unique_ptr<Interface>> interfaces;
  bool plugged = false;
};

HidrawBed::HidrawBed() {
  testbed_ = umockdev_testbed_new();
  // Asked only now: the answer is cached, and one given before the testbed
  // existed would be wrong for good.
  usable_ = testbed_ && umockdev_in_mock_environment();
}

HidrawBed::~HidrawBed() {
  UnplugAll();
  for (auto& device : devices_) {
    for (auto& iface : device->interfaces) {
      iface->stopping = true;
      if (iface->pump.joinable()) iface->pump.join();
      if (iface->handler) {
        umockdev_testbed_detach_ioctl(testbed_, iface->node.c_str(), nullptr);
        g_object_unref(iface->handler);
      }
    }
  }
  { std::lock_guard<std::recursive_mutex> lastHandlerDone(HandlerMutex()); }
  devices_.clear();
  if (testbed_) g_object_unref(testbed_);
}

bool HidrawBed::AddInterface(Device& device, int index, const std::vector<std::uint8_t>& descriptor,
                             bool fido, bool reportIds) {
  auto iface = std::make_unique<Interface>();
  const int n = nextNode_++;
  const vkey::VirtualKeyConfig& config = device.key->Config();
  iface->bed = this;
  iface->device = device.number;
  iface->node = Format("/dev/hidraw%d", n);
  iface->descriptor = descriptor;
  iface->vendorId = config.vendorId;
  iface->productId = config.productId;
  iface->fido = fido;
  iface->reportIds = reportIds;

  const std::string interfacePath =
      Format("%s/1-%d:1.%d", device.usbPath.c_str(), device.number + 1, index);
  const std::string hidPath = Format("%s/0003:%04X:%04X.%04X", interfacePath.c_str(),
                                     config.vendorId, config.productId, n + 1);
  iface->sysPath = Format("/sys%s/hidraw/hidraw%d", hidPath.c_str(), n);
  const std::string description =
      Format(
          "P: %s\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=03\n"
          "A: bInterfaceNumber=%02d\n\n",
          interfacePath.c_str(), index) +
      Format(
          "P: %s\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\nE: HID_ID=0003:%08X:%08X\n"
          "E: HID_NAME=Pinvale virtual security key\nE: HID_PHYS=usb-0000:00:14.0-%d/input%d\n",
          hidPath.c_str(), config.vendorId, config.productId, device.number + 1, index) +
      "H: report_descriptor=" + Hex(descriptor) + "\n\n" +
      Format(
          "P: %s/hidraw/hidraw%d\nN: hidraw%d\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw%d\n"
          "A: dev=%d:%d\nL: device=../..\n",
          hidPath.c_str(), n, n, n, kHidrawMajor, n);

  // The handler goes in before the node appears: a udev watcher opens the node
  // as soon as it hears of it.
  iface->handler = umockdev_ioctl_base_new();
  g_signal_connect(iface->handler, "handle-ioctl", G_CALLBACK(Interface::OnIoctl), iface.get());
  g_signal_connect(iface->handler, "handle-read", G_CALLBACK(Interface::OnRead), iface.get());
  g_signal_connect(iface->handler, "handle-write", G_CALLBACK(Interface::OnWrite), iface.get());
  if (!umockdev_testbed_attach_ioctl(testbed_, iface->node.c_str(), iface->handler, nullptr)) {
    g_object_unref(iface->handler);
    return false;
  }
  if (fido) {
    iface->link = device.key->Connect();
    if (!iface->link) return false;
  }
  if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), nullptr)) return false;
  iface->masterFd = umockdev_testbed_get_dev_fd(testbed_, iface->node.c_str());
  iface->peerFd = ::ioctl(iface->masterFd, TIOCGPTPEER, O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fido) iface->StartPump();
  device.interfaces.push_back(std::move(iface));
  return true;
}

int HidrawBed::Plug(std::shared_ptr<vkey::VirtualKey> key, KeyShape shape) {
  if (!usable_ || !key) return -1;
  if (!key->IsPlugged()) key->Plug();
  std::lock_guard<std::mutex> lock(mutex_);
  auto device = std::make_unique<Device>();
  device->number = static_cast<int>(devices_.size());
  device->key = std::move(key);
  device->usbPath = Format("/devices/pci0000:00/0000:00:14.0/usb1/1-%d", device->number + 1);
  const vkey::VirtualKeyConfig& config = device->key->Config();
  const std::string usb = Format(
      "P: %s\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: PRODUCT=%x/%x/100\nA: idVendor=%04x\n"
      "A: idProduct=%04x\nA: manufacturer=Pinvale\nA: product=Virtual security key\n"
      "A: serial=VK%04d\n",
      device->usbPath.c_str(), config.vendorId, config.productId, config.vendorId, config.productId,
      device->number);
  if (!umockdev_testbed_add_from_string(testbed_, usb.c_str(), nullptr)) return -1;
  bool ok = true;
  if (shape == KeyShape::kComposite) {
    ok = AddInterface(*device, 0, KeyboardReportDescriptor(), false, false) &&
         AddInterface(*device, 1, FidoReportDescriptor(false), true, false);
  } else {
    const bool ids = shape == KeyShape::kFidoWithReportId;
    ok = AddInterface(*device, 0, FidoReportDescriptor(ids), true, ids);
  }
  device->plugged = true;
  devices_.push_back(std::move(device));
  return ok ? devices_.back()->number : -1;
}

void HidrawBed::Unplug(int number) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (number < 0 || number >= static_cast<int>(devices_.size())) return;
  Device& device = *devices_[number];
  if (!device.plugged) return;
  device.plugged = false;
  for (auto& iface : device.interfaces) iface->PullOut();
  device.key->Unplug();  // a pulled-out key loses power
  for (auto& iface : device.interfaces) {
    // Listeners hear of the removal while the device is still in sysfs, as udev
    // tells them.
    umockdev_testbed_uevent(testbed_, iface->sysPath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, iface->sysPath.c_str());
  }
  // The USB device and its interfaces stay in sysfs until the testbed goes:
  // nothing lists them without a hidraw node, and removing them is slow.
}

void HidrawBed::UnplugAll() {
  std::size_t count;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = devices_.size();
  }
  for (std::size_t i = 0; i < count; ++i) Unplug(static_cast<int>(i));
}

std::vector<std::string> HidrawBed::Nodes(int number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> nodes;
  if (number < 0 || number >= static_cast<int>(devices_.size())) return nodes;
  for (const auto& iface : devices_[number]->interfaces) nodes.push_back(iface->node);
  return nodes;
}

std::string HidrawBed::FidoNode(int number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (number < 0 || number >= static_cast<int>(devices_.size())) return {};
  for (const auto& iface : devices_[number]->interfaces) {
    if (iface->fido) return iface->node;
  }
  return {};
}

bool HidrawBed::SetNodeMode(const std::string& node, unsigned mode) {
  // The emulated node is a link to the pty that stands in for the device.
  const char* root = std::getenv("UMOCKDEV_DIR");
  if (!root) return false;
  std::error_code ec;
  const auto target = std::filesystem::read_symlink(std::string(root) + node, ec);
  if (ec) return false;
  return ::chmod(target.c_str(), mode) == 0;
}

bool HidrawBed::OpenToOtherUsers() {
  const char* root = std::getenv("UMOCKDEV_DIR");
  if (!root) return false;
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::permissions(root,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  ec);
  if (ec) return false;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_symlink(ec)) continue;
    // Sockets are connected to, so they need write access.
    const fs::perms extra = it->is_directory(ec) ? fs::perms::others_read | fs::perms::others_exec
                            : it->is_socket(ec)  ? fs::perms::others_read | fs::perms::others_write
                                                 : fs::perms::others_read;
    fs::permissions(it->path(), extra, fs::perm_options::add, ec);
    ec.clear();
  }
  return true;
}

void HidrawBed::SetStalled(int number, bool stalled) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (number < 0 || number >= static_cast<int>(devices_.size())) return;
  for (auto& iface : devices_[number]->interfaces) {
    if (iface->fido) iface->stalled = stalled;
  }
}

void HidrawBed::SetReportObserver(ReportObserver observer) {
  std::lock_guard<std::mutex> lock(observerMutex_);
  observer_ = observer ? std::make_shared<ReportObserver>(std::move(observer)) : nullptr;
}

void HidrawBed::NotifyObserver(int device, ReportDirection direction, int index) {
  std::shared_ptr<ReportObserver> observer;
  {
    std::lock_guard<std::mutex> lock(observerMutex_);
    observer = observer_;
  }
  if (observer) (*observer)(device, direction, index);
}

int HidrawBed::ReportsCarried(int number, ReportDirection direction) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (number < 0 || number >= static_cast<int>(devices_.size())) return 0;
  for (const auto& iface : devices_[number]->interfaces) {
    if (iface->fido) return direction == ReportDirection::kToKey ? iface->toKey : iface->toHost;
  }
  return 0;
}

}  // namespace pinvale::emulation
