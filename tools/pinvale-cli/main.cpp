// pinvale-cli: the command-line companion of Pinvale for scripts and machines
// without a desktop. See cli_options.cpp for the command line.

#include <cstdlib>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "cli_console_linux.h"
#include "transport/hid_system.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  pinvale::cli::Options options;
  std::string ignored;
  pinvale::cli::ParseArguments(args, options, ignored);  // only to know where PINs come from
  pinvale::cli::TerminalConsole console(options.pinStdin);
  const char* envDir = std::getenv("PINVALE_VKEY_DIR");
  return pinvale::cli::RunCli(args, envDir ? envDir : "", console,
                              pinvale::CreateSystemHidPlatform);
}
