// pinvale-vkey: a virtual FIDO2 security key on a UNIX socket, for tests, demos and
// machines without a key. See --help.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "emulate_hidraw.h"
#include "socket_server.h"
#include "state_file.h"
#include "version/pinvale_version.h"
#include "vkey_options.h"

using namespace pinvale::vkey;

namespace {

void PrintLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Returns false when the command asks to quit.
bool RunCommand(const std::string& command, VirtualKey& key, SocketServer& server,
                const std::string& path) {
  if (command == "quit" || command == "exit") return false;
  SensorInput input;
  std::string answer;
  const SensorCommand sensor = ParseSensorCommand(command, input, answer);
  if (sensor == SensorCommand::kInput) {
    key.Sensor(input);
    PrintLine(answer);
  } else if (sensor == SensorCommand::kMalformed) {
    std::fprintf(stderr, "pinvale-vkey: %s\n", answer.c_str());
  } else if (command == "touch") {
    key.Touch();
    PrintLine("touched");
  } else if (command == "unplug") {
    server.Stop();
    key.Unplug();
    PrintLine("unplugged");
  } else if (command == "plug") {
    server.Stop();
    key.Plug();
    std::string error;
    if (server.Start(error)) {
      PrintLine("ready " + path);
    } else {
      std::fprintf(stderr, "pinvale-vkey: %s\n", error.c_str());
    }
  } else if (command == "status") {
    PrintLine(StatusLine(key.Status()));
  } else if (!command.empty()) {
    std::fprintf(stderr,
                 "pinvale-vkey: unknown command '%s' (touch, sample NAME, no-finger, "
                 "wrong-finger, unplug, plug, status, quit)\n",
                 command.c_str());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  VkeyOptions options;
  std::string error;
  if (!ParseVkeyOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "pinvale-vkey: %s\nTry pinvale-vkey --help.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(kVkeyUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("pinvale-vkey %s\n", pinvale::kVersion);
    return 0;
  }
  if (options.emulateHidraw) {
#ifdef PINVALE_EMULATE_HIDRAW
    return RunEmulatedHidraw(options, argv);
#else
    std::fprintf(stderr, "pinvale-vkey: built without umockdev; --emulate-hidraw is missing\n");
    return 1;
#endif
  }

  // Termination signals arrive through a descriptor, before any thread starts, so
  // the exit path is the ordinary one that removes the socket.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  signal(SIGPIPE, SIG_IGN);

  std::shared_ptr<StateFile> stateFile;
  if (!OpenStateFile(options, stateFile)) return 2;
  const std::string path = SocketPathFor(options);
  auto key = VirtualKey::Create(options.config);
  options.config.initialState.reset();  // the key has its own copy
  if (!StateFileWritten(stateFile)) return 2;
  SocketServer server(key, path);
  if (!server.Start(error)) {
    std::fprintf(stderr, "pinvale-vkey: %s\n", error.c_str());
    return 1;
  }
  PrintLine("ready " + path);

  bool stdinOpen = true;
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    const int ready = ::poll(fds, 2, 50);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;
    if (fds[1].revents != 0) {
      char buffer[512];
      const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got <= 0) {
        stdinOpen = false;  // keep serving in the background
      } else {
        pending.append(buffer, static_cast<std::size_t>(got));
      }
      bool quit = false;
      for (std::size_t end; !quit && (end = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        quit = !RunCommand(line, *key, server, path);
      }
      if (quit) break;
    }
    // The key can pull itself out (the pull-out fault): the socket goes with it.
    if (server.Running() && !key->IsPlugged()) {
      server.Stop();
      PrintLine("unplugged");
    }
  }
  server.Stop();
  return 0;
}
