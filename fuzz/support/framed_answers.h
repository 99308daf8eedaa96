#pragma once

// Turns a list of answer messages (status byte and CBOR body, as the key means them)
// into the reads of a FuzzHidPlatform script, framed as a key of the maker frames them:
// the INIT answer, then the message's initialisation and continuation reports. The
// fuzzer then spends its bytes on what the answers say rather than on their framing;
// the raw reports are fuzzed by the targets' other mode.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pinvale::fuzz {

// Input: records of [flags][length high][length low][length bytes], as many as fit.
// Flag bit 0 puts a keepalive before the answer, bit 1 makes the exchange end in a read
// error instead, bit 2 lets the answer stop one report short (silence). Returns the
// script: a zero write-failure mask, then length-prefixed reports.
std::vector<std::uint8_t> FrameAnswers(const std::uint8_t* data, std::size_t size);

}  // namespace pinvale::fuzz
