#pragma once

// The texts of the Fingerprints window. Formats take their numbers and names at %1, %2
// (filled by FillText, text_fill.h).

#include <cstdint>
#include <string_view>

namespace pinvale {

// The caption of the window's message boxes, as every box of the program has.
inline constexpr std::u16string_view kFingerprintsBoxCaption = u"Pinvale";

// The list page.
inline constexpr std::u16string_view kFingerprintsEmptyText = u"No fingerprints are enrolled yet.";
// A fingerprint the key keeps without a name: its place in the list.
inline constexpr std::u16string_view kUnnamedFingerprintFormat = u"Fingerprint %1";
// The second line of a row: the template id the key gave it.
inline constexpr std::u16string_view kFingerprintIdFormat = u"ID %1";
inline constexpr std::u16string_view kFingerprintsCountOpenFormat = u"%1 fingerprints enrolled";
inline constexpr std::u16string_view kOneFingerprintText = u"1 fingerprint enrolled";
inline constexpr std::u16string_view kFingerprintsReadingText = u"Reading the fingerprints...";

// The add page.
inline constexpr std::u16string_view kTouchSensorText = u"Touch the sensor";
inline constexpr std::u16string_view kTouchAgainText =
    u"Lift your finger and touch the sensor again";
inline constexpr std::u16string_view kSamplesFormat = u"%1 of %2 samples";
inline constexpr std::u16string_view kCancellingText = u"Cancelling...";

// The name page.
inline constexpr std::u16string_view kNameNewTitle = u"Fingerprint added. Give it a name:";
inline constexpr std::u16string_view kRenameTitle = u"New name for \"%1\":";
inline constexpr std::u16string_view kNameBytesFormat = u"%1 of %2 bytes";
inline constexpr std::u16string_view kNameTooLongFormat = u"%1 of %2 bytes: too long for this key";
inline constexpr std::u16string_view kNameInvalidText = u"The name contains an invalid character.";
inline constexpr std::u16string_view kNameEmptyHint = u"Leave it empty to keep the key's own name.";
inline constexpr std::u16string_view kSkipText = u"Skip";
inline constexpr std::u16string_view kCancelText = u"Cancel";

// Delete.
inline constexpr std::u16string_view kFingerprintDeleteConfirmFormat =
    u"Delete the fingerprint \"%1\"?\nIt can no longer unlock this key.";

// What went wrong, and what to do.
inline constexpr std::u16string_view kStoreFullText =
    u"The key has no room for another fingerprint.\nDelete one, then add the new one again.";
inline constexpr std::u16string_view kNoFingerText =
    u"No finger was felt on the sensor in time, so nothing was added.\n"
    u"Click Add and touch the sensor when asked.";
inline constexpr std::u16string_view kSensorBlockedText =
    u"The sensor is blocked after too many failed readings.\n"
    u"Unplug the key, plug it in again and enter the PIN to unblock it.";
inline constexpr std::u16string_view kEnrolFailedFormat =
    u"The key refused the enrolment (status 0x%1), so nothing was added.\nPlease try again.";
inline constexpr std::u16string_view kEnrolUnfinishedText =
    u"The key did not finish the enrolment, so nothing was added.\nPlease try again.";
inline constexpr std::u16string_view kListFailedFormat =
    u"The fingerprints could not be read (status 0x%1).\nPlease re-plug the key and try again.";
inline constexpr std::u16string_view kRenameFailedFormat =
    u"The fingerprint could not be named (status 0x%1).\nIt keeps its old name.";
inline constexpr std::u16string_view kDeleteFailedFormat =
    u"The fingerprint could not be deleted (status 0x%1).\nIt is still on the key.";
inline constexpr std::u16string_view kPinChangedText =
    u"The key no longer takes the PIN you entered (it was changed meanwhile).\n"
    u"Close this window and open Fingerprints again.";
inline constexpr std::u16string_view kExchangeFailedText =
    u"Communication with the device failed.\nPlease re-plug it and try again.";

}  // namespace pinvale
