#include "vkey/virtual_hid_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pinvale::vkey {

namespace {

class VirtualHidHandle : public HidHandle {
 public:
  VirtualHidHandle(std::shared_ptr<VirtualKeyLink> link, HidAccess access, HidAttributes attributes)
      : link_(std::move(link)), access_(access), attributes_(attributes) {}

  bool GetAttributes(HidAttributes& attributes) override {
    if (!link_->IsOpen()) return false;
    attributes = attributes_;
    return true;
  }

  bool GetCaps(HidCaps& caps) override {
    if (!link_->IsOpen()) return false;
    caps.inputReportLength = kVirtualReportLength;
    caps.outputReportLength = kVirtualReportLength;
    return true;
  }

  void Flush() override { link_->Drain(); }

  int WriteReport(const std::uint8_t* report, std::size_t length, std::uint32_t& error) override {
    if (access_ != HidAccess::kWrite) {
      error = kErrorAccessDenied;
      return -1;
    }
    if (length != kVirtualReportLength || report[0] != 0) {
      error = kErrorInvalidParameter;
      return -1;
    }
    if (!link_->ReceivePacket(report + 1)) {
      error = kErrorDeviceNotConnected;
      return -1;
    }
    return static_cast<int>(length);
  }

  HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                           std::size_t& received, std::uint32_t& error) override {
    if (access_ != HidAccess::kRead) {
      error = kErrorAccessDenied;
      return HidReadStatus::kError;
    }
    std::uint8_t packet[kPacketSize];
    switch (link_->WaitPacket(packet, timeoutMs)) {
      case WaitResult::kTimeout:
        return HidReadStatus::kTimeout;
      case WaitResult::kClosed:
        error = kErrorDeviceNotConnected;
        return HidReadStatus::kError;
      case WaitResult::kPacket:
        break;
    }
    std::uint8_t full[kVirtualReportLength] = {0};
    std::memcpy(full + 1, packet, kPacketSize);
    received = std::min<std::size_t>(capacity, sizeof full);
    std::memcpy(report, full, received);
    return HidReadStatus::kOk;
  }

 private:
  std::shared_ptr<VirtualKeyLink> link_;
  HidAccess access_;
  HidAttributes attributes_;
};

}  // namespace

std::string VirtualKeyDevicePath(std::uint16_t vendorId, std::uint16_t productId,
                                 const std::string& label) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", vendorId, productId);
  return std::string("\\\\?\\virtual#") + ids + "#" + label;
}

std::string VirtualHidPlatform::AddKey(std::shared_ptr<VirtualKey> key, const std::string& label) {
  std::string path = VirtualKeyDevicePath(key->Config().vendorId, key->Config().productId, label);
  // The slot outlives the platform if the key does.
  key->SetPlugListener([slot = listener_, path](bool plugged) {
    std::lock_guard<std::mutex> lock(slot->mutex);
    if (slot->listener) slot->listener(path, plugged);
  });
  std::lock_guard<std::mutex> lock(mutex_);
  if (keys_.find(path) == keys_.end()) order_.push_back(path);
  keys_[path] = Entry{std::move(key), nullptr};
  return path;
}

void VirtualHidPlatform::SetPresenceListener(PresenceListener listener) {
  std::lock_guard<std::mutex> lock(listener_->mutex);
  listener_->listener = std::move(listener);
}

bool VirtualHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  paths.clear();
  for (const std::string& path : order_) {
    if (keys_[path].key->IsPlugged()) paths.push_back(path);
  }
  return true;
}

std::unique_ptr<HidHandle> VirtualHidPlatform::Open(const std::string& path, HidAccess access,
                                                    std::uint32_t& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = keys_.find(path);
  if (found == keys_.end() || !found->second.key->IsPlugged()) {
    error = kErrorFileNotFound;
    return nullptr;
  }
  Entry& entry = found->second;
  if (!entry.link || !entry.link->IsOpen()) {
    entry.link = entry.key->Connect();
    if (!entry.link) {
      error = kErrorFileNotFound;
      return nullptr;
    }
  }
  HidAttributes attributes;
  attributes.vendorId = entry.key->Config().vendorId;
  attributes.productId = entry.key->Config().productId;
  return std::make_unique<VirtualHidHandle>(entry.link, access, attributes);
}

}  // namespace pinvale::vkey
