#include "cbor/cbor_walk.h"

namespace pinvale {

namespace {

// Counts are kept in 64 bits: a map of 2^32-1 pairs holds 2^33-2 items. Indefinite
// containers get a value no definite count can take.
constexpr int64_t kIndefinite = -1;

}  // namespace

void CborOpenContainers::push(int64_t remaining) {
  if (depth_ < kInline) {
    inline_[depth_] = remaining;
  } else {
    spill_.push_back(remaining);
  }
  ++depth_;
}

int64_t CborOpenContainers::pop() {
  --depth_;
  if (depth_ < kInline) return inline_[depth_];
  const int64_t remaining = spill_.back();
  spill_.pop_back();
  return remaining;
}

void CborOpenContainers::clear() {
  depth_ = 0;
  spill_.clear();
}

bool skipCborItem(const uint8_t* data, uint32_t length, uint32_t& offset,
                  CborOpenContainers& open) {
  open.clear();
  int64_t remaining = 1;  // the item itself
  while (offset < length) {
    const CborHead head = decodeHead(data + offset, length - offset);
    if (!isWellFormed(head)) return false;
    offset += head.headLength;  // never past length: the head fitted
    // A second tag is a prefix of the item that follows, not an item of its own.
    if (head.majorType == 6) continue;

    if (isBreak(head)) {
      // A break closes the innermost container; with none open it is no item at all.
      if (open.empty()) return false;
      remaining = open.pop();
    } else {
      if (remaining != kIndefinite) --remaining;
      switch (head.majorType) {
        case 2:
        case 3:
          if (isIndefinite(head)) {
            open.push(remaining);
            remaining = kIndefinite;  // its chunks follow as items
          } else {
            if (head.argument > length - offset) return false;
            offset += head.argument;
          }
          break;
        case 4:
        case 5:
          if (isIndefinite(head)) {
            open.push(remaining);
            remaining = kIndefinite;
          } else if (head.argument != 0) {
            open.push(remaining);
            remaining = static_cast<int64_t>(head.argument) * (head.majorType == 5 ? 2 : 1);
          }
          break;
        default:
          break;  // integers and simple values are all head
      }
    }
    while (remaining == 0) {
      if (open.empty()) return true;
      remaining = open.pop();
    }
  }
  return false;
}

}  // namespace pinvale
