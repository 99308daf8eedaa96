#include "app/hid_setup.h"

#include "transport/hid_composite.h"
#include "transport/hid_device_list.h"
#include "transport/hid_system.h"
#include "vkey/key_state.h"

namespace pinvale {
namespace {

// The demo key's passkeys, there once a PIN is set: the Passkeys window has something
// to list, delete and edit.
struct ExamplePasskey {
  const char* rpId;
  const char* rpName;
  const char* userName;
  const char* displayName;
};
constexpr ExamplePasskey kExamplePasskeys[] = {
    {"example.com", "Example", "alice@example.com", "Alice Example"},
    {"example.com", "Example", "bob@example.com", "Bob Builder"},
    {"login.example.org", "Example Org", "alice", "Alice Example"},
    {"mail.example.net", "Example Mail", "carol.smith", "Carol Smith"},
    {"shop.example", "Example Shop", "dave", ""},
};

std::vector<std::shared_ptr<const vkey::StoredCredential>> ExamplePasskeys() {
  std::vector<std::shared_ptr<const vkey::StoredCredential>> passkeys;
  std::uint8_t serial = 1;
  for (const ExamplePasskey& example : kExamplePasskeys) {
    auto credential = std::make_shared<vkey::StoredCredential>();
    credential->id.assign(32, serial);
    credential->id[0] = 0xDE;
    credential->rpId = example.rpId;
    credential->rpName = example.rpName;
    credential->userId = {'d', 'e', 'm', 'o', serial};
    credential->userName = example.userName;
    credential->userDisplayName = example.displayName;
    passkeys.push_back(std::move(credential));  // a private key of its own comes with storing
    ++serial;
  }
  return passkeys;
}

}  // namespace

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
  config.passkeysWithNewPin = ExamplePasskeys();
  // The sensor the demo key plays reads the first sample of an enrolment as placed too
  // high, as a hurried finger is: the enrolment shows its feedback and still succeeds.
  config.automaticBadFirstSample = 0x01;
  demoKey = vkey::VirtualKey::Create(config);
  demoPlatform->AddKey(demoKey, "demo");
}

}  // namespace pinvale
