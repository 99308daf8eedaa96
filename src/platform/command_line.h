#pragma once

// The one command-line option of the program: "-E" asks for a reset at start.

#include <string_view>
#include <vector>

namespace pinvale {

// True when any argument, the program path included, is "-E" in either letter
// case. "-Ex" and the like do not count.
bool HasResetOption(const std::vector<std::string_view>& arguments);

}  // namespace pinvale
