#pragma once

// What the Passkeys window shows of the key's answers, kept apart from the window so it
// can be checked on its own: a site's text (its id, or the start of its hash when the key
// sent none), a user's line, the count line, the order of the rows, names cut to a byte
// limit at a character boundary, and the message for a failed command.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ctap/credential_management.h"

namespace pinvale {

// The longest user name and display name the window sends, in UTF-8 bytes. Keys keep
// at least 64 bytes of each (CTAP truncates longer ones).
constexpr std::size_t kMaxPasskeyNameBytes = 64;

struct ListedPasskey {
  RelyingPartyEntry rp;
  PasskeyEntry passkey;
};

std::u16string SiteText(const RelyingPartyEntry& rp);
// "alice · Alice Example", or the one of the two that is present, or "(no user name)".
std::u16string UserLineText(const PasskeyUser& user);
// The user as a sentence names them: the user name, else the display name.
std::u16string UserShortText(const PasskeyUser& user);

// By site, then user name: keys list in storage order, which moves as passkeys come and go.
void SortPasskeys(std::vector<ListedPasskey>& passkeys);

// "5 passkeys stored, 20 more fit": `stored` what the key counts (or the list's size).
std::u16string CountText(std::size_t stored, std::optional<std::uint32_t> remaining);

// The longest start of `text` of at most `maxBytes` bytes that ends at a whole UTF-8
// sequence; a sequence that is not well-formed ends the text.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);
// The UTF-16 text whose UTF-8 form fits `maxBytes`, cut at a whole character.
std::u16string CutToUtf8Bytes(std::u16string_view text, std::size_t maxBytes);

// What to tell the user when `what` ("Deleting the passkey") ended with `status`.
std::u16string PasskeyFailureText(std::u16string_view what, int status);

}  // namespace pinvale
