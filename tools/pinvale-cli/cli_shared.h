#pragma once

// What pinvale-cli's commands share: the key they talk to, what they know of it
// before a PIN goes out, how a PIN is read and checked, and how a code becomes
// words and an exit code.

#include <cstdint>
#include <string>
#include <string_view>

#include "cli_commands.h"
#include "cli_console.h"
#include "cli_device.h"
#include "cli_options.h"
#include "ctap/authenticator_info.h"
#include "ctap/pin_protocol.h"
#include "ctap/pin_text.h"
#include "transport/fido_token.h"

namespace pinvale::cli {

constexpr int kPinInvalid = 0x31;
constexpr int kPinBlocked = 0x32;
constexpr int kPinAuthBlocked = 0x34;
constexpr int kOperationDenied = 0x27;
constexpr int kNotAllowed = 0x30;
constexpr int kActionTimeout = 0x2F;
constexpr int kPinAuthInvalid = 0x33;
constexpr int kPinNotSet = 0x35;
constexpr int kPinPolicyViolation = 0x37;

// Not a code of the key or the exchange: an exchange failed and the key is no
// longer listed. Above every 16-bit code, so it never meets a real one.
constexpr int kPulledOut = 0x10000;

inline constexpr std::string_view kPulledOutText = "The key was pulled out before it answered.";
inline constexpr std::string_view kNoPinText = "The key has no PIN yet; use set-pin.\n";

// A key of the maker is there, but its node would not open: on Linux that is the
// missing udev rule nearly always.
inline constexpr std::string_view kNoAccessText =
    "A key is plugged in, but this account may not open it. Install the udev rule "
    "70-pinvale.rules (see the README) and re-plug the key.\n";

bool IsExchangeFailure(int code);

// The key a command talks to, and the platform that tells whether it is still
// plugged in.
struct Key {
  CFidoToken& token;
  HidPlatform& platform;

  // `code` as the command reports it: an exchange that failed because the key
  // went away becomes kPulledOut, so the user hears of the pull-out rather
  // than of the failed step it cut short.
  int Checked(int code) {
    if (code == kPulledOut || !IsExchangeFailure(code)) return code;
    return KeyPulledOut(platform, token.DeviceList().Selected().path) ? kPulledOut : code;
  }
};

// What a command knows of the key before it sends a PIN: its getInfo and the
// protocol chosen from it.
struct KeySetup {
  AuthenticatorInfo info;
  const PinUvAuthProtocol* protocol = &PinProtocolOne();

  bool PinSet() const { return info.OptionTrue("clientPin"); }
  // The key's own minimum for a new PIN, when it asks for more than 4.
  std::uint32_t MinimumAbove4() const {
    return info.minPinLength && *info.minPinLength > kMinPinLength ? *info.minPinLength : 0;
  }
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True for well-formed UTF-8: names go to the key as CBOR text.
inline bool IsUtf8Text(const std::string& text) {
  std::size_t units = 0;
  return CountUtf16Units(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                         units);
}

std::string NoKeyText(const std::string& devicePath);
bool IsExchangeFailure(int code);
int ExitFor(int code);
std::string ExchangeFailureText(int code);
std::string LockedText(int code);
bool CheckPin(Console& console, const SecretBytes& pin, bool isNewPin,
              std::uint32_t keyMinimum = 0);
std::string_view NoPinText(const Options& options);
bool ReadPin(Console& console, std::string_view prompt, std::string_view missing, SecretBytes& pin,
             bool isNewPin, std::uint32_t keyMinimum = 0);
bool ReadNewPin(Console& console, const Options& options, const KeySetup& setup,
                std::string_view missing, SecretBytes& pin);
std::string AttemptsLeft(Key& key, const PinUvAuthProtocol& protocol);
int ReportPinFailure(Console& console, Key& key, const KeySetup& setup, const char* what, int code);
int ReportKeyAgreementFailure(Console& console, int code);
std::string ListedProtocols(const AuthenticatorInfo& info);
bool ReadInfo(Console& console, Key& key, AuthenticatorInfo& info, int& exitCode);
bool PrepareKey(Console& console, const Options& options, Key& key, KeySetup& setup, int& exitCode);
bool PrepareKeyWithPin(Console& console, const Options& options, Key& key, KeySetup& setup,
                       int& exitCode);

}  // namespace pinvale::cli
