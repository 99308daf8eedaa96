#include "cli_commands.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "ctap/get_info.h"
#include "ctap/pin_protocol.h"
#include "ctap/pin_text.h"
#include "ctap/reset.h"
#include "transport/hid_device_list.h"
#include "transport/maker_ids.h"
#include "version/pinvale_version.h"

namespace pinvale::cli {

namespace {

constexpr int kPinInvalid = 0x31;
constexpr int kPinBlocked = 0x32;
constexpr int kPinAuthBlocked = 0x34;
constexpr int kOperationDenied = 0x27;
constexpr int kNotAllowed = 0x30;
constexpr int kActionTimeout = 0x2F;
constexpr int kPinAuthInvalid = 0x33;

// A key of the maker is there, but its node would not open: on Linux that is the
// missing udev rule nearly always.
constexpr std::string_view kNoAccessText =
    "A key is plugged in, but this account may not open it. Install the udev rule "
    "70-pinvale.rules (see the README) and re-plug the key.\n";

std::string NoKeyText(const std::string& devicePath) {
  if (HidAccessFailureFlag()) return std::string(kNoAccessText);
  return devicePath.empty() ? "No key found.\n" : "No key at " + devicePath + ".\n";
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// The codes that mean the key gave no usable answer at all, as opposed to a
// CTAP status it chose.
bool IsExchangeFailure(int code) {
  return code == kExchangeFailed || code == kEmptyAnswer || code == kAnswerTooLarge ||
         code == kKeyAgreementUnusable || code < 0;
}

int ExitFor(int code) {
  if (code == 0) return kExitOk;
  if (code == kPinInvalid) return kExitWrongPin;
  if (code == kPinBlocked || code == kPinAuthBlocked) return kExitPinBlocked;
  if (IsExchangeFailure(code)) return kExitExchangeFailed;
  return kExitKeyRefused;
}

std::string ExchangeFailureText(int code) {
  if (code == kExchangeFailed) return "The key did not answer (status " + StatusText(code) + ").";
  if (code == kEmptyAnswer)
    return "The key sent an empty answer (status " + StatusText(code) + ").";
  if (code == kAnswerTooLarge) {
    return "The key's answer did not fit (status " + StatusText(code) + ").";
  }
  if (code == kKeyAgreementUnusable) {
    return "The key's key agreement could not be used (status " + StatusText(code) + ").";
  }
  return "The key agreement with the key failed (mbedTLS error " + StatusText(code) + ").";
}

std::string LockedText(int code) {
  if (code == kPinAuthBlocked) {
    return "The key is locked after too many wrong PINs (status " + StatusText(code) +
           "). Re-plug the key and try again.";
  }
  return "The key is locked (status " + StatusText(code) + "). Reset it to use it again.";
}

// Checks a PIN as the dialogs do: 4 to 63 UTF-16 units. A new PIN must also fit
// the key's 64-byte PIN block.
bool CheckPin(Console& console, const SecretBytes& pin, bool isNewPin) {
  std::size_t units = 0;
  if (pin.size() > kPinLineLimit) {
    console.Err("Your PIN must be at most 63 characters.\n");
    return false;
  }
  if (!CountUtf16Units(pin, units)) {
    console.Err("The PIN is not valid UTF-8 text.\n");
    return false;
  }
  switch (CheckPinLength(units)) {
    case PinLengthCheck::kEmpty:
      console.Err("Provide a PIN.\n");
      return false;
    case PinLengthCheck::kTooShort:
      console.Err("Your PIN must be at least 4 characters.\n");
      return false;
    case PinLengthCheck::kTooLong:
      console.Err("Your PIN must be at most 63 characters.\n");
      return false;
    case PinLengthCheck::kOk:
      break;
  }
  if (isNewPin && pin.size() > kNewPinBlockSize) {
    console.Err("Your PIN must be at most 64 bytes in UTF-8; use fewer non-ASCII characters.\n");
    return false;
  }
  return true;
}

bool ReadPin(Console& console, const Options& options, std::string_view prompt, SecretBytes& pin,
             bool isNewPin) {
  if (!console.ReadPin(prompt, pin)) {
    console.Err(options.pinStdin ? "No PIN on standard input.\n" : "No PIN entered.\n");
    return false;
  }
  return CheckPin(console, pin, isNewPin);
}

// A new PIN: typed twice on a terminal, given once on standard input.
bool ReadNewPin(Console& console, const Options& options, SecretBytes& pin) {
  if (!ReadPin(console, options, "New PIN: ", pin, true)) return false;
  if (options.pinStdin) return true;
  SecretBytes again;
  if (!ReadPin(console, options, "Repeat the new PIN: ", again, true)) return false;
  if (again.size() != pin.size() ||
      !std::equal(pin.data(), pin.data() + pin.size(), again.data())) {
    console.Err("The new PINs do not match.\n");
    return false;
  }
  return true;
}

// After a wrong PIN, how many attempts are left. A count the key did not report
// is not shown: 0 would read as a locked key.
std::string AttemptsLeft(CFidoToken& token) {
  std::uint32_t retries = 0;
  if (!ReadPinRetries(token, retries)) return " The attempts left could not be read.";
  return Format(" %u attempt%s left.", retries, retries == 1 ? "" : "s");
}

// The outcome of a request that carried a PIN: wrong PIN, locked, or other.
int ReportPinFailure(Console& console, CFidoToken& token, const char* what, int code) {
  if (code == kPinInvalid) {
    console.Err("Wrong PIN (status " + StatusText(code) + ")." + AttemptsLeft(token) + "\n");
  } else if (code == kPinBlocked || code == kPinAuthBlocked) {
    console.Err(LockedText(code) + "\n");
  } else if (IsExchangeFailure(code)) {
    console.Err(ExchangeFailureText(code) + "\n");
  } else {
    console.Err(std::string(what) + " failed (status " + StatusText(code) + ").\n");
  }
  return ExitFor(code);
}

int ReportKeyAgreementFailure(Console& console, int code) {
  if (code == kNewPinTooLong) {
    console.Err("The new PIN does not fit the key: at most 64 bytes in UTF-8 (status " +
                StatusText(code) + ").\n");
    return kExitInputRefused;
  }
  console.Err(ExchangeFailureText(code) + "\n");
  return kExitExchangeFailed;
}

// Reads getInfo; false (with the message printed) when the key cannot answer.
bool ReadInfo(Console& console, CFidoToken& token, TokenInfo& info, int& exitCode) {
  info = TokenInfo{};
  const std::uint16_t status = GetInfo(token, info);
  if (status == 0) return true;
  if (IsExchangeFailure(status)) {
    console.Err(ExchangeFailureText(status) + "\n");
  } else {
    console.Err("The key refused to describe itself (status " + StatusText(status) + ").\n");
  }
  exitCode = ExitFor(status);
  return false;
}

int Info(Console& console, CFidoToken& token, std::uint16_t productId) {
  TokenInfo info;
  int exitCode = kExitOk;
  if (!ReadInfo(console, token, info, exitCode)) return exitCode;
  console.Out(Format("Key %04x:%04x\n", kMakerVendorId, productId));
  console.Out(info.pinSet ? "PIN: set\n" : "PIN: not set\n");
  console.Out(info.uvSet ? "User verification: configured\n"
                         : "User verification: not configured\n");
  return kExitOk;
}

int Retries(Console& console, CFidoToken& token) {
  std::uint32_t retries = 0;
  const int status = QueryPinRetriesWithStatus(token, retries);
  if (status != 0) return ReportPinFailure(console, token, "Reading the PIN attempts", status);
  console.Out(Format("%u PIN attempt%s left.\n", retries, retries == 1 ? "" : "s"));
  return kExitOk;
}

// Proves a freshly set PIN once, as the PIN windows do; the PIN is in place
// whatever this step answers.
void ProveNewPin(Console& console, CFidoToken& token, const SecretBytes& pin) {
  const PinTokenResult proof = ObtainPinToken(token, pin);
  if (!proof.requestSent || proof.code != 0 || !proof.tokenPresent) {
    console.Err("Note: the key did not confirm the new PIN (status " + StatusText(proof.code) +
                ").\n");
  }
}

int SetPin(Console& console, const Options& options, CFidoToken& token) {
  TokenInfo info;
  int exitCode = kExitOk;
  if (!ReadInfo(console, token, info, exitCode)) return exitCode;
  if (info.pinSet) {
    console.Err("The key already has a PIN; use change-pin.\n");
    return kExitInputRefused;
  }
  SecretBytes pin;
  if (!ReadNewPin(console, options, pin)) return kExitInputRefused;
  const PinRequestResult result = SendSetPin(token, pin);
  if (!result.requestSent) return ReportKeyAgreementFailure(console, result.code);
  if (result.code != 0) return ReportPinFailure(console, token, "Setting the PIN", result.code);
  ProveNewPin(console, token, pin);
  console.Out("PIN set.\n");
  return kExitOk;
}

int ChangePin(Console& console, const Options& options, CFidoToken& token) {
  TokenInfo info;
  int exitCode = kExitOk;
  if (!ReadInfo(console, token, info, exitCode)) return exitCode;
  if (!info.pinSet) {
    console.Err("The key has no PIN yet; use set-pin.\n");
    return kExitInputRefused;
  }
  SecretBytes current;
  if (!ReadPin(console, options, "Current PIN: ", current, false)) return kExitInputRefused;
  SecretBytes fresh;
  if (!ReadNewPin(console, options, fresh)) return kExitInputRefused;
  const PinRequestResult result = SendChangePin(token, current, fresh);
  if (!result.requestSent) return ReportKeyAgreementFailure(console, result.code);
  if (result.code != 0) return ReportPinFailure(console, token, "Changing the PIN", result.code);
  ProveNewPin(console, token, fresh);
  console.Out("PIN changed.\n");
  return kExitOk;
}

int VerifyPin(Console& console, const Options& options, CFidoToken& token) {
  SecretBytes pin;
  if (!ReadPin(console, options, "PIN: ", pin, false)) return kExitInputRefused;
  const PinTokenResult result = ObtainPinToken(token, pin);
  if (!result.requestSent) return ReportKeyAgreementFailure(console, result.code);
  if (result.code != 0) return ReportPinFailure(console, token, "Verifying the PIN", result.code);
  if (!result.tokenPresent) {
    // Status 0 without the token that proves it: not a verification, as in the
    // verify-PIN dialog, which says the same.
    console.Err(
        "The key's answer was not understood: it held no PIN token, so the PIN could "
        "not be verified (status " +
        StatusText(kEmptyAnswer) + ").\n");
    return kExitExchangeFailed;
  }
  console.Out("PIN verified.\n");
  return kExitOk;
}

int Reset(Console& console, const Options& options, CFidoToken& token) {
  if (!options.yes && console.InputIsTerminal()) {
    console.Err(
        "Reset the key to its factory settings? Its PIN and all its data will be cleared.\n"
        "Some keys can only be reset in the first 10 seconds after they are plugged in.\n");
    std::string answer;
    if (!console.ReadAnswer("Type \"yes\" to reset: ", answer) || answer != "yes") {
      console.Err("Nothing was reset.\n");
      return kExitInputRefused;
    }
  }
  console.Err("Touch the key to confirm the reset.\n");
  const int status = SendReset(token);
  if (status == 0) {
    console.Out("Key reset.\n");
    return kExitOk;
  }
  if (status == kNotAllowed || status == kOperationDenied) {
    console.Err("The key refused the reset (status " + StatusText(status) +
                "). Some keys can only be reset in the first 10 seconds after they are plugged "
                "in: re-plug the key and try again.\n");
  } else if (status == kActionTimeout || status == kPinAuthInvalid) {
    console.Err("The key was not touched in time (status " + StatusText(status) + ").\n");
  } else if (IsExchangeFailure(status)) {
    console.Err(ExchangeFailureText(status) + "\n");
  } else {
    console.Err("Reset failed (status " + StatusText(status) + ").\n");
  }
  return ExitFor(status);
}

int List(Console& console, const std::shared_ptr<HidPlatform>& platform) {
  const std::vector<KeyFound> keys = ListKeys(platform);
  if (keys.empty()) {
    console.Err(NoKeyText(""));
    return kExitNoKey;
  }
  for (const KeyFound& key : keys) {
    console.Out(Format("%04x:%04x  %s%s\n", key.vendorId, key.productId, key.path.c_str(),
                       key.chosen ? "  (used)" : ""));
  }
  return kExitOk;
}

}  // namespace

std::string StatusText(int code) {
  if (code < 0) return Format("-0x%04X", static_cast<unsigned>(-code));
  if (code > 0xFF) return Format("0x%04X", static_cast<unsigned>(code));
  return Format("0x%02X", static_cast<unsigned>(code));
}

int RunCommand(const Options& options, Console& console, const PlatformFactory& platforms) {
  if (options.help) {
    console.Out(UsageText());
    return kExitOk;
  }
  if (options.version) {
    console.Out(std::string("pinvale-cli ") + kVersion + "\n");
    return kExitOk;
  }
  const std::shared_ptr<HidPlatform> platform =
      ChoosePlatform(platforms, options.devicePath, options.virtualKeyDir);
  ClearHidAccessFailureFlag();
  if (options.command == Command::kList) return List(console, platform);

  CFidoToken token(platform);
  std::uint16_t productId = 0;
  if (!ConnectKey(token, !options.devicePath.empty(), productId)) {
    console.Err(NoKeyText(options.devicePath));
    return kExitNoKey;
  }
  switch (options.command) {
    case Command::kInfo:
      return Info(console, token, productId);
    case Command::kRetries:
      return Retries(console, token);
    case Command::kSetPin:
      return SetPin(console, options, token);
    case Command::kChangePin:
      return ChangePin(console, options, token);
    case Command::kVerifyPin:
      return VerifyPin(console, options, token);
    case Command::kReset:
      return Reset(console, options, token);
    case Command::kList:
    case Command::kNone:
      break;
  }
  return kExitUsage;
}

int RunCli(const std::vector<std::string>& args, const std::string& envVkeyDir, Console& console,
           const PlatformFactory& platforms) {
  Options options;
  std::string error;
  if (!ParseArguments(args, options, error)) {
    console.Err("pinvale-cli: " + error + "\nTry pinvale-cli --help.\n");
    return kExitUsage;
  }
  if (options.virtualKeyDir.empty()) options.virtualKeyDir = envVkeyDir;
  return RunCommand(options, console, platforms);
}

}  // namespace pinvale::cli
