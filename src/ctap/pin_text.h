#pragma once

// PIN text as the user types it (UTF-16, as the edit controls hold it) and as the
// key sees it (UTF-8 bytes). The dialogs and pinvale-cli share these rules so a
// PIN accepted by one is accepted by the other.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "ctap/secret_buffer.h"

namespace pinvale {

// Length limits in UTF-16 code units, the length of an edit control's text.
constexpr std::size_t kMinPinLength = 4;
constexpr std::size_t kMaxPinLength = 63;

enum class PinLengthCheck { kOk, kEmpty, kTooShort, kTooLong };

PinLengthCheck CheckPinLength(std::size_t utf16Units);
inline PinLengthCheck CheckPinLength(std::u16string_view pin) {
  return CheckPinLength(pin.size());
}

// Converts a PIN to the UTF-8 bytes that are hashed and encrypted. Surrogate
// pairs become one four-byte sequence; a lone surrogate has no UTF-8 form, so the
// conversion fails and `utf8` is left empty.
bool PinToUtf8(std::u16string_view pin, SecretBytes& utf8);

// Counts the UTF-16 code units of a UTF-8 PIN (as read from a terminal), so the
// same length rule applies to it. False for bytes that are not well-formed UTF-8
// (overlong forms, surrogates and values past U+10FFFF included).
bool CountUtf16Units(std::span<const std::uint8_t> utf8, std::size_t& units);

// The length of the well-formed UTF-8 sequence at `i` and its code point, or 0 for
// a sequence that is not (overlong, a surrogate, past U+10FFFF, cut short).
std::size_t Utf8SequenceAt(std::span<const std::uint8_t> utf8, std::size_t i, std::uint32_t& code);

// The number of Unicode code points in well-formed UTF-8: how a key counts a PIN against
// its minimum length (getInfo minPINLength).
std::size_t CountCodePoints(std::span<const std::uint8_t> utf8);

}  // namespace pinvale
