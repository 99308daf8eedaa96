#pragma once

// Virtual keys appear as UNIX stream sockets named <vid>-<pid>-<label>.sock, with
// vid and pid as four lower-case hex digits; creating the socket plugs the key
// in, removing it pulls the key out.

#include <cstdint>
#include <string_view>

namespace pinvale {

// The ids a socket file name carries, or false when the name is not of that form
// (upper-case digits and an empty label are refused).
bool ParseVirtualKeySocketName(std::string_view fileName, std::uint16_t& vendorId,
                               std::uint16_t& productId);

}  // namespace pinvale
