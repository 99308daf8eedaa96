#pragma once

// The texts of the PIN and reset dialogs, exactly as users of the Windows tool know
// them: the set-PIN "less than  63" has two blanks and two full stops, the
// change-PIN one has one full stop, and the verify-PIN one reads "less 63".

#include <string_view>

namespace pinvale {

inline constexpr std::u16string_view kDialogCaption = u"Pinvale";

// Local checks.
inline constexpr std::u16string_view kProvidePinText = u"Provide a PIN";
inline constexpr std::u16string_view kPinTooShortText = u"Your PIN must be at least 4 characters.";
inline constexpr std::u16string_view kSetPinTooLongText =
    u"Your PIN must be less than  63 characters..";
inline constexpr std::u16string_view kChangePinTooLongText =
    u"Your PIN must be less than  63 characters.";
inline constexpr std::u16string_view kVerifyPinTooLongText =
    u"Your PIN must be less 63 characters.";
inline constexpr std::u16string_view kSetPinMismatchText = u"The provided PINs do not match.";
inline constexpr std::u16string_view kChangePinMismatchText = u"The new PINs do not match.";

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

// Reset.
inline constexpr std::u16string_view kResetPassText = u"Pass";
inline constexpr std::u16string_view kResetFailedText = u"Reset Device Failed!";
inline constexpr std::u16string_view kResetPassImage = u"Pass.png";
inline constexpr std::u16string_view kResetFailImage = u"Fail.png";

}  // namespace pinvale
