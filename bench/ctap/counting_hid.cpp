#include "counting_hid.h"

namespace pinvale::bench {

namespace {

class CountingHandle : public HidHandle {
 public:
  CountingHandle(std::unique_ptr<HidHandle> inner, std::shared_ptr<ReportCounts> counts)
      : inner_(std::move(inner)), counts_(std::move(counts)) {}

  bool GetAttributes(HidAttributes& attributes) override {
    return inner_->GetAttributes(attributes);
  }
  bool GetCaps(HidCaps& caps) override { return inner_->GetCaps(caps); }
  void Flush() override { inner_->Flush(); }
  int WriteReport(const std::uint8_t* report, std::size_t length, std::uint32_t& error) override {
    const int written = inner_->WriteReport(report, length, error);
    if (written > 0) ++counts_->sent;
    return written;
  }
  HidReadStatus ReadReport(std::uint8_t* report, std::size_t capacity, int timeoutMs,
                           std::size_t& received, std::uint32_t& error) override {
    const HidReadStatus status = inner_->ReadReport(report, capacity, timeoutMs, received, error);
    if (status == HidReadStatus::kOk) ++counts_->received;
    return status;
  }

 private:
  std::unique_ptr<HidHandle> inner_;
  std::shared_ptr<ReportCounts> counts_;
};

}  // namespace

std::unique_ptr<HidHandle> CountingHidPlatform::Open(const std::string& path, HidAccess access,
                                                     std::uint32_t& error) {
  std::unique_ptr<HidHandle> handle = inner_->Open(path, access, error);
  if (!handle) return nullptr;
  return std::make_unique<CountingHandle>(std::move(handle), counts_);
}

}  // namespace pinvale::bench
