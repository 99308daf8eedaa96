// The verify-PIN dialog, headless, against the virtual key.

#include "dialogs/pin_verify_wnd.h"

#include "dialog_test_rig.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"

namespace pinvale::test {
namespace {

CPINVerifyWnd& Dialog(HWND hwnd) {
  return *dynamic_cast<CPINVerifyWnd*>(ui::WindowFromHandle(hwnd));
}

class VerifyPinTest : public DialogTest {
 protected:
  void SetUp() override { UseKey(KeyConfig("1234")); }

  // Submits `pin` with the OK button and returns the status label afterwards;
  // the dialog must stay open and show no box.
  std::u16string Refused(std::u16string_view pin, int* result = nullptr) {
    std::u16string label;
    CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
    const int code = RunDialog(dialog, [&](HWND hwnd) {
      Fill(hwnd, u"edit_pin", pin);
      ExpectNoBox([&] {
        const int r = Dialog(hwnd).SubmitVerifyPin();
        if (result) *result = r;
      });
      label = TextOf(hwnd, u"label_status");
      Snapshot(hwnd, std::string("verify-pin-") +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                         std::to_string(++snapshots_));
      EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
    });
    EXPECT_EQ(code, 2);
    return label;
  }
  int snapshots_ = 0;
};

TEST_F(VerifyPinTest, LocalChecksUseTheirOwnWording) {
  int result = 0;
  EXPECT_EQ(Refused(u"", &result), kProvidePinText);
  EXPECT_EQ(result, ValidationRefused);
  EXPECT_EQ(Refused(u"123"), kPinTooShortText);
  EXPECT_EQ(Refused(Repeat(u'1', 64)), u"Your PIN must be less 63 characters.");
  EXPECT_TRUE(Key().RecentRequests().empty());
}

TEST_F(VerifyPinTest, WrongPinAnsweredWithPinInvalidShowsNoCount) {
  int result = 0;
  EXPECT_EQ(Refused(u"9999", &result), u"The PIN is incorrect.");
  EXPECT_EQ(result, 0x31);
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, 5}));  // no getRetries
}

TEST_F(VerifyPinTest, KeyAgreementThatCannotBeUsedSaysCommunicationFailed) {
  vkey::VirtualKeyFault noY;
  noY.kind = vkey::FaultKind::kKeyAgreementNoY;
  UseKey(KeyConfig("1234", {noY}));
  CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
  RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    ExpectBox(std::u16string(kCommunicationFailedText), kMessageBoxIconError);
    EXPECT_EQ(Dialog(hwnd).SubmitVerifyPin(), 0x12);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));  // still open
  });
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2}));
}

TEST_F(VerifyPinTest, PinFieldHasTheFocusSoTypingReachesIt) {
  CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    uit::TypeText(hwnd, "1234");
    EXPECT_EQ(TextOf(hwnd, u"edit_pin"), u"1234");
    ExpectBox(std::u16string(kVerifyPinSuccessText), kMessageBoxOk);
    uit::KeyDown(hwnd, VK_RETURN);
  });
  EXPECT_EQ(code, 1);
}

class VerifyPinBlockedTest : public DialogTest, public ::testing::WithParamInterface<int> {};

TEST_P(VerifyPinBlockedTest, BlockedKeyShowsLocked) {
  UseKey(KeyConfig("1234", {ForcedStatus(0x06, 5, static_cast<std::uint8_t>(GetParam()))}));
  CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
  RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    EXPECT_EQ(Dialog(hwnd).SubmitVerifyPin(), GetParam());
    EXPECT_EQ(TextOf(hwnd, u"label_status"), kDeviceLockedText);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
}

INSTANTIATE_TEST_SUITE_P(Statuses, VerifyPinBlockedTest, ::testing::Values(0x32, 0x34));

TEST_F(VerifyPinTest, ThreeMissesInARowBlockUntilReplugged) {
  EXPECT_EQ(Refused(u"0000"), u"The PIN is incorrect.");
  EXPECT_EQ(Refused(u"0000"), u"The PIN is incorrect.");
  EXPECT_EQ(Refused(u"0000"), kDeviceLockedText);  // 0x34 on the third
}

TEST_F(VerifyPinTest, SuccessShowsTheBoxAndClosesWithOne) {
  CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    ExpectBox(std::u16string(kVerifyPinSuccessText), kMessageBoxOk);
    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
  });
  EXPECT_EQ(code, 1);
}

TEST_F(VerifyPinTest, EnterSubmitsEscapeDoesNothingTypingClears) {
  CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    uit::KeyDown(hwnd, VK_ESCAPE);
    uit::PumpUntilIdle();
    ASSERT_TRUE(IsWindow(hwnd));
    uit::FindControl(hwnd, u"edit_pin")->SetFocus();
    uit::TypeText(hwnd, "12");
    uit::KeyDown(hwnd, VK_RETURN);
    EXPECT_EQ(TextOf(hwnd, u"label_status"), kPinTooShortText);
    uit::TypeText(hwnd, "3");
    EXPECT_EQ(TextOf(hwnd, u"label_status"), kPinTooShortText);
    uit::TypeText(hwnd, "4");
    EXPECT_EQ(TextOf(hwnd, u"label_status"), u"");
    ExpectBox(std::u16string(kVerifyPinSuccessText), kMessageBoxOk);
    uit::KeyDown(hwnd, VK_RETURN);
  });
  EXPECT_EQ(code, 1);
}

TEST_F(VerifyPinTest, SuccessWithoutATokenStaysOpenWithFF) {
  UseKey(KeyConfig("1234", {ForcedStatus(0x06, 5, 0x00)}));
  CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    // No success box: the answer proves nothing.
    ExpectBox(std::u16string(kAnswerNotUnderstoodText), kMessageBoxIconError);
    EXPECT_EQ(Dialog(hwnd).SubmitVerifyPin(), 0xFF);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));  // still open
  });
  EXPECT_EQ(code, 2);
}

}  // namespace
}  // namespace pinvale::test
