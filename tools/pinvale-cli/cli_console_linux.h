#pragma once

// The real console: standard input and output, and the controlling terminal for
// PINs typed without echo.

#include "cli_console.h"

namespace pinvale::cli {

class TerminalConsole : public Console {
 public:
  explicit TerminalConsole(bool pinsFromStdin);
  ~TerminalConsole() override;
  TerminalConsole(const TerminalConsole&) = delete;
  TerminalConsole& operator=(const TerminalConsole&) = delete;

  bool InputIsTerminal() override;
  bool ReadPin(std::string_view prompt, SecretBytes& pin) override;
  bool ReadAnswer(std::string_view prompt, std::string& answer) override;
  void Out(std::string_view text) override;
  void Err(std::string_view text) override;

 private:
  bool pinsFromStdin_;
  int tty_ = -1;  // opened on first use
};

}  // namespace pinvale::cli
