#pragma once

// Where pinvale-cli reads PINs and answers and writes its results. The terminal
// form lives in cli_console_linux.cpp; tests script their own.

#include <string>
#include <string_view>

#include "ctap/secret_buffer.h"

namespace pinvale::cli {

class Console {
 public:
  virtual ~Console() = default;

  virtual bool InputIsTerminal() = 0;

  // One PIN, without its line end. From the terminal with echo off after
  // `prompt`, or (--pin-stdin) the next line of standard input. False when no
  // line could be read.
  virtual bool ReadPin(std::string_view prompt, SecretBytes& pin) = 0;

  // One answer line from the terminal (the reset confirmation).
  virtual bool ReadAnswer(std::string_view prompt, std::string& answer) = 0;

  virtual void Out(std::string_view text) = 0;
  virtual void Err(std::string_view text) = 0;
};

// PINs longer than this are read to the end of their line and refused; no PIN
// within the rules comes near it (63 UTF-16 units are at most 189 bytes).
constexpr std::size_t kPinLineLimit = 256;

}  // namespace pinvale::cli
