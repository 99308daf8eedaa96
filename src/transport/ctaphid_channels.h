#pragma once

// Which input reports belong to this program's exchange. Every reader of a HID node
// gets every input report (on Linux each open hidraw descriptor sees all of them),
// so while a browser or another tool talks to the key its answers reach us too.
// They are told apart by their channel: ours is the one the message went out on,
// or the one the key allocated in answer to our INIT.

#include <cstddef>
#include <cstdint>

namespace pinvale::ctaphid {

class AnswerChannels {
 public:
  explicit AnswerChannels(std::uint32_t messageChannel) : messageChannel_(messageChannel) {}

  // Learns the allocated channel when `report` is the answer to our own INIT: on
  // the broadcast channel, with the nonce we sent. Another program's INIT answer
  // carries its own nonce and is left alone, and so is anything else; nothing here
  // fails, since the maker's keys need no allocated channel.
  void NoteInitAnswer(const std::uint8_t* report, std::size_t received);

  // Whether a report of `received` bytes was sent on one of our channels.
  bool IsOurs(const std::uint8_t* report, std::size_t received) const;

  bool HasAllocated() const { return hasAllocated_; }
  std::uint32_t Allocated() const { return allocated_; }

 private:
  std::uint32_t messageChannel_;
  std::uint32_t allocated_ = 0;
  bool hasAllocated_ = false;
};

}  // namespace pinvale::ctaphid
