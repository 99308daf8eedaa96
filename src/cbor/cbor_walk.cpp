#include "cbor/cbor_walk.h"

namespace pinvale {

namespace {

// Counts are kept in 64 bits: a map of 2^32-1 pairs holds 2^33-2 items. Indefinite
// containers get values no definite count can take. An indefinite map also remembers
// whether a key or its value comes next, since a break in place of a value is
// malformed.
constexpr int64_t kIndefinite = -1;       // array or string: any item, or the break
constexpr int64_t kIndefiniteKey = -2;    // map: a key, or the break
constexpr int64_t kIndefiniteValue = -3;  // map: the value of the key just read

// The count after one more item of the container.
int64_t countItem(int64_t remaining) {
  if (remaining > 0) return remaining - 1;
  if (remaining == kIndefiniteKey) return kIndefiniteValue;
  if (remaining == kIndefiniteValue) return kIndefiniteKey;
  return remaining;
}

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
  bool tagged = false;    // a tag prefix still waits for its item
  while (offset < length) {
    const CborHead head = decodeHead(data + offset, length - offset);
    if (!isWellFormed(head)) return false;
    offset += head.headLength;  // never past length: the head fitted
    const bool afterTag = tagged;
    // A second tag is a prefix of the item that follows, not an item of its own.
    tagged = head.majorType == 6;
    if (tagged) continue;

    if (isBreak(head)) {
      // A break ends an indefinite-length item and nothing else. In place of an
      // element of a definite array or map, of the value of a key, of the top-level
      // item or of a tagged item it is malformed: taking it for the end of the
      // container would frame the answer at the wrong length. A tagged break has a
      // head longer than its one byte.
      const bool mayEnd = remaining == kIndefinite || remaining == kIndefiniteKey;
      if (!mayEnd || afterTag || head.headLength != 1 || open.empty()) {
        return false;
      }
      remaining = open.pop();
    } else {
      remaining = countItem(remaining);
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
            remaining = head.majorType == 5 ? kIndefiniteKey : kIndefinite;
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
