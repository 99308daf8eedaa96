#pragma once

// The virtual keys of one directory: UNIX stream sockets named
// <vid>-<pid>-<label>.sock. Each direction carries raw 64-byte CTAPHID packets,
// no report id and no other framing. The key answers on the connection it was
// asked on, so the read handle and the write handle of one enumeration share a
// single connection.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "transport/hid_platform.h"

namespace pinvale {

class SocketConnection;

class SocketHidPlatform : public HidPlatform {
 public:
  explicit SocketHidPlatform(std::string directory);

  // The sockets of the directory in name order; a missing directory lists none.
  bool ListInterfaces(std::vector<std::string>& paths) override;

  // Connects on the first open of a path; the next open of the other direction
  // joins that connection. Refused (error ENOENT) for names not of the socket form.
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;

 private:
  std::string directory_;
  std::mutex mutex_;
  std::map<std::string, std::weak_ptr<SocketConnection>> connections_;
};

}  // namespace pinvale
