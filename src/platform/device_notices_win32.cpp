#include "platform/device_notices.h"

namespace pinvale {

// On Windows the main window registers for WM_DEVICECHANGE itself
// (RegisterDeviceNotificationW), so no watcher thread is needed.
std::unique_ptr<DeviceNoticeWatcher> StartDeviceNoticeWatcher(const DeviceNoticeSources&,
                                                              DeviceNoticeCallback) {
  return nullptr;
}

}  // namespace pinvale
