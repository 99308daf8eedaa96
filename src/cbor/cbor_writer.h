#pragma once

#include <cstdint>

namespace pinvale {

// Bytes of the shortest head for an argument: 1, 2, 3 or 5.
uint32_t cborHeadSize(uint32_t argument);

// Encodes a request straight into a caller-owned fixed buffer. Every item is written
// whole or not at all: one that does not fit is skipped silently and the writer stays
// usable, so the caller sees only a shorter length(). Keys are written in the order
// given; the writer neither sorts them nor checks counts against what follows.
class CborWriter {
 public:
  CborWriter() = default;
  CborWriter(uint8_t* buffer, uint32_t capacity) { init(buffer, capacity); }

  // Starts writing at buffer[0]; the previous contents are not cleared.
  void init(uint8_t* buffer, uint32_t capacity);
  uint32_t length() const { return length_; }

  CborWriter& putInt(int32_t v);
  CborWriter& putBytes(const uint8_t* p, uint32_t n);
  CborWriter& putText(const char* p, uint32_t n);
  CborWriter& putBool(bool v);
  // Heads of a map of `count` pairs and of an array of `count` elements; the members
  // follow as separate calls.
  CborWriter& beginMap(uint32_t count);
  CborWriter& beginArray(uint32_t count);

  // One head of major type 0-6 in its shortest form; the bytes written, 0 when there is
  // no buffer, the major type is 7 or more, or the head does not fit.
  uint32_t putHead(uint8_t majorType, uint32_t argument);
  // Copies n bytes when buffer and p are set and they fit; the bytes copied or 0.
  uint32_t putRaw(const uint8_t* p, uint32_t n);

 private:
  uint32_t room() const { return capacity_ - length_; }
  void putString(uint8_t majorType, const uint8_t* p, uint32_t n);

  uint8_t* buffer_ = nullptr;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
};

}  // namespace pinvale
