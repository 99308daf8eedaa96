#pragma once

// The program's command line. "-E" asks for the reset right after start-up, while
// a key that can only be reset in its first seconds after power-up still allows
// it; the other options let a newcomer try Pinvale without a real key.

#include <string>
#include <string_view>
#include <vector>

namespace pinvale {

struct AppOptions {
  bool resetOnStart = false;        // "-E" in either case, anywhere
  bool virtualKey = false;          // --virtual-key: plug an in-process virtual key in
  bool virtualKeyIfNone = false;    // --virtual-key-if-none: only when no real key is there
  std::string virtualKeyDirectory;  // --virtual-keys DIR, or PINVALE_VKEY_DIR
  bool help = false;                // --help or -h: print the usage and leave
  bool version = false;             // --version: print the version and leave
};

// `arguments` includes the program path. `environmentDirectory` is the value of
// PINVALE_VKEY_DIR (null when unset); the option wins over it. Other arguments are
// ignored.
AppOptions ParseAppOptions(const std::vector<std::string_view>& arguments,
                           const char* environmentDirectory);

// The --help text.
const char* AppUsageText();

}  // namespace pinvale
