#include "transport/hid_composite.h"

namespace pinvale {

namespace {
constexpr std::uint32_t kErrorNotFound = 2;  // ENOENT and ERROR_FILE_NOT_FOUND alike
}

void CompositeHidPlatform::Add(std::shared_ptr<HidPlatform> platform) {
  if (!platform) return;
  std::lock_guard<std::mutex> lock(mutex_);
  platforms_.push_back(std::move(platform));
}

bool CompositeHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  std::vector<std::shared_ptr<HidPlatform>> platforms;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    platforms = platforms_;
  }
  paths.clear();
  std::map<std::string, std::weak_ptr<HidPlatform>> owners;
  bool anyListed = false;
  for (const auto& platform : platforms) {
    std::vector<std::string> own;
    if (!platform->ListInterfaces(own)) continue;
    anyListed = true;
    for (std::string& path : own) {
      // The first source to list a path keeps it.
      if (!owners.emplace(path, platform).second) continue;
      paths.push_back(std::move(path));
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  owners_ = std::move(owners);
  return anyListed || platforms.empty();
}

std::shared_ptr<HidPlatform> CompositeHidPlatform::OwnerOf(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = owners_.find(path);
  return found != owners_.end() ? found->second.lock() : nullptr;
}

HidInterfaceKind CompositeHidPlatform::Kind(const std::string& path) {
  std::shared_ptr<HidPlatform> owner = OwnerOf(path);
  return owner ? owner->Kind(path) : HidInterfaceKind::kUnknown;
}

std::unique_ptr<HidHandle> CompositeHidPlatform::Open(const std::string& path, HidAccess access,
                                                      std::uint32_t& error) {
  std::shared_ptr<HidPlatform> owner = OwnerOf(path);
  if (!owner) {
    error = kErrorNotFound;
    return nullptr;
  }
  return owner->Open(path, access, error);
}

}  // namespace pinvale
