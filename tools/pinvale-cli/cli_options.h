#pragma once

// The command line of pinvale-cli:
//   pinvale-cli [--device PATH] [--virtual-keys DIR] [--pin-protocol 1|2] [--pin-stdin]
//               [--yes] COMMAND [ACTION ARGUMENTS...]
// PINs are never taken from the command line.

#include <optional>
#include <string>
#include <vector>

namespace pinvale::cli {

enum class Command {
  kNone,
  kList,
  kInfo,
  kRetries,
  kSetPin,
  kChangePin,
  kVerifyPin,
  kReset,
  kFingerprints,
  kPasskeys,
};

// What `fingerprints` and `passkeys` do.
enum class Action { kNone, kList, kAdd, kRename, kDelete, kUpdate };

struct Options {
  std::string devicePath;     // --device: a hidraw node or a virtual-key socket
  std::string virtualKeyDir;  // --virtual-keys, else PINVALE_VKEY_DIR
  int pinProtocol = 0;        // --pin-protocol: 1 or 2; 0 takes the key's first one
  bool pinStdin = false;      // PINs from standard input, one per line
  bool yes = false;           // reset and delete without asking
  bool help = false;
  bool version = false;
  Command command = Command::kNone;
  Action action = Action::kNone;           // fingerprints and passkeys
  std::vector<std::string> operands;       // their ID (and NAME for a rename)
  std::optional<std::string> name;         // --name: fingerprints add, passkeys update
  std::optional<std::string> displayName;  // --display-name: passkeys update
};

// Exit codes; --help lists them.
enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,           // the command line is wrong
  kExitNoKey = 2,           // no key found, it could not be opened, or it was pulled out
  kExitInputRefused = 3,    // a PIN missing or of the wrong length, entries that differ, no
                            // confirmation, a key without the PIN the command needs, a
                            // name over the key's limit, an ID the key does not hold, a
                            // key that wants its PIN changed first, or a --pin-protocol
                            // the key does not list
  kExitWrongPin = 4,        // status 0x31
  kExitPinBlocked = 5,      // status 0x32 or 0x34
  kExitKeyRefused = 6,      // the key answered with another status, or it does not
                            // manage fingerprints or passkeys at all
  kExitExchangeFailed = 7,  // no usable answer from the key (0xABCD, 0xFF, 3, 0x12, crypto),
                            // or no PIN protocol in common with it
};

// Reads the arguments after the program name. False with `error` set when they
// are not a valid command line.
bool ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

// The --help text.
std::string UsageText();

}  // namespace pinvale::cli
