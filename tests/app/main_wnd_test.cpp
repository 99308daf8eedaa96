// The main window driven headless through the framework, against in-process
// virtual keys on the same HID platform interface a real key uses.

#include "main_wnd_fixture.h"

namespace pinvale::test {
namespace {

using namespace std::chrono_literals;

TEST_F(MainWindowTest, StartsWithoutAKey) {
  Open();
  ExpectNoKeyState();
  EXPECT_EQ(uit::ListWindows().size(), 1u);  // no warning either
}

TEST_F(MainWindowTest, KeyWithPinOffersChangeVerifyAndReset) {
  AddKey({.pin = "1234"});
  Open();
  ExpectKeyState(true);
}

TEST_F(MainWindowTest, KeyWithoutPinOffersSetPinAndReset) {
  AddKey({});
  Open();
  ExpectKeyState(false);
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Enroll"));
  EXPECT_EQ(window_->setPinOpened, 1);
}

TEST_F(MainWindowTest, UserVerificationOnlyEnablesSetPinButOpensNothing) {
  AddKey({.pin = "", .uv = true});
  Open();
  ExpectKeyState(false);
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Enroll"));
  EXPECT_EQ(window_->setPinOpened, 0);
}

TEST_F(MainWindowTest, SetPinDoneEnablesThePinActions) {
  AddKey({});
  Open();
  // In place of the dialog: the PIN is set on the window's own device object, and
  // the window must learn it from a fresh getInfo.
  window_->setPinDialog = [this] {
    const std::uint8_t pin[] = {'1', '2', '3', '4'};
    SendSetPin(window_->Token(), pin);
    return 1;
  };
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Enroll"));
  EXPECT_EQ(window_->setPinOpened, 1);
  ExpectKeyState(true);
}

TEST_F(MainWindowTest, SetPinCancelledLeavesTheButtons) {
  AddKey({});
  Open();
  window_->setPinDialog = [] { return 2; };
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Enroll"));
  ExpectKeyState(false);
}

TEST_F(MainWindowTest, ActionsAskTheKeyAfreshBeforeOpening) {
  AddKey({.pin = "1234"});
  Open();
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_change_pin"));
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Verify"));
  EXPECT_EQ(window_->changePinOpened, 1);
  EXPECT_EQ(window_->verifyOpened, 1);
}

TEST_F(MainWindowTest, FirstProductIdOfTheListWins) {
  AddKey({.productId = kMakerProductIds[3], .pin = "1234"}, "last");
  AddKey({.productId = kMakerProductIds[1], .pin = ""}, "second");
  Open();
  EXPECT_EQ(window_->Token().DeviceList().Selected().productId, kMakerProductIds[1]);
  ExpectKeyState(false);  // the second id's key has no PIN
}

TEST_F(MainWindowTest, ArrivalConnectsAndRemovalShowsNoKey) {
  auto key = AddKey({.pin = "1234"});
  key->Unplug();
  Open();
  ExpectNoKeyState();

  key->Plug();
  PostNotice(kDeviceArrival, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
  ExpectKeyState(true);

  key->Unplug();
  PostNotice(kDeviceRemoveComplete, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
  ExpectNoKeyState();
}

TEST_F(MainWindowTest, ProductIdIsMatchedInEitherCase) {
  auto key = AddKey({});
  key->Unplug();
  Open();
  key->Plug();
  PostNotice(kDeviceArrival, u"\\\\?\\USB#VID_3F8C&PID_2D71#5&2f1&0&3");
  ExpectKeyState(false);
}

TEST_F(MainWindowTest, NoticesThatAreNotTheMakersAreIgnored) {
  auto key = AddKey({});
  key->Unplug();
  Open();
  key->Plug();
  PostNotice(kDeviceArrival, u"\\\\?\\hidraw#vid_046d&pid_c52b#/dev/hidraw0");
  PostNotice(kDeviceArrival, u"\\\\?\\hidraw#/dev/hidraw0");
  PostNotice(kDeviceArrival, u"/run/keys/3f8c-2d71-a.sock", /*type=*/3);  // not an interface
  PostNotice(0x8001, u"/run/keys/3f8c-2d71-a.sock");                      // other event
  ExpectNoKeyState();
}

TEST_F(MainWindowTest, EnterAndEscapeDoNotCloseTheWindow) {
  HWND hwnd = Open();
  uit::KeyDown(hwnd, VK_ESCAPE);
  uit::KeyDown(hwnd, VK_RETURN);
  uit::PumpUntilIdle();
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(MainWindowTest, HelpAndAboutBoxes) {
  HWND hwnd = Open();
  AnswerNextBox(u"Pinvale", std::u16string(kHelpText), u"OK");
  EXPECT_TRUE(uit::Click(hwnd, u"btn_help"));
  AnswerNextBox(u"About Pinvale", std::u16string(kAboutText), u"OK");
  EXPECT_TRUE(uit::Click(hwnd, u"btn_about"));
  EXPECT_TRUE(std::u16string_view(kAboutText).starts_with(u" Pinvale 1.1\n\t\t\t\t"));
}

TEST_F(MainWindowTest, ResetAsksFirstAndCancelSendsNothing) {
  auto key = AddKey({.pin = "1234"});
  Open();
  key->ClearRecentRequests();
  AnswerNextBox(u"Warning", std::u16string(kResetWarningText), u"Cancel");
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Format"));
  EXPECT_EQ(window_->resetOpened, 0);
  auto requests = key->RecentRequests();
  ASSERT_EQ(requests.size(), 1u);  // the getInfo before the warning, no reset
  EXPECT_EQ(requests[0].command, 0x04);
}

TEST_F(MainWindowTest, ResetConfirmedOpensTheResetDialog) {
  AddKey({.pin = "1234"});
  Open();
  AnswerNextBox(u"Warning", std::u16string(kResetWarningText), u"OK");
  window_->resetDialog = [] { return std::optional<std::uint16_t>(0); };
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Format"));
  EXPECT_EQ(window_->resetOpened, 1);
  ExpectKeyState(true);
}

TEST_F(MainWindowTest, ResetOptionAsksRightAfterTheFirstConnection) {
  for (bool withKey : {true, false}) {
    SCOPED_TRACE(withKey ? "with a key" : "without a key");
    keys_ = std::make_shared<vkey::VirtualHidPlatform>();
    if (withKey) AddKey({});
    ResetOnStart = true;
    AnswerNextBox(u"Warning", std::u16string(kResetWarningText), u"OK");
    // Without a key the user is told so, and no reset dialog opens.
    if (!withKey) AnswerNextBox(u"Pinvale", std::u16string(kNoDeviceForResetText), u"OK");
    Open();
    EXPECT_EQ(uit::PendingModalTasks(), 0);
    EXPECT_EQ(window_->resetOpened, withKey ? 1 : 0);
    EXPECT_FALSE(ResetOnStart);
    if (withKey) {
      ExpectKeyState(false);
    } else {
      ExpectNoKeyState();
    }
    DestroyWindow(window_->GetHWND());
    uit::PumpUntilIdle();
  }
}

TEST_F(MainWindowTest, RemovalClosesTheOpenMessageBox) {
  auto key = AddKey({.pin = "1234"});
  Open();
  uit::RunWhenModal([&](HWND) {
    key->Unplug();
    auto notice = std::make_shared<DeviceChangeNotice>();
    notice->devicePath = u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3";
    PostMessage(window_->GetHWND(), WM_DEVICECHANGE, kDeviceRemoveComplete,
                std::shared_ptr<const void>(std::move(notice)));
  });
  // The warning box ends with result 0, so the reset dialog is not opened.
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Format"));
  EXPECT_EQ(window_->resetOpened, 0);
  EXPECT_EQ(uit::ListWindows().size(), 1u);
  ExpectNoKeyState();
}

TEST_F(MainWindowTest, ArrivalDuringTheResetWaitsForTheDialogToClose) {
  AddKey({.productId = kMakerProductIds[1], .pin = "1234"}, "before");
  Open();
  window_->resetDialog = [&]() -> std::optional<std::uint16_t> {
    AddKey({.productId = kMakerProductIds[0], .pin = ""}, "plugged-in-meanwhile");
    PostNotice(kDeviceArrival, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw5");
    // Nothing was enumerated beside the running reset.
    EXPECT_EQ(window_->Token().DeviceList().Selected().productId, kMakerProductIds[1]);
    return 0x30;  // the reset failed: no refresh of its own
  };
  AnswerNextBox(u"Warning", std::u16string(kResetWarningText), u"OK");
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Format"));
  EXPECT_EQ(window_->Token().DeviceList().Selected().productId, kMakerProductIds[0]);
  ExpectKeyState(false);
}

// A maker interface that is there but may not be opened.
class RefusingPlatform : public HidPlatform {
 public:
  bool ListInterfaces(std::vector<std::string>& paths) override {
    paths = {"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw7"};
    return true;
  }
  std::unique_ptr<HidHandle> Open(const std::string&, HidAccess, std::uint32_t& error) override {
    error = 13;  // EACCES
    return nullptr;
  }
};

TEST_F(MainWindowTest, KeyWithoutAccessRightsExplainsTheUdevRule) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no udev rule; its warning depends on the build branch";
#endif
  uit::RunWhenModal([](HWND hwnd) {
    auto* box = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(hwnd));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Caption(), u"Warning");
    EXPECT_NE(box->Text().find(u"udev rule"), std::u16string::npos);
    // Advice, not a question: OK alone, with the warning icon.
    EXPECT_EQ(uit::FindControl(hwnd, u"Cancel"), nullptr);
    EXPECT_EQ(box->IconImage(), u"Png_Msg_warning.png");
    uit::Click(hwnd, u"OK");
  });
  Open(std::make_shared<RefusingPlatform>());
  ExpectNoKeyState();
  EXPECT_FALSE(HidAccessFailureFlag());
}

// A key that wants a new PIN before it is used: the status row says so and leads to
// Change PIN; Verify PIN is not offered; a change brings the usual state back.
TEST_F(MainWindowTest, KeyThatWantsANewPinLeadsToChangePin) {
  AddKey({.pin = "1234", .forcePinChange = true});
  Open();
  EXPECT_EQ(Status(), kPinChangeWantedText);
  EXPECT_TRUE(Enabled(u"btn_change_pin"));
  EXPECT_FALSE(Enabled(u"btn_Verify"));
  EXPECT_FALSE(Enabled(u"btn_Enroll"));
  EXPECT_TRUE(Enabled(u"btn_Format"));

  window_->changePinDialog = [this] {
    const std::uint8_t current[] = {'1', '2', '3', '4'};
    const std::uint8_t next[] = {'5', '6', '7', '8'};
    EXPECT_EQ(SendChangePin(window_->Token(), current, next).code, 0);
    return 1;
  };
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_change_pin"));
  EXPECT_EQ(window_->changePinOpened, 1);
  ExpectKeyState(true);
}

// ---------------------------------------------------------------- keys that do not behave

// Two of the maker's keys: pulling out either one leaves the window on the other, and
// only the last one out shows the no-key page.
class TwoKeysTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TwoKeysTest, PullingEitherOutLeavesTheWindowOnTheOther) {
  const bool pullTheOneInUse = GetParam();
  auto inUse = AddKey({.productId = kMakerProductIds[0], .pin = "1234"}, "first");
  auto other = AddKey({.productId = kMakerProductIds[1], .pin = ""}, "second");
  Open();
  ASSERT_EQ(window_->Token().DeviceList().Selected().productId, kMakerProductIds[0]);

  (pullTheOneInUse ? inUse : other)->Unplug();
  PostNotice(kDeviceRemoveComplete, pullTheOneInUse
                                        ? u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3"
                                        : u"\\\\?\\hidraw#vid_3f8c&pid_64a9#/dev/hidraw4");
  const std::uint16_t left = pullTheOneInUse ? kMakerProductIds[1] : kMakerProductIds[0];
  EXPECT_EQ(window_->Token().DeviceList().Selected().productId, left);
  ExpectKeyState(/*pinSet=*/!pullTheOneInUse);

  (pullTheOneInUse ? other : inUse)->Unplug();
  PostNotice(kDeviceRemoveComplete, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
  ExpectNoKeyState();
}

INSTANTIATE_TEST_SUITE_P(Pulled, TwoKeysTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TheOneInUse" : "TheOther"; });

TEST_F(MainWindowTest, SilentKeyIsShownPresentWithNoActionUntilReplugged) {
  silenceLimitMs_ = 200;
  auto silent = AddKey({.pin = "1234", .faults = {vkey::VirtualKeyFault{}}}, "silent");
  Open();
  EXPECT_EQ(Page(), 1);
  EXPECT_EQ(Status(), kKeySilentText);
  EXPECT_EQ(Control(u"label_icon_key_status")->GetBkImage(), u"Tactova-FIDO-UI-Elements-14.png");
  for (auto name : {u"btn_Enroll", u"btn_Verify", u"btn_Format", u"btn_change_pin"}) {
    EXPECT_FALSE(Enabled(name)) << "an action offered on a key that does not answer";
  }
  EXPECT_FALSE(DeviceAbsent);

  // Re-plugged, it answers again.
  silent->Unplug();
  PostNotice(kDeviceRemoveComplete, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
  ExpectNoKeyState();
  AddKey({.pin = "1234"}, "answering");
  PostNotice(kDeviceArrival, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
  ExpectKeyState(true);
}

// A key that takes its time over every answer: while the window asks it (connecting
// after a plug-in, getInfo before an action) it keeps dispatching, says "Please wait..."
// after a moment and takes no click.
class SlowKeyTest : public MainWindowTest {
 protected:
  // Runs `action` while a probe is posted every 20 ms from another thread, as device
  // notices are; the probe counts, and clicks `click` the first time it sees the cue.
  void WhileProbing(const std::function<void()>& action, std::u16string_view click = {}) {
    probes_ = 0;
    cueSeen_ = false;
    std::function<void()> probe = [&] {
      ++probes_;
      if (!cueSeen_ && Status() == kBusyText) {
        cueSeen_ = true;
        if (!click.empty()) {
          EXPECT_TRUE(uit::Click(window_->GetHWND(), click));
        }
      }
    };
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
      while (!stop) {
        std::this_thread::sleep_for(20ms);
        uit::PostTask(probe);
      }
    });
    action();
    stop = true;
    ticker.join();
    uit::PumpUntilIdle();
  }

  int probes_ = 0;
  bool cueSeen_ = false;
};

TEST_F(SlowKeyTest, WindowKeepsAnsweringShowsTheCueAndTakesNoSecondAction) {
  auto slow = AddKey({.pin = "1234", .processingDelayMs = 1200});
  slow->Unplug();
  Open();
  slow->Plug();
  WhileProbing(
      [&] { PostNotice(kDeviceArrival, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3"); });
  EXPECT_TRUE(cueSeen_);
  EXPECT_GT(probes_, 10);  // messages kept being handled while the key was asked
  ExpectKeyState(true);    // the cue has given way to the key's state

  WhileProbing([&] { EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_change_pin")); },
               u"btn_Verify");
  EXPECT_TRUE(cueSeen_);
  EXPECT_EQ(window_->changePinOpened, 1);
  EXPECT_EQ(window_->verifyOpened, 0);  // clicked while the key was asked: not taken
  EXPECT_EQ(Status(), u"Device Inserted");
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Verify"));
  EXPECT_EQ(window_->verifyOpened, 1);  // and clicks are taken again
}

}  // namespace
}  // namespace pinvale::test
