#pragma once

// What the three PIN dialogs share about the PIN text itself: the submit result
// of a local refusal, the length rule with its messages, the retries message and
// the wiping of the PIN's UTF-16 copies once a submit has returned.

#include <cstdint>
#include <string>
#include <string_view>

namespace pinvale {

// A submit routine's result when a local check refused the input; nothing was sent.
constexpr int ValidationRefused = 0xFFEE;

// CTAP statuses the dialogs tell apart.
constexpr int kStatusPinInvalid = 0x31;
constexpr int kStatusPinBlocked = 0x32;
constexpr int kStatusPinAuthBlocked = 0x34;
constexpr int kStatusInvalidParameter = 0x02;
constexpr int kStatusPinPolicyViolation = 0x37;

// The message for a PIN of `pin`'s length (in UTF-16 units), or an empty view when
// the length is fine (4 to 63). `tooLongText` differs between the dialogs.
std::u16string_view PinLengthRefusal(std::u16string_view pin, std::u16string_view tooLongText);

// `format` with its %d replaced by `count`, at most 1023 units (a 1024-unit text buffer).
std::u16string FormatCount(std::u16string_view format, std::uint32_t count);

// "The PIN is incorrect. You have %d times left." with the count in place.
std::u16string PinRetriesText(std::uint32_t retries);

// Wipes a string that held a PIN when it goes out of scope: its whole storage,
// not only the characters in use, is zeroed before it is emptied.
class ScopedPinWipe {
 public:
  explicit ScopedPinWipe(std::u16string& text) : text_(text) {}
  ~ScopedPinWipe();
  ScopedPinWipe(const ScopedPinWipe&) = delete;
  ScopedPinWipe& operator=(const ScopedPinWipe&) = delete;

 private:
  std::u16string& text_;
};

void WipePinText(std::u16string& text);

}  // namespace pinvale
