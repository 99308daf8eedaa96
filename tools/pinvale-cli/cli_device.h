#pragma once

// Which key pinvale-cli talks to: the first of the maker's product ids present,
// as the main window chooses, or the one interface --device names.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/fido_token.h"
#include "transport/hid_platform.h"

namespace pinvale::cli {

// Makes the machine's HID interfaces, with the virtual keys of a directory when
// it is not empty. CreateSystemHidPlatform in the program; tests hand in a
// virtual key.
using PlatformFactory = std::function<std::shared_ptr<HidPlatform>(const std::string& vkeyDir)>;

// Lists only the interfaces a test accepts; opens go to the wrapped platform.
class FilteredHidPlatform : public HidPlatform {
 public:
  using Accept = std::function<bool(const std::string& path)>;
  FilteredHidPlatform(std::shared_ptr<HidPlatform> inner, Accept accept)
      : inner_(std::move(inner)), accept_(std::move(accept)) {}

  bool ListInterfaces(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path, HidAccess access,
                                  std::uint32_t& error) override;
  HidInterfaceKind Kind(const std::string& path) override;

 private:
  std::shared_ptr<HidPlatform> inner_;
  Accept accept_;
};

// The interfaces the command works on: all of them, or only the one that
// `devicePath` names (a listed path, a hidraw node such as /dev/hidraw3, or a
// virtual-key socket, whose directory is then searched too).
std::shared_ptr<HidPlatform> ChoosePlatform(const PlatformFactory& factory,
                                            const std::string& devicePath,
                                            const std::string& vkeyDir);

struct KeyFound {
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool chosen = false;  // the key the other commands would use
};

// Every key of the maker that opens, in the platform's order.
std::vector<KeyFound> ListKeys(const std::shared_ptr<HidPlatform>& platform);

// Whether the interface at `path` has left the platform's list: the key was
// pulled out. A key pulled out in the middle of an exchange can fail it a moment
// before the system takes the interface away, so a path still listed is asked
// about again for up to `graceMs` before the answer is no.
constexpr int kPullOutGraceMs = 500;
bool KeyPulledOut(HidPlatform& platform, const std::string& path, int graceMs = kPullOutGraceMs);

// Enumerates and selects the first of the maker's product ids present; with a
// single device named, whatever that device is. False when there is none.
bool ConnectKey(CFidoToken& token, bool deviceNamed, std::uint16_t& productId);

}  // namespace pinvale::cli
