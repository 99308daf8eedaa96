#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/single_instance.h"

namespace pinvale {

namespace {

// An abstract UNIX socket: bound names vanish with the last descriptor, so a
// crashed copy never leaves a stale lock behind. The uid keeps users apart.
class AbstractSocketClaim final : public SingleInstanceClaim {
 public:
  explicit AbstractSocketClaim(int fd) : fd_(fd) {}
  ~AbstractSocketClaim() override { ::close(fd_); }
  AbstractSocketClaim(const AbstractSocketClaim&) = delete;
  AbstractSocketClaim& operator=(const AbstractSocketClaim&) = delete;

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<SingleInstanceClaim> ClaimSingleInstance(std::string_view name) {
  std::string abstractName = std::string(name) + "." + std::to_string(::getuid());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // sun_path[0] stays 0: the abstract namespace.
  std::size_t length = std::min(abstractName.size(), sizeof(address.sun_path) - 1);
  std::memcpy(address.sun_path + 1, abstractName.data(), length);

  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<AbstractSocketClaim>(fd);
}

}  // namespace pinvale
