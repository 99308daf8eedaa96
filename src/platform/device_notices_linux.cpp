#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/debug_log.h"
#include "platform/device_notices.h"

namespace pinvale {

namespace {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevDeleter>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevDeleter>;

class LinuxDeviceNoticeWatcher final : public DeviceNoticeWatcher {
 public:
  explicit LinuxDeviceNoticeWatcher(DeviceNoticeCallback callback)
      : callback_(std::move(callback)), stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

  ~LinuxDeviceNoticeWatcher() override {
    if (thread_.joinable()) {
      std::uint64_t one = 1;
      // The thread sleeps in poll() until this descriptor becomes readable.
      [[maybe_unused]] ssize_t n = ::write(stop_.get(), &one, sizeof one);
      thread_.join();
    }
  }

  bool WatchHidraw() {
    udev_.reset(udev_new());
    if (!udev_) return false;
    // "udev" events come after the rules have run, so the node's access rights
    // (uaccess) are already in place when the main window opens it.
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_) return false;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
      monitor_.reset();
      return false;
    }
    return true;
  }

  bool WatchDirectory(const std::string& directory) {
    // pinvale-vkey may start later than we do; the directory is where it will
    // plug its keys in, so make sure it exists.
    ::mkdir(directory.c_str(), 0700);
    inotify_ = std::make_unique<UniqueFd>(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (!inotify_->valid()) return false;
    if (::inotify_add_watch(inotify_->get(), directory.c_str(),
                            IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
      DebugLog("inotify_add_watch %s ERR: %d", directory.c_str(), errno);
      inotify_.reset();
      return false;
    }
    directory_ = directory;
    return true;
  }

  bool Watching() const { return stop_.valid() && (monitor_ || inotify_); }

  void Run() {
    thread_ = std::thread([this] { Loop(); });
  }

 private:
  void Loop() {
    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    fds[count++] = {stop_.get(), POLLIN, 0};
    int monitorIndex = -1, inotifyIndex = -1;
    if (monitor_) {
      monitorIndex = static_cast<int>(count);
      fds[count++] = {udev_monitor_get_fd(monitor_.get()), POLLIN, 0};
    }
    if (inotify_) {
      inotifyIndex = static_cast<int>(count);
      fds[count++] = {inotify_->get(), POLLIN, 0};
    }
    for (;;) {
      if (::poll(fds.data(), count, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) return;
      if (monitorIndex >= 0 && (fds[monitorIndex].revents & POLLIN)) DrainUdev();
      if (inotifyIndex >= 0 && (fds[inotifyIndex].revents & POLLIN)) DrainInotify();
    }
  }

  void DrainUdev() {
    while (UdevDevicePtr device{udev_monitor_receive_device(monitor_.get())}) {
      const char* action = udev_device_get_action(device.get());
      if (!action) continue;
      std::uint32_t event;
      if (std::strcmp(action, "add") == 0) {
        event = kDeviceArrival;
      } else if (std::strcmp(action, "remove") == 0) {
        event = kDeviceRemoveComplete;
      } else {
        continue;
      }
      const char* sysPath = udev_device_get_syspath(device.get());
      const char* devNode = udev_device_get_devnode(device.get());
      callback_(event, HidrawNoticePath(sysPath ? sysPath : "", devNode ? devNode : ""));
    }
  }

  void DrainInotify() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      ssize_t n = ::read(inotify_->get(), buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->len == 0) continue;
        std::string_view name(event->name);
        if (!IsVirtualKeySocketName(name)) continue;
        std::uint32_t kind =
            (event->mask & (IN_CREATE | IN_MOVED_TO)) ? kDeviceArrival : kDeviceRemoveComplete;
        callback_(kind, WidenPath(directory_ + "/" + std::string(name)));
      }
    }
  }

  DeviceNoticeCallback callback_;
  UniqueFd stop_;
  UdevPtr udev_;
  UdevMonitorPtr monitor_;
  std::unique_ptr<UniqueFd> inotify_;
  std::string directory_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceNoticeWatcher> StartDeviceNoticeWatcher(const DeviceNoticeSources& sources,
                                                              DeviceNoticeCallback callback) {
  auto watcher = std::make_unique<LinuxDeviceNoticeWatcher>(std::move(callback));
  if (sources.hidraw && !watcher->WatchHidraw()) DebugLog("udev monitor unavailable");
  if (!sources.virtualKeyDirectory.empty()) watcher->WatchDirectory(sources.virtualKeyDirectory);
  if (!watcher->Watching()) return nullptr;
  watcher->Run();
  return watcher;
}

}  // namespace pinvale
