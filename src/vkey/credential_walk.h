#pragma once

// What credential management's GetNext commands walk through, right after their
// Begin. The walk names what is left by site or credential id, not by position, so a
// store that changed under it can never make it answer for the wrong passkey.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pinvale::vkey {

struct CredentialWalk {
  std::uint8_t command = 0;  // 0x0A or 0x41: only the command that began the walk continues it
  std::uint8_t getNext = 0;  // the subcommand that continues it
  std::vector<std::string> rpIds;                        // a walk through the sites
  std::vector<std::vector<std::uint8_t>> credentialIds;  // a walk through one site's passkeys
  std::size_t next = 0;                                  // what the next GetNext answers
};

}  // namespace pinvale::vkey
