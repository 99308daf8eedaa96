// The set-PIN dialog, headless, against the virtual key.

#include "dialogs/set_pin_wnd.h"

#include "ctap/pin_protocol.h"
#include "dialog_test_rig.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"

namespace pinvale::test {
namespace {

CSetPINWnd& Dialog(HWND hwnd) {
  return *dynamic_cast<CSetPINWnd*>(ui::WindowFromHandle(hwnd));
}

// Marks both labels, so a test sees which one a check wrote.
void MarkLabels(HWND hwnd) {
  uit::FindControl(hwnd, u"label_pin")->SetText(u"old");
  uit::FindControl(hwnd, u"label_pin2")->SetText(u"old");
}

bool KeyAcceptsPin(CFidoToken& token, std::string_view pin) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(pin.data());
  PinTokenResult result = ObtainPinToken(token, {bytes, pin.size()});
  return result.requestSent && result.code == 0 && result.tokenPresent;
}

struct Refusal {
  const char* name;
  std::u16string first, second;
  std::u16string labelPin, labelPin2;
};

class SetPinRefusalTest : public DialogTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SetPinRefusalTest, RefusesLocallyWithTheMessageUnderItsField) {
  const Refusal& c = GetParam();
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    MarkLabels(hwnd);
    Fill(hwnd, u"edit_pin", c.first);
    Fill(hwnd, u"edit_pin2", c.second);
    ExpectNoBox([&] { EXPECT_TRUE(uit::Click(hwnd, u"btn_ok")); });
    EXPECT_EQ(TextOf(hwnd, u"label_pin"), c.labelPin);
    EXPECT_EQ(TextOf(hwnd, u"label_pin2"), c.labelPin2);
    Snapshot(hwnd, std::string("set-pin-") + c.name);
    EXPECT_EQ(Dialog(hwnd).SubmitSetPin(), ValidationRefused);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(Key().RecentRequests().empty()) << "nothing may be sent after a local refusal";
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SetPinRefusalTest,
    ::testing::Values(
        // The second field is not looked at while the first is refused.
        Refusal{"EmptyFirst", u"", u"12", std::u16string(kProvidePinText), u"old"},
        Refusal{"ThreeCharacters", u"123", u"123", std::u16string(kPinTooShortText), u"old"},
        Refusal{"SixtyFourInFirst", Repeat(u'7', 64), u"1234", std::u16string(kSetPinTooLongText),
                u"old"},
        Refusal{"EmptySecond", u"1234", u"", u"old", std::u16string(kProvidePinText)},
        Refusal{"SixtyFourInSecond", u"1234", Repeat(u'7', 64), u"old",
                std::u16string(kSetPinTooLongText)},
        Refusal{"Differ", u"12345", u"12346", u"old", std::u16string(kSetPinMismatchText)},
        Refusal{"DifferInLength", u"1234", u"12345", u"old", std::u16string(kSetPinMismatchText)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SetPinTexts, KeepTheirOddSpellings) {
  EXPECT_EQ(kSetPinTooLongText, u"Your PIN must be less than  63 characters..");
  EXPECT_EQ(kChangePinTooLongText, u"Your PIN must be less than  63 characters.");
  EXPECT_EQ(kVerifyPinTooLongText, u"Your PIN must be less 63 characters.");
}

class SetPinAcceptTest : public DialogTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(SetPinAcceptTest, SetsTheFirstPinProvesItAndClosesWithOne) {
  const std::string pin(GetParam(), '5');
  const std::u16string pin16(pin.begin(), pin.end());
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", pin16);
    Fill(hwnd, u"edit_pin2", pin16);
    ExpectBox(std::u16string(kSetPinSuccessText), kMessageBoxOk);
    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
  });
  EXPECT_EQ(code, 1);
  // setPIN after its key agreement, then the new PIN proved with getPINToken.
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, 3, 2, 5}));
  EXPECT_EQ(Key().Status().retries, 8u);  // the token step used the right PIN
  EXPECT_TRUE(KeyAcceptsPin(Token(), pin));
}

INSTANTIATE_TEST_SUITE_P(Lengths, SetPinAcceptTest, ::testing::Values(4u, 63u));

TEST_F(DialogTest, SetPinSendsNonAsciiPinsAsUtf8) {
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"p\u00e4ss\u20ac");
    Fill(hwnd, u"edit_pin2", u"p\u00e4ss\u20ac");
    ExpectBox(std::u16string(kSetPinSuccessText), kMessageBoxOk);
    uit::KeyDown(hwnd, VK_RETURN);  // Enter submits
  });
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(KeyAcceptsPin(Token(), "p\xc3\xa4ss\xe2\x82\xac"));
}

// Every refusal of setPIN is told, 0x02 included, and the dialog stays open for another try.
class SetPinKeyRefusalTest : public DialogTest, public ::testing::WithParamInterface<int> {};

TEST_P(SetPinKeyRefusalTest, ShowsTheFailureBoxAndStaysOpen) {
  UseKey(KeyConfig("", {ForcedStatus(0x06, 3, static_cast<std::uint8_t>(GetParam()))}));
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    Fill(hwnd, u"edit_pin2", u"1234");
    ExpectBox(std::u16string(kSetPinFailedText), kMessageBoxIconError);
    EXPECT_EQ(Dialog(hwnd).SubmitSetPin(), GetParam());
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
}

INSTANTIATE_TEST_SUITE_P(Statuses, SetPinKeyRefusalTest, ::testing::Values(0x02, 0x01, 0x3E));

TEST_F(DialogTest, SetPinFailedKeyAgreementSaysCommunicationFailedAndSendsNoPin) {
  vkey::VirtualKeyFault noY;
  noY.kind = vkey::FaultKind::kKeyAgreementNoY;
  UseKey(KeyConfig("", {noY}));
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    Fill(hwnd, u"edit_pin2", u"1234");
    ExpectBox(std::u16string(kCommunicationFailedText), kMessageBoxIconError);
    EXPECT_EQ(Dialog(hwnd).SubmitSetPin(), 0x12);
    ExpectBox(std::u16string(kCommunicationFailedText), kMessageBoxIconError);
    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));  // still open
  });
  EXPECT_EQ(code, 2);
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, 2}));
  EXPECT_FALSE(Key().Status().pinSet);
}

TEST_F(DialogTest, SetPinTooLongInUtf8IsRefusedBeforeAnythingIsSent) {
  // 22 characters of three UTF-8 bytes each: 66 bytes, more than a PIN block holds.
  const std::u16string pin = Repeat(u'\u20ac', 22);
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", pin);
    Fill(hwnd, u"edit_pin2", pin);
    ExpectNoBox([&] { EXPECT_EQ(Dialog(hwnd).SubmitSetPin(), ValidationRefused); });
    EXPECT_EQ(TextOf(hwnd, u"label_pin"), kPinTooManyBytesText);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(Key().RecentRequests().empty());
}

TEST_F(DialogTest, SetPinEscapeIsIgnoredAndTypingClearsTheMessages) {
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    // The first field has the focus from the start.
    EXPECT_TRUE(uit::FindControl(hwnd, u"edit_pin")->IsFocused());
    uit::KeyDown(hwnd, VK_ESCAPE);
    uit::PumpUntilIdle();
    ASSERT_TRUE(IsWindow(hwnd));

    uit::TypeText(hwnd, "12");
    uit::KeyDown(hwnd, VK_RETURN);
    EXPECT_EQ(TextOf(hwnd, u"label_pin"), kPinTooShortText);
    uit::TypeText(hwnd, "3");
    EXPECT_EQ(TextOf(hwnd, u"label_pin"), kPinTooShortText);  // still fewer than 4
    uit::TypeText(hwnd, "4");
    EXPECT_EQ(TextOf(hwnd, u"label_pin"), u"");

    // Entries that differ: typing in either field empties the second field's message.
    uit::FindControl(hwnd, u"edit_pin2")->SetFocus();
    uit::TypeText(hwnd, "99");
    uit::KeyDown(hwnd, VK_RETURN);
    EXPECT_EQ(TextOf(hwnd, u"label_pin2"), kPinTooShortText);
    Fill(hwnd, u"edit_pin2", u"9999");
    uit::KeyDown(hwnd, VK_RETURN);
    EXPECT_EQ(TextOf(hwnd, u"label_pin2"), kSetPinMismatchText);
    // With a second entry under 4 characters only the difference clears it.
    Fill(hwnd, u"edit_pin2", u"999");
    uit::FindControl(hwnd, u"edit_pin")->SetFocus();
    uit::TypeText(hwnd, "5");
    EXPECT_EQ(TextOf(hwnd, u"label_pin2"), u"");
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(Key().RecentRequests().empty());
}

TEST_F(DialogTest, SetPinFocusSelectsTheWholeEntry) {
  CSetPINWnd dialog(u"SetPIN.xml", &Token());
  RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin2", u"abcdef");
    auto* edit = dynamic_cast<ui::CEditUI*>(uit::FindControl(hwnd, u"edit_pin2"));
    edit->SetSel(2, 2);
    edit->SetFocus();
    EXPECT_EQ(edit->GetSelStart(), 0);
    EXPECT_EQ(edit->GetSelEnd(), 6);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
}

}  // namespace
}  // namespace pinvale::test
