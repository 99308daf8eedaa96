#pragma once

// The main window driven headless through the framework, against in-process virtual
// keys on the same HID platform interface a real key uses: the window with its
// dialogs replaced by counters, and the keys it meets.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/app_texts.h"
#include "app/main_wnd.h"
#include "ctap/pin_protocol.h"
#include "dialogs/device_absent.h"
#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "embedded_skin.h"
#include "platform/device_notices.h"
#include "transport/hid_device_list.h"
#include "ui/ui_testing.h"
#include "vkey/virtual_hid_platform.h"

namespace pinvale::test {

namespace uit = ui::testing;
using namespace std::chrono_literals;

// The main window with its dialogs replaced by counters, so the decisions in front
// of them can be checked on their own.
class TestMainWnd : public CMainWnd {
 public:
  using CMainWnd::CMainWnd;
  int setPinOpened = 0, changePinOpened = 0, verifyOpened = 0, resetOpened = 0;
  std::function<int()> setPinDialog = [] { return 0; };
  std::function<int()> changePinDialog = [] { return 1; };
  std::function<std::optional<std::uint16_t>()> resetDialog = [] { return std::nullopt; };

 protected:
  int OpenSetPinDialog() override { return ++setPinOpened, setPinDialog(); }
  int OpenChangePinDialog() override { return ++changePinOpened, changePinDialog(); }
  int OpenVerifyPinDialog() override { return ++verifyOpened, 1; }
  std::optional<std::uint16_t> OpenResetDialog() override { return ++resetOpened, resetDialog(); }

 public:
  // The PIN entry and the two windows: what the entry was given, and the windows opened.
  std::vector<std::pair<ManagementKind, ManagementPrecheckResult>> pinEntries;
  int fingerprintsOpened = 0, passkeysOpened = 0;
  // The entry's stand-in: opens the access with this PIN when not empty.
  std::string pinForEntry;

 protected:
  std::unique_ptr<ManagementAccess> OpenManagementPinDialog(
      ManagementKind kind, const ManagementPrecheckResult& precheck) override {
    pinEntries.emplace_back(kind, precheck);
    if (pinForEntry.empty()) return nullptr;
    PinRequestResult result;
    const auto* pin = reinterpret_cast<const std::uint8_t*>(pinForEntry.data());
    return OpenManagementAccess(Token(), precheck, kind, {pin, pinForEntry.size()}, result);
  }
  int OpenFingerprintsDialog(std::unique_ptr<ManagementAccess> access) override {
    return access ? ++fingerprintsOpened : 0;
  }
  int OpenPasskeysDialog(std::unique_ptr<ManagementAccess> access) override {
    return access ? ++passkeysOpened : 0;
  }
};

struct KeySpec {
  std::uint16_t productId = kMakerProductIds[0];
  std::string pin;
  bool uv = false;
  int processingDelayMs = 0;
  std::vector<vkey::VirtualKeyFault> faults = {};
  bool forcePinChange = false;  // a CTAP 2.1 key that wants a new PIN
  std::optional<vkey::CtapProfile> profile = std::nullopt;
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(uit::InitHeadless());
    ui::RegisterResource(kSkinResourceKind, kSkinResourceId, EmbeddedSkinArchive());
  }
  static void TearDownTestSuite() { ui::UiShutdown(); }

  void SetUp() override {
    ResetOnStart = false;
    ClearHidAccessFailureFlag();
    keys_ = std::make_shared<vkey::VirtualHidPlatform>();
  }

  void TearDown() override {
    if (window_) {
      if (IsWindow(window_->GetHWND())) DestroyWindow(window_->GetHWND());
      uit::PumpUntilIdle();
      window_.reset();
    }
    EXPECT_EQ(uit::PendingModalTasks(), 0);
    ResetOnStart = false;
  }

  std::shared_ptr<vkey::VirtualKey> AddKey(const KeySpec& spec, const std::string& label = "k") {
    vkey::VirtualKeyConfig config;
    config.productId = spec.productId;
    config.initialPin = spec.pin;
    config.uv = spec.uv;
    config.processingDelayMs = spec.processingDelayMs;
    config.faults = spec.faults;
    if (spec.forcePinChange) {
      config.profile = vkey::CtapProfile::kCtap21;
      config.forcePinChange = true;
    }
    if (spec.profile) config.profile = *spec.profile;
    config.touchMode = vkey::TouchMode::kOnDemand;
    auto key = vkey::VirtualKey::Create(config);
    paths_.push_back(keys_->AddKey(key, label));
    return key;
  }

  // Creates and shows the main window and waits for its first connection, which
  // starts once the first frame is drawn.
  HWND Open(std::shared_ptr<HidPlatform> platform = nullptr) {
    window_ = std::make_unique<TestMainWnd>(platform ? platform : keys_);
    window_->SetDeviceChangeWaits(0ms, 0ms);
    if (silenceLimitMs_ > 0) window_->Token().DeviceList().SetSilenceLimitMs(silenceLimitMs_);
    HWND hwnd = window_->Create(nullptr, kProgramCaption, UI_WNDSTYLE_FRAME, 0);
    EXPECT_NE(hwnd, nullptr);
    window_->CenterWindow();
    window_->ShowWindow();
    EXPECT_TRUE(uit::PumpUntil([this] { return !window_->FirstConnectionPending(); }, 5000));
    uit::PumpUntilIdle();
    return hwnd;
  }

  void PostNotice(std::uint32_t event, std::u16string path, std::uint32_t type = 5) {
    auto notice = std::make_shared<DeviceChangeNotice>();
    notice->deviceType = type;
    notice->devicePath = std::move(path);
    PostMessage(window_->GetHWND(), WM_DEVICECHANGE, event,
                std::shared_ptr<const void>(std::move(notice)));
    // The window connects again on a timer once the notice has been handled.
    uit::PumpUntilIdle();
    EXPECT_TRUE(uit::PumpUntil([this] { return !window_->ConnectionScheduled(); }, 5000));
    uit::PumpUntilIdle();
  }

  ui::CControlUI* Control(std::u16string_view name) {
    return uit::FindControl(window_->GetHWND(), name);
  }
  bool Enabled(std::u16string_view name) { return Control(name)->IsEnabled(); }
  int Page() { return dynamic_cast<ui::CTabLayoutUI*>(Control(u"switch"))->GetCurSel(); }
  std::u16string Status() { return Control(u"label_status")->GetText(); }

  void ExpectNoKeyState() {
    EXPECT_EQ(Page(), 0);
    EXPECT_EQ(Status(), u"Device NOT Inserted");
    EXPECT_EQ(Control(u"label_icon_key_status")->GetBkImage(), u"Tactova-FIDO-UI-Elements-15.png");
    EXPECT_EQ(Control(u"label_icon_key_status")->GetToolTip(), u"Device NOT Insert");
    for (auto name : {u"btn_Enroll", u"btn_Verify", u"btn_Format", u"btn_change_pin"}) {
      EXPECT_FALSE(Enabled(name)) << "button enabled without a key";
    }
    EXPECT_TRUE(DeviceAbsent);
  }
  void ExpectKeyState(bool pinSet) {
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(Status(), u"Device Inserted");
    EXPECT_EQ(Control(u"label_icon_key_status")->GetBkImage(), u"Tactova-FIDO-UI-Elements-14.png");
    EXPECT_EQ(Control(u"label_icon_key_status")->GetToolTip(), u"Device Inserted");
    EXPECT_TRUE(Enabled(u"btn_Format"));
    EXPECT_EQ(Enabled(u"btn_change_pin"), pinSet);
    EXPECT_EQ(Enabled(u"btn_Verify"), pinSet);
    EXPECT_EQ(Enabled(u"btn_Enroll"), !pinSet);
    EXPECT_FALSE(DeviceAbsent);
  }

  // Checks the box that opens next and answers it with `answer` ("OK", "Cancel").
  static void AnswerNextBox(std::u16string caption, std::u16string text, std::u16string answer) {
    uit::RunWhenModal([=](HWND hwnd) {
      auto* box = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(hwnd));
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->Caption(), caption);
      EXPECT_EQ(box->Text(), text);
      EXPECT_TRUE(uit::Click(hwnd, answer));
    });
  }

  std::shared_ptr<vkey::VirtualHidPlatform> keys_;
  std::vector<std::string> paths_;
  int silenceLimitMs_ = 0;
  std::unique_ptr<TestMainWnd> window_;
};

}  // namespace pinvale::test
