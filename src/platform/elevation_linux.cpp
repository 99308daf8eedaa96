#include "platform/elevation.h"

namespace pinvale {

// Access to a key comes from a udev rule here: starting again changes nothing.
bool ElevationMightHelp() {
  return false;
}

unsigned WindowsBuildNumber() {
  return 0;
}

bool StartElevated(std::u16string_view, std::u16string_view, bool) {
  return false;
}

}  // namespace pinvale
