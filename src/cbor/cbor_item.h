#pragma once

#include <cstdint>

#include "cbor/cbor_head.h"

namespace pinvale {

// A non-owning read view over received CBOR. The item read is the first one encoded
// at data(); length() runs to the end of the buffer the view was cut from, not just to
// the end of that item. The empty view (null, 0) reads as CBOR null.
//
// Every read decodes the head afresh and never looks outside [data, data + length):
// heads or string contents that run past the end, malformed heads and indefinite
// strings make typed reads fail and lookups miss. The caller keeps the buffer alive
// and unchanged while views into it are used.
class CborItem {
 public:
  CborItem() = default;
  CborItem(const uint8_t* data, uint32_t length) : data_(data), length_(length) {}

  void assign(const uint8_t* data, uint32_t length) {
    data_ = data;
    length_ = length;
  }
  const uint8_t* data() const { return data_; }
  uint32_t length() const { return length_; }

  // The head of the item at data(); malformed heads have headLength 0.
  CborHead head() const { return decodeHead(data_, length_); }

  // Typed reads: on a false result the outputs are left untouched.
  // Unsigned integer (major type 0).
  bool getUnsigned(uint32_t& out) const;
  // Unsigned or negative integer that fits a signed 32-bit value.
  bool getInt(int32_t& out) const;
  // Definite-length byte string whose content lies inside the view.
  bool getBytes(const uint8_t*& out, uint32_t& outLength) const;
  // Definite-length text string whose content lies inside the view. Not terminated.
  bool getText(const char*& out, uint32_t& outLength) const;

  // The head's additional information whatever the major type: 20 false, 21 true,
  // 22 null (also for the empty view), 23 undefined.
  uint8_t simpleValue() const;

  // The value of the first top-level member whose key is the integer `key`, as a view
  // running to the end of this view. The empty view when this is not a map, the map is
  // empty, the key is missing, or a break stands where a key or value should before
  // the key is found (a break ends only an indefinite map).
  CborItem mapValueByInt(int32_t key) const;
  // The same for a text key of exactly `length` bytes; a null `text` never matches.
  CborItem mapValueByText(const char* text, uint32_t length) const;

  // Sets `after` to the view just past this whole item (nested items included), so
  // that arrays and maps can be walked item by item. Returns false, leaving `after`
  // untouched, when the item is malformed, truncated, a break, or the view is empty.
  bool nextItem(CborItem& after) const;

 private:
  // Common to both lookups: `matches` is asked about each top-level key only.
  template <typename KeyTest>
  CborItem findValue(KeyTest matches) const;

  const uint8_t* data_ = nullptr;
  uint32_t length_ = 0;
};

}  // namespace pinvale
