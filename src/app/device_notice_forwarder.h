#pragma once

// Passes the platform's device-change notices to a window as WM_DEVICECHANGE, the
// way Windows delivers them: wParam the event, lParam the notice with its path.

#include <memory>

#include "platform/device_notices.h"
#include "ui/window_messages.h"

namespace pinvale {

class DeviceNoticeForwarder {
 public:
  DeviceNoticeForwarder(HWND window, const DeviceNoticeSources& sources);
  // Stops the watcher thread and waits for it.
  ~DeviceNoticeForwarder();
  DeviceNoticeForwarder(const DeviceNoticeForwarder&) = delete;
  DeviceNoticeForwarder& operator=(const DeviceNoticeForwarder&) = delete;

  bool Watching() const { return watcher_ != nullptr; }

 private:
  std::unique_ptr<DeviceNoticeWatcher> watcher_;
};

}  // namespace pinvale
