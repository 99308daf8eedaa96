#include "app/device_path_match.h"

#include <algorithm>
#include <string>

#include "transport/maker_ids.h"

namespace pinvale {

namespace {

char16_t Lower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

std::u16string Hex4(std::uint16_t value) {
  constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text(4, u'0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  return text;
}

}  // namespace

bool PathNamesMakerProduct(std::u16string_view devicePath) {
  std::u16string lowered(devicePath);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), Lower);
  return std::any_of(kMakerProductIds.begin(), kMakerProductIds.end(), [&](std::uint16_t id) {
    return lowered.find(Hex4(id)) != std::u16string::npos;
  });
}

}  // namespace pinvale
