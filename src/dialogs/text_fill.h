#pragma once

// Filling the windows' texts: numbers and names go into a format at %1, %2, ... (a
// marker may stand more than once), so a text can name the same site twice.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace pinvale {

// `format` with %1 to %9 replaced by the values at those places; a marker without a
// value is dropped.
std::u16string FillText(std::u16string_view format,
                        std::initializer_list<std::u16string_view> values);

// `value` in decimal digits.
std::u16string DecimalText(std::size_t value);

}  // namespace pinvale
