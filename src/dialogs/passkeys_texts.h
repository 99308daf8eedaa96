#pragma once

// The texts of the Passkeys window. The formats take their values with
// FillText (text_fill.h): %1, %2 and %3 stand for the values in order.

#include <string_view>

namespace pinvale {

inline constexpr std::u16string_view kPasskeysCaption = u"Pinvale";

// The line above the list: what the key says it holds and has room for.
inline constexpr std::u16string_view kPasskeysCountFormat = u"%1 passkeys stored, %2 more fit";
inline constexpr std::u16string_view kPasskeyCountOneFormat = u"1 passkey stored, %2 more fit";
inline constexpr std::u16string_view kPasskeysCountOnlyFormat = u"%1 passkeys stored";
inline constexpr std::u16string_view kPasskeyCountOnlyOneText = u"1 passkey stored";
inline constexpr std::u16string_view kPasskeysReadingText = u"Reading passkeys...";
// Shown once reading takes longer than half a second: sites read of all sites.
inline constexpr std::u16string_view kPasskeysReadingFormat = u"Reading passkeys... %1 of %2";
inline constexpr std::u16string_view kPasskeysUnreadText = u"The passkeys could not be read.";

inline constexpr std::u16string_view kPasskeysEmptyText = u"No passkeys on this key";
inline constexpr std::u16string_view kPasskeysNoteText =
    u"Only passkeys are stored on a key; other sign-ins cannot be listed.";
// The key stopped a walk early, or its count disagrees with what it listed.
inline constexpr std::u16string_view kPasskeysIncompleteText =
    u"The key did not list everything it counts: the list may be incomplete.";

// The second line of a row when the key holds no name for the user.
inline constexpr std::u16string_view kNoUserNameText = u"(no user name)";
// A site whose id the key did not send: the start of its hash.
inline constexpr std::u16string_view kSiteHashFormat = u"(site %1…)";

// Delete.
inline constexpr std::u16string_view kPasskeyDeleteConfirmFormat =
    u"Delete the passkey of %1 for %2?\nYou can no longer sign in to %2 with it.";
inline constexpr std::u16string_view kDeletedFormat = u"Deleted the passkey of %1 for %2.";
inline constexpr std::u16string_view kNotDeletedFormat =
    u"The passkey of %1 for %2 was not deleted: the key still lists it.";

// Edit.
inline constexpr std::u16string_view kEditHeadingFormat = u"Passkey for %1";
inline constexpr std::u16string_view kUserNameTooLongText =
    u"The user name can be at most 64 bytes (UTF-8).";
inline constexpr std::u16string_view kDisplayNameTooLongText =
    u"The display name can be at most 64 bytes (UTF-8).";
inline constexpr std::u16string_view kSavedFormat = u"Saved the names of the passkey for %1.";

// Failures. %1 is what was being done.
inline constexpr std::u16string_view kReadingWhat = u"Reading the passkeys";
inline constexpr std::u16string_view kDeletingWhat = u"Deleting the passkey";
inline constexpr std::u16string_view kSavingWhat = u"Saving the names";
inline constexpr std::u16string_view kPasskeyCommunicationFormat =
    u"%1 failed: communication with the device failed.\nPlease re-plug it and try again.";
inline constexpr std::u16string_view kPasskeyRefusedFormat =
    u"%1 failed: the device refused the request (status 0x%2).";
inline constexpr std::u16string_view kPasskeyPinChangedFormat =
    u"%1 failed: the PIN is no longer accepted (was it changed?).\nPlease open Passkeys again.";
inline constexpr std::u16string_view kPasskeyUnsentFormat =
    u"%1 failed: the request could not be made (no PIN token).";

}  // namespace pinvale
