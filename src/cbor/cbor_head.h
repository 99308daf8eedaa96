#pragma once

#include <cstdint>

namespace pinvale {

// Tag number that marks "no tag precedes the item". A real tag 255 reads the same.
constexpr uint32_t CBOR_NO_TAG = 255;
// Item count of an indefinite-length container or string: it ends only at a break (0xFF).
constexpr int32_t CBOR_INDEFINITE_COUNT = 0x7EEEEEEE;

// The decoded head of one CBOR item. A single tag in front of the item is folded in:
// `tag` holds its number and `headLength` covers both heads.
//
// The defaults read as CBOR null. They are also what a null pointer or zero available
// bytes decode to.
//
// A malformed head is reported with headLength 0 and argument 0 (see isWellFormed);
// majorType and additionalInfo then still hold the initial byte that could not be
// decoded, so simpleValue() on a double float still reads 27.
struct CborHead {
  uint32_t tag = CBOR_NO_TAG;
  uint8_t majorType = 7;
  uint8_t additionalInfo = 22;
  uint8_t headLength = 0;
  uint32_t argument = 0;
};

// Decodes the head at p, reading at most `available` bytes. The head is malformed
// (headLength 0) when:
//  - its argument bytes, or the tagged item's head, run past `available`;
//  - additional information is 27 (8-byte argument, outside our 32-bit model) or 28-30
//    (reserved);
//  - additional information is 31 on a major type that has no indefinite form (0, 1, 6).
// When the tagged item is itself a tag, the result has majorType 6 with the inner tag
// number as argument; walks treat such a head as a prefix of the item that follows.
CborHead decodeHead(const uint8_t* p, uint32_t available);

// True when decodeHead could decode a complete head; false for malformed heads and for
// the null/empty default.
inline bool isWellFormed(const CborHead& head) {
  return head.headLength != 0;
}

// True for the break byte 0xFF that closes indefinite-length items.
inline bool isBreak(const CborHead& head) {
  return head.majorType == 7 && head.additionalInfo == 31 && head.headLength != 0;
}

// True for a byte/text string, array or map of indefinite length.
inline bool isIndefinite(const CborHead& head) {
  return head.majorType >= 2 && head.majorType <= 5 && head.additionalInfo == 31 &&
         head.headLength != 0;
}

}  // namespace pinvale
