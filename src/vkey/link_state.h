#pragma once

// What the key keeps for one host connection: its channels, the message being put
// together from its packets, and the packets waiting to go to the host. Guarded by
// the owning VirtualKey's mutex.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <vector>

#include "vkey/virtual_key.h"

namespace pinvale::vkey {

struct LinkState {
  bool open = true;
  std::deque<Packet> outgoing;
  std::condition_variable outgoingCv;

  // The maker's channel 00 00 00 01 opens with the first INIT on the link.
  bool initSeen = false;
  std::vector<std::uint32_t> channels;

  // The message being assembled from an initialisation packet and its continuations.
  bool assembling = false;
  std::uint32_t cid = 0;
  std::uint8_t cmd = 0;
  std::size_t expected = 0;
  std::uint8_t nextSeq = 0;
  std::vector<std::uint8_t> data;
  std::chrono::steady_clock::time_point lastPacketAt;
};

}  // namespace pinvale::vkey
