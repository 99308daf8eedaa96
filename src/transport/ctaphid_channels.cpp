#include "transport/ctaphid_channels.h"

#include "transport/ctaphid.h"

namespace pinvale::ctaphid {

namespace {

std::uint32_t ReadChannel(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}

// The INIT answer's payload: our nonce, then the channel allocated to us.
constexpr std::size_t kAllocatedOffset = kInitPayloadOffset + kInitNonceLength;
constexpr std::size_t kInitAnswerHead = kInitNonceLength + 4;

}  // namespace

void AnswerChannels::NoteInitAnswer(const std::uint8_t* report, std::size_t received) {
  if (received < kAllocatedOffset + 4) return;
  if (ReadChannel(report + kChannelOffset) != kBroadcastChannel) return;
  if (report[kCommandOffset] != kCommandInit) return;
  const std::size_t length =
      static_cast<std::size_t>(report[kLengthOffset]) << 8 | report[kLengthOffset + 1];
  if (length < kInitAnswerHead) return;
  for (std::size_t i = 0; i < kInitNonceLength; ++i) {
    if (report[kInitPayloadOffset + i] != kInitNonceByte) return;
  }
  const std::uint32_t allocated = ReadChannel(report + kAllocatedOffset);
  // Neither names a channel of our own: taking the broadcast channel would let
  // every other program's INIT answer through.
  if (allocated == 0 || allocated == kBroadcastChannel) return;
  allocated_ = allocated;
  hasAllocated_ = true;
}

bool AnswerChannels::IsOurs(const std::uint8_t* report, std::size_t received) const {
  if (received < kChannelOffset + 4) return false;
  const std::uint32_t channel = ReadChannel(report + kChannelOffset);
  return channel == messageChannel_ || (hasAllocated_ && channel == allocated_);
}

}  // namespace pinvale::ctaphid
