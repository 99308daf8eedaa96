// The change-PIN dialog, headless, against the virtual key.

#include "dialogs/change_pin_wnd.h"

#include "ctap/pin_protocol.h"
#include "dialog_test_rig.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"

namespace pinvale::test {
namespace {

CChangePINWnd& Dialog(HWND hwnd) {
  return *dynamic_cast<CChangePINWnd*>(ui::WindowFromHandle(hwnd));
}

void MarkLabels(HWND hwnd) {
  for (auto name : {u"label_old_pin", u"label_new_pin", u"label_new_pin2"}) {
    uit::FindControl(hwnd, name)->SetText(u"old");
  }
}

void FillAll(HWND hwnd, std::u16string_view current, std::u16string_view next,
             std::u16string_view confirmation) {
  DialogTest::Fill(hwnd, u"edit_pin_old", current);
  DialogTest::Fill(hwnd, u"edit_pin_new", next);
  DialogTest::Fill(hwnd, u"edit_pin_new2", confirmation);
}

int WrongPinAttempt(CFidoToken& token) {
  const std::uint8_t wrong[] = {'0', '0', '0', '0'};
  return ObtainPinToken(token, wrong).code;
}

class ChangePinTest : public DialogTest {
 protected:
  void SetUp() override { UseKey(KeyConfig("1234")); }
};

struct Refusal {
  const char* name;
  std::u16string current, next, confirmation;
  std::u16string labelOld, labelNew, labelNew2;
};

class ChangePinRefusalTest : public ChangePinTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ChangePinRefusalTest, RefusesLocallyWithTheMessageUnderItsField) {
  const Refusal& c = GetParam();
  CChangePINWnd dialog(u"ChangePIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    MarkLabels(hwnd);
    FillAll(hwnd, c.current, c.next, c.confirmation);
    ExpectNoBox([&] { EXPECT_TRUE(uit::Click(hwnd, u"btn_ok")); });
    EXPECT_EQ(TextOf(hwnd, u"label_old_pin"), c.labelOld);
    EXPECT_EQ(TextOf(hwnd, u"label_new_pin"), c.labelNew);
    EXPECT_EQ(TextOf(hwnd, u"label_new_pin2"), c.labelNew2);
    Snapshot(hwnd, std::string("change-pin-") + c.name);
    EXPECT_EQ(Dialog(hwnd).SubmitChangePin(), ValidationRefused);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(Key().RecentRequests().empty());
}

const std::u16string kProvide(kProvidePinText);
const std::u16string kShort(kPinTooShortText);
const std::u16string kLong(kChangePinTooLongText);
const std::u16string kMismatch(kChangePinMismatchText);

INSTANTIATE_TEST_SUITE_P(
    Entries, ChangePinRefusalTest,
    ::testing::Values(
        Refusal{"AllEmpty", u"", u"", u"", kProvide, u"old", u"old"},
        Refusal{"ShortCurrent", u"12", u"5678", u"5678", kShort, u"old", u"old"},
        Refusal{"LongCurrent", Repeat(u'1', 64), u"5678", u"5678", kLong, u"old", u"old"},
        Refusal{"TwoCharacterNew", u"1234", u"56", u"56", u"old", kShort, u"old"},
        Refusal{"EmptyNew", u"1234", u"", u"5678", u"old", kProvide, u"old"},
        Refusal{"LongConfirmation", u"1234", u"5678", Repeat(u'5', 64), u"old", u"old", kLong},
        Refusal{"Mismatch", u"1234", u"5678", u"5679", u"old", u"old", kMismatch}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChangePinTest, ChangesProvesTheNewPinAndClosesWithOne) {
  CChangePINWnd dialog(u"ChangePIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    FillAll(hwnd, u"1234", u"987654", u"987654");
    ExpectBox(std::u16string(kChangePinSuccessText), kMessageBoxOk);
    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
  });
  EXPECT_EQ(code, 1);
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, 4, 2, 5}));
  EXPECT_EQ(Key().Status().retries, 8u);  // the token step used the new PIN
  const std::uint8_t next[] = {'9', '8', '7', '6', '5', '4'};
  EXPECT_TRUE(ObtainPinToken(Token(), next).tokenPresent);
}

TEST_F(ChangePinTest, EnterSubmitsAndEscapeDoesNothing) {
  CChangePINWnd dialog(u"ChangePIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    EXPECT_TRUE(uit::FindControl(hwnd, u"edit_pin_old")->IsFocused());
    uit::KeyDown(hwnd, VK_ESCAPE);
    uit::PumpUntilIdle();
    ASSERT_TRUE(IsWindow(hwnd));
    FillAll(hwnd, u"1234", u"4321", u"4321");
    ExpectBox(std::u16string(kChangePinSuccessText), kMessageBoxOk);
    uit::KeyDown(hwnd, VK_RETURN);
  });
  EXPECT_EQ(code, 1);
}

TEST_F(ChangePinTest, WrongCurrentPinShowsTheAttemptsLeft) {
  // Two misses of 8 and a power cycle (so the key does not block for three in a
  // row): the dialog's miss then leaves 5.
  EXPECT_EQ(WrongPinAttempt(Token()), 0x31);
  EXPECT_EQ(WrongPinAttempt(Token()), 0x31);
  Key().Plug();
  ASSERT_TRUE(Reconnect());
  CChangePINWnd dialog(u"ChangePIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    FillAll(hwnd, u"1111", u"5678", u"5678");
    ExpectNoBox([&] { EXPECT_TRUE(uit::Click(hwnd, u"btn_ok")); });
    EXPECT_EQ(TextOf(hwnd, u"label_old_pin"), u"The PIN is incorrect. You have 5 times left.");
    Snapshot(hwnd, "change-pin-retries");
    // Typing in the current-PIN field empties its message, whatever the length.
    uit::FindControl(hwnd, u"edit_pin_old")->SetFocus();
    uit::TypeText(hwnd, "1");
    EXPECT_EQ(TextOf(hwnd, u"label_old_pin"), u"");
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
}

class ChangePinLockedTest : public DialogTest, public ::testing::WithParamInterface<int> {};

TEST_P(ChangePinLockedTest, BlockedKeyShowsLocked) {
  UseKey(KeyConfig("1234", {ForcedStatus(0x06, 4, static_cast<std::uint8_t>(GetParam()))}));
  CChangePINWnd dialog(u"ChangePIN.xml", &Token());
  RunDialog(dialog, [&](HWND hwnd) {
    FillAll(hwnd, u"1234", u"5678", u"5678");
    EXPECT_EQ(Dialog(hwnd).SubmitChangePin(), GetParam());
    EXPECT_EQ(TextOf(hwnd, u"label_old_pin"), kDeviceLockedText);
    Snapshot(hwnd, "change-pin-locked-" + std::to_string(GetParam()));
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  // No getRetries for a blocked key.
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, 4}));
}

INSTANTIATE_TEST_SUITE_P(Statuses, ChangePinLockedTest, ::testing::Values(0x34, 0x32));

class ChangePinCloseTest : public ChangePinTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(ChangePinCloseTest, ClosesWithTwoAndSendsNothing) {
  // "Cancel" is the second "closebtn" of the layout, at the bottom right.
  const bool cancel = std::string(GetParam()) == "Cancel";
  CChangePINWnd dialog(u"ChangePIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    FillAll(hwnd, u"1234", u"5678", u"5678");
    ui::CControlUI* button = nullptr;
    uit::FindControl(hwnd, u"closebtn")->GetManager()->GetRoot()->ForEach([&](ui::CControlUI& c) {
      if (c.GetName() == u"closebtn" && (c.GetText() == u"Cancel") == cancel) button = &c;
    });
    ASSERT_NE(button, nullptr);
    const RECT r = button->GetPos();
    EXPECT_TRUE(uit::ClickAt(hwnd, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
  });
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(Key().RecentRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(Buttons, ChangePinCloseTest, ::testing::Values("Cancel", "TitleBar"));

}  // namespace
}  // namespace pinvale::test
