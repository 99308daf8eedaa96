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
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
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

const char* AppUsageText() {
  return R"(Usage: pinvale [-E] [--virtual-key | --virtual-key-if-none] [--virtual-keys DIR]

Opens a window to set, change and verify the PIN of a Pinvale security key, or to
reset the key. One copy runs per user session; a second start ends at once.

Options:
  -E                     ask to reset the key right after start (also -e)
  --virtual-key          start with a virtual key plugged in (a software key inside
                         the program; nothing is sent to a real key)
  --virtual-key-if-none  the same, but only when no real key is present at start
  --virtual-keys DIR     also follow the virtual keys that pinvale-vkey serves in DIR;
                         the environment variable PINVALE_VKEY_DIR does the same
  --help                 show this text
  --version              show the version of pinvale

Exit status: 0 when the window was closed or another copy already runs, 1 when the
window could not be opened (no display). SIGINT and SIGTERM close the window and
then end the program by that signal.
)";
}

}  // namespace pinvale
