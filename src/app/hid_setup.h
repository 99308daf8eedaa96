#pragma once

// Where the main window finds keys: the machine's hidraw nodes, the sockets of a
// virtual-key directory, and in demo mode an in-process virtual key.

#include <memory>

#include "app/app_options.h"
#include "transport/hid_platform.h"
#include "vkey/virtual_hid_platform.h"
#include "vkey/virtual_key.h"

namespace pinvale {

struct HidSetup {
  std::shared_ptr<HidPlatform> platform;
  std::shared_ptr<vkey::VirtualKey> demoKey;  // null unless one was plugged in
  // Demo mode: makes the demo key and plugs it into `platform`. The key's set-up (its
  // key pair and its timer thread) costs milliseconds the first frame need not wait for:
  // the program calls this once the frame is shown, before the first connection looks
  // for keys. Does nothing outside demo mode or when called again.
  void PlugDemoKey();

  std::shared_ptr<vkey::VirtualHidPlatform> demoPlatform;  // demo mode only
};

// The demo key touches itself this long after a request starts waiting, so the
// "touch your key" prompts can be seen.
constexpr int kDemoKeyTouchDelayMs = 1500;

HidSetup SetUpHid(const AppOptions& options);

// True when a key of the maker is present, or present but not accessible (the user
// should then be told how to get access rather than see a virtual key).
bool MakerKeyPresent(const std::shared_ptr<HidPlatform>& platform);

}  // namespace pinvale
