#pragma once

// pinvale-vkey as a child process serving its socket in a private directory, for
// the benchmarks. The key stays up until the object goes.

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace pinvale::bench {

class VkeyProcess {
 public:
  // Starts `program --dir <temp dir> args...` and waits for its "ready" line.
  VkeyProcess(const std::string& program, const std::vector<std::string>& args);
  ~VkeyProcess();
  VkeyProcess(const VkeyProcess&) = delete;
  VkeyProcess& operator=(const VkeyProcess&) = delete;

  bool Ready() const { return !socketPath_.empty(); }
  const std::string& Directory() const { return directory_; }
  const std::string& SocketPath() const { return socketPath_; }

 private:
  std::string directory_;
  std::string socketPath_;
  pid_t pid_ = -1;
  int commandFd_ = -1;  // its standard input
  std::FILE* output_ = nullptr;
};

}  // namespace pinvale::bench
