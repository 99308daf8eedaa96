// The Passkeys window on a virtual key with passkeys in its store: the list by site with
// the slots, Delete behind its confirmation, Edit of the names (0x0A keys only), a long
// list that scrolls, a token renewed part-way, a delete the key could not do and a key
// pulled out while the list is read.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "dialog_test_rig.h"
#include "dialogs/device_absent.h"
#include "dialogs/management_access.h"
#include "dialogs/passkeys_texts.h"
#include "dialogs/passkeys_wnd.h"
#include "ui/list.h"
#include "vkey/key_state.h"

namespace pinvale::test {
namespace {

using namespace std::chrono_literals;

struct ProfileCase {
  const char* name;
  vkey::CtapProfile profile;
  std::uint8_t command;
};

vkey::StoredCredential Passkey(std::string rpId, std::uint8_t serial, std::string name,
                               std::string display) {
  vkey::StoredCredential c;
  c.id.assign(16, serial);
  c.id[0] = 0xC7;
  c.rpId = std::move(rpId);
  c.userId = {'u', serial};
  c.userName = std::move(name);
  c.userDisplayName = std::move(display);
  c.privateKey.data()[31] = serial;
  return c;
}

class PasskeysWndTest : public DialogTest, public ::testing::WithParamInterface<ProfileCase> {
 protected:
  void UsePasskeyKey(int count, std::vector<vkey::VirtualKeyFault> faults = {},
                     int processingDelayMs = 0) {
    vkey::VirtualKeyConfig config = KeyConfig("1234", std::move(faults));
    config.profile = GetParam().profile;
    config.processingDelayMs = processingDelayMs;
    UseKey(config);
    for (int i = 0; i < count; ++i) {
      const auto serial = static_cast<std::uint8_t>(i + 1);
      char site[32];
      std::snprintf(site, sizeof site, "site%02d.example", i + 1);
      ASSERT_TRUE(Key().StorePasskey(
          Passkey(site, serial, "user" + std::to_string(i + 1), "User " + std::to_string(i + 1))));
    }
  }
  void UseFewPasskeys(std::vector<vkey::VirtualKeyFault> faults = {}) {
    UsePasskeyKey(0, std::move(faults));
    ASSERT_TRUE(Key().StorePasskey(Passkey("login.example.org", 1, "bob", "")));
    ASSERT_TRUE(Key().StorePasskey(Passkey("example.com", 2, "alice", "Alice Example")));
    ASSERT_TRUE(Key().StorePasskey(Passkey("example.com", 3, "", "")));
  }
  std::unique_ptr<ManagementAccess> Open() {
    const ManagementPrecheckResult check =
        CheckBeforeManagement(Token(), ManagementKind::kPasskeys);
    EXPECT_EQ(check.outcome, ManagementPrecheck::kReady);
    EXPECT_EQ(check.command, GetParam().command);
    const std::uint8_t pin[] = {'1', '2', '3', '4'};
    PinRequestResult result;
    auto access = OpenManagementAccess(Token(), check, ManagementKind::kPasskeys, pin, result);
    EXPECT_NE(access, nullptr);
    return access;
  }
  static bool WaitLoaded(CPasskeysWnd& w, int reads = 1) {
    return uit::PumpUntil([&] { return w.Loaded() && w.ReadCount() >= reads; }, 3000);
  }
  static ui::CListUI* List(HWND hwnd) {
    return dynamic_cast<ui::CListUI*>(uit::FindControl(hwnd, u"list_passkeys"));
  }
  // Snapshots at the three scales, for the 0x0A key (the 0x41 one looks the same but Edit).
  void Shots(HWND hwnd, const std::string& name) {
    if (GetParam().command != 0x0A) return;
    for (double scale : {1.0, 1.5, 2.0}) {
      uit::SetScale(hwnd, scale);
      Snapshot(hwnd, name + (scale == 1.0 ? "" : scale == 1.5 ? "@1.5x" : "@2x"));
    }
    uit::SetScale(hwnd, 1.0);
  }
  // Answers the next box, which must contain `part`, with `button` ("OK" or "Cancel").
  void AnswerBox(std::u16string part, std::u16string button, std::string shot = "") {
    uit::RunWhenModal([this, part, button, shot](HWND box) {
      const std::u16string text = DialogTest::TextOf(box, u"");
      auto* b = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(box));
      ASSERT_NE(b, nullptr);
      EXPECT_NE(b->Text().find(part), std::u16string::npos) << ui::Utf16ToUtf8(b->Text());
      if (!shot.empty()) Shots(box, shot);
      EXPECT_TRUE(uit::Click(box, button));
    });
  }
};

TEST_P(PasskeysWndTest, ListsEveryPasskeyBySiteWithItsUserAndTheSlots) {
  UseFewPasskeys();
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  EXPECT_EQ(RunDialog(w,
                      [&](HWND hwnd) {
                        ASSERT_TRUE(WaitLoaded(w));
                        ui::CListUI* list = List(hwnd);
                        ASSERT_EQ(list->GetCount(), 3);
                        EXPECT_EQ(list->GetItem(0)->title, u"example.com");
                        EXPECT_EQ(list->GetItem(0)->detail, u"(no user name)");
                        EXPECT_EQ(list->GetItem(1)->detail, u"alice · Alice Example");
                        EXPECT_EQ(list->GetItem(2)->title, u"login.example.org");
                        EXPECT_EQ(list->GetItem(2)->detail, u"bob");
                        EXPECT_EQ(TextOf(hwnd, u"label_summary"),
                                  u"3 passkeys stored, 22 more fit");
                        EXPECT_EQ(TextOf(hwnd, u"label_note"), kPasskeysNoteText);
                        EXPECT_TRUE(w.ListComplete());
                        EXPECT_FALSE(uit::FindControl(hwnd, u"label_incomplete")->IsVisible());
                        EXPECT_EQ(uit::FindControl(hwnd, u"btn_edit")->IsVisible(),
                                  GetParam().command == 0x0A);
                        Shots(hwnd, "few");
                        uit::KeyDown(hwnd, VK_ESCAPE);
                      }),
            1);
}

TEST_P(PasskeysWndTest, AnEmptyKeySaysSoAndOffersNothingToDelete) {
  UsePasskeyKey(0);
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  EXPECT_EQ(RunDialog(w,
                      [&](HWND hwnd) {
                        ASSERT_TRUE(WaitLoaded(w));
                        EXPECT_EQ(List(hwnd)->GetCount(), 0);
                        EXPECT_EQ(List(hwnd)->GetEmptyText(), kPasskeysEmptyText);
                        EXPECT_EQ(TextOf(hwnd, u"label_summary"),
                                  u"0 passkeys stored, 25 more fit");
                        EXPECT_FALSE(uit::FindControl(hwnd, u"btn_delete")->IsEnabled());
                        Shots(hwnd, "empty");
                        uit::KeyDown(hwnd, VK_RETURN);  // Close is the default button
                      }),
            1);
}

TEST_P(PasskeysWndTest, DeleteAsksNamingSiteAndUserThenTheKeyNoLongerHoldsIt) {
  UseFewPasskeys();
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  RunDialog(w, [&](HWND hwnd) {
    ASSERT_TRUE(WaitLoaded(w));
    List(hwnd)->SelectItem(1);
    // Cancel keeps it.
    AnswerBox(u"alice for example.com", u"Cancel");
    uit::KeyDown(hwnd, VK_DELETE);
    EXPECT_EQ(Key().Status().passkeys, 3u);
    AnswerBox(u"Delete the passkey of alice for example.com?", u"OK", "delete-confirm");
    EXPECT_TRUE(uit::Click(hwnd, u"btn_delete"));
    EXPECT_EQ(Key().Status().passkeys, 2u);
    ASSERT_EQ(w.Passkeys().size(), 2u);
    for (const ListedPasskey& p : w.Passkeys())
      EXPECT_NE(p.passkey.user.name.value_or(""), "alice");
    EXPECT_EQ(TextOf(hwnd, u"label_busy"), u"Deleted the passkey of alice for example.com.");
    EXPECT_EQ(TextOf(hwnd, u"label_summary"), u"2 passkeys stored, 23 more fit");
    uit::Click(hwnd, u"btn_close");
  });
}

TEST_P(PasskeysWndTest, TwentyFivePasskeysScrollAndReadQuickly) {
  UsePasskeyKey(25);
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  RunDialog(w, [&](HWND hwnd) {
    ASSERT_TRUE(WaitLoaded(w));
    std::printf("[ passkeys ] 25 passkeys read and shown in %lld ms (%s)\n",
                static_cast<long long>(w.LastReadTime().count()), GetParam().name);
    EXPECT_LT(w.LastReadTime(), 2000ms);
    ui::CListUI* list = List(hwnd);
    ASSERT_EQ(list->GetCount(), 25);
    EXPECT_EQ(TextOf(hwnd, u"label_summary"), u"25 passkeys stored, 0 more fit");
    EXPECT_TRUE(list->IsScrollBarVisible());
    EXPECT_EQ(list->GetScrollPos(), 0);
    const RECT r = list->GetPos();
    uit::Wheel(hwnd, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, -2);
    EXPECT_GT(list->GetScrollPos(), 0);
    list->SetFocus();
    uit::KeyDown(hwnd, VK_END);
    EXPECT_EQ(list->GetCurSel(), 24);
    EXPECT_EQ(list->GetScrollPos(), list->GetScrollRange());
    Shots(hwnd, "full-scrolled");
    uit::KeyDown(hwnd, VK_HOME);
    EXPECT_EQ(list->GetScrollPos(), 0);
    uit::KeyDown(hwnd, VK_ESCAPE);
  });
}

TEST_P(PasskeysWndTest, ATokenThatExpiresPartWayIsRenewedWithoutAskingAgain) {
  // The first credentials walk is told the token expired; the walk runs again from Begin.
  vkey::VirtualKeyFault expired = ForcedStatus(GetParam().command, 0x04, 0x38);
  expired.count = 1;
  UseFewPasskeys({expired});
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  RunDialog(w, [&](HWND hwnd) {
    ASSERT_TRUE(WaitLoaded(w));
    EXPECT_EQ(w.Passkeys().size(), 3u);
    EXPECT_TRUE(w.ListComplete());
    EXPECT_EQ(w.Access()->session.Renewals(), 1);
    uit::KeyDown(hwnd, VK_ESCAPE);
  });
}

TEST_P(PasskeysWndTest, ADeleteAnswered2EButStillListedSaysItWasNotDeleted) {
  UseFewPasskeys({ForcedStatus(GetParam().command, 0x06, 0x2E)});
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  RunDialog(w, [&](HWND hwnd) {
    ASSERT_TRUE(WaitLoaded(w));
    List(hwnd)->SelectItem(2);
    AnswerBox(u"bob for login.example.org", u"OK");
    AnswerBox(u"The passkey of bob for login.example.org was not deleted", u"OK", "error");
    uit::KeyDown(hwnd, VK_DELETE);
    EXPECT_EQ(w.ReadCount(), 2);
    EXPECT_EQ(w.Passkeys().size(), 3u);
    EXPECT_EQ(List(hwnd)->GetCurSel(), 2);
    uit::KeyDown(hwnd, VK_ESCAPE);
  });
}

TEST_P(PasskeysWndTest, AWalkTheKeyStopsEarlyShowsWhatWasReadAndSaysSo) {
  vkey::VirtualKeyFault stop = ForcedStatus(GetParam().command, 0x03, 0x30);  // GetNextRP
  stop.count = 1;
  UseFewPasskeys({stop});
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  RunDialog(w, [&](HWND hwnd) {
    ASSERT_TRUE(WaitLoaded(w));
    EXPECT_FALSE(w.ListComplete());
    EXPECT_GE(w.Passkeys().size(), 1u);
    EXPECT_LT(w.Passkeys().size(), 3u);
    EXPECT_TRUE(uit::FindControl(hwnd, u"label_incomplete")->IsVisible());
    EXPECT_EQ(TextOf(hwnd, u"label_incomplete"), kPasskeysIncompleteText);
    uit::KeyDown(hwnd, VK_ESCAPE);
  });
}

TEST_P(PasskeysWndTest, APullOutWhileTheListIsReadClosesTheWindow) {
  UsePasskeyKey(25, {}, 25);
  Key().SetPlugListener([](bool plugged) { DeviceAbsent = !plugged; });
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  w.SetWatchdogPeriod(10ms);
  key_->ClearRecentRequests();
  std::atomic<bool> stop{false};
  std::thread puller([&] {
    const auto start = std::chrono::steady_clock::now();
    while (!stop && Key().RecentRequests().size() < 30) std::this_thread::sleep_for(2ms);
    if (std::chrono::steady_clock::now() - start > 550ms) {
      std::atomic<bool> shot{false};
      uit::PostTask([&] {
        if (HWND h = w.GetHWND()) Shots(h, "reading");
        shot = true;
      });
      while (!stop && !shot) std::this_thread::sleep_for(2ms);
    }
    Key().Unplug();
  });
  const auto start = std::chrono::steady_clock::now();
  // No script: the window reads as soon as it is shown, and the pull-out ends it.
  ASSERT_TRUE(w.Create(nullptr, u"Pinvale", UI_WNDSTYLE_FRAME, 0));
  const int code = static_cast<int>(w.ShowModal());
  stop = true;
  puller.join();
  EXPECT_EQ(code, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  EXPECT_FALSE(w.Loaded());
}

INSTANTIATE_TEST_SUITE_P(Profiles, PasskeysWndTest,
                         ::testing::Values(ProfileCase{"ctap21", vkey::CtapProfile::kCtap21, 0x0A},
                                           ProfileCase{"ctap21pre", vkey::CtapProfile::kCtap21Pre,
                                                       0x41}),
                         [](const auto& info) { return std::string(info.param.name); });

// Edit exists on 0x0A keys only.
class PasskeysEditTest : public PasskeysWndTest {};

TEST_P(PasskeysEditTest, EditSendsTheNamesAndTheKeyHoldsThem) {
  UseFewPasskeys();
  CPasskeysWnd w(u"Passkeys.xml", &Token(), Open());
  RunDialog(w, [&](HWND hwnd) {
    ASSERT_TRUE(WaitLoaded(w));
    List(hwnd)->SelectItem(1);
    EXPECT_TRUE(uit::Click(hwnd, u"btn_edit"));
    EXPECT_EQ(TextOf(hwnd, u"edit_user_name"), u"alice");
    EXPECT_EQ(TextOf(hwnd, u"label_edit_site"), u"Passkey for example.com");
    Shots(hwnd, "edit");
    // Typing past 64 bytes is cut at a whole character: é is two bytes.
    Fill(hwnd, u"edit_display_name", u"");
    uit::FindControl(hwnd, u"edit_display_name")->SetFocus();
    uit::TypeText(hwnd, std::string(63, 'x') + "é");
    EXPECT_EQ(TextOf(hwnd, u"edit_display_name"), std::u16string(63, u'x'));
    EXPECT_EQ(TextOf(hwnd, u"label_display_name_error"), kDisplayNameTooLongText);
    Fill(hwnd, u"edit_display_name", u"Alice Émile");
    Fill(hwnd, u"edit_user_name", u"alice.new");
    // Escape leaves the page without a word to the key; Edit again and Enter saves.
    uit::KeyDown(hwnd, VK_ESCAPE);
    EXPECT_EQ(w.ReadCount(), 1);
    EXPECT_TRUE(uit::Click(hwnd, u"btn_edit"));
    Fill(hwnd, u"edit_display_name", u"Alice Émile");
    Fill(hwnd, u"edit_user_name", u"alice.new");
    uit::KeyDown(hwnd, VK_RETURN);
    ASSERT_EQ(w.ReadCount(), 2);  // read again from the key
    const ListedPasskey* edited = nullptr;
    for (const ListedPasskey& p : w.Passkeys()) {
      if (p.passkey.user.id == std::vector<std::uint8_t>{'u', 2}) edited = &p;
    }
    ASSERT_NE(edited, nullptr);
    EXPECT_EQ(edited->passkey.user.name.value_or(""), "alice.new");
    EXPECT_EQ(edited->passkey.user.displayName.value_or(""), "Alice Émile");
    EXPECT_EQ(List(hwnd)->GetItem(List(hwnd)->GetCurSel())->detail, u"alice.new · Alice Émile");
    EXPECT_EQ(TextOf(hwnd, u"label_busy"), u"Saved the names of the passkey for example.com.");
    uit::KeyDown(hwnd, VK_ESCAPE);
  });
}

INSTANTIATE_TEST_SUITE_P(Ctap21, PasskeysEditTest,
                         ::testing::Values(ProfileCase{"ctap21", vkey::CtapProfile::kCtap21, 0x0A}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::test
