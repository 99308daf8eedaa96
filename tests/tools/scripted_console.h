#pragma once

// A console for pinvale-cli tests: answers from a script, output captured.

#include <deque>
#include <string>

#include "cli_console.h"

namespace pinvale::cli::test {

class ScriptedConsole : public Console {
 public:
  explicit ScriptedConsole(std::deque<std::string> lines = {}, bool terminal = false)
      : lines_(std::move(lines)), terminal_(terminal) {}

  bool InputIsTerminal() override { return terminal_; }
  bool ReadPin(std::string_view prompt, SecretBytes& pin) override {
    prompts += std::string(prompt);
    if (lines_.empty()) return false;
    const std::string line = lines_.front();
    lines_.pop_front();
    pin.Assign(std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
    return true;
  }
  bool ReadAnswer(std::string_view prompt, std::string& answer) override {
    prompts += std::string(prompt);
    if (lines_.empty()) return false;
    answer = lines_.front();
    lines_.pop_front();
    return true;
  }
  void Out(std::string_view text) override { out += text; }
  void Err(std::string_view text) override { err += text; }

  std::string out;
  std::string err;
  std::string prompts;

 private:
  std::deque<std::string> lines_;
  bool terminal_;
};

}  // namespace pinvale::cli::test
