#pragma once

// What credential management's GetNext commands walk through, right after their
// Begin.

#include <cstddef>
#include <vector>

namespace pinvale::vkey {

struct CredentialWalk {
  std::vector<std::size_t> remaining;
};

}  // namespace pinvale::vkey
