#include "cli_console_linux.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace pinvale::cli {

namespace {

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Reads one line byte by byte straight from the descriptor, so no stdio buffer
// keeps a copy of the PIN. Bytes past the limit are read and dropped; `overflow`
// tells that it happened.
bool ReadLineFrom(int fd, SecretBytes& line, bool& overflow) {
  line.Clear();
  line.Reserve(kPinLineLimit + 1);
  overflow = false;
  bool any = false;
  for (;;) {
    std::uint8_t byte = 0;
    const ssize_t n = ::read(fd, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    any = true;
    if (byte == '\n') break;
    if (!line.Append(byte)) overflow = true;
    byte = 0;
  }
  // A line typed on a Windows-style terminal or file ends in CR LF.
  if (!line.empty() && line.data()[line.size() - 1] == '\r') {
    SecretBytes trimmed(line.span().first(line.size() - 1));
    line = std::move(trimmed);
  }
  return any;
}

// Turns echo off for as long as it lives.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

}  // namespace

TerminalConsole::TerminalConsole(bool pinsFromStdin) : pinsFromStdin_(pinsFromStdin) {}

TerminalConsole::~TerminalConsole() {
  if (tty_ >= 0) ::close(tty_);
}

bool TerminalConsole::InputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

bool TerminalConsole::ReadPin(std::string_view prompt, SecretBytes& pin) {
  bool overflow = false;
  bool ok = false;
  if (pinsFromStdin_) {
    ok = ReadLineFrom(STDIN_FILENO, pin, overflow);
  } else {
    // Like passwd and ssh, ask on the controlling terminal even when standard
    // input is redirected.
    if (tty_ < 0) tty_ = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty_ < 0) {
      Err("No terminal to read the PIN from; use --pin-stdin.\n");
      return false;
    }
    // Echo goes off before the prompt shows: turning it off drops type-ahead,
    // and an answer typed right after the prompt must not be lost.
    EchoOff quiet(tty_);
    WriteAll(tty_, prompt);
    ok = ReadLineFrom(tty_, pin, overflow);
  }
  // A line past the limit keeps its first kPinLineLimit + 1 bytes, which the
  // length rule refuses.
  return ok;
}

bool TerminalConsole::ReadAnswer(std::string_view prompt, std::string& answer) {
  WriteAll(STDERR_FILENO, prompt);
  SecretBytes line;
  bool overflow = false;
  if (!ReadLineFrom(STDIN_FILENO, line, overflow)) return false;
  answer.assign(line.data(), line.data() + line.size());
  return true;
}

void TerminalConsole::Out(std::string_view text) {
  WriteAll(STDOUT_FILENO, text);
}
void TerminalConsole::Err(std::string_view text) {
  WriteAll(STDERR_FILENO, text);
}

}  // namespace pinvale::cli
