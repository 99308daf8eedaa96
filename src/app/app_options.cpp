#include "app/app_options.h"

#include "platform/command_line.h"

namespace pinvale {

AppOptions ParseAppOptions(const std::vector<std::string_view>& arguments,
                           const char* environmentDirectory) {
  AppOptions options;
  options.resetOnStart = HasResetOption(arguments);
  if (environmentDirectory) options.virtualKeyDirectory = environmentDirectory;
  constexpr std::string_view kDirectoryOption = "--virtual-keys";
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    if (argument == "--virtual-key") {
      options.virtualKey = true;
    } else if (argument == "--virtual-key-if-none") {
      options.virtualKeyIfNone = true;
    } else if (argument == kDirectoryOption && i + 1 < arguments.size()) {
      options.virtualKeyDirectory = arguments[++i];
    } else if (argument.starts_with(kDirectoryOption) &&
               argument.size() > kDirectoryOption.size() &&
               argument[kDirectoryOption.size()] == '=') {
      options.virtualKeyDirectory = argument.substr(kDirectoryOption.size() + 1);
    }
  }
  return options;
}

}  // namespace pinvale
