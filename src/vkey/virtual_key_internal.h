#pragma once

// Pieces of VirtualKey shared by its source files.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "vkey/link_state.h"
#include "vkey/virtual_key.h"

namespace pinvale::vkey {

// A request that waits for the user's touch (reset). One at a time per key.
struct VirtualKey::PendingTouch {
  std::shared_ptr<LinkState> link;
  std::uint32_t cid = 0;
  Clock::time_point nextKeepalive;
  Clock::time_point deadline;
  std::optional<Clock::time_point> autoTouchAt;
};

inline std::uint32_t ReadChannel(const std::uint8_t* packet) {
  return static_cast<std::uint32_t>(packet[0]) << 24 | static_cast<std::uint32_t>(packet[1]) << 16 |
         static_cast<std::uint32_t>(packet[2]) << 8 | packet[3];
}

inline void WriteChannel(std::uint8_t* packet, std::uint32_t cid) {
  packet[0] = static_cast<std::uint8_t>(cid >> 24);
  packet[1] = static_cast<std::uint8_t>(cid >> 16);
  packet[2] = static_cast<std::uint8_t>(cid >> 8);
  packet[3] = static_cast<std::uint8_t>(cid);
}

}  // namespace pinvale::vkey
