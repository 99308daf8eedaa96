#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace pinvale {

void WriteDebugLine(std::string_view line) {
  static const bool enabled = std::getenv("PINVALE_DEBUG") != nullptr;
  if (!enabled) return;
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace pinvale
