#include "transport/hid_socket_linux.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "transport/ctaphid.h"
#include "transport/virtual_key_name.h"

namespace pinvale {

namespace fs = std::filesystem;

// One stream connection to a virtual key, shared by its read and write handles.
class SocketConnection {
 public:
  explicit SocketConnection(int fd) : fd_(fd) {}
  ~SocketConnection() { ::close(fd_); }
  SocketConnection(const SocketConnection&) = delete;
  SocketConnection& operator=(const SocketConnection&) = delete;

  // Each direction is claimed once, so the next enumeration's pair of opens gets
  // a fresh connection even while the selected key still holds this one.
  bool Claim(HidAccess access) {
    bool& claimed = access == HidAccess::kRead ? readerClaimed_ : writerClaimed_;
    if (claimed) return false;
    claimed = true;
    return true;
  }

  int Write(const std::uint8_t* packet, std::size_t length, std::uint32_t& error) {
    std::size_t sent = 0;
    while (sent < length) {
      ssize_t n = ::send(fd_, packet + sent, length - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = static_cast<std::uint32_t>(errno);
        return -1;
      }
      sent += static_cast<std::size_t>(n);
    }
    return static_cast<int>(sent);
  }

  // Reads until one whole packet is there. Bytes of a packet cut short by the
  // time-out stay for the next read.
  HidReadStatus ReadPacket(int timeoutMs, std::uint32_t& error) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (pendingLength_ < pending_.size()) {
      int wait = -1;
      if (timeoutMs >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        wait = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
      }
      pollfd waiting{fd_, POLLIN, 0};
      int ready = ::poll(&waiting, 1, wait);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        error = static_cast<std::uint32_t>(errno);
        return HidReadStatus::kError;
      }
      if (ready == 0) return HidReadStatus::kTimeout;
      ssize_t n =
          ::recv(fd_, pending_.data() + pendingLength_, pending_.size() - pendingLength_, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) {
        error = static_cast<std::uint32_t>(errno);
        return HidReadStatus::kError;
      }
      if (n == 0) {
        error = static_cast<std::uint32_t>(ECONNRESET);  // the key went away
        return HidReadStatus::kError;
      }
      pendingLength_ += static_cast<std::size_t>(n);
    }
    return HidReadStatus::kOk;
  }

  // Hands over the whole packet read by ReadPacket.
  const std::array<std::uint8_t, ctaphid::kPacketSize>& TakePacket() {
    pendingLength_ = 0;
    return pending_;
  }

  void Drain() {
    pendingLength_ = 0;
    std::uint8_t scratch[256];
    for (int i = 0; i < 1024; ++i) {
      if (::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT) <= 0) break;
    }
  }

 private:
  int fd_;
  bool readerClaimed_ = false;
  bool writerClaimed_ = false;
  std::array<std::uint8_t, ctaphid::kPacketSize> pending_{};
  std::size_t pendingLength_ = 0;
};

namespace {

class SocketHandle : public HidHandle {
 public:
  SocketHandle(std::shared_ptr<SocketConnection> connection, HidAccess access,
               HidAttributes attributes)
      : connection_(std::move(connection)), access_(access), attributes_(attributes) {}

  bool GetAttributes(HidAttributes& attributes) override {
    attributes = attributes_;
    return true;
  }

  bool GetCaps(HidCaps& caps) override {
    caps.inputReportLength = ctaphid::kReportSize;
    caps.outputReportLength = ctaphid::kReportSize;
    return true;
  }

  void Flush() override {
    if (access_ == HidAccess::kRead) connection_->Drain();
  }

  int WriteReport(const std::uint8_t* report, std::size_t length, std::uint32_t& error) override {
    // The socket carries bare packets: the report id byte stays behind.
    if (length == 0) return 0;
    int sent = connection_->Write(report + 1, length - 1, error);
    return sent < 0 ? -1 : sent + 1;
  }

  HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                           std::size_t& received, std::uint32_t& error) override {
    received = 0;
    HidReadStatus status = connection_->ReadPacket(timeoutMs, error);
    if (status != HidReadStatus::kOk) return status;
    const auto& packet = connection_->TakePacket();
    if (capacity == 0) return HidReadStatus::kOk;
    report[0] = 0;  // the report id callers expect in front
    const std::size_t copied = std::min(capacity - 1, packet.size());
    std::memcpy(report + 1, packet.data(), copied);
    received = copied + 1;
    return HidReadStatus::kOk;
  }

 private:
  std::shared_ptr<SocketConnection> connection_;
  HidAccess access_;
  HidAttributes attributes_;
};

bool AttributesOf(const std::string& path, HidAttributes& attributes) {
  return ParseVirtualKeySocketName(fs::path(path).filename().string(), attributes.vendorId,
                                   attributes.productId);
}

}  // namespace

SocketHidPlatform::SocketHidPlatform(std::string directory) : directory_(std::move(directory)) {}

bool SocketHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  paths.clear();
  std::error_code ec;
  fs::directory_iterator it(directory_, ec);
  if (ec) return true;  // no directory yet: no virtual key plugged in
  for (const fs::directory_entry& entry : it) {
    std::uint16_t vid;
    std::uint16_t pid;
    if (!ParseVirtualKeySocketName(entry.path().filename().string(), vid, pid)) continue;
    if (!entry.is_socket(ec)) continue;
    paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return true;
}

std::unique_ptr<HidHandle> SocketHidPlatform::Open(const std::string& path, HidAccess access,
                                                   std::uint32_t& error) {
  HidAttributes attributes;
  if (!AttributesOf(path, attributes)) {
    error = static_cast<std::uint32_t>(ENOENT);
    return nullptr;
  }

  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<SocketConnection> connection = connections_[path].lock();
  if (connection && connection->Claim(access)) {
    return std::make_unique<SocketHandle>(std::move(connection), access, attributes);
  }

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error = static_cast<std::uint32_t>(ENAMETOOLONG);
    return nullptr;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  connection = std::make_shared<SocketConnection>(fd);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  connection->Claim(access);
  connections_[path] = connection;
  return std::make_unique<SocketHandle>(std::move(connection), access, attributes);
}

}  // namespace pinvale
