#pragma once

// pinvale-cli's work, apart from main(): parse the command line, find the key,
// run one command and turn its outcome into words and an exit code.

#include <string>
#include <vector>

#include "cli_console.h"
#include "cli_device.h"
#include "cli_options.h"

namespace pinvale::cli {

// Runs pinvale-cli with `args` (without the program name). `envVkeyDir` is the
// value of PINVALE_VKEY_DIR, used when --virtual-keys is not given. Returns the
// exit code.
int RunCli(const std::vector<std::string>& args, const std::string& envVkeyDir, Console& console,
           const PlatformFactory& platforms);

// The same once the command line is read.
int RunCommand(const Options& options, Console& console, const PlatformFactory& platforms);

// "0x31", "0xABCD", or an mbedTLS error as "-0x4C80".
std::string StatusText(int code);

}  // namespace pinvale::cli
