#pragma once

// A HID platform that passes everything to another and counts the reports each
// way, so the benchmarks can say how many packets an operation costs.

#include <atomic>
#include <cstdint>
#include <memory>

#include "transport/hid_platform.h"

namespace pinvale::bench {

struct ReportCounts {
  std::atomic<std::uint64_t> sent{0};
  std::atomic<std::uint64_t> received{0};
};

class CountingHidPlatform : public HidPlatform {
 public:
  CountingHidPlatform(std::shared_ptr<HidPlatform> inner, std::shared_ptr<ReportCounts> counts)
      : inner_(std::move(inner)), counts_(std::move(counts)) {}

  bool ListInterfaces(std::vector<std::string>& paths) override {
    return inner_->ListInterfaces(paths);
  }
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;

 private:
  std::shared_ptr<HidPlatform> inner_;
  std::shared_ptr<ReportCounts> counts_;
};

}  // namespace pinvale::bench
