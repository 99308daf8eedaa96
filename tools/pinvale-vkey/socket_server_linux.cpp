#include "socket_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace pinvale::vkey {

namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

// Reads exactly one packet; false at the end of the stream or on an error.
bool ReadPacket(int fd, std::uint8_t* packet) {
  std::size_t have = 0;
  while (have < kPacketSize) {
    const ssize_t got = ::recv(fd, packet + have, kPacketSize - have, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    have += static_cast<std::size_t>(got);
  }
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when something answers on `path`: another server owns it.
bool SomeoneListens(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answered =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

}  // namespace

// One client: a reader thread feeding the key and a writer thread draining the
// link. Whichever ends first shuts the socket down so the other follows.
struct SocketServer::Connection {
  Connection(int socketFd, std::unique_ptr<VirtualKeyLink> keyLink)
      : fd(socketFd), link(std::move(keyLink)) {
    reader = std::thread([this] {
      std::uint8_t packet[kPacketSize];
      while (ReadPacket(fd, packet) && link->ReceivePacket(packet)) {
      }
      End();
    });
    writer = std::thread([this] {
      std::uint8_t packet[kPacketSize];
      while (link->WaitPacket(packet, -1) == WaitResult::kPacket &&
             WriteAll(fd, packet, kPacketSize)) {
      }
      End();
    });
  }

  ~Connection() {
    End();
    reader.join();
    writer.join();
    ::close(fd);
  }

  void End() {
    ::shutdown(fd, SHUT_RDWR);
    link->Close();
    finished = true;
  }

  int fd;
  std::unique_ptr<VirtualKeyLink> link;
  std::atomic<bool> finished{false};
  std::thread reader;
  std::thread writer;
};

SocketServer::SocketServer(std::shared_ptr<VirtualKey> key, std::string path)
    : key_(std::move(key)), path_(std::move(path)) {}

SocketServer::~SocketServer() {
  Stop();
}

bool SocketServer::Start(std::string& error) {
  if (Running()) return true;
  sockaddr_un address;
  // The socket is bound under a temporary name and renamed once it listens, so a
  // client that sees the file appear can connect at once.
  const std::string temporary = path_ + ".tmp";
  if (!FillAddress(temporary, address)) {
    error = "socket path too long: " + path_;
    return false;
  }
  if (SomeoneListens(path_)) {
    error = "another key already serves " + path_;
    return false;
  }
  ::unlink(temporary.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0 || ::rename(temporary.c_str(), path_.c_str()) != 0) {
    error = "cannot serve " + path_ + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  if (::pipe2(wakeFds_, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    ::close(fd);
    ::unlink(path_.c_str());
    return false;
  }
  listenFd_ = fd;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void SocketServer::Stop() {
  if (!Running()) return;
  ::unlink(path_.c_str());
  const char wake = 1;
  (void)!::write(wakeFds_[1], &wake, 1);
  acceptThread_.join();
  ::close(listenFd_);
  ::close(wakeFds_[0]);
  ::close(wakeFds_[1]);
  listenFd_ = -1;
  wakeFds_[0] = wakeFds_[1] = -1;
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  connections_.clear();
}

void SocketServer::ReapFinished() {
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  std::erase_if(connections_,
                [](const std::unique_ptr<Connection>& c) { return c->finished.load(); });
}

void SocketServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    // The timeout only paces the clean-up of finished connections.
    const int ready = ::poll(fds, 2, 1000);
    if (ready < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
    ReapFinished();
    if (ready <= 0 || (fds[0].revents & POLLIN) == 0) continue;
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::unique_ptr<VirtualKeyLink> link = key_->Connect();
    if (!link) {
      ::close(client);
      continue;
    }
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    connections_.push_back(std::make_unique<Connection>(client, std::move(link)));
  }
}

}  // namespace pinvale::vkey
