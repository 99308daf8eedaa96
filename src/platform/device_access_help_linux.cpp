#include "platform/device_access_help.h"

namespace pinvale {

std::u16string_view DeviceAccessHelpText() {
  return u"Pinvale cannot open your security key.\n"
         u"Install the udev rule (see README) and re-plug the key.";
}

}  // namespace pinvale
