#include "emulate_hidraw.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "emulated_hidraw.h"
#include "state_file.h"

namespace pinvale::vkey {

namespace {

constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";
// Set when the program restarts itself under the preload, so it does so once.
constexpr const char* kRestartedMarker = "PINVALE_VKEY_EMULATING";

void Say(const std::string& line) {
  std::fprintf(stderr, "pinvale-vkey: %s\n", line.c_str());
}

// umockdev works from inside the process: its library must be preloaded before
// anything starts. Returns only when the restart failed.
void RestartUnderPreload(char** argv) {
  std::string preload = kPreloadLibrary;
  if (const char* current = std::getenv("LD_PRELOAD"); current && *current) {
    preload += ":";
    preload += current;
  }
  ::setenv("LD_PRELOAD", preload.c_str(), 1);
  ::setenv(kRestartedMarker, "1", 1);
  ::execv("/proc/self/exe", argv);
  Say(std::string("cannot restart under ") + kPreloadLibrary + ": " + std::strerror(errno));
}

// The FIFO the key's commands come through; made when missing, and then removed
// at exit.
class ControlFifo {
 public:
  bool Open(const std::string& path) {
    if (path.empty()) return true;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      if (::mkfifo(path.c_str(), 0600) != 0) {
        Say("cannot make the FIFO " + path + ": " + std::strerror(errno));
        return false;
      }
      made_ = path;
    } else if (!S_ISFIFO(info.st_mode)) {
      Say(path + " exists and is not a FIFO");
      return false;
    }
    // Read and write: the FIFO then never reports an end when a writer closes.
    fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) Say("cannot open " + path + ": " + std::strerror(errno));
    return fd_ >= 0;
  }
  ~ControlFifo() {
    if (fd_ >= 0) ::close(fd_);
    if (!made_.empty()) ::unlink(made_.c_str());
  }
  int fd() const { return fd_; }

  // The complete lines that arrived.
  std::vector<std::string> ReadLines() {
    std::vector<std::string> lines;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(fd_, buffer, sizeof buffer)) > 0) {
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

 private:
  int fd_ = -1;
  std::string made_;
  std::string pending_;
};

pid_t StartCommand(const std::vector<std::string>& command, const sigset_t& blocked) {
  std::vector<char*> args;
  for (const std::string& arg : command) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::execvp(args[0], args.data());
    std::fprintf(stderr, "pinvale-vkey: cannot run %s: %s\n", args[0], std::strerror(errno));
    ::_exit(127);
  }
  return child;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

}  // namespace

int RunEmulatedHidraw(VkeyOptions& options, char** argv) {
  if (!std::getenv(kRestartedMarker)) RestartUnderPreload(argv);
  ::unsetenv(kRestartedMarker);  // not for COMMAND's own children

  // Signals arrive through a descriptor; SIGCHLD tells that COMMAND ended.
  sigset_t signals;
  sigemptyset(&signals);
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&signals, sig);
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  ::signal(SIGPIPE, SIG_IGN);

  emulation::HidrawBed bed;
  if (!bed.Usable()) {
    Say(std::string("cannot emulate hidraw devices: ") + kPreloadLibrary +
        " did not load (Debian package umockdev)");
    return 1;
  }
  ControlFifo control;
  if (!control.Open(options.controlPath)) return 1;

  const emulation::KeyShape shape =
      options.composite ? emulation::KeyShape::kComposite : emulation::KeyShape::kFidoOnly;
  std::shared_ptr<StateFile> stateFile;
  if (!OpenStateFile(options, stateFile)) return 2;
  auto key = VirtualKey::Create(options.config);
  options.config.initialState.reset();  // the key has its own copy
  if (!StateFileWritten(stateFile)) return 2;
  int device = bed.Plug(key, shape);
  if (device < 0) {
    Say("cannot plug the key in");
    return 1;
  }
  Say("plugged in as " + bed.FidoNode(device));

  const pid_t child = StartCommand(options.command, signals);
  if (child < 0) {
    Say(std::string("cannot start the command: ") + std::strerror(errno));
    return 1;
  }
  for (;;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {control.fd(), POLLIN, 0}};
    if (::poll(fds, 2, 50) < 0 && errno != EINTR) break;
    signalfd_siginfo signal{};
    while (::read(signalFd, &signal, sizeof signal) == sizeof signal) {
      // A termination request is COMMAND's to honour; we follow when it ends.
      if (signal.ssi_signo != SIGCHLD) ::kill(child, static_cast<int>(signal.ssi_signo));
    }
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) return ExitCodeOf(status);

    for (const std::string& command :
         control.fd() >= 0 ? control.ReadLines() : std::vector<std::string>{}) {
      SensorInput input;
      std::string answer;
      const SensorCommand sensor = ParseSensorCommand(command, input, answer);
      if (sensor != SensorCommand::kNone) {
        if (sensor == SensorCommand::kInput) key->Sensor(input);
        Say(answer);
      } else if (command == "touch") {
        key->Touch();
        Say("touched");
      } else if (command == "unplug") {
        bed.Unplug(device);
        device = -1;  // not reported a second time below
        Say("unplugged");
      } else if (command == "plug") {
        bed.Unplug(device);
        key->Plug();
        device = bed.Plug(key, shape);
        Say(device >= 0 ? "plugged in as " + bed.FidoNode(device) : "cannot plug the key in");
      } else if (command == "stall" || command == "unstall") {
        bed.SetStalled(device, command == "stall");
        Say(command == "stall" ? "stalled" : "unstalled");
      } else if (command == "status") {
        Say(StatusLine(key->Status()));
      } else if (command == "quit" || command == "exit") {
        ::kill(child, SIGTERM);
      } else if (!command.empty()) {
        Say("unknown command '" + command +
            "' (touch, sample NAME, no-finger, wrong-finger, unplug, plug, stall, unstall, "
            "status, quit)");
      }
    }
    // The key can pull itself out (the pull-out fault): the device goes with it.
    if (device >= 0 && !key->IsPlugged()) {
      bed.Unplug(device);
      device = -1;
      Say("unplugged");
    }
  }
  return 1;
}

}  // namespace pinvale::vkey
