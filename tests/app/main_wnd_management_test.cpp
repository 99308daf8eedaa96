// Fingerprints and Passkeys from the main window: offered only on keys that manage them,
// and the checks made before any PIN is asked for, in their order.

#include "dialogs/management_texts.h"
#include "main_wnd_fixture.h"

namespace pinvale::test {
namespace {

// A fault as pinvale-vkey's --fault takes it.
vkey::VirtualKeyFault Fault(const std::string& text) {
  vkey::VirtualKeyFault fault;
  EXPECT_TRUE(vkey::ParseFault(text, fault)) << text;
  return fault;
}

struct OfferCase {
  const char* name;
  vkey::CtapProfile profile;
  bool offered;
};

class ManagementOfferTest : public MainWindowTest,
                            public ::testing::WithParamInterface<OfferCase> {};

TEST_P(ManagementOfferTest, TheButtonsTakeTheLogosPlaceOnlyOnKeysThatManage) {
  auto key = AddKey({.pin = "1234", .profile = GetParam().profile});
  Open();
  ExpectKeyState(true);
  EXPECT_EQ(Control(u"content_row")->IsVisible(), GetParam().offered);
  EXPECT_EQ(Control(u"btn_fingerprints")->IsVisible(), GetParam().offered);
  EXPECT_EQ(Control(u"btn_passkeys")->IsVisible(), GetParam().offered);
  EXPECT_NE(Control(u"logo_row")->IsVisible(), GetParam().offered);
  // A pull-out leaves nothing of them behind for the next key.
  key->Unplug();
  PostNotice(kDeviceRemoveComplete, u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
  EXPECT_FALSE(Control(u"content_row")->IsVisible());
}

INSTANTIATE_TEST_SUITE_P(Profiles, ManagementOfferTest,
                         ::testing::Values(OfferCase{"ctap20", vkey::CtapProfile::kCtap20, false},
                                           OfferCase{"ctap21pre", vkey::CtapProfile::kCtap21Pre,
                                                     true},
                                           OfferCase{"ctap21", vkey::CtapProfile::kCtap21, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, NoPinOffersSetPinAndGoesOnOnceItIsSet) {
  AddKey({.pin = "", .profile = vkey::CtapProfile::kCtap21});
  Open();
  // Declined: nothing opens.
  AnswerNextBox(u"Pinvale", std::u16string(kFingerprintTexts.needPin), u"Cancel");
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_fingerprints"));
  EXPECT_EQ(window_->setPinOpened, 0);
  EXPECT_TRUE(window_->pinEntries.empty());
  // Taken: Set PIN, and with the PIN set the PIN entry follows at once.
  window_->setPinDialog = [this] {
    const std::uint8_t pin[] = {'1', '2', '3', '4'};
    SendSetPin(window_->Token(), pin);
    return 1;
  };
  window_->pinForEntry = "1234";
  AnswerNextBox(u"Pinvale", std::u16string(kPasskeyTexts.needPin), u"OK");
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_passkeys"));
  EXPECT_EQ(window_->setPinOpened, 1);
  ASSERT_EQ(window_->pinEntries.size(), 1u);
  EXPECT_EQ(window_->pinEntries[0].first, ManagementKind::kPasskeys);
  EXPECT_EQ(window_->passkeysOpened, 1);
}

TEST_F(MainWindowTest, APinChangeTheKeyWantsComesFirst) {
  AddKey({.pin = "1234", .forcePinChange = true});
  Open();
  window_->changePinDialog = [] { return 2; };  // closed without a change
  AnswerNextBox(u"Pinvale", std::u16string(kManagementPinChangeText), u"OK");
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_fingerprints"));
  EXPECT_EQ(window_->changePinOpened, 1);
  EXPECT_TRUE(window_->pinEntries.empty());
}

TEST_F(MainWindowTest, ABlockedPinSaysOnlyAResetHelps) {
  // getRetries answered with PIN_BLOCKED.
  AddKey(
      {.pin = "1234", .faults = {Fault("status=06/01:32")}, .profile = vkey::CtapProfile::kCtap21});
  Open();
  AnswerNextBox(u"Pinvale", std::u16string(kManagementPinBlockedText), u"OK");
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_passkeys"));
  EXPECT_TRUE(window_->pinEntries.empty());
  EXPECT_EQ(window_->resetOpened, 0);
}

TEST_F(MainWindowTest, AReadyKeyGetsOnePinEntryWithItsRulesAndTheRightWindow) {
  AddKey({.pin = "123456", .profile = vkey::CtapProfile::kCtap21});
  Open();
  window_->pinForEntry = "123456";
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_fingerprints"));
  ASSERT_EQ(window_->pinEntries.size(), 1u);
  const ManagementPrecheckResult& check = window_->pinEntries[0].second;
  EXPECT_EQ(check.outcome, ManagementPrecheck::kReady);
  EXPECT_EQ(check.command, 0x09);
  EXPECT_EQ(check.pinRetries, std::optional<std::uint32_t>(8));
  EXPECT_EQ(window_->fingerprintsOpened, 1);
  EXPECT_EQ(window_->passkeysOpened, 0);
  // A wrong PIN in the entry opens no window.
  window_->pinForEntry = "000000";
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_fingerprints"));
  EXPECT_EQ(window_->fingerprintsOpened, 1);
}

}  // namespace
}  // namespace pinvale::test
