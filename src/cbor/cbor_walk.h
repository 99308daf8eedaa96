#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cbor/cbor_head.h"

namespace pinvale {

// The counts of the containers a walk has entered. Real answers nest a few levels
// deep, so the first levels live inline and only hostile nesting reaches the heap.
class CborOpenContainers {
 public:
  bool empty() const { return depth_ == 0; }
  void push(int64_t remaining);
  int64_t pop();
  void clear();

 private:
  static constexpr uint32_t kInline = 16;
  std::array<int64_t, kInline> inline_;  // only read below depth_
  std::vector<int64_t> spill_;
  uint32_t depth_ = 0;
};

// Moves `offset` past the whole item that starts there: its tags, its content, and
// every nested item of a container, indefinite ones up to their break. Returns false,
// with `offset` unspecified, when the bytes run out, a head is malformed or a break
// stands anywhere but at the end of an indefinite-length item (as an element of a
// definite array or map, as the value of a key, as the item itself, or after a tag). Every step
// advances by at least one byte, so the walk ends on any input; huge counts only make it run out of
// bytes.
bool skipCborItem(const uint8_t* data, uint32_t length, uint32_t& offset, CborOpenContainers& open);

}  // namespace pinvale
