#include "cli_shared.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "cli_commands.h"
#include "ctap/pin_protocol_choice.h"
#include "ctap/pin_text.h"
#include "transport/hid_device_list.h"

namespace pinvale::cli {

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
         code == kKeyAgreementUnusable || code == kNoSupportedPinProtocol || code == kPulledOut ||
         code < 0;
}

int ExitFor(int code) {
  if (code == 0) return kExitOk;
  if (code == kPulledOut) return kExitNoKey;
  if (code == kPinInvalid) return kExitWrongPin;
  if (code == kPinBlocked || code == kPinAuthBlocked) return kExitPinBlocked;
  if (IsExchangeFailure(code)) return kExitExchangeFailed;
  return kExitKeyRefused;
}

std::string ExchangeFailureText(int code) {
  if (code == kPulledOut) return std::string(kPulledOutText);
  if (code == kExchangeFailed) return "The key did not answer (status " + StatusText(code) + ").";
  if (code == kEmptyAnswer)
    return "The key sent an empty answer (status " + StatusText(code) + ").";
  if (code == kAnswerTooLarge) {
    return "The key's answer did not fit (status " + StatusText(code) + ").";
  }
  if (code == kKeyAgreementUnusable) {
    return "The key's key agreement could not be used (status " + StatusText(code) + ").";
  }
  if (code == kNoSupportedPinProtocol) {
    return "The key speaks no PIN protocol that pinvale-cli knows (status " + StatusText(code) +
           ").";
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
// the key's 64-byte PIN block and reach the key's own minimum, which the key
// counts in code points.
bool CheckPin(Console& console, const SecretBytes& pin, bool isNewPin, std::uint32_t keyMinimum) {
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
  if (isNewPin && keyMinimum > 0 && CountCodePoints(pin) < keyMinimum) {
    console.Err(
        Format("This key needs a PIN of at least %u characters (counted in Unicode code "
               "points).\n",
               keyMinimum));
    return false;
  }
  return true;
}

std::string_view NoPinText(const Options& options) {
  return options.pinStdin ? "No PIN on standard input.\n" : "No PIN entered.\n";
}

// `missing` is said when no line comes.
bool ReadPin(Console& console, std::string_view prompt, std::string_view missing, SecretBytes& pin,
             bool isNewPin, std::uint32_t keyMinimum) {
  if (!console.ReadPin(prompt, pin)) {
    console.Err(missing);
    return false;
  }
  return CheckPin(console, pin, isNewPin, keyMinimum);
}

// A new PIN: typed twice on a terminal, given once on standard input.
bool ReadNewPin(Console& console, const Options& options, const KeySetup& setup,
                std::string_view missing, SecretBytes& pin) {
  if (!ReadPin(console, "New PIN: ", missing, pin, true, setup.MinimumAbove4())) return false;
  if (options.pinStdin) return true;
  SecretBytes again;
  if (!ReadPin(console, "Repeat the new PIN: ", missing, again, true, setup.MinimumAbove4())) {
    return false;
  }
  if (again.size() != pin.size() ||
      !std::equal(pin.data(), pin.data() + pin.size(), again.data())) {
    console.Err("The new PINs do not match.\n");
    return false;
  }
  return true;
}

// After a wrong PIN, how many attempts are left. A count the key did not report
// is not shown: 0 would read as a locked key.
std::string AttemptsLeft(Key& key, const PinUvAuthProtocol& protocol) {
  const PinRetriesReading answer = ReadPinRetriesAnswer(key.token, protocol);
  if (answer.status != 0 || !answer.countRead) {
    return KeyPulledOut(key.platform, key.token.DeviceList().Selected().path)
               ? " The key was pulled out before it told the attempts left."
               : " The attempts left could not be read.";
  }
  return Format(" %u attempt%s left.", answer.retries, answer.retries == 1 ? "" : "s");
}

// The outcome of a request that carried a PIN: wrong PIN, locked, or other.
int ReportPinFailure(Console& console, Key& key, const KeySetup& setup, const char* what,
                     int code) {
  if (code == kPinInvalid) {
    console.Err("Wrong PIN (status " + StatusText(code) + ")." +
                AttemptsLeft(key, *setup.protocol) + "\n");
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
  return code == kPulledOut ? kExitNoKey : kExitExchangeFailed;
}

std::string ListedProtocols(const AuthenticatorInfo& info) {
  if (info.pinUvAuthProtocols.empty()) return "none, which means 1";
  std::string listed;
  for (std::uint32_t number : info.pinUvAuthProtocols) {
    listed += (listed.empty() ? "" : ", ") + std::to_string(number);
  }
  return listed;
}

// Reads getInfo; false (with the message printed) when the key cannot answer.
bool ReadInfo(Console& console, Key& key, AuthenticatorInfo& info, int& exitCode) {
  const int status = key.Checked(ReadAuthenticatorInfo(key.token, info));
  if (status == 0) return true;
  if (status == kInfoNotUnderstood) {
    console.Err("The key's description of itself was empty or not understood (status " +
                StatusText(status) + ").\n");
  } else if (IsExchangeFailure(status)) {
    console.Err(ExchangeFailureText(status) + "\n");
  } else {
    console.Err("The key refused to describe itself (status " + StatusText(status) + ").\n");
  }
  exitCode = ExitFor(status);
  return false;
}

// getInfo, then the PIN protocol: --pin-protocol, or the key's first known one.
// Nothing is sent to a key without a protocol in common.
bool PrepareKey(Console& console, const Options& options, Key& key, KeySetup& setup,
                int& exitCode) {
  if (!ReadInfo(console, key, setup.info, exitCode)) return false;
  const int code = ChoosePinProtocol(setup.info, options.pinProtocol, setup.protocol);
  if (code == 0) return true;
  if (code == kPinProtocolNotListed) {
    console.Err(Format("The key does not list PIN protocol %d (it lists: %s).\n",
                       options.pinProtocol, ListedProtocols(setup.info).c_str()));
    exitCode = kExitInputRefused;
  } else {
    console.Err(ExchangeFailureText(code) + " It lists: " + ListedProtocols(setup.info) + ".\n");
    exitCode = ExitFor(code);
  }
  return false;
}

// PrepareKey for the commands that need a PIN on the key already.
bool PrepareKeyWithPin(Console& console, const Options& options, Key& key, KeySetup& setup,
                       int& exitCode) {
  if (!PrepareKey(console, options, key, setup, exitCode)) return false;
  if (setup.PinSet()) return true;
  console.Err(kNoPinText);
  exitCode = kExitInputRefused;
  return false;
}

}  // namespace pinvale::cli
