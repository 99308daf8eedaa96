#include "cli_commands.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "cli_fingerprints.h"
#include "cli_key_info.h"
#include "cli_passkeys.h"
#include "cli_shared.h"
#include "ctap/authenticator_info.h"
#include "ctap/pin_protocol.h"
#include "ctap/pin_protocol_choice.h"
#include "ctap/pin_text.h"
#include "ctap/pin_token.h"
#include "ctap/reset.h"
#include "transport/hid_device_list.h"
#include "transport/hidraw_path.h"
#include "transport/maker_ids.h"
#include "version/pinvale_version.h"

namespace pinvale::cli {

namespace {

int Info(Console& console, Key& key, std::uint16_t productId) {
  AuthenticatorInfo info;
  int exitCode = kExitOk;
  if (!ReadInfo(console, key, info, exitCode)) return exitCode;
  console.Out(Format("Key %04x:%04x\n", kMakerVendorId, productId));
  console.Out(info.OptionTrue("clientPin") ? "PIN: set\n" : "PIN: not set\n");
  console.Out(info.OptionTrue("uv") ? "User verification: configured\n"
                                    : "User verification: not configured\n");
  console.Out(DescribeKeyInfo(info));
  return kExitOk;
}

int Retries(Console& console, const Options& options, Key& key) {
  KeySetup setup;
  int exitCode = kExitOk;
  if (!PrepareKey(console, options, key, setup, exitCode)) return exitCode;
  const PinRetriesReading answer = ReadPinRetriesAnswer(key.token, *setup.protocol);
  const int status = key.Checked(answer.status);
  if (status != 0) {
    return ReportPinFailure(console, key, setup, "Reading the PIN attempts", status);
  }
  if (!answer.countRead) {
    // One key sends -61 before a PIN is set: that is no count, and surely not 0.
    console.Err(std::string("The key's answer held ") +
                (answer.countMalformed ? "something other than a count" : "no count") +
                ", so the PIN attempts left could not be read.\n");
    return kExitExchangeFailed;
  }
  console.Out(Format("%u PIN attempt%s left.\n", answer.retries, answer.retries == 1 ? "" : "s"));
  return kExitOk;
}

// Proves a freshly set PIN once, as the PIN windows do; the PIN is in place
// whatever this step answers. The key has just taken a new PIN, which ends any
// request of its to change it.
void ProveNewPin(Console& console, Key& key, const KeySetup& setup, const SecretBytes& pin) {
  AuthenticatorInfo changed = setup.info;
  changed.forcePinChange = false;
  const PinRequestResult proof = pinvale::VerifyPin(key.token, changed, *setup.protocol, pin);
  if (proof.requestSent && proof.code == 0) return;
  if (key.Checked(proof.code) == kPulledOut) {
    console.Err("Note: the key was pulled out before it confirmed the new PIN.\n");
    return;
  }
  console.Err("Note: the key did not confirm the new PIN (status " + StatusText(proof.code) +
              ").\n");
}

// A setPIN or changePIN that went out and got no answer because the key was
// pulled out may or may not have taken effect; the user is told how to see.
int ReportPinChangeCut(Console& console, std::string_view howToSee) {
  console.Err(std::string(kPulledOutText) + " Plug it in again; " + std::string(howToSee) + ".\n");
  return kExitNoKey;
}

// The outcome of a setPIN or changePIN the key refused. 0x37 is the key's own PIN
// rules at work: it costs no attempt and says nothing about the current PIN.
int ReportNewPinRefused(Console& console, Key& key, const KeySetup& setup, const char* what,
                        int code) {
  if (code != kPinPolicyViolation) return ReportPinFailure(console, key, setup, what, code);
  std::string rules;
  if (setup.MinimumAbove4() > 0) {
    rules = Format(" (it asks for at least %u characters)", setup.MinimumAbove4());
  }
  console.Err("The key refused the new PIN by its own PIN rules" + rules + " (status " +
              StatusText(code) + "). No PIN attempt was used; choose another PIN.\n");
  return ExitFor(code);
}

int SetPin(Console& console, const Options& options, Key& key) {
  KeySetup setup;
  int exitCode = kExitOk;
  if (!PrepareKey(console, options, key, setup, exitCode)) return exitCode;
  if (setup.PinSet()) {
    console.Err("The key already has a PIN; use change-pin.\n");
    return kExitInputRefused;
  }
  SecretBytes pin;
  if (!ReadNewPin(console, options, setup, NoPinText(options), pin)) return kExitInputRefused;
  const PinRequestResult result = SendSetPin(key.token, *setup.protocol, pin);
  const int code = key.Checked(result.code);
  if (!result.requestSent) return ReportKeyAgreementFailure(console, code);
  if (code == kPulledOut) return ReportPinChangeCut(console, "info tells whether the PIN was set");
  if (code != 0) return ReportNewPinRefused(console, key, setup, "Setting the PIN", code);
  ProveNewPin(console, key, setup, pin);
  console.Out("PIN set.\n");
  return kExitOk;
}

int ChangePin(Console& console, const Options& options, Key& key) {
  KeySetup setup;
  int exitCode = kExitOk;
  if (!PrepareKeyWithPin(console, options, key, setup, exitCode)) return exitCode;
  SecretBytes current;
  if (!ReadPin(console, "Current PIN: ", NoPinText(options), current, false)) {
    return kExitInputRefused;
  }
  // A script that gives one line has given the current PIN only.
  const std::string_view noNewPin =
      options.pinStdin ? "The new PIN is missing: change-pin reads two lines from standard "
                         "input, the current PIN and then the new one.\n"
                       : "No new PIN entered.\n";
  SecretBytes fresh;
  if (!ReadNewPin(console, options, setup, noNewPin, fresh)) return kExitInputRefused;
  const PinRequestResult result = SendChangePin(key.token, *setup.protocol, current, fresh);
  const int code = key.Checked(result.code);
  if (!result.requestSent) return ReportKeyAgreementFailure(console, code);
  if (code == kPulledOut) {
    return ReportPinChangeCut(console, "verify-pin tells which PIN it has");
  }
  if (code != 0) return ReportNewPinRefused(console, key, setup, "Changing the PIN", code);
  ProveNewPin(console, key, setup, fresh);
  console.Out("PIN changed.\n");
  return kExitOk;
}

int VerifyPin(Console& console, const Options& options, Key& key) {
  // Asked first, so that nobody types a PIN for a key that has none.
  KeySetup setup;
  int exitCode = kExitOk;
  if (!PrepareKeyWithPin(console, options, key, setup, exitCode)) return exitCode;
  if (setup.info.forcePinChange) {
    // Such a key may answer even the right PIN with 0x31: no PIN is risked on it.
    console.Err("The key wants its PIN changed before it is used; use change-pin first.\n");
    return kExitInputRefused;
  }
  SecretBytes pin;
  if (!ReadPin(console, "PIN: ", NoPinText(options), pin, false)) return kExitInputRefused;
  const PinRequestResult result = pinvale::VerifyPin(key.token, setup.info, *setup.protocol, pin);
  const int code = key.Checked(result.code);
  if (!result.requestSent) {
    if (code == kNoPermissionSupported) {
      console.Err("The key offers no way to check a PIN that pinvale-cli knows (status " +
                  StatusText(code) + ").\n");
      return kExitKeyRefused;
    }
    return ReportKeyAgreementFailure(console, code);
  }
  if (code == kPinNotSet) {
    // The key said otherwise in getInfo a moment ago; its answer now is the one
    // that counts.
    console.Err(kNoPinText);
    return kExitInputRefused;
  }
  if (code == kPinAnswerNotUnderstood) {
    // Status 0 without a token that proves it: not a verification, as in the
    // verify-PIN dialog, which says the same.
    console.Err(
        "The key's answer was not understood: it held no PIN token, so the PIN could "
        "not be verified (status " +
        StatusText(kEmptyAnswer) + ").\n");
    return kExitExchangeFailed;
  }
  if (code != 0) return ReportPinFailure(console, key, setup, "Verifying the PIN", code);
  console.Out("PIN verified.\n");
  return kExitOk;
}

int Reset(Console& console, const Options& options, Key& key) {
  if (!options.yes) {
    // Erasing a key is never done on a question nobody could read: a script
    // says --yes.
    if (!console.InputIsTerminal()) {
      console.Err(
          "Nothing was reset: standard input is not a terminal to confirm on. Use --yes to "
          "reset without asking.\n");
      return kExitInputRefused;
    }
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
  const int status = key.Checked(SendReset(key.token));
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
    // A hidraw key by its node, as --device takes it; other paths as listed.
    std::string shown;
    if (!ParseHidrawPath(key.path, shown)) shown = key.path;
    console.Out(Format("%04x:%04x  %s%s\n", key.vendorId, key.productId, shown.c_str(),
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
  Key key{token, *platform};
  switch (options.command) {
    case Command::kInfo:
      return Info(console, key, productId);
    case Command::kRetries:
      return Retries(console, options, key);
    case Command::kSetPin:
      return SetPin(console, options, key);
    case Command::kChangePin:
      return ChangePin(console, options, key);
    case Command::kVerifyPin:
      return VerifyPin(console, options, key);
    case Command::kReset:
      return Reset(console, options, key);
    case Command::kFingerprints:
      return Fingerprints(console, options, key);
    case Command::kPasskeys:
      return Passkeys(console, options, key);
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
