// The reset sequence through the main window, headless, against the virtual key:
// getInfo, the warning, the reset dialog with its worker, the outcome, and the
// main window's refresh.

#include <chrono>

#include "app/app_texts.h"
#include "app/main_wnd.h"
#include "dialog_test_rig.h"
#include "dialogs/device_absent.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/reset_wnd.h"

namespace pinvale::test {
namespace {

using namespace std::chrono_literals;

constexpr std::u16string_view kKeyNotice = u"\\\\?\\virtual#vid_3f8c&pid_2d71#dialog-test";

class ResetTest : public DialogTest {
 protected:
  void SetUp() override {
    ResetOnStart = false;
    UseKey(KeyConfig("1234"));
  }
  void TearDown() override {
    if (main_ && IsWindow(main_->GetHWND())) DestroyWindow(main_->GetHWND());
    uit::PumpUntilIdle();
    main_.reset();
    ResetOnStart = false;
    DialogTest::TearDown();
  }

  HWND OpenMain() {
    main_ = std::make_unique<CMainWnd>(platform_);
    main_->SetDeviceChangeWaits(0ms, 0ms);
    HWND hwnd = main_->Create(nullptr, kProgramCaption, UI_WNDSTYLE_FRAME, 0);
    EXPECT_NE(hwnd, nullptr);
    main_->ShowWindow();
    // "windowinit", then once the first frame is drawn: the first connection
    EXPECT_TRUE(uit::PumpUntil([this] { return !main_->FirstConnectionPending(); }, 5000));
    uit::PumpUntilIdle();
    Key().ClearRecentRequests();
    return hwnd;
  }

  void PostNotice(std::uint32_t event) {
    auto notice = std::make_shared<DeviceChangeNotice>();
    notice->devicePath = std::u16string(kKeyNotice);
    PostMessage(main_->GetHWND(), WM_DEVICECHANGE, event,
                std::shared_ptr<const void>(std::move(notice)));
  }

  void AnswerWarning(std::u16string answer) {
    uit::RunWhenModal([answer](HWND hwnd) {
      auto* box = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(hwnd));
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->Caption(), u"Warning");
      EXPECT_EQ(box->Text(), kResetWarningText);
      EXPECT_EQ(box->IconImage(), u"Png_Msg_warning.png");
      EXPECT_TRUE(uit::Click(hwnd, answer));
    });
  }

  // Queues the script for the reset dialog; `during` runs while the key waits.
  void OnResetDialog(std::function<void(HWND)> during) {
    uit::RunWhenModal([this, during](HWND hwnd) {
      ASSERT_NE(dynamic_cast<CResetWnd*>(ui::WindowFromHandle(hwnd)), nullptr);
      EXPECT_EQ(TextOf(hwnd, u"txt_show"), u"Touch the button");
      EXPECT_EQ(uit::FindControl(hwnd, u"image_show")->GetBkImage(), u"Rec_Finger_Add.png");
      EXPECT_TRUE(uit::PumpUntil([this] { return Key().Status().waitingForTouch; }));
      during(hwnd);
    });
  }

  // Waits for the outcome on screen and records what it showed.
  void SeeOutcome(HWND hwnd) {
    ASSERT_TRUE(uit::PumpUntil(
        [&] { return !IsWindow(hwnd) || TextOf(hwnd, u"txt_show") != u"Touch the button"; }));
    ASSERT_TRUE(IsWindow(hwnd)) << "the outcome must stay on screen for a moment";
    shownText_ = TextOf(hwnd, u"txt_show");
    shownImage_ = uit::FindControl(hwnd, u"image_show")->GetBkImage();
    Snapshot(hwnd, shownText_ == u"Pass" ? "reset-pass" : "reset-failed");
  }

  bool Enabled(std::u16string_view name) {
    return uit::FindControl(main_->GetHWND(), name)->IsEnabled();
  }
  std::u16string Status() { return TextOf(main_->GetHWND(), u"label_status"); }

  std::unique_ptr<CMainWnd> main_;
  std::u16string shownText_, shownImage_;
};

TEST_F(ResetTest, CancelOnTheWarningSendsOnlyTheGetInfo) {
  HWND hwnd = OpenMain();
  AnswerWarning(u"Cancel");
  EXPECT_TRUE(uit::Click(hwnd, u"btn_Format"));
  EXPECT_EQ(CommandsSeen(), std::vector<int>{0x04});
  EXPECT_TRUE(Key().Status().pinSet);
  EXPECT_EQ(uit::ListWindows().size(), 1u);
}

TEST_F(ResetTest, PassRefreshesTheMainWindowWhichThenOffersSetPin) {
  HWND hwnd = OpenMain();
  EXPECT_TRUE(Enabled(u"btn_Verify"));
  AnswerWarning(u"OK");
  OnResetDialog([this](HWND dialog) {
    Key().Touch();
    SeeOutcome(dialog);
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(uit::Click(hwnd, u"btn_Format"));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 450ms);  // the outcome's half second
  EXPECT_EQ(shownText_, u"Pass");
  EXPECT_EQ(shownImage_, u"Pass.png");
  EXPECT_FALSE(Key().Status().pinSet);
  // getInfo, the reset (exactly the one byte 07), then the refresh's getInfo.
  const auto requests = Key().RecentRequests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0].command, 0x04);
  EXPECT_EQ(requests[1].command, 0x07);
  EXPECT_TRUE(requests[1].cbor.empty());
  EXPECT_EQ(requests[2].command, 0x04);
  EXPECT_EQ(Status(), u"Device Inserted");
  EXPECT_TRUE(Enabled(u"btn_Enroll"));
  EXPECT_FALSE(Enabled(u"btn_Verify"));
  EXPECT_FALSE(Enabled(u"btn_change_pin"));
  EXPECT_TRUE(Enabled(u"btn_Format"));
}

class ResetFailureTest : public ResetTest, public ::testing::WithParamInterface<int> {};

TEST_P(ResetFailureTest, FailureShowsItAndKeepsTheMainWindowAsItWas) {
  UseKey(KeyConfig("1234", {ForcedStatus(0x07, -1, static_cast<std::uint8_t>(GetParam()))}));
  HWND hwnd = OpenMain();
  AnswerWarning(u"OK");
  uit::RunWhenModal([this](HWND dialog) { SeeOutcome(dialog); });
  EXPECT_TRUE(uit::Click(hwnd, u"btn_Format"));
  EXPECT_EQ(shownText_, u"Reset Device Failed!");
  EXPECT_EQ(shownImage_, u"Fail.png");
  // No refresh after a failure: nothing after the reset request.
  EXPECT_EQ(CommandsSeen(), (std::vector<int>{0x04, 0x07}));
  EXPECT_TRUE(Enabled(u"btn_Verify"));
  EXPECT_FALSE(Enabled(u"btn_Enroll"));
}

// 0x27 operation denied, 0x2F touched too late, 0x30 outside the reset window.
INSTANTIATE_TEST_SUITE_P(Statuses, ResetFailureTest, ::testing::Values(0x27, 0x2F, 0x30));

TEST_F(ResetTest, KeyOutsideItsResetWindowAnswersNotAllowed) {
  auto config = KeyConfig("1234");
  config.resetWindowMs = 0;
  UseKey(config);
  HWND hwnd = OpenMain();
  AnswerWarning(u"OK");
  uit::RunWhenModal([this](HWND dialog) { SeeOutcome(dialog); });
  EXPECT_TRUE(uit::Click(hwnd, u"btn_Format"));
  EXPECT_EQ(shownText_, u"Reset Device Failed!");
  EXPECT_TRUE(Key().Status().pinSet);
}

TEST_F(ResetTest, EnterEscapeAndTheSystemCloseAreIgnoredWhileWaiting) {
  HWND hwnd = OpenMain();
  AnswerWarning(u"OK");
  OnResetDialog([this](HWND dialog) {
    uit::KeyDown(dialog, VK_ESCAPE);
    uit::KeyDown(dialog, VK_RETURN);
    uit::SystemClose(dialog);
    uit::PumpUntil([] { return false; }, 50);
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_EQ(TextOf(dialog, u"txt_show"), u"Touch the button");
    Key().Touch();
    SeeOutcome(dialog);
  });
  EXPECT_TRUE(uit::Click(hwnd, u"btn_Format"));
  EXPECT_EQ(shownText_, u"Pass");
  EXPECT_TRUE(Enabled(u"btn_Enroll"));
}

TEST_F(ResetTest, PullOutDuringTheWaitEndsInTheNoKeyState) {
  HWND hwnd = OpenMain();
  AnswerWarning(u"OK");
  OnResetDialog([this](HWND dialog) {
    // The removal notice is handled first, then the key's answer fails.
    PostNotice(0x8004);
    uit::PumpUntilIdle();
    EXPECT_TRUE(uit::PumpUntil([this] { return !main_->ConnectionScheduled(); }, 5000));
    EXPECT_TRUE(DeviceAbsent);
    Key().Unplug();
    EXPECT_TRUE(uit::PumpUntil([&] { return !IsWindow(dialog); }));
  });
  EXPECT_TRUE(uit::Click(hwnd, u"btn_Format"));
  // The worker closed the dialog without a result: no "Device Inserted" for a key
  // that has gone.
  EXPECT_EQ(Status(), u"Device NOT Inserted");
  for (auto name : {u"btn_Enroll", u"btn_Verify", u"btn_Format", u"btn_change_pin"}) {
    EXPECT_FALSE(Enabled(name));
  }
  EXPECT_TRUE(DeviceAbsent);
}

TEST_F(ResetTest, KeyPluggedInDuringTheWaitIsConnectedAfterTheDialog) {
  HWND hwnd = OpenMain();
  AnswerWarning(u"OK");
  OnResetDialog([this](HWND dialog) {
    // An arrival while the worker holds the key: the window stays responsive and
    // talks to no key until the reset is over.
    PostNotice(0x8000);
    const auto started = std::chrono::steady_clock::now();
    uit::PumpUntilIdle();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 250ms);
    EXPECT_EQ(CommandsSeen(), (std::vector<int>{0x04, 0x07}));
    Key().Touch();
    SeeOutcome(dialog);
  });
  EXPECT_TRUE(uit::Click(hwnd, u"btn_Format"));
  const auto commands = CommandsSeen();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[2], 0x04);  // the reconnection came after the reset
  EXPECT_EQ(Status(), u"Device Inserted");
  EXPECT_TRUE(Enabled(u"btn_Enroll"));
}

TEST_F(ResetTest, OptionEAsksAtStartAndResets) {
  ResetOnStart = true;
  AnswerWarning(u"OK");
  OnResetDialog([this](HWND dialog) {
    Key().Touch();
    SeeOutcome(dialog);
  });
  main_ = std::make_unique<CMainWnd>(platform_);
  main_->SetDeviceChangeWaits(0ms, 0ms);
  ASSERT_NE(main_->Create(nullptr, kProgramCaption, UI_WNDSTYLE_FRAME, 0), nullptr);
  main_->ShowWindow();
  // "windowinit", then once the first frame is drawn: connection, warning, reset
  EXPECT_TRUE(uit::PumpUntil([this] { return !main_->FirstConnectionPending(); }, 5000));
  uit::PumpUntilIdle();
  EXPECT_FALSE(ResetOnStart);
  EXPECT_EQ(shownText_, u"Pass");
  EXPECT_FALSE(Key().Status().pinSet);
  EXPECT_TRUE(Enabled(u"btn_Enroll"));
}

TEST_F(ResetTest, OptionEWithoutAKeySaysSoAndSendsNothing) {
  Key().Unplug();
  ResetOnStart = true;
  AnswerWarning(u"OK");
  uit::RunWhenModal([](HWND hwnd) {
    auto* box = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(hwnd));
    ASSERT_NE(box, nullptr) << "a reset dialog opened without a key";
    EXPECT_EQ(box->Caption(), u"Pinvale");
    EXPECT_EQ(box->Text(), kNoDeviceForResetText);
    EXPECT_EQ(box->IconImage(), u"Png_Msg_error.png");
    Snapshot(hwnd, "reset-option-without-a-key");
    EXPECT_TRUE(uit::Click(hwnd, u"OK"));
  });
  main_ = std::make_unique<CMainWnd>(platform_);
  main_->SetDeviceChangeWaits(0ms, 0ms);
  ASSERT_NE(main_->Create(nullptr, kProgramCaption, UI_WNDSTYLE_FRAME, 0), nullptr);
  main_->ShowWindow();
  // "windowinit", then once the first frame is drawn: no key, the warning, then the word
  EXPECT_TRUE(uit::PumpUntil([this] { return !main_->FirstConnectionPending(); }, 5000));
  uit::PumpUntilIdle();
  EXPECT_FALSE(ResetOnStart);
  EXPECT_EQ(uit::ListWindows().size(), 1u);
  EXPECT_EQ(Status(), u"Device NOT Inserted");
  Key().Plug();
  EXPECT_TRUE(Key().RecentRequests().empty());
  EXPECT_TRUE(Key().Status().pinSet);
}

// The dialog on its own.
TEST_F(DialogTest, ResetDialogReportsTheOutcomeAndClosesWithTwo) {
  CResetWnd dialog(u"resetDevice.xml", &Token());
  dialog.SetResultPause(10ms);
  const int code = RunDialog(dialog, [&](HWND) {
    ASSERT_TRUE(uit::PumpUntil([this] { return Key().Status().waitingForTouch; }));
    Key().Touch();
  });
  EXPECT_EQ(code, 2);
  EXPECT_EQ(dialog.ResetOutcome(), 0);
  EXPECT_TRUE(dialog.WorkerStarted());
}

TEST_F(DialogTest, ResetDialogWithoutAnAnswerReportsTheExchangeFailure) {
  Key().Unplug();  // the request cannot even be written
  CResetWnd dialog(u"resetDevice.xml", &Token());
  // The worker fails at once; the outcome must stay up until the modal loop has
  // settled, which takes longer than 10 ms when windows are real (Wine).
  dialog.SetResultPause(200ms);
  DeviceAbsent = false;  // the main window has not heard of it yet
  const int code = RunDialog(dialog, [](HWND) {});
  EXPECT_EQ(code, 2);
  EXPECT_EQ(dialog.ResetOutcome(), 0xABCD);
}

}  // namespace
}  // namespace pinvale::test
