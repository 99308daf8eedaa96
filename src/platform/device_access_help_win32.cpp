#include "platform/device_access_help.h"

namespace pinvale {

std::u16string_view DeviceAccessHelpText() {
  return {};
}

}  // namespace pinvale
