#include "dialogs/text_fill.h"

namespace pinvale {

std::u16string FillText(std::u16string_view format,
                        std::initializer_list<std::u16string_view> values) {
  std::u16string out;
  out.reserve(format.size() + 32);
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (c == u'%' && i + 1 < format.size() && format[i + 1] >= u'1' && format[i + 1] <= u'9') {
      const std::size_t index = static_cast<std::size_t>(format[i + 1] - u'1');
      if (index < values.size()) out.append(*(values.begin() + index));
      ++i;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

std::u16string DecimalText(std::size_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace pinvale
