#pragma once

// The texts the main window shows, character for character (blanks, tabs and
// spelling included): they are what users see and quote to support, so they
// change only on purpose, and the tests compare them whole.

#include <string_view>

namespace pinvale {

inline constexpr std::u16string_view kProgramCaption = u"Pinvale";

inline constexpr std::u16string_view kHelpText =
    u"NOTE:\n\t\t\t\t\nSome token can only be reset in the first 10 seconds after powered on.\n"
    u"                \nIf you failed to reset the device, please re-plug it and try again.\n"
    u"\t\t\t\t \n";

inline constexpr std::u16string_view kAboutCaption = u"About Pinvale";
inline constexpr std::u16string_view kAboutText =
    u" Pinvale 1.1\n\t\t\t\tPIN and reset tool for FIDO2 security keys.\n"
    u"Copyright (c) 2026 the Pinvale authors.";

inline constexpr std::u16string_view kWarningCaption = u"Warning";

// The colon after "Note" is the full-width U+FF1A; the text ends with a blank.
inline constexpr std::u16string_view kResetWarningText =
    u"Reset device.\nThe device will be reset to factory settings.\nAll data will be cleared.\n\n"
    u"Note\uFF1A Some devices can only be reset in the first 10s in a power cycle. \n"
    u"If reset fails, pelase re-plug and try again. ";

// After the reset warning was confirmed with no key plugged in ("-E" at start).
inline constexpr std::u16string_view kNoDeviceForResetText =
    u"Device NOT Inserted.\nPlease insert your FIDO2 Device and try again.";

inline constexpr std::u16string_view kAdministratorWarningText =
    u"This operation requires administrator privileges. \n"
    u"Please run this application as administrator.";

// Windows 10 1903 and later: opening the key was refused to a program that is not
// elevated. OK starts Pinvale again through the system's elevation prompt.
inline constexpr std::u16string_view kStartAsAdministratorText =
    u"Windows lets only administrators open security keys directly.\n"
    u"Start Pinvale again as administrator?";

// The status row for a key that is plugged in but does not answer.
inline constexpr std::u16string_view kKeySilentText = u"Device not answering. Please re-plug it.";

// The status row for a key that wants a new PIN before it can be used (forcePINChange).
inline constexpr std::u16string_view kPinChangeWantedText =
    u"The device wants a new PIN: use Change PIN.";

// Windows builds whose HID stack needs administrator rights for security keys.
inline constexpr std::u16string_view kPrereleaseBuildBranch = u"rs_prerelease";

}  // namespace pinvale
