#include "cbor/cbor_head.h"

namespace pinvale {

namespace {

// One head without tag folding. Kept in plain scalars: the result is assembled once at
// the end, which keeps this hot path out of memory.
struct SingleHead {
  uint8_t majorType = 7;
  uint8_t additionalInfo = 22;
  uint8_t length = 0;  // 0: malformed or nothing to read
  uint32_t argument = 0;
};

SingleHead decodeSingle(const uint8_t* p, uint32_t available) {
  if (p == nullptr || available == 0) return {};
  const uint8_t majorType = static_cast<uint8_t>(p[0] >> 5);
  const uint8_t info = static_cast<uint8_t>(p[0] & 0x1F);
  if (info <= 23) return {majorType, info, 1, info};
  switch (info) {
    case 24:
      if (available >= 2) return {majorType, info, 2, p[1]};
      break;
    case 25:
      if (available >= 3) return {majorType, info, 3, uint32_t{p[1]} << 8 | p[2]};
      break;
    case 26:
      if (available >= 5) {
        return {majorType, info, 5,
                uint32_t{p[1]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 8 | p[4]};
      }
      break;
    case 31:
      // Only strings, arrays and maps have an indefinite form, and major type 7 a break.
      if (majorType >= 2 && majorType != 6) return {majorType, info, 1, 31};
      break;
    default:
      break;  // 27: 8-byte argument; 28-30: reserved.
  }
  return {majorType, info, 0, 0};
}

}  // namespace

CborHead decodeHead(const uint8_t* p, uint32_t available) {
  const SingleHead first = decodeSingle(p, available);
  if (first.majorType != 6 || first.length == 0) {
    return {CBOR_NO_TAG, first.majorType, first.additionalInfo, first.length, first.argument};
  }
  // Fold the one tag into the head of the item it tags.
  const SingleHead item = decodeSingle(p + first.length, available - first.length);
  const uint8_t length = item.length == 0 ? 0 : static_cast<uint8_t>(item.length + first.length);
  return {first.argument, item.majorType, item.additionalInfo, length, item.argument};
}

}  // namespace pinvale
