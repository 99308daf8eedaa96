#include "fuzz_hid_platform.h"

#include <algorithm>
#include <cstring>

#include "transport/hidraw_path.h"
#include "transport/maker_ids.h"

namespace pinvale::fuzz {

namespace {

class FuzzHandle : public HidHandle {
 public:
  explicit FuzzHandle(std::shared_ptr<FuzzHidPlatform::Script> script)
      : script_(std::move(script)) {}

  bool GetAttributes(HidAttributes& attributes) override {
    attributes = {kMakerVendorId, kMakerProductIds[0]};
    return true;
  }
  bool GetCaps(HidCaps& caps) override {
    caps = script_->caps;
    return true;
  }
  void Flush() override {}

  int WriteReport(const std::uint8_t*, std::size_t length, std::uint32_t& error) override {
    const std::size_t index = script_->writes++;
    if (index < 8 && (script_->writeFailures >> index) & 1) {
      error = 0x1F;
      return -1;
    }
    return static_cast<int>(length);
  }

  HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int, std::size_t& received,
                           std::uint32_t& error) override {
    received = 0;
    FuzzHidPlatform::Script& s = *script_;
    if (s.pos >= s.size) return HidReadStatus::kTimeout;
    const std::uint8_t length = s.data[s.pos++];
    if (length == 0xFF) {
      error = 0x3E5;
      return HidReadStatus::kError;
    }
    if (length == 0xFE) return HidReadStatus::kTimeout;
    const std::size_t available = std::min<std::size_t>(length, s.size - s.pos);
    // The handle writes exactly the capacity it was given at most, so ASan sees
    // any buffer the exchange hands in too small.
    received = std::min(available, capacity);
    std::memcpy(report, s.data + s.pos, received);
    s.pos += available;
    return HidReadStatus::kOk;
  }

 private:
  std::shared_ptr<FuzzHidPlatform::Script> script_;
};

}  // namespace

FuzzHidPlatform::FuzzHidPlatform(const std::uint8_t* data, std::size_t size, HidCaps caps)
    : script_(std::make_shared<Script>()) {
  script_->data = data;
  script_->size = size;
  script_->caps = caps;
  if (script_->size > 0) {
    script_->writeFailures = data[0];
    script_->pos = 1;
  }
}

bool FuzzHidPlatform::ListInterfaces(std::vector<std::string>& paths) {
  paths = {BuildHidrawPath(kMakerVendorId, kMakerProductIds[0], "/dev/fuzz")};
  return true;
}

std::unique_ptr<HidHandle> FuzzHidPlatform::Open(const std::string&, HidAccess, std::uint32_t&) {
  return std::make_unique<FuzzHandle>(script_);
}

}  // namespace pinvale::fuzz
