#pragma once

// The skin archive ("Skins.zip": every layout and picture of the windows) is built from
// this folder and linked into each executable as read-only data, so the program needs no
// files beside it.

#include <cstdint>
#include <span>

namespace pinvale {

// The bytes of the ZIP archive, valid for the whole life of the process.
std::span<const std::uint8_t> EmbeddedSkinArchive();

}  // namespace pinvale
