#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "vkey_process.h"

extern char** environ;

namespace pinvale::bench {

VkeyProcess::VkeyProcess(const std::string& program, const std::vector<std::string>& args) {
  char pattern[] = "/tmp/pinvale-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return;
  directory_ = pattern;

  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0) return;
  if (pipe(fromChild) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, toChild[1]);
  posix_spawn_file_actions_addclose(&actions, fromChild[0]);

  std::vector<std::string> all = {program, "--dir", directory_};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  commandFd_ = toChild[1];
  output_ = fdopen(fromChild[0], "r");
  if (spawned != 0) {
    pid_ = -1;
    return;
  }
  char line[512];
  if (output_ != nullptr && std::fgets(line, sizeof line, output_) != nullptr &&
      std::strncmp(line, "ready ", 6) == 0) {
    socketPath_ = std::string(line + 6);
    while (!socketPath_.empty() && (socketPath_.back() == '\n' || socketPath_.back() == '\r')) {
      socketPath_.pop_back();
    }
  }
}

VkeyProcess::~VkeyProcess() {
  if (commandFd_ >= 0) {
    const char quit[] = "quit\n";
    [[maybe_unused]] const ssize_t written = write(commandFd_, quit, sizeof quit - 1);
    close(commandFd_);
  }
  if (pid_ > 0) {
    int status = 0;
    // Give it a moment to remove its socket, then make sure it is gone.
    for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(20000);
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, &status, 0);
    }
  }
  if (output_ != nullptr) std::fclose(output_);
  std::error_code ec;
  if (!directory_.empty()) std::filesystem::remove_all(directory_, ec);
}

}  // namespace pinvale::bench
