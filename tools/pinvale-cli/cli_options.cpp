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
    {"fingerprints", Command::kFingerprints},
    {"passkeys", Command::kPasskeys},
};

struct ActionForm {
  Command command;
  const char* word;
  Action action;
  std::size_t operands;  // ID, or ID NAME
  const char* usage;
};

const ActionForm kActions[] = {
    {Command::kFingerprints, "list", Action::kList, 0, "fingerprints list"},
    {Command::kFingerprints, "add", Action::kAdd, 0, "fingerprints add [--name NAME]"},
    {Command::kFingerprints, "rename", Action::kRename, 2, "fingerprints rename ID NAME"},
    {Command::kFingerprints, "delete", Action::kDelete, 1, "fingerprints delete ID"},
    {Command::kPasskeys, "list", Action::kList, 0, "passkeys list"},
    {Command::kPasskeys, "delete", Action::kDelete, 1, "passkeys delete ID"},
    {Command::kPasskeys, "update", Action::kUpdate, 1,
     "passkeys update ID [--name NAME] [--display-name NAME]"},
};

const ActionForm* FindAction(Command command, const std::string& word) {
  for (const ActionForm& form : kActions) {
    if (form.command == command && word == form.word) return &form;
  }
  return nullptr;
}

// The action word and its operands after `fingerprints` or `passkeys`, and the
// options that belong to one action only.
bool CheckAction(Options& options, const std::vector<std::string>& words, std::string& error) {
  const char* family = options.command == Command::kFingerprints ? "fingerprints" : "passkeys";
  if (words.empty()) {
    error = std::string(family) + " needs an action";
    return false;
  }
  const ActionForm* form = FindAction(options.command, words[0]);
  if (form == nullptr) {
    error = "unknown action " + std::string(family) + " " + words[0];
    return false;
  }
  options.action = form->action;
  options.operands.assign(words.begin() + 1, words.end());
  if (options.operands.size() != form->operands) {
    error = std::string("usage: ") + form->usage;
    return false;
  }
  const bool nameAllowed = form->action == Action::kAdd || form->action == Action::kUpdate;
  if ((options.name && !nameAllowed) || (options.displayName && form->action != Action::kUpdate)) {
    error = std::string("usage: ") + form->usage;
    return false;
  }
  if (form->action == Action::kUpdate && !options.name && !options.displayName) {
    error = "passkeys update needs --name or --display-name";
    return false;
  }
  return true;
}

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
  std::vector<std::string> actionWords;
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
    } else if (Matches(arg, "--name")) {
      options.name.emplace();
      if (!TakeValue(args, i, "--name", *options.name, error)) return false;
    } else if (Matches(arg, "--display-name")) {
      options.displayName.emplace();
      if (!TakeValue(args, i, "--display-name", *options.displayName, error)) return false;
    } else if (Matches(arg, "--virtual-keys")) {
      if (!TakeValue(args, i, "--virtual-keys", options.virtualKeyDir, error)) return false;
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else if (options.command == Command::kFingerprints || options.command == Command::kPasskeys) {
      actionWords.push_back(arg);
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
  if ((options.command == Command::kFingerprints || options.command == Command::kPasskeys) &&
      !options.help && !options.version) {
    return CheckAction(options, actionWords, error);
  }
  if (options.name || options.displayName) {
    error = "--name and --display-name belong to fingerprints add and passkeys update";
    return false;
  }
  return true;
}

std::string UsageText() {
  return R"(Usage: pinvale-cli [--device PATH] [--virtual-keys DIR] [--pin-protocol 1|2]
                   [--pin-stdin] [--yes] COMMAND [ACTION ARGUMENTS]

Manages the PIN, the fingerprints and the passkeys of a Pinvale security key.

Commands:
  list         list the keys found (hidraw keys by node) and mark the one used
  info         show the key's PIN, user verification, options and PIN rules
  retries      show how many PIN attempts are left
  set-pin      set the first PIN of a key that has none
  change-pin   change the PIN (asks for the current PIN, then the new one)
  verify-pin   check a PIN against the key
  reset        reset the key to its factory state (needs a touch of the key)
  fingerprints list              list the fingerprints by ID and name
  fingerprints add [--name NAME] enroll a finger sample by sample; Ctrl-C cancels
  fingerprints rename ID NAME    rename a fingerprint
  fingerprints delete ID         delete a fingerprint (asks, or --yes)
  passkeys list                  list the passkeys (ID, site, user and display name)
  passkeys delete ID             delete a passkey (asks, or --yes)
  passkeys update ID [--name NAME] [--display-name NAME]  change a passkey's names

Options:
  --device PATH        use this key: a hidraw node (/dev/hidrawN) or a virtual-key
                       socket; otherwise the first of the maker's product ids present
  --virtual-keys DIR   also look for virtual keys (sockets) in DIR; the environment
                       variable PINVALE_VKEY_DIR does the same
  --pin-protocol N     speak PIN/UV auth protocol N (1 or 2) with the key; refused
                       when the key does not list it. Otherwise the first protocol
                       of the key's list that pinvale-cli speaks, 1 when it lists none
  --pin-stdin          read PINs from standard input, one per line: set-pin,
                       verify-pin, fingerprints and passkeys read one line,
                       change-pin two (current, then new); otherwise PINs are read
                       from the terminal without echo
  --yes                reset or delete without asking; without it they ask on the
                       terminal, and refuse when standard input is not one
  --name NAME          fingerprints add: the new fingerprint's name (at most the
                       key's limit in UTF-8 bytes); passkeys update: the user name
  --display-name NAME  passkeys update: the user's display name
  --help               show this text
  --version            show the version of pinvale-cli

A PIN is 4 to 63 characters (counted in UTF-16 code units) and at most 64 bytes
as UTF-8; a key that asks for a longer minimum (info shows it) gets a new PIN of
at least that many characters, counted in Unicode code points. PINs are never
taken from the command line.

Fingerprints and passkeys need a PIN on the key; each command asks for it once.
A fingerprint ID is the hex the list shows. A passkey ID is the start of the
credential id in hex that the list shows, or any part of at least 4 digits from
the start that names one passkey, or the whole id.

Exit codes:
  0  success
  1  wrong command line
  2  no key found, or it could not be opened, or it was pulled out during the
     command
  3  input refused: a PIN of the wrong length or missing, entries that differ, no
     confirmation (or none possible), a key without a PIN for change-pin,
     verify-pin, fingerprints or passkeys, a key that wants its PIN changed
     first, a --pin-protocol the key does not list, a name over the key's limit,
     an ID the key does not hold, an enrollment cancelled with Ctrl-C
  4  wrong PIN (CTAP status 0x31)
  5  PIN blocked (CTAP status 0x32, or 0x34 until the key is re-plugged)
  6  the key refused the request with another CTAP status (shown in the message),
     such as a new PIN against the key's PIN rules (0x37), or it manages no
     fingerprints or passkeys (a CTAP 2.0 key)
  7  no usable answer from the key (exchange failure 0xABCD, empty answer 0xFF,
     oversized answer 0x03, unusable key agreement 0x12), or a key that speaks
     no PIN protocol pinvale-cli knows
)";
}

}  // namespace pinvale::cli
