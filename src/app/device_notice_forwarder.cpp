#include "app/device_notice_forwarder.h"

#include "app/main_wnd.h"
#include "dialogs/device_notification.h"

namespace pinvale {

DeviceNoticeForwarder::DeviceNoticeForwarder(HWND window, const DeviceNoticeSources& sources) {
  watcher_ = StartDeviceNoticeWatcher(sources, [window](std::uint32_t event, std::u16string path) {
    // The set-PIN and verify-PIN dialogs watch for their key's removal themselves.
    PostDeviceChangeToRegisteredWindows(event, path);
    auto notice = std::make_shared<DeviceChangeNotice>();
    notice->deviceType = kDeviceTypeInterface;
    notice->devicePath = std::move(path);
    // A window that has gone drops the message.
    PostMessage(window, WM_DEVICECHANGE, event, std::shared_ptr<const void>(std::move(notice)));
  });
}

DeviceNoticeForwarder::~DeviceNoticeForwarder() = default;

}  // namespace pinvale
