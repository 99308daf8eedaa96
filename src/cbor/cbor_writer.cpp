#include "cbor/cbor_writer.h"

#include <cstring>

namespace pinvale {

uint32_t cborHeadSize(uint32_t argument) {
  if (argument <= 23) return 1;
  if (argument <= 0xFF) return 2;
  if (argument <= 0xFFFF) return 3;
  return 5;
}

void CborWriter::init(uint8_t* buffer, uint32_t capacity) {
  buffer_ = buffer;
  capacity_ = buffer == nullptr ? 0 : capacity;
  length_ = 0;
}

uint32_t CborWriter::putHead(uint8_t majorType, uint32_t argument) {
  if (buffer_ == nullptr || majorType >= 7) return 0;
  const uint32_t size = cborHeadSize(argument);
  if (size > room()) return 0;
  uint8_t* out = buffer_ + length_;
  const uint8_t initial = static_cast<uint8_t>(majorType << 5);
  switch (size) {
    case 1:
      out[0] = static_cast<uint8_t>(initial | argument);
      break;
    case 2:
      out[0] = initial | 24;
      out[1] = static_cast<uint8_t>(argument);
      break;
    case 3:
      out[0] = initial | 25;
      out[1] = static_cast<uint8_t>(argument >> 8);
      out[2] = static_cast<uint8_t>(argument);
      break;
    default:
      out[0] = initial | 26;
      out[1] = static_cast<uint8_t>(argument >> 24);
      out[2] = static_cast<uint8_t>(argument >> 16);
      out[3] = static_cast<uint8_t>(argument >> 8);
      out[4] = static_cast<uint8_t>(argument);
      break;
  }
  length_ += size;
  return size;
}

uint32_t CborWriter::putRaw(const uint8_t* p, uint32_t n) {
  if (buffer_ == nullptr || p == nullptr || n > room()) return 0;
  if (n != 0) std::memcpy(buffer_ + length_, p, n);
  length_ += n;
  return n;
}

CborWriter& CborWriter::putInt(int32_t v) {
  // For negatives the argument is -1 - v, which is the bitwise complement.
  if (v >= 0) {
    putHead(0, static_cast<uint32_t>(v));
  } else {
    putHead(1, ~static_cast<uint32_t>(v));
  }
  return *this;
}

void CborWriter::putString(uint8_t majorType, const uint8_t* p, uint32_t n) {
  if (buffer_ == nullptr || (p == nullptr && n != 0)) return;
  // Checked as two steps so that head size + n cannot wrap.
  if (n > room() || cborHeadSize(n) > room() - n) return;
  putHead(majorType, n);
  if (n != 0) putRaw(p, n);
}

CborWriter& CborWriter::putBytes(const uint8_t* p, uint32_t n) {
  putString(2, p, n);
  return *this;
}

CborWriter& CborWriter::putText(const char* p, uint32_t n) {
  putString(3, reinterpret_cast<const uint8_t*>(p), n);
  return *this;
}

CborWriter& CborWriter::putBool(bool v) {
  // Simple values are major type 7, which putHead refuses on purpose.
  if (buffer_ != nullptr && room() >= 1) buffer_[length_++] = v ? 0xF5 : 0xF4;
  return *this;
}

CborWriter& CborWriter::beginMap(uint32_t count) {
  putHead(5, count);
  return *this;
}

CborWriter& CborWriter::beginArray(uint32_t count) {
  putHead(4, count);
  return *this;
}

}  // namespace pinvale
