#include "transport/hid_system.h"

#include "transport/hid_composite.h"
#include "transport/hid_linux.h"
#include "transport/hid_socket_linux.h"

namespace pinvale {

std::shared_ptr<HidPlatform> CreateSystemHidPlatform(const std::string& virtualKeyDir) {
  auto composite = std::make_shared<CompositeHidPlatform>();
  composite->Add(std::make_shared<LinuxHidPlatform>());
  if (!virtualKeyDir.empty()) composite->Add(std::make_shared<SocketHidPlatform>(virtualKeyDir));
  return composite;
}

}  // namespace pinvale
