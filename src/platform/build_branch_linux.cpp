#include "platform/build_branch.h"

namespace pinvale {

std::optional<std::u16string> ReadBuildBranch() {
  return std::nullopt;
}

}  // namespace pinvale
