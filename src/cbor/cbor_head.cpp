#include "cbor/cbor_head.h"

namespace pinvale {

namespace {

// Decodes one head without tag folding into `head`'s type, info, length and argument.
// Returns false, leaving headLength 0, when the head is malformed.
bool decodeSingle(const uint8_t* p, uint32_t available, CborHead& head) {
  head.headLength = 0;
  head.argument = 0;
  if (p == nullptr || available == 0) {
    head.majorType = 7;
    head.additionalInfo = 22;
    return false;
  }
  head.majorType = static_cast<uint8_t>(p[0] >> 5);
  head.additionalInfo = static_cast<uint8_t>(p[0] & 0x1F);
  const uint8_t info = head.additionalInfo;
  uint8_t size = 0;
  if (info <= 23) {
    head.argument = info;
    size = 1;
  } else if (info == 24) {
    size = 2;
  } else if (info == 25) {
    size = 3;
  } else if (info == 26) {
    size = 5;
  } else if (info == 31) {
    // Only strings, arrays and maps have an indefinite form, and major type 7 a break.
    if (head.majorType <= 1 || head.majorType == 6) return false;
    head.argument = 31;
    size = 1;
  } else {
    return false;  // 27: 8-byte argument; 28-30: reserved.
  }
  if (size > available) return false;
  for (uint8_t i = 1; i < size; ++i) head.argument = (head.argument << 8) | p[i];
  head.headLength = size;
  return true;
}

}  // namespace

CborHead decodeHead(const uint8_t* p, uint32_t available) {
  CborHead head;
  if (!decodeSingle(p, available, head)) {
    head.headLength = 0;
    head.argument = 0;
    return head;
  }
  if (head.majorType != 6) return head;

  // Fold the one tag into the head of the item it tags.
  const uint8_t tagLength = head.headLength;
  head.tag = head.argument;
  if (!decodeSingle(p + tagLength, available - tagLength, head)) return head;
  head.headLength = static_cast<uint8_t>(head.headLength + tagLength);
  return head;
}

}  // namespace pinvale
