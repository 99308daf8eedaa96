#include "cli_device.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "transport/hidraw_path.h"
#include "transport/maker_ids.h"

namespace pinvale::cli {

namespace fs = std::filesystem;

bool FilteredHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  std::vector<std::string> all;
  if (!inner_->ListInterfaces(all)) return false;
  paths.clear();
  for (std::string& path : all) {
    if (accept_(path)) paths.push_back(std::move(path));
  }
  return true;
}

std::unique_ptr<HidHandle> FilteredHidPlatform::Open(const std::string& path, HidAccess access,
                                                     std::uint32_t& error) {
  return inner_->Open(path, access, error);
}

HidInterfaceKind FilteredHidPlatform::Kind(const std::string& path) {
  return inner_->Kind(path);
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::shared_ptr<HidPlatform> ChoosePlatform(const PlatformFactory& factory,
                                            const std::string& devicePath,
                                            const std::string& vkeyDir) {
  if (devicePath.empty()) return factory(vkeyDir);

  std::error_code ec;
  const bool socket = fs::is_socket(devicePath, ec);
  std::string dir = vkeyDir;
  if (socket) dir = fs::absolute(devicePath, ec).parent_path().string();
  return std::make_shared<FilteredHidPlatform>(
      factory(dir), [devicePath, socket](const std::string& path) {
        if (path == devicePath) return true;
        std::string node;
        if (ParseHidrawPath(path, node)) return node == devicePath || SameFile(node, devicePath);
        return socket && SameFile(path, devicePath);
      });
}

std::vector<KeyFound> ListKeys(const std::shared_ptr<HidPlatform>& platform) {
  std::vector<KeyFound> keys;
  std::vector<std::string> paths;
  if (!platform->ListInterfaces(paths)) return keys;
  // Each path is enumerated on its own, so the listing applies exactly the
  // rules the other commands connect by.
  for (const std::string& path : paths) {
    CFidoToken token(std::make_shared<FilteredHidPlatform>(
        platform, [&path](const std::string& candidate) { return candidate == path; }));
    token.SetTransport(kTransportUsbHid);
    if (token.EnumerateDevices() < 1) continue;
    const HidDeviceInfo& entry = token.DeviceList().Entries().front();
    keys.push_back({path, static_cast<std::uint16_t>(entry.vendorId),
                    static_cast<std::uint16_t>(entry.productId), false});
  }
  for (std::uint16_t productId : kMakerProductIds) {
    for (KeyFound& key : keys) {
      if (key.vendorId == kMakerVendorId && key.productId == productId) {
        key.chosen = true;
        return keys;
      }
    }
  }
  return keys;
}

bool KeyPulledOut(HidPlatform& platform, const std::string& path, int graceMs) {
  if (path.empty()) return false;
  constexpr int kStepMs = 50;
  for (int waited = 0;; waited += kStepMs) {
    std::vector<std::string> paths;
    // A list that cannot be read tells nothing about the key.
    if (!platform.ListInterfaces(paths)) return false;
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) return true;
    if (waited >= graceMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
}

bool ConnectKey(CFidoToken& token, bool deviceNamed, std::uint16_t& productId) {
  token.SetTransport(kTransportUsbHid);
  if (token.EnumerateDevices() < 1) return false;
  if (deviceNamed) {
    const HidDeviceInfo& entry = token.DeviceList().Entries().front();
    productId = static_cast<std::uint16_t>(entry.productId);
    return token.SelectDevice(entry.vendorId, entry.productId) == 1;
  }
  for (std::uint16_t candidate : kMakerProductIds) {
    if (token.SelectDevice(kMakerVendorId, candidate) == 1) {
      productId = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace pinvale::cli
