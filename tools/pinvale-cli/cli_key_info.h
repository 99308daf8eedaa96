#pragma once

// What `pinvale-cli info` says of a key beyond its PIN and user verification:
// the getInfo members in plain words, one line each.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "ctap/authenticator_info.h"

namespace pinvale::cli {

std::string DescribeKeyInfo(const AuthenticatorInfo& info);

}  // namespace pinvale::cli
