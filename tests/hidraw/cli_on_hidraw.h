#pragma once

// pinvale-cli's commands run in-process on the machine's HID platform, which in
// these tests is the emulated hidraw nodes of a HidrawBed.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "../tools/scripted_console.h"
#include "cli_commands.h"
#include "emulated_hidraw.h"
#include "transport/hid_linux.h"
#include "vkey/virtual_key.h"

namespace pinvale::emulation::test {

struct CliOutcome {
  int exit = -1;
  std::string out;
  std::string err;
};

inline CliOutcome RunCliOnHidraw(std::vector<std::string> args,
                                 std::deque<std::string> input = {}) {
  cli::test::ScriptedConsole console(std::move(input));
  const int code = cli::RunCli(
      args, "", console, [](const std::string&) { return std::make_shared<LinuxHidPlatform>(); });
  return {code, console.out, console.err};
}

// A key that answers at once and touches itself after 5 ms.
inline vkey::VirtualKeyConfig QuickKey(std::uint16_t productId = 0x2D71) {
  vkey::VirtualKeyConfig config;
  config.productId = productId;
  config.touchDelayMs = 5;
  config.userPresenceTimeoutMs = 2000;
  return config;
}

class HidrawTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!bed.Usable()) GTEST_SKIP() << "needs umockdev's preload (umockdev-wrapper)";
  }
  HidrawBed bed;
};

}  // namespace pinvale::emulation::test
