#pragma once

#include <cstdint>
#include <vector>

#include "cbor/cbor_item.h"

namespace pinvale::test {

using Bytes = std::vector<uint8_t>;

// The buffers are heap blocks of exactly the encoded size, so AddressSanitizer catches
// any read past the view.
inline CborItem viewOf(const Bytes& bytes) {
  return CborItem(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

inline Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Offset of a view's start within `bytes`, or -1 for the empty view.
inline long offsetIn(const Bytes& bytes, const CborItem& item) {
  return item.data() == nullptr ? -1 : static_cast<long>(item.data() - bytes.data());
}

}  // namespace pinvale::test
