#pragma once

// Pieces of VirtualKey shared by its source files.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "vkey/link_state.h"
#include "vkey/virtual_key.h"

namespace pinvale::vkey {

// A request the key is busy with: one waiting for the user's touch (reset,
// getAssertion), or one whose answer is held back while a slow key "processes". One
// at a time per key.
struct VirtualKey::PendingRequest {
  std::shared_ptr<LinkState> link;
  std::uint32_t cid = 0;
  bool needsTouch = false;
  // The authenticator's own request waits (it answers through Resume); false for reset.
  bool byAuthenticator = false;
  // A finger on the sensor, not just a touch: the queued sensor inputs apply.
  bool needsFinger = false;
  Clock::time_point nextKeepalive;
  // Touch: when the wait fails with `timeoutStatus`. Processing: when the answer goes
  // out.
  Clock::time_point deadline;
  std::optional<Clock::time_point> autoTouchAt;
  // Touch only: the status after the touch and after none came.
  std::uint8_t touchedStatus = 0;
  std::uint8_t timeoutStatus = 0;
  // Processing only: the answer held back.
  std::vector<std::uint8_t> answer;
  int command = -1;  // the CTAP2 command, for both
  int subCommand = -1;
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
