// A password edit's text: one block, reserved for the maximum length when the layout is
// read, that never moves while the user types, holds nothing past the text after any edit,
// and is all zero once the control is gone.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test_skin.h"
#include "ui/ui_testing.h"
#include "wiping_arena.h"

namespace pinvale::ui {
namespace {

namespace t = ui::testing;
using pinvale::test::WipingArena;

class EditWipeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseTestSkin();
    window = std::make_unique<test::RecordingWindow>();
    hwnd = test::CreateTestWindow(*window);
    t::PumpUntilIdle();
    pin = window->GetPaintManager().FindControlAs<CEditUI>(u"edit_pin");
    ASSERT_NE(pin, nullptr);
    storage = pin->PasswordStorageForTesting();
    ASSERT_NE(storage, nullptr);
    ASSERT_NE(arena.Find(storage), nullptr) << "the storage comes from the arena";
    pin->SetFocus();
  }
  void TearDown() override {
    if (window && IsWindow(hwnd)) DestroyWindow(hwnd);
    window.reset();
  }

  // The block holds `expected` and zeros after it, and is the one it was at the start.
  void ExpectStorage(std::u16string_view expected) {
    ASSERT_EQ(pin->PasswordStorageForTesting(), storage) << "the text moved";
    EXPECT_EQ(pin->GetSecretText().view(), expected);
    const std::size_t capacity = pin->PasswordCapacityForTesting();
    for (std::size_t i = 0; i < capacity; ++i) {
      const char16_t want = i < expected.size() ? expected[i] : u'\0';
      ASSERT_EQ(storage[i], want) << "unit " << i << " with the text " << expected.size()
                                  << " long";
    }
  }

  WipingArena arena;  // first: it outlives the window and its controls
  std::unique_ptr<test::RecordingWindow> window;
  HWND hwnd = nullptr;
  CEditUI* pin = nullptr;
  const char16_t* storage = nullptr;
};

TEST_F(EditWipeTest, ReservesTheMaximumLengthOnce) {
  // The layout gives no maxchar: the default limit is the reservation.
  EXPECT_EQ(pin->GetMaxChar(), 255);
  EXPECT_EQ(pin->PasswordCapacityForTesting(), 255u);
  auto* plain = window->GetPaintManager().FindControlAs<CEditUI>(u"edit_two");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->PasswordStorageForTesting(), nullptr) << "an ordinary edit keeps a string";
}

TEST_F(EditWipeTest, TypingPastManyGrowthPointsNeverMovesTheText) {
  // A growing string would have moved at 8, 16, 32, 64 and 128 units.
  std::u16string typed;
  for (int i = 0; i < 200; ++i) {
    const char c = static_cast<char>('0' + i % 10);
    t::TypeText(hwnd, std::string(1, c));
    typed.push_back(static_cast<char16_t>(c));
    ExpectStorage(typed);
  }
  t::TypeText(hwnd, "\xF0\x9F\x94\x91");  // a pair arrives as two units
  typed += u"\U0001F511";
  ExpectStorage(typed);
  EXPECT_EQ(arena.ReleasedUnwiped(), 0u) << "typed text went through an unwiped block";
}

TEST_F(EditWipeTest, DeletedAndReplacedUnitsAreWipedAtOnce) {
  t::TypeText(hwnd,
              "12\xF0\x9F\x94\x91"
              "3456");
  ExpectStorage(u"12\U0001F5113456");
  t::KeyDown(hwnd, VK_BACK);
  ExpectStorage(u"12\U0001F511345");
  t::KeyDown(hwnd, VK_HOME);
  t::KeyDown(hwnd, VK_DELETE);
  ExpectStorage(u"2\U0001F511345");
  t::KeyDown(hwnd, VK_RIGHT);
  t::KeyDown(hwnd, VK_DELETE);  // the pair goes whole
  ExpectStorage(u"2345");
  pin->SetSel(1, 3);
  t::KeyDown(hwnd, VK_BACK);
  ExpectStorage(u"25");
  pin->SetSelAll();
  t::TypeText(hwnd, "9");  // typing over a selection
  ExpectStorage(u"9");
}

TEST_F(EditWipeTest, SetTextAndClearingWipeWhatWasThere) {
  pin->SetText(u"a long PIN that was set");
  ExpectStorage(u"a long PIN that was set");
  pin->SetText(u"short");
  ExpectStorage(u"short");
  pin->SetText(std::u16string(300, u'7'));  // cut to the limit, still in place
  ExpectStorage(std::u16string(255, u'7'));
  pin->SetText(u"");
  ExpectStorage(u"");
}

TEST_F(EditWipeTest, DestroyingTheControlWipesItsStorage) {
  t::TypeText(hwnd, "246813579");
  ExpectStorage(u"246813579");
  DestroyWindow(hwnd);
  t::PumpUntilIdle();
  window.reset();  // the controls are gone with their window
  const WipingArena::Block* block = arena.Find(storage);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(block->released);
  EXPECT_TRUE(WipingArena::AllZero(*block));
  EXPECT_EQ(arena.Live(), 0u);
  EXPECT_FALSE(arena.Holds(std::u16string_view(u"2468")));
}

TEST_F(EditWipeTest, LeavingPasswordModeWipesTheStorageAndKeepsTheText) {
  t::TypeText(hwnd, "4711");
  pin->SetPasswordMode(false);
  EXPECT_EQ(pin->GetText(), u"4711");
  EXPECT_EQ(pin->PasswordStorageForTesting(), nullptr);
  const WipingArena::Block* block = arena.Find(storage);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(block->released && WipingArena::AllZero(*block));
  pin->SetPasswordMode(true);
  EXPECT_EQ(pin->GetSecretText().view(), u"4711");
  t::TypeText(hwnd, "0");
  EXPECT_EQ(pin->GetText(), u"47110");
}

}  // namespace
}  // namespace pinvale::ui
