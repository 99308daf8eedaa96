#pragma once

// What every CBOR request the key reads shares: the request is one well-formed map,
// and its members are looked up in it and checked for their type.

#include <cstddef>
#include <cstdint>

#include "cbor/cbor_item.h"

namespace pinvale::vkey {

struct ByteField {
  bool present = false;
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
};

// The request as a map: a CTAP status, 0x14 for no bytes, 0x12 for bytes that are
// not exactly one well-formed CBOR item, 0x11 for an item that is not a map.
std::uint8_t OpenRequestMap(const std::uint8_t* cbor, std::size_t length, CborItem& map);

// A lookup found the member.
bool Present(const CborItem& item);

// A byte-string member: absent is fine, anything else than a byte string is not.
bool ReadBytes(const CborItem& item, ByteField& field);

}  // namespace pinvale::vkey
