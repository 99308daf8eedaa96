// Text entry: UTF-16 storage, surrogate pairs, password masking, caret and selection.

#include <gtest/gtest.h>

#include "test_skin.h"
#include "ui/ui_testing.h"

namespace pinvale::ui {
namespace {

using test::RecordingWindow;
namespace t = ui::testing;

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseTestSkin();
    hwnd = test::CreateTestWindow(window);
    t::PumpUntilIdle();
    pin = window.GetPaintManager().FindControlAs<CEditUI>(u"edit_pin");
    two = window.GetPaintManager().FindControlAs<CEditUI>(u"edit_two");
    ASSERT_TRUE(pin && two);
  }
  RecordingWindow window;
  HWND hwnd = nullptr;
  CEditUI* pin = nullptr;
  CEditUI* two = nullptr;
};

TEST_F(EditTest, ClickFocusesAndTypedUtf8IsStoredAsUtf16) {
  EXPECT_TRUE(t::Click(hwnd, u"edit_two"));
  EXPECT_EQ(window.Count("setfocus:edit_two"), 1);
  t::TypeText(hwnd, "ab\xE4\xB8\xAD");
  EXPECT_EQ(two->GetText(), u"ab\u4E2D");
  EXPECT_EQ(window.Count("textchanged:edit_two"), 3);
  EXPECT_EQ(two->GetCaret(), 3);
}

TEST_F(EditTest, NonBmpCharacterCountsTwoUnitsAndBackspaceRemovesItWhole) {
  pin->SetFocus();
  t::TypeText(hwnd,
              "12\xF0\x9F\x94\x91"
              "3");  // 1 2 U+1F511 3
  EXPECT_EQ(pin->GetText().size(), 5u);
  t::KeyDown(hwnd, VK_BACK);
  EXPECT_EQ(pin->GetText(), u"12\U0001F511");
  t::KeyDown(hwnd, VK_BACK);
  EXPECT_EQ(pin->GetText(), u"12");
  t::KeyDown(hwnd, VK_BACK);
  t::KeyDown(hwnd, VK_BACK);
  t::KeyDown(hwnd, VK_BACK);  // nothing left: no change, no notification
  EXPECT_EQ(pin->GetText(), u"");
  EXPECT_EQ(window.Count("textchanged:edit_pin"), 4 + 4);
}

TEST_F(EditTest, CaretMovesOverAPairAsOneCharacter) {
  pin->SetFocus();
  t::TypeText(hwnd,
              "a\xF0\x9F\x94\x91"
              "b");
  t::KeyDown(hwnd, VK_LEFT);
  EXPECT_EQ(pin->GetCaret(), 3);
  t::KeyDown(hwnd, VK_LEFT);
  EXPECT_EQ(pin->GetCaret(), 1);
  t::KeyDown(hwnd, VK_DELETE);
  EXPECT_EQ(pin->GetText(), u"ab");
  t::KeyDown(hwnd, VK_HOME);
  EXPECT_EQ(pin->GetCaret(), 0);
  t::KeyDown(hwnd, VK_END);
  EXPECT_EQ(pin->GetCaret(), 2);
}

TEST_F(EditTest, PasswordModeShowsOneBulletPerCharacterAndKeepsTheText) {
  pin->SetFocus();
  t::TypeText(hwnd, "pw\xF0\x9F\x94\x91");
  EXPECT_TRUE(pin->IsPasswordMode());
  EXPECT_EQ(pin->GetText(), u"pw\U0001F511");
  // The drawn text is three bullets wide, not four.
  const int bullet = window.GetPaintManager().MeasureText(-1, u"\u25CF").cx;
  const int three = window.GetPaintManager().MeasureText(-1, u"\u25CF\u25CF\u25CF").cx;
  EXPECT_EQ(three, 3 * bullet);
  int w = 0;
  int h = 0;
  const auto pixels = t::RenderWindowPixels(hwnd, &w, &h);
  const RECT pos = pin->GetPos();
  // Count dark columns inside the edit: the bullets and the caret.
  int lastInk = -1;
  for (long x = pos.left + 2; x < pos.right - 2; ++x) {
    for (long y = pos.top + 2; y < pos.bottom - 2; ++y) {
      if ((pixels[static_cast<size_t>(y * w + x)] & 0xFF) < 0x80) lastInk = static_cast<int>(x);
    }
  }
  EXPECT_GT(lastInk, pos.left + 2 * bullet);
  EXPECT_LT(lastInk, pos.left + 4 + 3 * bullet + 3);
}

TEST_F(EditTest, SetSelSelectsAndTypingReplacesTheSelection) {
  pin->SetText(u"1234");
  EXPECT_EQ(window.Count("textchanged:edit_pin"), 0);  // only user edits notify
  pin->SetSel(0, -1);
  EXPECT_EQ(pin->GetSelStart(), 0);
  EXPECT_EQ(pin->GetSelEnd(), 4);
  pin->SetFocus();
  t::TypeText(hwnd, "9");
  EXPECT_EQ(pin->GetText(), u"9");
}

TEST_F(EditTest, SetSelNeverSplitsAPair) {
  pin->SetText(u"a\U0001F511b");
  pin->SetSel(2, 3);
  EXPECT_EQ(pin->GetSelStart(), 1);
  EXPECT_EQ(pin->GetSelEnd(), 3);
  pin->SetSel(0, 2);
  EXPECT_EQ(pin->GetSelEnd(), 3);
}

TEST_F(EditTest, BackspaceRemovesTheSelection) {
  pin->SetText(u"12345");
  pin->SetFocus();
  pin->SetSel(1, 4);
  t::KeyDown(hwnd, VK_BACK);
  EXPECT_EQ(pin->GetText(), u"15");
}

TEST_F(EditTest, MaxCharRefusesTypingBeyondIt) {
  pin->SetMaxChar(3);
  pin->SetFocus();
  t::TypeText(hwnd, "12\xF0\x9F\x94\x91");  // the pair would need units 3 and 4
  EXPECT_EQ(pin->GetText(), u"12");
  t::TypeText(hwnd, "3");
  t::TypeText(hwnd, "4");
  EXPECT_EQ(pin->GetText(), u"123");
}

TEST_F(EditTest, SetfocusHandlerCanSelectAll) {
  // What the PIN dialogs do on "setfocus".
  class SelectingWindow : public RecordingWindow {
   public:
    void Notify(TNotifyUI& msg) override {
      if (msg.sType == u"setfocus") {
        if (auto* edit = dynamic_cast<CEditUI*>(msg.pSender)) edit->SetSel(0, -1);
      }
      RecordingWindow::Notify(msg);
    }
  } selecting;
  const HWND h = test::CreateTestWindow(selecting);
  t::PumpUntilIdle();
  auto* edit = selecting.GetPaintManager().FindControlAs<CEditUI>(u"edit_two");
  edit->SetText(u"abc");
  t::Click(h, u"edit_pin");
  t::KeyDown(h, VK_TAB);
  EXPECT_EQ(selecting.GetPaintManager().GetFocus(), edit);
  EXPECT_EQ(edit->GetSelStart(), 0);
  EXPECT_EQ(edit->GetSelEnd(), 3);
}

TEST_F(EditTest, ReadOnlyAndDisabledEditsRefuseInput) {
  two->SetFocus();
  two->SetReadOnly(true);
  t::TypeText(hwnd, "x");
  EXPECT_EQ(two->GetText(), u"");
  two->SetReadOnly(false);
  two->SetEnabled(false);
  EXPECT_EQ(window.GetPaintManager().GetFocus(), nullptr);  // disabling drops the focus
  t::TypeText(hwnd, "x");
  EXPECT_EQ(two->GetText(), u"");
}

}  // namespace
}  // namespace pinvale::ui
