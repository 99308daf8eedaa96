#include "app/hid_setup.h"

#include "transport/hid_composite.h"
#include "transport/hid_device_list.h"
#include "transport/hid_system.h"

namespace pinvale {

bool MakerKeyPresent(const std::shared_ptr<HidPlatform>& platform) {
  bool accessFailedBefore = HidAccessFailureFlag();
  CHidDeviceList probe(platform);
  // The probe only counts keys; the pause a slow key needs before it answers belongs
  // to the window's own connection, which runs after the first frame.
  probe.SetPauseFunction(nullptr);
  bool present = probe.Enumerate() > 0 || HidAccessFailureFlag();
  // The probe must not leave a warning behind for the main window's first connection;
  // that enumeration raises the flag again if it still applies.
  if (!accessFailedBefore) ClearHidAccessFailureFlag();
  return present;
}

HidSetup SetUpHid(const AppOptions& options) {
  HidSetup setup;
  std::shared_ptr<HidPlatform> system = CreateSystemHidPlatform(options.virtualKeyDirectory);
  bool plugDemoKey = options.virtualKey || (options.virtualKeyIfNone && !MakerKeyPresent(system));
  if (!plugDemoKey) {
    setup.platform = system;
    return setup;
  }
  setup.demoPlatform = std::make_shared<vkey::VirtualHidPlatform>();
  auto composite = std::make_shared<CompositeHidPlatform>();
  composite->Add(system);
  composite->Add(setup.demoPlatform);
  setup.platform = composite;
  return setup;
}

void HidSetup::PlugDemoKey() {
  if (!demoPlatform || demoKey) return;
  vkey::VirtualKeyConfig config;
  // The newest profile the key plays: protocols 2 and 1, so today's client (protocol
  // 1) and a client that takes protocol 2 both find what they speak.
  config.profile = vkey::CtapProfile::kCtap21;
  config.touchMode = vkey::TouchMode::kAutomatic;
  config.touchDelayMs = kDemoKeyTouchDelayMs;
  // A real key accepts a reset only just after it is plugged in; the demo key lets
  // the reset be tried at any time.
  config.resetWindowMs = 24 * 60 * 60 * 1000;
  demoKey = vkey::VirtualKey::Create(config);
  demoPlatform->AddKey(demoKey, "demo");
}

}  // namespace pinvale
