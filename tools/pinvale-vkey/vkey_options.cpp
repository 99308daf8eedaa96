#include "vkey_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace pinvale::vkey {

const char kVkeyUsage[] =
    "Usage: pinvale-vkey --dir DIR [options]\n"
    "       pinvale-vkey --emulate-hidraw [--composite] [--control PATH] [options]\n"
    "                    -- COMMAND [ARGS...]\n"
    "\n"
    "Serves a virtual FIDO2 security key for testing FIDO2 software: a CTAP 2.0,\n"
    "2.1-pre or 2.1 authenticator with a PIN, passkeys and a fingerprint sensor\n"
    "(getInfo, clientPIN, reset, makeCredential, getAssertion, getNextAssertion with\n"
    "ES256, credential management and bio enrollment; requests that need the user\n"
    "wait for the touch or the sensor) on the UNIX stream socket\n"
    "DIR/<vid>-<pid>-<label>.sock. Each direction carries raw 64-byte CTAPHID\n"
    "packets. Creating the socket plugs the key in, removing it pulls the key out.\n"
    "Several clients may connect; each connection has its own CTAPHID channels,\n"
    "the key's state (PIN, passkeys, fingerprints) is shared.\n"
    "\n"
    "Options:\n"
    "  --dir DIR              directory of the socket (required)\n"
    "  --vid HEX              USB vendor id (default 3f8c)\n"
    "  --pid HEX              USB product id (default 2d71)\n"
    "  --label NAME           socket label, letters, digits, '.', '_', '-' (default vkey)\n"
    "  --touch MODE           auto: touched --touch-delay ms after the key starts waiting;\n"
    "                         manual: only the 'touch' command touches it;\n"
    "                         never: nobody touches it (default auto)\n"
    "  --touch-delay MS       delay of the automatic touch (default 300)\n"
    "  --touch-timeout MS     a reset with no touch fails with 0x2F after this,\n"
    "                         makeCredential and getAssertion with 0x27 (default 30000)\n"
    "  --reset-window SECONDS reset only this long after power-up, else 0x30; fractions\n"
    "                         allowed (default 10)\n"
    "  --profile VERSION      2.0: CTAP 2.0, PIN protocol 1, one PIN token per power\n"
    "                         cycle, no fingerprint sensor; 2.1-pre: a key of the 2.1\n"
    "                         drafts: PIN protocol 1 as 2.0, a fingerprint sensor,\n"
    "                         the prototype commands 0x40 and 0x41 (FIDO_2_1_PRE);\n"
    "                         2.1: CTAP 2.1, PIN/UV auth protocols 2 and 1, tokens\n"
    "                         with permissions (clientPIN 0x09, 0x06), minPINLength\n"
    "                         and forcePINChange in getInfo, the sensor, and both the\n"
    "                         final 0x09 and 0x0A and the prototype commands\n"
    "                         (default 2.0)\n"
    "  --pin-protocols LIST   2.1: the protocols in order of preference, comma-separated,\n"
    "                         e.g. 2 for a protocol-2-only key (default 2,1)\n"
    "  --min-pin-length N     setPIN and changePIN refuse (0x37) a PIN of fewer than N\n"
    "                         Unicode code points, 4 to 63; 2.1 shows it in getInfo\n"
    "                         (default: 2.1 4, 2.0 only its floor of 4 bytes)\n"
    "  --force-pin-change     2.1, with --pin: the key wants a new PIN; token requests\n"
    "                         with the right PIN answer 0x37 until a changePIN\n"
    "  --capacity N           the passkeys (discoverable credentials) the key stores,\n"
    "                         1 to 100; one more answers 0x28 (default 25)\n"
    "  --pin PIN              the PIN the key has at start (default none); with a\n"
    "                         --state file that exists, the file's PIN counts\n"
    "  --state FILE           keep the key's state in FILE across runs: its PIN and\n"
    "                         retries, passkeys, fingerprints and secrets, written\n"
    "                         after every change (mode 0600). A missing FILE starts\n"
    "                         a fresh key; a damaged or foreign one is refused (exit 2)\n"
    "                         and left as it is. A test key's secrets, not protected\n"
    "                         beyond the file's mode (default: in memory only)\n"
    "  --uv                   advertise \"uv\": true in getInfo\n"
    "  --keepalive-interval MS  keepalive period while waiting for a touch (default 75)\n"
    "  --message-timeout MS   a message whose packets stop coming fails with\n"
    "                         ERR_MSG_TIMEOUT after this (default 500)\n"
    "  --processing-delay MS  a slow key: answers (but those after a touch) come this\n"
    "                         late, with \"processing\" keepalives meanwhile (default 0)\n"
    "  --fault NAME[=ARG]     make the key misbehave; may be repeated. CMD, SUB and CODE\n"
    "                         are hex, N decimal; CMD[/SUB] limits a fault to one CTAP2\n"
    "                         command (and clientPIN subcommand):\n"
    "      no-answer[=CMD[/SUB]]  answer nothing (without a filter: nothing at all)\n"
    "      garbage[=CMD[/SUB]]    answer with one report of random bytes\n"
    "      status=CMD[/SUB]:CODE  answer with status CODE alone, e.g. status=06/03:02\n"
    "      pull-out=N             pull the key out when its Nth packet since power-up\n"
    "                             arrives\n"
    "      zero-length[=N]        N packets with a zero length field before each answer\n"
    "                             (default 3)\n"
    "      keepalive-storm[=N]    N keepalives before each answer (default 50)\n"
    "      stray[=N]              another program's traffic: N packets on other channels\n"
    "                             before each answer, INIT's too (default 1), and one\n"
    "                             between each two packets of an answer\n"
    "      no-y                   getKeyAgreement's COSE key lacks -3\n"
    "  --help                 this text\n"
    "  --version              the version of pinvale-vkey\n"
    "\n"
    "With --emulate-hidraw the key is plugged in as an emulated USB hidraw device\n"
    "(umockdev: sysfs, udev events and /dev/hidrawN as COMMAND sees them) and COMMAND\n"
    "runs with the emulation, on the same standard input, output and error;\n"
    "pinvale-vkey exits with COMMAND's exit code. Any hidraw client works, e.g.\n"
    "  pinvale-vkey --emulate-hidraw -- pinvale-cli info\n"
    "  pinvale-vkey --emulate-hidraw -- fido2-token -L\n"
    "  --composite            a keyboard interface first, then the FIDO interface\n"
    "  --control PATH         read the commands below from the FIFO PATH (made when\n"
    "                         missing, and then removed at exit), e.g.\n"
    "                         echo unplug > PATH; the answers go to standard error\n"
    "\n"
    "Commands on standard input, one per line:\n"
    "  touch    touch the key (counts while a request waits for it);\n"
    "           on a 2.1 or 2.1-pre key also a good sample for the fingerprint sensor\n"
    "           and an enrolled finger\n"
    "  sample NAME   the sensor reads a bad sample: too-high, too-low, too-left,\n"
    "           too-right, too-fast, too-slow, poor-quality, too-skewed, too-short,\n"
    "           merge-failure or already-exists (an enrolment answers it and goes on)\n"
    "  no-finger     the sensor reads no finger: an enrolment answers \"no user\n"
    "           activity\", a match fails with 0x2F\n"
    "  wrong-finger  a finger that is not enrolled: a match fails with 0x3F and costs a\n"
    "           retry (an enrolment takes it as a good sample)\n"
    "           The sensor commands apply to the sensor's wait, or to the next ones\n"
    "           when it does not wait; with --touch auto the automatic touch comes\n"
    "           after them\n"
    "  unplug   pull the key out: removes the socket, drops connections, keeps the state\n"
    "  plug     plug it in again: a power cycle (the reset window restarts, the\n"
    "           three-wrong-PINs block clears), the socket comes back\n"
    "  status   print the PIN state, the retries, the passkeys and fingerprints held\n"
    "  quit     remove the socket and exit\n"
    "At the end of standard input the key keeps serving. SIGTERM and SIGINT exit\n"
    "cleanly and remove the socket.\n"
    "\n"
    "Output: \"ready <socket path>\" once the socket listens (again after each plug),\n"
    "\"unplugged\" after unplug, and for status a line like\n"
    "\"status plugged=yes pin=set retries=8 wrong-in-a-row=0 waiting-for-touch=no\n"
    "force-pin-change=no\" (on one line).\n"
    "With --emulate-hidraw standard input belongs to COMMAND: the commands come from\n"
    "--control PATH, unplug and plug remove and add the hidraw device, stall makes\n"
    "it take no more reports (a write waits up to 5 s, until unstall or unplug), and\n"
    "quit ends COMMAND (SIGTERM).\n";

namespace {

bool ParseHex16(const std::string& text, std::uint16_t& value) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 4) return false;
  char* end = nullptr;
  unsigned long parsed = std::strtoul(digits.c_str(), &end, 16);
  if (*end != '\0' || digits[0] == '-' || digits[0] == '+') return false;
  value = static_cast<std::uint16_t>(parsed);
  return true;
}

bool ParseMs(const std::string& text, int& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  char* end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || parsed > 24L * 3600 * 1000) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool ParseProtocols(const std::string& text, std::vector<std::uint8_t>& protocols) {
  protocols.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    if (item != "1" && item != "2") return false;
    const std::uint8_t protocol = static_cast<std::uint8_t>(item[0] - '0');
    for (std::uint8_t seen : protocols) {
      if (seen == protocol) return false;
    }
    protocols.push_back(protocol);
    start = comma + 1;
  }
  return !protocols.empty();
}

bool ValidLabel(const std::string& label) {
  if (label.empty() || label.size() > 64) return false;
  for (char c : label) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool ParseVkeyOptions(const std::vector<std::string>& args, VkeyOptions& options,
                      std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return true;
    }
    if (arg == "--version") {
      options.version = true;
      return true;
    }
    if (arg == "--uv") {
      options.config.uv = true;
      continue;
    }
    if (arg == "--force-pin-change") {
      options.config.forcePinChange = true;
      continue;
    }
    if (arg == "--emulate-hidraw") {
      options.emulateHidraw = true;
      continue;
    }
    if (arg == "--composite") {
      options.composite = true;
      continue;
    }
    if (arg == "--") {
      options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    static const char* const kWithValue[] = {"--dir",
                                             "--vid",
                                             "--pid",
                                             "--label",
                                             "--touch",
                                             "--touch-delay",
                                             "--touch-timeout",
                                             "--reset-window",
                                             "--pin",
                                             "--state",
                                             "--profile",
                                             "--pin-protocols",
                                             "--min-pin-length",
                                             "--capacity",
                                             "--fault",
                                             "--keepalive-interval",
                                             "--message-timeout",
                                             "--processing-delay",
                                             "--control"};
    bool known = false;
    for (const char* name : kWithValue) known = known || arg == name;
    if (!known) {
      error = "unknown option: " + arg;
      return false;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    bool ok = true;
    if (arg == "--dir") {
      options.dir = value;
      ok = !value.empty();
    } else if (arg == "--control") {
      options.controlPath = value;
      ok = !value.empty();
    } else if (arg == "--vid") {
      ok = ParseHex16(value, options.config.vendorId);
    } else if (arg == "--pid") {
      ok = ParseHex16(value, options.config.productId);
    } else if (arg == "--label") {
      options.label = value;
      ok = ValidLabel(value);
    } else if (arg == "--touch") {
      if (value == "auto") {
        options.config.touchMode = TouchMode::kAutomatic;
      } else if (value == "manual") {
        options.config.touchMode = TouchMode::kOnDemand;
      } else if (value == "never") {
        options.config.touchMode = TouchMode::kNever;
      } else {
        ok = false;
      }
    } else if (arg == "--touch-delay") {
      ok = ParseMs(value, options.config.touchDelayMs);
    } else if (arg == "--touch-timeout") {
      ok = ParseMs(value, options.config.userPresenceTimeoutMs);
    } else if (arg == "--keepalive-interval") {
      ok = ParseMs(value, options.config.keepaliveIntervalMs) &&
           options.config.keepaliveIntervalMs > 0;
    } else if (arg == "--message-timeout") {
      ok = ParseMs(value, options.config.messageTimeoutMs) && options.config.messageTimeoutMs > 0;
    } else if (arg == "--processing-delay") {
      ok = ParseMs(value, options.config.processingDelayMs);
    } else if (arg == "--reset-window") {
      char* end = nullptr;
      const double seconds = std::strtod(value.c_str(), &end);
      ok = !value.empty() && *end == '\0' && std::isfinite(seconds) && seconds >= 0 &&
           seconds <= 24 * 3600;
      if (ok) options.config.resetWindowMs = static_cast<int>(std::lround(seconds * 1000));
    } else if (arg == "--pin") {
      options.config.initialPin = value;
      ok = value.size() >= 4 && value.size() <= 63;
    } else if (arg == "--state") {
      options.statePath = value;
      ok = !value.empty();
    } else if (arg == "--profile") {
      if (value == "2.0") {
        options.config.profile = CtapProfile::kCtap20;
      } else if (value == "2.1-pre") {
        options.config.profile = CtapProfile::kCtap21Pre;
      } else if (value == "2.1") {
        options.config.profile = CtapProfile::kCtap21;
      } else {
        ok = false;
      }
    } else if (arg == "--pin-protocols") {
      ok = ParseProtocols(value, options.config.pinProtocols);
    } else if (arg == "--min-pin-length") {
      int length = 0;
      ok = ParseMs(value, length) && length >= 4 && length <= 63;
      options.config.minPinLength = length;
    } else if (arg == "--capacity") {
      int capacity = 0;
      ok = ParseMs(value, capacity) && capacity >= 1 && capacity <= 100;
      options.config.capacity = capacity;
    } else if (arg == "--fault") {
      VirtualKeyFault fault;
      ok = ParseFault(value, fault);
      if (ok) options.config.faults.push_back(fault);
    }
    if (!ok) {
      error = "bad value for " + arg + ": " + value;
      return false;
    }
  }
  const bool ctap21 = options.config.profile == CtapProfile::kCtap21;
  if (!ctap21 && (!options.config.pinProtocols.empty() || options.config.forcePinChange)) {
    error = "--pin-protocols and --force-pin-change need --profile 2.1";
    return false;
  }
  if (options.config.forcePinChange && options.config.initialPin.empty()) {
    error = "--force-pin-change needs --pin: a key without a PIN has none to change";
    return false;
  }
  if (options.emulateHidraw) {
    if (options.command.empty()) {
      error = "--emulate-hidraw needs a command after --";
      return false;
    }
    return true;
  }
  if (options.composite || !options.controlPath.empty() || !options.command.empty()) {
    error = "--composite, --control and a command go with --emulate-hidraw";
    return false;
  }
  if (options.dir.empty()) {
    error = "--dir DIR is required";
    return false;
  }
  return true;
}

namespace {

// The lastEnrollSampleStatus of each bad sample, 0x01 up.
const char* const kSampleNames[] = {"too-high",  "too-low",       "too-left",      "too-right",
                                    "too-fast",  "too-slow",      "poor-quality",  "too-skewed",
                                    "too-short", "merge-failure", "already-exists"};

}  // namespace

SensorCommand ParseSensorCommand(const std::string& command, SensorInput& input,
                                 std::string& answer) {
  if (command == "no-finger") {
    input = {UserAction::kNoFinger, 0};
    answer = "no finger";
    return SensorCommand::kInput;
  }
  if (command == "wrong-finger") {
    input = {UserAction::kOtherFinger, 0};
    answer = "wrong finger";
    return SensorCommand::kInput;
  }
  if (command != "sample" && command.rfind("sample ", 0) != 0) return SensorCommand::kNone;
  const std::string name = command.size() > 7 ? command.substr(7) : std::string();
  std::string known;
  for (std::size_t i = 0; i < std::size(kSampleNames); ++i) {
    if (name == kSampleNames[i]) {
      input = {UserAction::kBadSample, static_cast<std::uint8_t>(i + 1)};
      answer = "bad sample " + name;
      return SensorCommand::kInput;
    }
    known += (i == 0 ? "" : ", ");
    known += kSampleNames[i];
  }
  answer = "unknown sample '";
  answer += name;
  answer += "' (";
  answer += known;
  answer += ")";
  return SensorCommand::kMalformed;
}

std::string StatusLine(const VirtualKeyStatus& status) {
  return std::string("status plugged=") + (status.plugged ? "yes" : "no") +
         " pin=" + (status.pinSet ? "set" : "none") + " retries=" + std::to_string(status.retries) +
         " wrong-in-a-row=" + std::to_string(status.consecutiveFailures) +
         " waiting-for-touch=" + (status.waitingForTouch ? "yes" : "no") +
         " force-pin-change=" + (status.forcePinChange ? "yes" : "no") +
         " waiting-for-finger=" + (status.waitingForFinger ? "yes" : "no") +
         " passkeys=" + std::to_string(status.passkeys) +
         " fingerprints=" + std::to_string(status.fingerprints);
}

std::string SocketPathFor(const VkeyOptions& options) {
  char name[32];
  std::snprintf(name, sizeof name, "%04x-%04x-", options.config.vendorId, options.config.productId);
  return options.dir + "/" + name + options.label + ".sock";
}

}  // namespace pinvale::vkey
