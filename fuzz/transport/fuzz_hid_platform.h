#pragma once

// One key of the maker whose every read returns the next report cut from the
// fuzzer's input. When the input runs out the key falls silent (at once, without
// waiting).

#include <cstddef>
#include <cstdint>

#include "transport/hid_platform.h"

namespace pinvale::fuzz {

// Input layout after the caller's own header bytes: a write-failure mask (bit n
// fails write n), then reads, each a length byte followed by that many bytes.
// Length 0xFF is a read error, 0xFE a read that ends in silence.
class FuzzHidPlatform : public HidPlatform {
 public:
  FuzzHidPlatform(const std::uint8_t* data, std::size_t size, HidCaps caps);

  bool ListInterfaces(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;

  // Shared by both handles of the key.
  struct Script {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    std::uint8_t writeFailures = 0;
    std::size_t writes = 0;
    HidCaps caps;
  };
  const Script& script() const { return *script_; }

 private:
  std::shared_ptr<Script> script_;
};

}  // namespace pinvale::fuzz
