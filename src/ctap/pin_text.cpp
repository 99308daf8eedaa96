#include "ctap/pin_text.h"

namespace pinvale {

PinLengthCheck CheckPinLength(std::size_t utf16Units) {
  if (utf16Units == 0) return PinLengthCheck::kEmpty;
  if (utf16Units < kMinPinLength) return PinLengthCheck::kTooShort;
  if (utf16Units > kMaxPinLength) return PinLengthCheck::kTooLong;
  return PinLengthCheck::kOk;
}

namespace {

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

bool PinToUtf8(std::u16string_view pin, SecretBytes& utf8) {
  utf8.Clear();
  // Each UTF-16 unit becomes at most three bytes (a pair of two units, four), so
  // reserving three per unit means the buffer never reallocates.
  utf8.Reserve(pin.size() * 3);
  for (std::size_t i = 0; i < pin.size(); ++i) {
    std::uint32_t code = pin[i];
    if (IsHighSurrogate(pin[i])) {
      if (i + 1 >= pin.size() || !IsLowSurrogate(pin[i + 1])) {
        utf8.Clear();
        return false;
      }
      code = 0x10000 + ((code - 0xD800) << 10) + (pin[i + 1] - 0xDC00);
      ++i;
    } else if (IsLowSurrogate(pin[i])) {
      utf8.Clear();
      return false;
    }
    if (code < 0x80) {
      utf8.Append(static_cast<std::uint8_t>(code));
    } else if (code < 0x800) {
      utf8.Append(static_cast<std::uint8_t>(0xC0 | (code >> 6)));
      utf8.Append(static_cast<std::uint8_t>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      utf8.Append(static_cast<std::uint8_t>(0xE0 | (code >> 12)));
      utf8.Append(static_cast<std::uint8_t>(0x80 | ((code >> 6) & 0x3F)));
      utf8.Append(static_cast<std::uint8_t>(0x80 | (code & 0x3F)));
    } else {
      utf8.Append(static_cast<std::uint8_t>(0xF0 | (code >> 18)));
      utf8.Append(static_cast<std::uint8_t>(0x80 | ((code >> 12) & 0x3F)));
      utf8.Append(static_cast<std::uint8_t>(0x80 | ((code >> 6) & 0x3F)));
      utf8.Append(static_cast<std::uint8_t>(0x80 | (code & 0x3F)));
    }
    code = 0;
  }
  return true;
}

std::size_t Utf8SequenceAt(std::span<const std::uint8_t> utf8, std::size_t i, std::uint32_t& code) {
  const std::uint8_t lead = utf8[i];
  std::size_t extra = 0;
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, code = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (utf8.size() - i - 1 < extra) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    const std::uint8_t next = utf8[i + k];
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return extra + 1;
}

bool CountUtf16Units(std::span<const std::uint8_t> utf8, std::size_t& units) {
  units = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceAt(utf8, i, code);
    if (length == 0) return false;
    units += code >= 0x10000 ? 2 : 1;
    i += length;
  }
  return true;
}

std::size_t CountCodePoints(std::span<const std::uint8_t> utf8) {
  std::size_t count = 0;
  for (std::uint8_t byte : utf8) {
    if ((byte & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace pinvale
