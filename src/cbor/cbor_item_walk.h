#pragma once

#include <cstdint>

#include "cbor/cbor_item.h"

namespace pinvale {

// Walks the members of a map or the elements of an array of received CBOR. Each
// call gives the next item; false at the end or on a malformed item (then
// Broken() is true). Definite and indefinite containers read the same.
class CborItemWalk {
 public:
  // `pairs`: a map's members come as key then value.
  CborItemWalk(const CborItem& container, uint8_t majorType, bool pairs) {
    const CborHead head = container.head();
    if (!isWellFormed(head) || head.majorType != majorType) {
      broken_ = true;
      return;
    }
    indefinite_ = isIndefinite(head);
    left_ = indefinite_ ? 0 : static_cast<uint64_t>(head.argument) * (pairs ? 2 : 1);
    // The tag folded into the head, if any, is skipped with it.
    next_ = CborItem(container.data() + head.headLength, container.length() - head.headLength);
  }

  bool Next(CborItem& item) {
    if (broken_) return false;
    if (indefinite_) {
      if (isBreak(next_.head())) return false;
    } else if (left_ == 0) {
      return false;
    } else {
      --left_;
    }
    CborItem after;
    if (!next_.nextItem(after)) {
      broken_ = true;
      return false;
    }
    item = next_;
    next_ = after;
    return true;
  }
  bool Broken() const { return broken_; }

 private:
  CborItem next_;
  uint64_t left_ = 0;
  bool indefinite_ = false;
  bool broken_ = false;
};

}  // namespace pinvale
