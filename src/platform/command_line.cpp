#include "platform/command_line.h"

namespace pinvale {

bool HasResetOption(const std::vector<std::string_view>& arguments) {
  for (std::string_view argument : arguments) {
    if (argument == "-E" || argument == "-e") return true;
  }
  return false;
}

}  // namespace pinvale
