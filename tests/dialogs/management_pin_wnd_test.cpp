// The PIN entry before the Fingerprints and Passkeys windows, against CTAP 2.1 keys and
// their prototypes: the key's rules and attempts shown, a wrong PIN counted down, and a
// right one giving a token with only the permission the window needs.

#include <string>

#include "cbor/cbor_item.h"
#include "ctap/bio_enrollment.h"
#include "ctap/credential_management.h"
#include "dialog_test_rig.h"
#include "dialogs/management_pin_wnd.h"
#include "dialogs/management_texts.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"

namespace pinvale::test {
namespace {

struct EntryCase {
  const char* name;
  vkey::CtapProfile profile;
  ManagementKind kind;
  std::uint8_t command;
  std::uint32_t permission;  // asked of 2.1 keys; prototypes know no permissions
};

class ManagementPinTest : public DialogTest, public ::testing::WithParamInterface<EntryCase> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    vkey::VirtualKeyConfig config = KeyConfig("123456");
    config.profile = GetParam().profile;
    config.minPinLength = 6;
    UseKey(config);
  }
  ManagementPrecheckResult Check() { return CheckBeforeManagement(Token(), GetParam().kind); }
  // The permissions member of the token requests the key saw.
  std::vector<std::uint32_t> PermissionsAsked() const {
    std::vector<std::uint32_t> asked;
    for (const vkey::CtapRequestRecord& r : key_->RecentRequests()) {
      if (r.command != 0x06 || r.subCommand != 0x09) continue;
      std::uint32_t permissions = 0;
      CborItem(r.cbor.data(), static_cast<std::uint32_t>(r.cbor.size()))
          .mapValueByInt(9)
          .getUnsigned(permissions);
      asked.push_back(permissions);
    }
    return asked;
  }
};

TEST_P(ManagementPinTest, ShowsTheRulesCountsDownAndOpensWithTheRightPin) {
  const EntryCase& c = GetParam();
  ManagementPrecheckResult check = Check();
  ASSERT_EQ(check.outcome, ManagementPrecheck::kReady);
  EXPECT_EQ(check.command, c.command);
  // Prototype keys do not tell their minimum: the common one of 4 is shown.
  const bool tellsMinimum = c.profile == vkey::CtapProfile::kCtap21;
  const std::u16string minimum = tellsMinimum ? u"At least 6 characters" : u"At least 4 characters";
  CManagementPinWnd entry(u"ManagementPIN.xml", &Token(), c.kind, check);
  EXPECT_EQ(
      RunDialog(entry,
                [&](HWND hwnd) {
                  EXPECT_EQ(TextOf(hwnd, u"label_title"), TextsFor(c.kind).title);
                  EXPECT_EQ(TextOf(hwnd, u"label_hint"), minimum + u" \u00B7 8 attempts left");
                  if (tellsMinimum) {
                    // Below the key's minimum: refused here, nothing sent.
                    key_->ClearRecentRequests();
                    Fill(hwnd, u"edit_pin", u"12345");
                    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
                    EXPECT_EQ(TextOf(hwnd, u"label_status"), KeyMinimumText(6));
                    EXPECT_TRUE(CommandsSeen().empty());
                  }
                  Fill(hwnd, u"edit_pin", u"654321");
                  EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
                  EXPECT_EQ(TextOf(hwnd, u"label_status"), PinRetriesText(7));
                  EXPECT_EQ(TextOf(hwnd, u"label_hint"), minimum + u" \u00B7 7 attempts left");
                  Snapshot(hwnd, "management_pin_wrong");
                  Fill(hwnd, u"edit_pin", u"123456");
                  uit::KeyDown(hwnd, VK_RETURN);
                }),
      1);
  std::unique_ptr<ManagementAccess> access = entry.TakeAccess();
  ASSERT_NE(access, nullptr);
  EXPECT_EQ(access->command, c.command);
  if (c.permission != 0) {
    // The wrong PIN's request and the right one's: each for this window's work alone.
    EXPECT_EQ(PermissionsAsked(), (std::vector<std::uint32_t>{c.permission, c.permission}));
  }
  // The token does the work it was asked for.
  const int listed = access->session.Run([&](const PinUvToken& token) {
    if (c.kind == ManagementKind::kFingerprints) {
      std::vector<FingerprintEnrollment> none;
      return BioEnrollment(Token(), access->command).EnumerateEnrollments(token, none);
    }
    CredentialSlots slots;
    return CredentialManagement(Token(), access->command).GetCredsMetadata(token, slots);
  });
  EXPECT_EQ(listed, 0);
}

TEST_P(ManagementPinTest, EscapeAndCloseLeaveWithoutAnAccess) {
  CManagementPinWnd entry(u"ManagementPIN.xml", &Token(), GetParam().kind, Check());
  EXPECT_EQ(RunDialog(entry, [](HWND hwnd) { uit::KeyDown(hwnd, VK_ESCAPE); }), 2);
  EXPECT_EQ(entry.TakeAccess(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ManagementPinTest,
    ::testing::Values(EntryCase{"FingerprintsOn21", vkey::CtapProfile::kCtap21,
                                ManagementKind::kFingerprints, 0x09, 0x08},
                      EntryCase{"PasskeysOn21", vkey::CtapProfile::kCtap21,
                                ManagementKind::kPasskeys, 0x0A, 0x04},
                      EntryCase{"FingerprintsOn21Pre", vkey::CtapProfile::kCtap21Pre,
                                ManagementKind::kFingerprints, 0x40, 0},
                      EntryCase{"PasskeysOn21Pre", vkey::CtapProfile::kCtap21Pre,
                                ManagementKind::kPasskeys, 0x41, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::test
