#pragma once

// What the main window and the PIN entry say before the Fingerprints or Passkeys window
// opens. Each text names what the user asked for, so a pair of texts per family.

#include <string_view>

#include "dialogs/management_access.h"

namespace pinvale {

struct ManagementTexts {
  std::u16string_view title;       // the window's name, on the PIN entry too
  std::u16string_view prompt;      // the PIN entry's line above the field
  std::u16string_view needPin;     // no PIN on the key: offers Set PIN
  std::u16string_view notOffered;  // the key does not manage them (after all)
};

inline constexpr ManagementTexts kFingerprintTexts{
    u"Fingerprints",
    u"Enter the PIN to manage fingerprints",
    u"Fingerprints need a PIN on the device first.\nSet a PIN now?",
    u"This device does not manage fingerprints.",
};

inline constexpr ManagementTexts kPasskeyTexts{
    u"Passkeys",
    u"Enter the PIN to manage passkeys",
    u"Passkeys need a PIN on the device first.\nSet a PIN now?",
    u"This device does not manage passkeys.",
};

inline const ManagementTexts& TextsFor(ManagementKind kind) {
  return kind == ManagementKind::kFingerprints ? kFingerprintTexts : kPasskeyTexts;
}

// forcePINChange: offers Change PIN.
inline constexpr std::u16string_view kManagementPinChangeText =
    u"The device wants a new PIN before it can be used.\nChange the PIN now?";
// No attempts left: nothing but a reset helps, and the reset erases what the user came for.
inline constexpr std::u16string_view kManagementPinBlockedText =
    u"The device's PIN is blocked after too many wrong PINs.\nOnly a reset makes the device "
    u"usable again, and a reset erases its fingerprints and passkeys.";
// 0x34: the key takes no further PIN until it is plugged in again.
inline constexpr std::u16string_view kPinAuthBlockedText =
    u"Too many wrong PINs in a row.\nPlease re-plug the device and try again.";

// The PIN entry's hint under the field: the key's minimum and the attempts left.
// %d is the count.
inline constexpr std::u16string_view kAttemptsLeftFormat = u"%d attempts left";
inline constexpr std::u16string_view kMinimumLengthFormat = u"At least %d characters";

}  // namespace pinvale
