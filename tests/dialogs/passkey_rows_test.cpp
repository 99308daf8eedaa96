// What the Passkeys window makes of the key's answers: sites without an id, names that are
// missing or not UTF-8, the count line, names cut to the byte limit at a whole character,
// and the message for each kind of failure.

#include <gtest/gtest.h>

#include "dialogs/passkey_rows.h"
#include "dialogs/passkeys_texts.h"
#include "transport/fido_token.h"

namespace pinvale {
namespace {

TEST(PasskeyRowsTest, ASiteWithoutAnIdShowsTheStartOfItsHash) {
  RelyingPartyEntry rp;
  rp.idHash = HashRpId("example.com");
  rp.idHash[0] = 0xA3;
  rp.idHash[1] = 0x0F;
  const std::u16string text = SiteText(rp);
  EXPECT_EQ(text.rfind(u"(site a30f", 0), 0u) << std::string(text.begin(), text.end());
  EXPECT_EQ(text.size(), std::u16string(u"(site a30f0000…)").size());
  rp.id = "example.com";
  EXPECT_EQ(SiteText(rp), u"example.com");
}

struct UserCase {
  std::optional<std::string> name;
  std::optional<std::string> display;
  std::u16string line;
  std::u16string shortText;
};

class PasskeyUserLineTest : public ::testing::TestWithParam<UserCase> {};

TEST_P(PasskeyUserLineTest, ShowsWhatIsPresent) {
  PasskeyUser user;
  user.name = GetParam().name;
  user.displayName = GetParam().display;
  EXPECT_EQ(UserLineText(user), GetParam().line);
  EXPECT_EQ(UserShortText(user), GetParam().shortText);
}

INSTANTIATE_TEST_SUITE_P(
    Users, PasskeyUserLineTest,
    ::testing::Values(UserCase{"alice", "Alice Example", u"alice · Alice Example", u"alice"},
                      UserCase{"alice", std::nullopt, u"alice", u"alice"},
                      UserCase{std::nullopt, "Alice", u"Alice", u"Alice"},
                      UserCase{"", "", u"(no user name)", u"(no user name)"},
                      UserCase{std::nullopt, std::nullopt, u"(no user name)", u"(no user name)"},
                      UserCase{"bob", "bob", u"bob", u"bob"},
                      // Not UTF-8, and a control character: shown as U+FFFD.
                      UserCase{std::string("b\xFFo\x1B"), std::nullopt, u"b\uFFFDo\uFFFD",
                               u"b\uFFFDo\uFFFD"}));

TEST(PasskeyRowsTest, CountLineSaysWhatTheKeyTold) {
  EXPECT_EQ(CountText(5, 20u), u"5 passkeys stored, 20 more fit");
  EXPECT_EQ(CountText(1, 24u), u"1 passkey stored, 24 more fit");
  EXPECT_EQ(CountText(0, 25u), u"0 passkeys stored, 25 more fit");
  EXPECT_EQ(CountText(3, std::nullopt), u"3 passkeys stored");
  EXPECT_EQ(CountText(1, std::nullopt), u"1 passkey stored");
}

TEST(PasskeyRowsTest, NamesAreCutAtAWholeCharacter) {
  // "é" is 2 bytes, "€" 3, "😀" 4.
  EXPECT_EQ(CutUtf8("abc", 64), "abc");
  EXPECT_EQ(CutUtf8(std::string(63, 'x') + "é", 64), std::string(63, 'x'));
  EXPECT_EQ(CutUtf8(std::string(62, 'x') + "€", 64), std::string(62, 'x'));
  EXPECT_EQ(CutUtf8(std::string(61, 'x') + "😀", 64), std::string(61, 'x'));
  EXPECT_EQ(CutUtf8(std::string(60, 'x') + "😀", 64), std::string(60, 'x') + "😀");
  EXPECT_EQ(CutUtf8("ok\xC3", 64), "ok");  // a sequence cut short ends the text
  EXPECT_EQ(CutToUtf8Bytes(std::u16string(63, u'x') + u"é", 64), std::u16string(63, u'x'));
  EXPECT_EQ(CutToUtf8Bytes(std::u16string(61, u'x') + u"😀", 64), std::u16string(61, u'x'));
  EXPECT_EQ(CutToUtf8Bytes(std::u16string(60, u'x') + u"😀", 64), std::u16string(60, u'x') + u"😀");
  EXPECT_EQ(CutToUtf8Bytes(u"€€€", 8), u"€€");
}

TEST(PasskeyRowsTest, FailuresSayWhatHappened) {
  EXPECT_EQ(PasskeyFailureText(kDeletingWhat, kExchangeFailed),
            u"Deleting the passkey failed: communication with the device failed.\nPlease re-plug "
            u"it and try again.");
  EXPECT_EQ(PasskeyFailureText(kSavingWhat, 0x35),
            u"Saving the names failed: the device refused the request (status 0x35).");
  EXPECT_NE(PasskeyFailureText(kReadingWhat, 0x31).find(u"PIN is no longer accepted"),
            std::u16string::npos);
  // 0xFF, an empty answer or one not understood, is a failed exchange.
  EXPECT_NE(PasskeyFailureText(kReadingWhat, 0xFF).find(u"communication with the device failed"),
            std::u16string::npos);
}

TEST(PasskeyRowsTest, RowsGoBySiteThenUser) {
  std::vector<ListedPasskey> rows(3);
  rows[0].rp.id = "b.example";
  rows[1].rp.id = "a.example";
  rows[1].passkey.user.name = "zed";
  rows[2].rp.id = "a.example";
  rows[2].passkey.user.name = "amy";
  SortPasskeys(rows);
  EXPECT_EQ(rows[0].passkey.user.name.value_or(""), "amy");
  EXPECT_EQ(rows[1].passkey.user.name.value_or(""), "zed");
  EXPECT_EQ(rows[2].rp.id, "b.example");
}

}  // namespace
}  // namespace pinvale
