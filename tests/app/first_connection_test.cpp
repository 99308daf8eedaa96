// The main window's first connection runs once the first frame is drawn, on a
// worker: a key that needs seconds before it answers holds back neither the frame
// nor the window's messages, and the status row shows no state until it is known.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "app/app_texts.h"
#include "app/hid_setup.h"
#include "app/main_wnd.h"
#include "dialogs/device_absent.h"
#include "dialogs/pin_dialog_texts.h"
#include "embedded_skin.h"
#include "platform/device_notices.h"
#include "transport/hid_device_list.h"
#include "transport/maker_ids.h"
#include "ui/ui_testing.h"
#include "vkey/virtual_hid_platform.h"

namespace pinvale {
namespace {

namespace uit = ui::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::shared_ptr<vkey::VirtualKey> MakeKey(std::uint16_t productId, const std::string& pin = "") {
  vkey::VirtualKeyConfig config;
  config.productId = productId;
  config.initialPin = pin;
  config.touchMode = vkey::TouchMode::kOnDemand;
  return vkey::VirtualKey::Create(config);
}

// Which key, besides the slow one, the window finds.
enum class OtherKey { kNone, kPresent, kPluggedMeanwhile };

class FirstConnectionTest : public ::testing::TestWithParam<OtherKey> {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(uit::InitHeadless());
    ui::RegisterResource(kSkinResourceKind, kSkinResourceId, EmbeddedSkinArchive());
  }
  static void TearDownTestSuite() { ui::UiShutdown(); }

  void SetUp() override {
    ResetOnStart = false;
    ClearHidAccessFailureFlag();
  }
  void TearDown() override {
    if (window_ && IsWindow(window_->GetHWND())) DestroyWindow(window_->GetHWND());
    uit::PumpUntilIdle();
    window_.reset();
  }

  ui::CControlUI* Control(std::u16string_view name) {
    return uit::FindControl(window_->GetHWND(), name);
  }

  std::unique_ptr<CMainWnd> window_;
};

TEST_P(FirstConnectionTest, SlowKeyHoldsBackNeitherTheFrameNorTheWindow) {
  auto keys = std::make_shared<vkey::VirtualHidPlatform>();
  keys->AddKey(MakeKey(kMakerSlowProductId), "slow");
  if (GetParam() == OtherKey::kPresent) keys->AddKey(MakeKey(kMakerProductIds[0], "1234"), "k");

  window_ = std::make_unique<CMainWnd>(keys);
  window_->SetDeviceChangeWaits(0ms, 0ms);
  ASSERT_NE(window_->Create(nullptr, kProgramCaption, UI_WNDSTYLE_FRAME, 0), nullptr);
  window_->CenterWindow();
  const Clock::time_point shown = Clock::now();
  window_->ShowWindow();
  uit::PumpUntilIdle();
  // Drawn long before the slow key's two seconds are over.
  EXPECT_LT(Clock::now() - shown, std::chrono::milliseconds(kSlowProductOpenPauseMs / 2));
  ASSERT_TRUE(window_->FirstConnectionPending());

  // Neither state yet, and nothing to click.
  // Blank at first; "Please wait..." once the wait has lasted a moment.
  const std::u16string status = Control(u"label_status")->GetText();
  EXPECT_TRUE(status.empty() || status == kBusyText);
  EXPECT_EQ(Control(u"label_icon_key_status")->GetBkImage(), u"");
  for (auto name : {u"btn_Enroll", u"btn_Verify", u"btn_Format", u"btn_change_pin"}) {
    EXPECT_FALSE(Control(name)->IsEnabled()) << "enabled before the first connection";
  }
  // The window keeps taking messages meanwhile.
  bool handled = false;
  uit::PostTask([&] { handled = true; });
  EXPECT_TRUE(uit::PumpUntil([&] { return handled; }, kSlowProductOpenPauseMs / 2));
  EXPECT_TRUE(window_->FirstConnectionPending());

  if (GetParam() == OtherKey::kPluggedMeanwhile) {
    keys->AddKey(MakeKey(kMakerProductIds[0], "1234"), "k");
    auto notice = std::make_shared<DeviceChangeNotice>();
    notice->deviceType = kDeviceTypeInterface;
    notice->devicePath = u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3";
    PostMessage(window_->GetHWND(), WM_DEVICECHANGE, kDeviceArrival,
                std::shared_ptr<const void>(std::move(notice)));
  }

  ASSERT_TRUE(uit::PumpUntil([&] { return !window_->FirstConnectionPending(); },
                             3 * kSlowProductOpenPauseMs));
  uit::PumpUntilIdle();
  if (GetParam() == OtherKey::kNone) {
    EXPECT_EQ(Control(u"label_status")->GetText(), u"Device NOT Inserted");
    EXPECT_EQ(Control(u"label_icon_key_status")->GetBkImage(), u"Tactova-FIDO-UI-Elements-15.png");
    EXPECT_FALSE(Control(u"btn_Format")->IsEnabled());
    EXPECT_TRUE(DeviceAbsent);
  } else {
    EXPECT_EQ(Control(u"label_status")->GetText(), u"Device Inserted");
    EXPECT_EQ(Control(u"label_icon_key_status")->GetBkImage(), u"Tactova-FIDO-UI-Elements-14.png");
    EXPECT_TRUE(Control(u"btn_Format")->IsEnabled());
    EXPECT_TRUE(Control(u"btn_change_pin")->IsEnabled());
    EXPECT_FALSE(DeviceAbsent);
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, FirstConnectionTest,
                         ::testing::Values(OtherKey::kNone, OtherKey::kPresent,
                                           OtherKey::kPluggedMeanwhile));

// --virtual-key-if-none asks whether a key is there before the window opens: that
// question does not wait for a slow key to become ready.
TEST(MakerKeyProbe, DoesNotWaitForASlowKey) {
  auto keys = std::make_shared<vkey::VirtualHidPlatform>();
  keys->AddKey(MakeKey(kMakerSlowProductId), "slow");
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(MakerKeyPresent(keys));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kSlowProductOpenPauseMs / 2));
}

// Demo mode: the demo key is made once the first frame is shown (its key pair and thread
// would hold the frame back), and the first connection then finds it.
TEST(DemoKey, IsPluggedInWhenAskedAndOnlyOnce) {
  AppOptions options;
  options.virtualKey = true;
  HidSetup setup = SetUpHid(options);
  std::vector<std::string> paths;
  EXPECT_EQ(setup.demoKey, nullptr);
  ASSERT_TRUE(setup.demoPlatform->ListInterfaces(paths));
  EXPECT_TRUE(paths.empty());
  setup.PlugDemoKey();
  ASSERT_NE(setup.demoKey, nullptr);
  setup.PlugDemoKey();
  paths.clear();
  ASSERT_TRUE(setup.demoPlatform->ListInterfaces(paths));
  EXPECT_EQ(paths.size(), 1u);
  CHidDeviceList keys(setup.platform);
  EXPECT_GE(keys.Enumerate(), 1);
}

}  // namespace
}  // namespace pinvale
