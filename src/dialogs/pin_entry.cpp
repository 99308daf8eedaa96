#include "dialogs/pin_entry.h"

#include <mbedtls/platform_util.h>

#include <cstdio>

#include "ctap/pin_text.h"
#include "dialogs/pin_dialog_texts.h"

namespace pinvale {

std::u16string_view PinLengthRefusal(std::u16string_view pin, std::u16string_view tooLongText) {
  switch (CheckPinLength(pin)) {
    case PinLengthCheck::kEmpty:
      return kProvidePinText;
    case PinLengthCheck::kTooShort:
      return kPinTooShortText;
    case PinLengthCheck::kTooLong:
      return tooLongText;
    case PinLengthCheck::kOk:
      break;
  }
  return {};
}

std::u16string FormatCount(std::u16string_view format, std::uint32_t count) {
  // The result is capped at 1023 units, so the message fits a 1024-unit text buffer
  // whatever the count.
  constexpr std::u16string_view kMarker = u"%d";
  std::u16string text(format);
  char digits[16];
  const int length = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(count));
  std::u16string number(digits, digits + (length > 0 ? length : 0));
  std::size_t at = text.find(kMarker);
  if (at != std::u16string::npos) text.replace(at, kMarker.size(), number);
  if (text.size() > 1023) text.resize(1023);
  return text;
}

std::u16string PinRetriesText(std::uint32_t retries) {
  return FormatCount(kPinRetriesFormat, retries);
}

void WipePinText(std::u16string& text) {
  text.resize(text.capacity());
  mbedtls_platform_zeroize(text.data(), text.size() * sizeof(char16_t));
  text.clear();
}

ScopedPinWipe::~ScopedPinWipe() {
  WipePinText(text_);
}

}  // namespace pinvale
