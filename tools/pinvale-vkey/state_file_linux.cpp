#include "state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pinvale::vkey {

namespace {

// Far more than the largest state a key holds (25 passkeys with long names are some
// 100 KiB); anything bigger is not one.
constexpr off_t kLargestStateFile = 1 << 20;

// "cannot write FILE.tmp: No space left on device", from errno.
std::string SystemError(const char* what, const std::string& subject = {}) {
  std::string text = what;
  if (!subject.empty()) text.append(" ").append(subject);
  text.append(": ").append(std::strerror(errno));
  return text;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Closes on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, so the caller learns a failure (a full disk can show only here).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t wrote = ::write(fd, data, length);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    data += wrote;
    length -= static_cast<std::size_t>(wrote);
  }
  return true;
}

bool ReadAll(int fd, StateBytes& out, std::size_t length) {
  out.resize(length);
  std::size_t got = 0;
  while (got < length) {
    const ssize_t n = ::read(fd, out.data() + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return true;
}

}  // namespace

StateFile::ReadResult StateFile::Read(const VirtualKeyConfig& config, KeyState& state,
                                      std::string& why) {
  Descriptor fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return ReadResult::kMissing;
    why = SystemError("cannot read");
    return ReadResult::kRefused;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    why = SystemError("cannot read");
    return ReadResult::kRefused;
  }
  if (!S_ISREG(info.st_mode)) {
    why = "not a regular file";
    return ReadResult::kRefused;
  }
  StateBytes bytes;
  const bool large = info.st_size > kLargestStateFile;
  if (!ReadAll(fd.get(), bytes,
               static_cast<std::size_t>(large ? kStateMagicLength : info.st_size))) {
    why = SystemError("cannot read");
    return ReadResult::kRefused;
  }
  if (large) {
    const bool ours = std::equal(bytes.begin(), bytes.end(), kStateMagic);
    why = ours ? "damaged (larger than any state)" : "not a virtual key state file";
    return ReadResult::kRefused;
  }
  const StateReadResult result = DecodeKeyState(bytes.data(), bytes.size(), config, state);
  if (!result.ok()) {
    why = DescribeStateFault(result);
    return ReadResult::kRefused;
  }
  held_ = std::move(bytes);
  return ReadResult::kLoaded;
}

bool StateFile::Write(const std::uint8_t* data, std::size_t length, std::string& why) {
  if (held_.size() == length && std::equal(held_.begin(), held_.end(), data)) return true;
  const std::string temporary = path_ + ".tmp";
  {
    // Not following a link: the state goes into a file of our own, nowhere else.
    Descriptor fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) {
      why = SystemError("cannot write", temporary);
      return false;
    }
    // The umask may have taken bits from the mode; an existing file may have others.
    const bool written =
        ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), data, length) && ::fsync(fd.get()) == 0;
    if (!written || !fd.Close()) {
      why = SystemError("cannot write", temporary);
      ::unlink(temporary.c_str());
      return false;
    }
  }
  if (::rename(temporary.c_str(), path_.c_str()) != 0) {
    why = SystemError("cannot rename over the state file", temporary);
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself lasts only once the directory is on the disk too.
  const std::string directory = DirectoryOf(path_);
  Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
    why = SystemError("cannot sync the directory", directory);
    return false;
  }
  held_.assign(data, data + length);
  return true;
}

void StateFile::Keep(const std::uint8_t* data, std::size_t length) {
  std::string why;
  if (Write(data, length, why)) return;
  if (!running_) {
    if (startError_.empty()) startError_ = why;
    return;
  }
  std::fprintf(stderr, "pinvale-vkey: %s: %s; the key goes on in memory\n", path_.c_str(),
               why.c_str());
}

bool StateFile::Run(std::string& why) {
  running_ = true;
  why = startError_;
  return startError_.empty();
}

bool OpenStateFile(VkeyOptions& options, std::shared_ptr<StateFile>& file) {
  if (options.statePath.empty()) return true;
  file = std::make_shared<StateFile>(options.statePath);
  auto state = std::make_shared<KeyState>();
  std::string why;
  switch (file->Read(options.config, *state, why)) {
    case StateFile::ReadResult::kRefused:
      std::fprintf(stderr, "pinvale-vkey: %s: %s\n", options.statePath.c_str(), why.c_str());
      return false;
    case StateFile::ReadResult::kLoaded:
      if (!options.config.initialPin.empty() || options.config.forcePinChange) {
        std::fprintf(stderr,
                     "pinvale-vkey: %s: the key's PIN comes from its state; --pin and "
                     "--force-pin-change are ignored\n",
                     options.statePath.c_str());
      }
      options.config.initialState = std::move(state);
      break;
    case StateFile::ReadResult::kMissing:
      break;
  }
  options.config.stateListener = [file](const std::uint8_t* data, std::size_t length) {
    file->Keep(data, length);
  };
  return true;
}

bool StateFileWritten(const std::shared_ptr<StateFile>& file) {
  if (!file) return true;
  std::string why;
  if (file->Run(why)) return true;
  std::fprintf(stderr, "pinvale-vkey: %s: %s\n", file->Path().c_str(), why.c_str());
  return false;
}

}  // namespace pinvale::vkey
