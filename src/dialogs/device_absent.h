#pragma once

// True while no key of the maker is connected. The main window writes it on the
// UI thread when it connects and when a key is pulled out; the dialogs' watchdog
// and reset worker threads read it to notice that their key has gone.

#include <atomic>

namespace pinvale {

inline std::atomic<bool> DeviceAbsent{true};

}  // namespace pinvale
