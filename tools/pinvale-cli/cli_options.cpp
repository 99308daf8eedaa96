#include "cli_options.h"

#include <utility>

namespace pinvale::cli {

namespace {

const std::pair<const char*, Command> kCommands[] = {
    {"list", Command::kList},
    {"info", Command::kInfo},
    {"retries", Command::kRetries},
    {"set-pin", Command::kSetPin},
    {"change-pin", Command::kChangePin},
    {"verify-pin", Command::kVerifyPin},
    {"reset", Command::kReset},
};

// "--name VALUE" or "--name=VALUE".
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    value = arg.substr(name.size() + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    error = name + " needs a value";
    return false;
  }
  if (value.empty()) {
    error = name + " needs a value";
    return false;
  }
  return true;
}

bool Matches(const std::string& arg, const std::string& name) {
  return arg == name || arg.compare(0, name.size() + 1, name + "=") == 0;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error) {
  options = Options{};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--pin-stdin") {
      options.pinStdin = true;
    } else if (arg == "--yes" || arg == "-y") {
      options.yes = true;
    } else if (Matches(arg, "--device")) {
      if (!TakeValue(args, i, "--device", options.devicePath, error)) return false;
    } else if (Matches(arg, "--pin-protocol")) {
      std::string number;
      if (!TakeValue(args, i, "--pin-protocol", number, error)) return false;
      if (number != "1" && number != "2") {
        error = "--pin-protocol takes 1 or 2, not " + number;
        return false;
      }
      options.pinProtocol = number[0] - '0';
    } else if (Matches(arg, "--virtual-keys")) {
      if (!TakeValue(args, i, "--virtual-keys", options.virtualKeyDir, error)) return false;
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else {
      if (options.command != Command::kNone) {
        // PINs are read from the terminal or standard input, never from here.
        error = "unexpected argument " + arg;
        return false;
      }
      for (const auto& [name, command] : kCommands) {
        if (arg == name) options.command = command;
      }
      if (options.command == Command::kNone) {
        error = "unknown command " + arg;
        return false;
      }
    }
  }
  if (options.command == Command::kNone && !options.help && !options.version) {
    error = "no command given";
    return false;
  }
  return true;
}

std::string UsageText() {
  return R"(Usage: pinvale-cli [--device PATH] [--virtual-keys DIR] [--pin-protocol 1|2]
                   [--pin-stdin] [--yes] COMMAND

Manages the PIN of a Pinvale security key.

Commands:
  list         list the keys found (hidraw keys by node) and mark the one used
  info         show the key's PIN, user verification, options and PIN rules
  retries      show how many PIN attempts are left
  set-pin      set the first PIN of a key that has none
  change-pin   change the PIN (asks for the current PIN, then the new one)
  verify-pin   check a PIN against the key
  reset        reset the key to its factory state (needs a touch of the key)

Options:
  --device PATH        use this key: a hidraw node (/dev/hidrawN) or a virtual-key
                       socket; otherwise the first of the maker's product ids present
  --virtual-keys DIR   also look for virtual keys (sockets) in DIR; the environment
                       variable PINVALE_VKEY_DIR does the same
  --pin-protocol N     speak PIN/UV auth protocol N (1 or 2) with the key; refused
                       when the key does not list it. Otherwise the first protocol
                       of the key's list that pinvale-cli speaks, 1 when it lists none
  --pin-stdin          read PINs from standard input, one per line: set-pin and
                       verify-pin read one line, change-pin two (current, then new);
                       otherwise PINs are read from the terminal without echo
  --yes                reset without asking; without it reset asks on the terminal,
                       and refuses when standard input is not one
  --help               show this text
  --version            show the version of pinvale-cli

A PIN is 4 to 63 characters (counted in UTF-16 code units) and at most 64 bytes
as UTF-8; a key that asks for a longer minimum (info shows it) gets a new PIN of
at least that many characters, counted in Unicode code points. PINs are never
taken from the command line.

Exit codes:
  0  success
  1  wrong command line
  2  no key found, or it could not be opened, or it was pulled out during the
     command
  3  input refused: a PIN of the wrong length or missing, entries that differ, no
     confirmation (or none possible), a key without a PIN for change-pin or
     verify-pin, a key that wants its PIN changed before verify-pin, a
     --pin-protocol the key does not list
  4  wrong PIN (CTAP status 0x31)
  5  PIN blocked (CTAP status 0x32, or 0x34 until the key is re-plugged)
  6  the key refused the request with another CTAP status (shown in the message),
     such as a new PIN against the key's PIN rules (0x37)
  7  no usable answer from the key (exchange failure 0xABCD, empty answer 0xFF,
     oversized answer 0x03, unusable key agreement 0x12), or a key that speaks
     no PIN protocol pinvale-cli knows
)";
}

}  // namespace pinvale::cli
