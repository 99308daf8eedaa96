#pragma once

// The maker's USB ids. Keys of the maker carry kMakerVendorId and one of the four
// product ids of kMakerProductIds; the order matters, because the main window and
// pinvale-cli connect to the first product id of this list that is present.

#include <array>
#include <cstdint>

namespace pinvale {

constexpr std::uint16_t kMakerVendorId = 0x3F8C;

constexpr std::array<std::uint16_t, 4> kMakerProductIds = {0x2D71, 0x64A9, 0xB5D2, 0x9E07};

// A further product of the maker that needs two seconds after it is opened before
// it answers; it is not one of the four above.
constexpr std::uint16_t kMakerSlowProductId = 0xA1C4;
constexpr int kSlowProductOpenPauseMs = 2000;

}  // namespace pinvale
