// A key pulled out while a PIN dialog is open: the removal notice and the watchdog
// close the dialog with 0, and no watchdog thread outlives its dialog.

#include <chrono>
#include <thread>

#include "dialog_test_rig.h"
#include "dialogs/change_pin_wnd.h"
#include "dialogs/device_absent.h"
#include "dialogs/device_notification.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_verify_wnd.h"
#include "dialogs/set_pin_wnd.h"

namespace pinvale::test {
namespace {

using namespace std::chrono_literals;

enum class Kind { kSetPin, kChangePin, kVerifyPin };

std::unique_ptr<CPinDialogBase> MakeDialog(Kind kind, CFidoToken* token) {
  switch (kind) {
    case Kind::kSetPin:
      return std::make_unique<CSetPINWnd>(u"SetPIN.xml", token);
    case Kind::kChangePin:
      return std::make_unique<CChangePINWnd>(u"ChangePIN.xml", token);
    case Kind::kVerifyPin:
      return std::make_unique<CPINVerifyWnd>(u"verifyPIN.xml", token);
  }
  return nullptr;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kSetPin:
      return "SetPin";
    case Kind::kChangePin:
      return "ChangePin";
    case Kind::kVerifyPin:
      return "VerifyPin";
  }
  return "";
}

class PullOutTest : public DialogTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(PullOutTest, WatchdogClosesTheDialogWithZeroOnceTheKeyIsGone) {
  auto dialog = MakeDialog(GetParam(), &Token());
  dialog->SetWatchdogPeriod(5ms);
  const int code = RunDialog(*dialog, [&](HWND hwnd) {
    // The key is there: the watchdog leaves the dialog alone.
    uit::PumpUntil([] { return false; }, 40);
    ASSERT_TRUE(IsWindow(hwnd));
    DeviceAbsent = true;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(dialog->Watchdog().ThreadResult(), PinWatchdog::kDeviceGone);
  // A posted close was joined when the window went; the verify dialog's sent close
  // is joined by the destructor, once the send has returned.
  if (GetParam() != Kind::kVerifyPin) {
    EXPECT_EQ(PinWatchdog::LiveThreads(), 0);
  }
  dialog.reset();
  EXPECT_EQ(PinWatchdog::LiveThreads(), 0);
}

TEST_P(PullOutTest, ClosedDialogLeavesNoWatchdogThread) {
  auto dialog = MakeDialog(GetParam(), &Token());
  const int code = RunDialog(*dialog, [&](HWND hwnd) {
    EXPECT_EQ(PinWatchdog::LiveThreads(), 1);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
  // Joined when the window went, before the modal loop returned.
  EXPECT_EQ(PinWatchdog::LiveThreads(), 0);
  EXPECT_EQ(dialog->Watchdog().ThreadResult(), PinWatchdog::kStopped);
}

TEST_P(PullOutTest, WindowDestroyedWhileTheWatchdogClosesItDoesNotHang) {
  // The watchdog fires while the UI thread is busy and then destroys the window
  // itself; the verify dialog's watchdog is then blocked in its send meanwhile.
  for (int round = 0; round < 20; ++round) {
    auto dialog = MakeDialog(GetParam(), &Token());
    dialog->SetWatchdogPeriod(1ms);
    DeviceAbsent = false;
    RunDialog(*dialog, [&](HWND hwnd) {
      DeviceAbsent = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(round % 4));
      DestroyWindow(hwnd);
    });
    dialog.reset();
    EXPECT_EQ(PinWatchdog::LiveThreads(), 0);
  }
}

TEST_P(PullOutTest, DialogObjectDestroyedWithItsWindowStillOpenJoinsItsWatchdog) {
  for (int round = 0; round < 10; ++round) {
    auto dialog = MakeDialog(GetParam(), &Token());
    dialog->SetWatchdogPeriod(1ms);
    DeviceAbsent = false;
    ASSERT_NE(dialog->Create(nullptr, u"Pinvale", UI_WNDSTYLE_FRAME, 0), nullptr);
    DeviceAbsent = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
    dialog.reset();
    EXPECT_EQ(PinWatchdog::LiveThreads(), 0);
    uit::PumpUntilIdle();
  }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, PullOutTest,
                         ::testing::Values(Kind::kSetPin, Kind::kChangePin, Kind::kVerifyPin),
                         [](const auto& info) { return std::string(KindName(info.param)); });

struct Notice {
  const char* name;
  Kind kind;
  std::uint32_t event;
  std::u16string path;
  int expected;  // modal result, or -1: the dialog stays open
};

class RemovalNoticeTest : public DialogTest, public ::testing::WithParamInterface<Notice> {};

TEST_P(RemovalNoticeTest, OnlyTheRemovalOfAMakersKeyClosesTheDialog) {
  const Notice& n = GetParam();
  auto dialog = MakeDialog(n.kind, &Token());
  dialog->SetWatchdogPeriod(10s);  // only the notice may close it here
  const int code = RunDialog(*dialog, [&](HWND hwnd) {
    PostDeviceChangeToRegisteredWindows(n.event, n.path);
    uit::PumpUntilIdle();
    if (n.expected < 0) {
      EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
    }
  });
  EXPECT_EQ(code, n.expected < 0 ? 2 : n.expected);
  EXPECT_EQ(PinWatchdog::LiveThreads(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Notices, RemovalNoticeTest,
    ::testing::Values(
        Notice{"SetPinHidraw", Kind::kSetPin, 0x8004,
               u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3", 0},
        Notice{"SetPinUpperCase", Kind::kSetPin, 0x8004, u"\\\\?\\USB#VID_3F8C&PID_9E07#5&2f1&0&3",
               0},
        Notice{"VerifySocket", Kind::kVerifyPin, 0x8004, u"/run/keys/3f8c-64a9-demo.sock", 0},
        Notice{"VerifyUpperCase", Kind::kVerifyPin, 0x8004, u"\\\\?\\USB#VID_3F8C&PID_B5D2#7", 0},
        Notice{"OtherProduct", Kind::kSetPin, 0x8004,
               u"\\\\?\\hidraw#vid_046d&pid_c52b#/dev/hidraw0", -1},
        // The id must stand after the first four characters of the name.
        Notice{"IdInThePrefixOnly", Kind::kVerifyPin, 0x8004, u"2d71", -1},
        Notice{"Arrival", Kind::kVerifyPin, 0x8000, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3",
               -1},
        // The change-PIN dialog does not listen for notices; its watchdog does the work.
        Notice{"ChangePinIgnoresNotices", Kind::kChangePin, 0x8004,
               u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3", -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, RemovalWhileTheSuccessBoxIsUpEndsTheDialogWithZero) {
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  dialog.SetWatchdogPeriod(10s);
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    Fill(hwnd, u"edit_pin2", u"1234");
    uit::RunWhenModal([&](HWND box) {
      EXPECT_NE(box, hwnd);
      PostDeviceChangeToRegisteredWindows(0x8004, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
      // The dialog's close takes the box it owns with it.
    });
    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
    EXPECT_FALSE(IsWindow(hwnd));
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(uit::ListWindows().size(), 0u);
}

}  // namespace
}  // namespace pinvale::test
