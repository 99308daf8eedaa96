// The PIN dialogs on CTAP 2.1 keys: the PIN protocol the key lists first, the key's own
// minimum PIN length, and a key that wants a new PIN before it is used.

#include <string>

#include "ctap/pin_protocol.h"
#include "ctap/pin_token.h"
#include "dialog_test_rig.h"
#include "dialogs/change_pin_wnd.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"
#include "dialogs/pin_verify_wnd.h"
#include "dialogs/set_pin_wnd.h"

namespace pinvale::test {
namespace {

vkey::VirtualKeyConfig Ctap21Key(std::string pin, std::vector<std::uint8_t> protocols = {}) {
  vkey::VirtualKeyConfig config = KeyConfig(std::move(pin));
  config.profile = vkey::CtapProfile::kCtap21;
  config.pinProtocols = std::move(protocols);
  return config;
}

class Ctap21DialogTest : public DialogTest {
 protected:
  // The protocol member of every clientPIN request the key saw.
  std::vector<int> ProtocolsSeen() const {
    std::vector<int> protocols;
    for (const vkey::CtapRequestRecord& r : key_->RecentRequests()) {
      if (r.command == 0x06 && r.cbor.size() > 2 && r.cbor[1] == 0x01)
        protocols.push_back(r.cbor[2]);
    }
    return protocols;
  }
};

// Set, change and verify through the dialogs, each on a key with its list of protocols:
// every request speaks the first one the key lists.
struct ProtocolCase {
  const char* name;
  std::vector<std::uint8_t> listed;  // empty: a CTAP 2.0 key, which lists none
  int expected;
};

class ProtocolChoiceTest : public Ctap21DialogTest,
                           public ::testing::WithParamInterface<ProtocolCase> {};

TEST_P(ProtocolChoiceTest, EveryDialogSpeaksTheFirstProtocolTheKeyLists) {
  const ProtocolCase& c = GetParam();
  UseKey(c.listed.empty() ? KeyConfig() : Ctap21Key("", c.listed));

  CSetPINWnd set(u"SetPIN.xml", &Token());
  EXPECT_EQ(RunDialog(set,
                      [&](HWND hwnd) {
                        Fill(hwnd, u"edit_pin", u"1234");
                        Fill(hwnd, u"edit_pin2", u"1234");
                        ExpectBox(std::u16string(kSetPinSuccessText), kMessageBoxOk);
                        EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
                      }),
            1);
  CChangePINWnd change(u"ChangePIN.xml", &Token());
  EXPECT_EQ(RunDialog(change,
                      [&](HWND hwnd) {
                        Fill(hwnd, u"edit_pin_old", u"1234");
                        Fill(hwnd, u"edit_pin_new", u"567890");
                        Fill(hwnd, u"edit_pin_new2", u"567890");
                        ExpectBox(std::u16string(kChangePinSuccessText), kMessageBoxOk);
                        EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
                      }),
            1);
  CPINVerifyWnd verify(u"verifyPIN.xml", &Token());
  EXPECT_EQ(RunDialog(verify,
                      [&](HWND hwnd) {
                        Fill(hwnd, u"edit_pin", u"567890");
                        ExpectBox(std::u16string(kVerifyPinSuccessText), kMessageBoxOk);
                        EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
                      }),
            1);
  const std::vector<int> protocols = ProtocolsSeen();
  ASSERT_FALSE(protocols.empty());
  for (int protocol : protocols) EXPECT_EQ(protocol, c.expected);
  EXPECT_EQ(Key().Status().retries, 8u);
}

INSTANTIATE_TEST_SUITE_P(Keys, ProtocolChoiceTest,
                         ::testing::Values(ProtocolCase{"Ctap20", {}, 1},
                                           ProtocolCase{"TwoThenOne", {2, 1}, 2},
                                           ProtocolCase{"TwoOnly", {2}, 2},
                                           ProtocolCase{"OneOnly", {1}, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A key that asks for 6 characters: a shorter new PIN is refused under its field with
// the key's minimum, counted in code points, before any PIN goes out.
TEST_F(Ctap21DialogTest, NewPinBelowTheKeysMinimumIsRefusedWithItsMinimum) {
  vkey::VirtualKeyConfig config = Ctap21Key("123456");
  config.minPinLength = 6;
  UseKey(config);
  CChangePINWnd change(u"ChangePIN.xml", &Token());
  RunDialog(change, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin_old", u"123456");
    // Six UTF-16 units, but five code points (one of them outside the BMP).
    const std::u16string five = u"abc\U0001F511d";
    Fill(hwnd, u"edit_pin_new", five);
    Fill(hwnd, u"edit_pin_new2", five);
    ExpectNoBox([&] { EXPECT_EQ(change.SubmitChangePin(), ValidationRefused); });
    EXPECT_EQ(TextOf(hwnd, u"label_new_pin"), u"Your PIN must be at least 6 characters.");
    Snapshot(hwnd, "change-pin-key-minimum");
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_TRUE(PinSubcommandsSeen().empty());
}

// A key that wants a new PIN: Verify PIN sends it none and says to change it.
TEST_F(Ctap21DialogTest, VerifySendsNoPinToAKeyThatWantsANewOne) {
  vkey::VirtualKeyConfig config = Ctap21Key("1234");
  config.forcePinChange = true;
  UseKey(config);
  CPINVerifyWnd verify(u"verifyPIN.xml", &Token());
  RunDialog(verify, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    uit::RunWhenModal([](HWND box) {
      EXPECT_EQ(dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(box))->Text(),
                kPinChangeRequiredText);
      EXPECT_TRUE(uit::Click(box, u"OK"));
    });
    EXPECT_EQ(verify.SubmitVerifyPin(), kPinChangeRequired);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_TRUE(PinSubcommandsSeen().empty());
}

}  // namespace
}  // namespace pinvale::test
