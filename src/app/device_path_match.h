#pragma once

// Device-change notices name the device by path; the main window reacts only to
// paths that carry one of the maker's product ids as four hexadecimal digits, in
// either letter case (Windows writes "PID_2D71", hidraw and socket paths "2d71").

#include <string_view>

namespace pinvale {

bool PathNamesMakerProduct(std::u16string_view devicePath);

}  // namespace pinvale
