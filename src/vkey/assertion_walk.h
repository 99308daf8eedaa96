#pragma once

// What getNextAssertion walks through: the credentials the last getAssertion found
// beyond the first one it answered with.

#include <cstddef>
#include <vector>

namespace pinvale::vkey {

struct AssertionWalk {
  std::vector<std::size_t> remaining;  // indexes into KeyState::credentials
};

}  // namespace pinvale::vkey
