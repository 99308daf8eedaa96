#pragma once

// Several sources of HID interfaces seen as one: the hidraw nodes, the sockets of
// a virtual-key directory, an in-process virtual key. Open goes to the source
// that listed the path.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/hid_platform.h"

namespace pinvale {

class CompositeHidPlatform : public HidPlatform {
 public:
  void Add(std::shared_ptr<HidPlatform> platform);

  // The paths of every source, source by source in the order they were added.
  // False only when there are sources and none could list its interfaces.
  bool ListInterfaces(std::vector<std::string>& paths) override;

  // Routed to the source that listed `path` last; a path never listed is not
  // found (error 2).
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;
  // Asked of the source that listed `path`; kUnknown for a path never listed.
  HidInterfaceKind Kind(const std::string& path) override;

 private:
  std::shared_ptr<HidPlatform> OwnerOf(const std::string& path);

  std::mutex mutex_;
  std::vector<std::shared_ptr<HidPlatform>> platforms_;
  std::map<std::string, std::weak_ptr<HidPlatform>> owners_;
};

}  // namespace pinvale
