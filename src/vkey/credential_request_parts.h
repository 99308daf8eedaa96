#pragma once

// What makeCredential and getAssertion requests share: lists of credential
// descriptors (excludeList, allowList), boolean options, and the credProtect
// extension input.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cbor/cbor_item.h"
#include "vkey/request_members.h"

namespace pinvale::vkey {

// The ids of a descriptor list. Every descriptor must be a map with a text "type" and
// a byte-string "id" (0x11 for other types, 0x14 for one missing); only "public-key"
// ones are kept, and only the first `keep` of them, as the key reads no more.
std::uint8_t ReadCredentialList(const CborItem& list, std::size_t keep,
                                std::vector<ByteField>& ids);

// A boolean option: absent keeps `value` and leaves `present` alone. False for a
// value that is not a boolean.
bool ReadBooleanOption(const CborItem& options, const char* name, std::uint32_t nameLength,
                       bool& value, bool& present);

// The extensions map (0x11 when it is no map, or has a key that is not text), and its
// credProtect level: 0 when not asked for; 0x11 for a value that is not an unsigned
// integer, 0x02 for one outside 1 to 3.
std::uint8_t ReadExtensions(const CborItem& extensions, std::uint8_t& credProtect);

}  // namespace pinvale::vkey
