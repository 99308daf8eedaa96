#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "fido2_socket_io.h"

namespace pinvale::bench {

namespace {

constexpr std::size_t kPacket = 64;

// libfido2 keeps an opaque handle per device; the descriptor itself, offset by
// one so that descriptor 0 is not the null handle, is all the state there is.
void* HandleOf(int fd) {
  return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
}
int DescriptorOf(void* handle) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1);
}

Fido2SocketCounts counts;

void* Open(const char* path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return nullptr;
  }
  return HandleOf(fd);
}

void Close(void* handle) {
  close(DescriptorOf(handle));
}

// One 64-byte packet, waiting at most `ms` (negative: forever) for its start.
int Read(void* handle, unsigned char* buffer, std::size_t length, int ms) {
  const int fd = DescriptorOf(handle);
  pollfd waiting{fd, POLLIN, 0};
  const int ready = poll(&waiting, 1, ms);
  if (ready <= 0) return -1;
  unsigned char packet[kPacket];
  std::size_t got = 0;
  while (got < kPacket) {
    const ssize_t n = recv(fd, packet + got, kPacket - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    got += static_cast<std::size_t>(n);
  }
  const std::size_t copied = length < kPacket ? length : kPacket;
  std::memcpy(buffer, packet, copied);
  ++counts.received;
  return static_cast<int>(copied);
}

// libfido2 writes the report id byte first; the socket carries the packet alone.
int Write(void* handle, const unsigned char* buffer, std::size_t length) {
  if (length != kPacket + 1) return -1;
  const int fd = DescriptorOf(handle);
  std::size_t sent = 0;
  while (sent < kPacket) {
    const ssize_t n = send(fd, buffer + 1 + sent, kPacket - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    sent += static_cast<std::size_t>(n);
  }
  ++counts.sent;
  return static_cast<int>(length);
}

const fido_dev_io_t kIo = {Open, Close, Read, Write};

}  // namespace

const fido_dev_io_t& Fido2SocketIo() {
  return kIo;
}
Fido2SocketCounts& Fido2Counts() {
  return counts;
}

}  // namespace pinvale::bench
