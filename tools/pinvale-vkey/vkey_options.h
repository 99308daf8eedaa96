#pragma once

// pinvale-vkey's command line.

#include <string>
#include <vector>

#include "vkey/vkey_config.h"

namespace pinvale::vkey {

struct VkeyOptions {
  std::string dir;
  std::string label = "vkey";
  VirtualKeyConfig config;
  bool help = false;
  bool version = false;
};

// Parses argv; false with a message in `error` when it cannot.
bool ParseVkeyOptions(const std::vector<std::string>& args, VkeyOptions& options,
                      std::string& error);

// DIR/<vid>-<pid>-<label>.sock, the ids as four lower-case hex digits.
std::string SocketPathFor(const VkeyOptions& options);

extern const char kVkeyUsage[];

}  // namespace pinvale::vkey
