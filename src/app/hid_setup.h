#pragma once

// Where the main window finds keys: the machine's hidraw nodes, the sockets of a
// virtual-key directory, and in demo mode an in-process virtual key.

#include <memory>

#include "app/app_options.h"
#include "transport/hid_platform.h"
#include "vkey/virtual_key.h"

namespace pinvale {

struct HidSetup {
  std::shared_ptr<HidPlatform> platform;
  std::shared_ptr<vkey::VirtualKey> demoKey;  // null unless one was plugged in
};

// The demo key touches itself this long after a request starts waiting, so the
// "touch your key" prompts can be seen.
constexpr int kDemoKeyTouchDelayMs = 1500;

HidSetup SetUpHid(const AppOptions& options);

// True when a key of the maker is present, or present but not accessible (the user
// should then be told how to get access rather than see a virtual key).
bool MakerKeyPresent(const std::shared_ptr<HidPlatform>& platform);

}  // namespace pinvale
