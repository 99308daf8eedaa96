#pragma once

// The texts of the PIN and reset dialogs, character for character: the set-PIN
// "less than  63" has two blanks and two full stops, the change-PIN one has one
// full stop, and the verify-PIN one reads "less 63". Each dialog keeps its own
// wording, so these stay separate texts rather than one shared one.

#include <string_view>

namespace pinvale {

inline constexpr std::u16string_view kDialogCaption = u"Pinvale";

// Local checks.
inline constexpr std::u16string_view kProvidePinText = u"Provide a PIN";
inline constexpr std::u16string_view kPinTooShortText = u"Your PIN must be at least 4 characters.";
// The same for a key that asks for more (getInfo minPINLength): %d is its minimum.
inline constexpr std::u16string_view kKeyMinimumFormat =
    u"Your PIN must be at least %d characters.";
inline constexpr std::u16string_view kSetPinTooLongText =
    u"Your PIN must be less than  63 characters..";
inline constexpr std::u16string_view kChangePinTooLongText =
    u"Your PIN must be less than  63 characters.";
inline constexpr std::u16string_view kVerifyPinTooLongText =
    u"Your PIN must be less 63 characters.";
inline constexpr std::u16string_view kSetPinMismatchText = u"The provided PINs do not match.";
inline constexpr std::u16string_view kChangePinMismatchText = u"The new PINs do not match.";
// A new PIN of few enough characters whose UTF-8 form does not fit the key's
// 64-byte PIN block; the character-count text would be untrue for it.
inline constexpr std::u16string_view kPinTooManyBytesText =
    u"Your PIN must be at most 64 bytes in UTF-8.";
// A lone surrogate (broken text pasted into the field) has no UTF-8 form.
inline constexpr std::u16string_view kPinInvalidCharacterText =
    u"Your PIN contains an invalid character.";

// Outcomes.
inline constexpr std::u16string_view kSetPinSuccessText = u"Set PIN Successfully!";
inline constexpr std::u16string_view kSetPinFailedText = u"Set PIN Failed!";
inline constexpr std::u16string_view kChangePinSuccessText = u"Change PIN successfully!";
inline constexpr std::u16string_view kVerifyPinSuccessText = u"Verify PIN Successfully!";
inline constexpr std::u16string_view kPinIncorrectText = u"The PIN is incorrect.";
// %d is the number of attempts left.
inline constexpr std::u16string_view kPinRetriesFormat =
    u"The PIN is incorrect. You have %d times left.";
inline constexpr std::u16string_view kDeviceLockedText = u"The device is locked.";
// The exchange itself failed, or the attempts left could not be read: nothing is
// known about the PIN, so nothing is said about it.
inline constexpr std::u16string_view kCommunicationFailedText =
    u"Communication with the device failed.\nPlease re-plug it and try again.";
// A refusal that says nothing about the PIN (neither wrong nor blocked); %02X is the
// key's status, as pinvale-cli shows it.
inline constexpr std::u16string_view kRequestRefusedFormat =
    u"The device refused the request (status 0x%02X).";
// Status 0 without a PIN token: the key's answer proves nothing.
inline constexpr std::u16string_view kAnswerNotUnderstoodText =
    u"The device's answer was not understood.\nThe PIN could not be verified.";

// Status 0x37 to setPIN or changePIN: the key's own rules (a minimum length, a PIN it
// will not take) refused the new PIN; the current PIN, if any, was not judged.
inline constexpr std::u16string_view kPinPolicyRefusedText =
    u"The device refused the new PIN by its own PIN rules.\nNo PIN attempt was used; please "
    u"choose another PIN.";

// The key lists only PIN protocols Pinvale does not speak; no PIN went out.
inline constexpr std::u16string_view kNoSupportedProtocolText =
    u"The device uses a PIN protocol that Pinvale does not support.\nNo PIN was sent to it.";
// getInfo forcePINChange: the key wants a new PIN before anything else.
inline constexpr std::u16string_view kPinChangeRequiredText =
    u"The device wants a new PIN before it can be used.\nPlease use Change PIN.";
// A key that takes no PIN token it could prove a PIN with (no permission it supports).
inline constexpr std::u16string_view kCannotVerifyText =
    u"The device offers no way to verify a PIN.";

// Shown while an exchange with the key has taken longer than a moment.
inline constexpr std::u16string_view kBusyText = u"Please wait...";

// Reset.
inline constexpr std::u16string_view kResetPassText = u"Pass";
inline constexpr std::u16string_view kResetFailedText = u"Reset Device Failed!";
inline constexpr std::u16string_view kResetPassImage = u"Pass.png";
inline constexpr std::u16string_view kResetFailImage = u"Fail.png";

}  // namespace pinvale
