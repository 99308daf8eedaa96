// A PIN typed into a dialog leaves no copy behind: once the dialog is gone, the edits'
// storage and every wiped copy made on the way to the key (typed text, the copies the
// submit reads) have been given back all zero, and none of them holds the PIN.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "dialog_test_rig.h"
#include "dialogs/change_pin_wnd.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_verify_wnd.h"
#include "dialogs/set_pin_wnd.h"
#include "wiping_arena.h"

namespace pinvale::test {
namespace {

struct Typing {
  const char* edit;
  const char* pin;  // ASCII: the same bytes in the arena's UTF-8 and UTF-16 blocks
};

struct WipeCase {
  const char* name;
  const char* pinOnKey;
  std::function<std::unique_ptr<ui::WindowImplBase>(CFidoToken&)> make;
  std::vector<Typing> typing;
  std::u16string_view successText;
};

void PrintTo(const WipeCase& c, std::ostream* out) {
  *out << c.name;
}

class PinWipeTest : public DialogTest, public ::testing::WithParamInterface<WipeCase> {
 protected:
  WipingArena arena;  // made before the dialog, gone after it
};

std::u16string Utf16(const char* ascii) {
  return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

TEST_P(PinWipeTest, TypedPinsAreWipedFromEveryCopyOnceTheDialogIsGone) {
  const WipeCase& c = GetParam();
  UseKey(KeyConfig(c.pinOnKey));
  {
    std::unique_ptr<ui::WindowImplBase> dialog = c.make(Token());
    const int code = RunDialog(*dialog, [&](HWND hwnd) {
      for (const Typing& typing : c.typing) {
        ASSERT_TRUE(uit::Click(hwnd, Utf16(typing.edit)));
        // Key by key, as a user types.
        for (const char* p = typing.pin; *p; ++p) uit::TypeText(hwnd, std::string(1, *p));
      }
      ExpectBox(std::u16string(c.successText), kMessageBoxOk);
      EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
    });
    EXPECT_EQ(code, 1);
    EXPECT_GE(arena.Allocated(), c.typing.size()) << "the edits keep their text in the arena";
  }
  uit::PumpUntilIdle();
  EXPECT_EQ(arena.Live(), 0u);
  EXPECT_EQ(arena.ReleasedUnwiped(), 0u);
  for (const Typing& typing : c.typing) {
    EXPECT_FALSE(arena.Holds(std::string_view(typing.pin))) << typing.pin << " as UTF-8";
    EXPECT_FALSE(arena.Holds(std::u16string_view(Utf16(typing.pin)))) << typing.pin;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, PinWipeTest,
    ::testing::Values(WipeCase{"SetPin",
                               "",
                               [](CFidoToken& token) {
                                 return std::make_unique<CSetPINWnd>(u"SetPIN.xml", &token);
                               },
                               {{"edit_pin", "739154"}, {"edit_pin2", "739154"}},
                               kSetPinSuccessText},
                      WipeCase{"ChangePin",
                               "481526",
                               [](CFidoToken& token) {
                                 return std::make_unique<CChangePINWnd>(u"ChangePIN.xml", &token);
                               },
                               {{"edit_pin_old", "481526"},
                                {"edit_pin_new", "906172"},
                                {"edit_pin_new2", "906172"}},
                               kChangePinSuccessText},
                      WipeCase{"VerifyPin",
                               "275903",
                               [](CFidoToken& token) {
                                 return std::make_unique<CPINVerifyWnd>(u"verifyPIN.xml", &token);
                               },
                               {{"edit_pin", "275903"}},
                               kVerifyPinSuccessText}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::test
