// What the three PIN dialogs tell the user when the key fails, answers oddly or
// cannot take the PIN: only what is known. Each case runs on every dialog it
// concerns, against the virtual key and its faults.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "ctap/pin_protocol.h"
#include "dialog_test_rig.h"
#include "dialogs/change_pin_wnd.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"
#include "dialogs/pin_outcome.h"
#include "dialogs/pin_verify_wnd.h"
#include "dialogs/set_pin_wnd.h"

namespace pinvale::test {
namespace {

using namespace std::chrono_literals;

enum class Kind { kSet, kChange, kVerify };

std::string KindName(Kind kind) {
  return kind == Kind::kSet ? "Set" : kind == Kind::kChange ? "Change" : "Verify";
}

// One dialog of a kind, filled with a PIN (and, for change, the key's PIN "1234"
// as the current one) and submitted through its own routine.
struct PinDialog {
  explicit PinDialog(Kind kind, CFidoToken* token) : kind(kind) {
    if (kind == Kind::kSet) window = std::make_unique<CSetPINWnd>(u"SetPIN.xml", token);
    if (kind == Kind::kChange) window = std::make_unique<CChangePINWnd>(u"ChangePIN.xml", token);
    if (kind == Kind::kVerify) window = std::make_unique<CPINVerifyWnd>(u"verifyPIN.xml", token);
  }
  void Fill(HWND hwnd, std::u16string_view pin) const {
    if (kind == Kind::kSet) {
      DialogTest::Fill(hwnd, u"edit_pin", pin);
      DialogTest::Fill(hwnd, u"edit_pin2", pin);
    } else if (kind == Kind::kChange) {
      DialogTest::Fill(hwnd, u"edit_pin_old", u"1234");
      DialogTest::Fill(hwnd, u"edit_pin_new", pin);
      DialogTest::Fill(hwnd, u"edit_pin_new2", pin);
    } else {
      DialogTest::Fill(hwnd, u"edit_pin", pin);
    }
  }
  int Submit(HWND hwnd) const {
    ui::WindowImplBase* w = ui::WindowFromHandle(hwnd);
    if (kind == Kind::kSet) return dynamic_cast<CSetPINWnd*>(w)->SubmitSetPin();
    if (kind == Kind::kChange) return dynamic_cast<CChangePINWnd*>(w)->SubmitChangePin();
    return dynamic_cast<CPINVerifyWnd*>(w)->SubmitVerifyPin();
  }
  // The label under the field that holds the PIN given to Fill.
  std::u16string_view PinLabel() const {
    return kind == Kind::kSet      ? u"label_pin"
           : kind == Kind::kChange ? u"label_new_pin"
                                   : u"label_status";
  }
  // The label that tells the outcome of the exchange.
  std::u16string_view OutcomeLabel() const {
    return kind == Kind::kChange ? u"label_old_pin" : u"label_status";
  }

  Kind kind;
  std::unique_ptr<ui::WindowImplBase> window;
};

class PinMessagesTest : public DialogTest {
 protected:
  // The next box must show `text` with `flags`; it is kept for review as `shot`.
  void ExpectBoxSeen(std::u16string text, int flags, std::string shot) {
    uit::RunWhenModal([text, flags, shot](HWND hwnd) {
      auto* box = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(hwnd));
      ASSERT_NE(box, nullptr) << "no message box";
      EXPECT_EQ(box->Caption(), u"Pinvale");
      EXPECT_EQ(box->Text(), text);
      EXPECT_EQ(box->IconImage(),
                flags == kMessageBoxIconError ? u"Png_Msg_error.png" : u"logo_32.png");
      EXPECT_EQ(uit::FindControl(hwnd, u"Cancel"), nullptr);
      Snapshot(hwnd, shot);
      EXPECT_TRUE(uit::Click(hwnd, u"OK"));
    });
  }

  // Takes the key's PIN "1234" down to `left` attempts with wrong PINs, re-plugging
  // it before three misses in a row would block it until the next power cycle.
  void MissPin(std::uint32_t left) {
    const std::uint8_t wrong[] = {'0', '0', '0', '0'};
    const std::uint8_t next[] = {'5', '6', '7', '8'};
    while (Key().Status().retries > left) {
      if (Key().Status().consecutiveFailures == 2) {
        Key().Plug();
        ASSERT_TRUE(Reconnect());
      }
      ASSERT_TRUE(SendChangePin(Token(), wrong, next).requestSent);
    }
    Key().ClearRecentRequests();
  }
};

std::string Shot(Kind kind, const std::string& what) {
  std::string name = KindName(kind);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name + "-pin-" + what;
}

// ---------------------------------------------------------------- input the key cannot take

class PinTextTest : public PinMessagesTest, public ::testing::WithParamInterface<Kind> {
 protected:
  void SetUp() override { UseKey(KeyConfig(GetParam() == Kind::kSet ? "" : "1234")); }
};

TEST_P(PinTextTest, LoneSurrogateIsRefusedUnderItsFieldAndNothingIsSent) {
  // Five units, the middle one a high surrogate without its pair.
  const std::u16string pin = {u'1', u'2', char16_t{0xD83D}, u'3', u'4'};
  PinDialog dialog(GetParam(), &Token());
  const int code = RunDialog(*dialog.window, [&](HWND hwnd) {
    dialog.Fill(hwnd, pin);
    ExpectNoBox([&] { EXPECT_EQ(dialog.Submit(hwnd), ValidationRefused); });
    EXPECT_EQ(TextOf(hwnd, dialog.PinLabel()), kPinInvalidCharacterText);
    Snapshot(hwnd, Shot(GetParam(), "lone-surrogate"));
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(Key().RecentRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(Dialogs, PinTextTest,
                         ::testing::Values(Kind::kSet, Kind::kChange, Kind::kVerify),
                         [](const auto& info) { return KindName(info.param); });

TEST_F(PinMessagesTest, CurrentPinWithALoneSurrogateIsRefusedUnderItsField) {
  UseKey(KeyConfig("1234"));
  CChangePINWnd dialog(u"ChangePIN.xml", &Token());
  RunDialog(dialog, [&](HWND hwnd) {
    // A low surrogate first.
    Fill(hwnd, u"edit_pin_old", std::u16string{char16_t{0xDC00}, u'2', u'3', u'4'});
    Fill(hwnd, u"edit_pin_new", u"5678");
    Fill(hwnd, u"edit_pin_new2", u"5678");
    ExpectNoBox([&] { EXPECT_EQ(dialog.SubmitChangePin(), ValidationRefused); });
    EXPECT_EQ(TextOf(hwnd, u"label_old_pin"), kPinInvalidCharacterText);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_TRUE(Key().RecentRequests().empty());
}

class ByteLimitTest : public PinTextTest {};

TEST_P(ByteLimitTest, NewPinTooLongInBytesNamesTheByteLimit) {
  // 30 CJK characters: well under 63 characters, but 90 bytes in UTF-8.
  const std::u16string pin = Repeat(u'\u5bc6', 30);
  PinDialog dialog(GetParam(), &Token());
  RunDialog(*dialog.window, [&](HWND hwnd) {
    dialog.Fill(hwnd, pin);
    ExpectNoBox([&] { EXPECT_EQ(dialog.Submit(hwnd), ValidationRefused); });
    EXPECT_EQ(TextOf(hwnd, dialog.PinLabel()), u"Your PIN must be at most 64 bytes in UTF-8.");
    Snapshot(hwnd, Shot(GetParam(), "too-many-bytes"));
    EXPECT_TRUE(Key().RecentRequests().empty());
    // 21 of them are 63 bytes, which fit.
    dialog.Fill(hwnd, Repeat(u'\u5bc6', 21));
    ExpectBoxSeen(
        std::u16string(GetParam() == Kind::kSet ? kSetPinSuccessText : kChangePinSuccessText),
        kMessageBoxOk, Shot(GetParam(), "cjk-success"));
    EXPECT_EQ(dialog.Submit(hwnd), 0);
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
}

INSTANTIATE_TEST_SUITE_P(Dialogs, ByteLimitTest, ::testing::Values(Kind::kSet, Kind::kChange),
                         [](const auto& info) { return KindName(info.param); });

// ---------------------------------------------------------------- the new PIN is set

class TokenStepTest : public PinMessagesTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(TokenStepTest, KeyGoneBeforeTheTokenStepStillClosesWithSuccess) {
  // Packets the key receives: INIT and getInfo, INIT and getKeyAgreement, INIT and
  // setPIN (170 bytes, 3 packets) or changePIN (188 bytes, 4 packets); the next one is
  // the token step's INIT, which the key does not live to answer.
  const bool set = GetParam() == Kind::kSet;
  vkey::VirtualKeyFault pullOut;
  pullOut.kind = vkey::FaultKind::kPullOut;
  pullOut.count = set ? 9 : 10;
  UseKey(KeyConfig(set ? "" : "1234", {pullOut}));
  PinDialog dialog(GetParam(), &Token());
  const int code = RunDialog(*dialog.window, [&](HWND hwnd) {
    dialog.Fill(hwnd, u"5678");
    ExpectBoxSeen(std::u16string(set ? kSetPinSuccessText : kChangePinSuccessText), kMessageBoxOk,
                  Shot(GetParam(), "token-step-fails"));
    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
  });
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(Key().IsPlugged());
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, set ? 3 : 4}));
  Key().Plug();
  ASSERT_TRUE(Reconnect());
  const std::uint8_t pin[] = {'5', '6', '7', '8'};
  EXPECT_TRUE(ObtainPinToken(Token(), pin).tokenPresent);  // the PIN is set
}

INSTANTIATE_TEST_SUITE_P(Dialogs, TokenStepTest, ::testing::Values(Kind::kSet, Kind::kChange),
                         [](const auto& info) { return KindName(info.param); });

// ---------------------------------------------------------------- no verdict from the key

struct Failure {
  const char* name;
  Kind kind;
  bool pullOut;  // the key goes away during the request; otherwise it stays silent
};

class ExchangeFailureTest : public PinMessagesTest,
                            public ::testing::WithParamInterface<Failure> {};

TEST_P(ExchangeFailureTest, SaysCommunicationFailedNotWrongPinOrLocked) {
  const Failure& f = GetParam();
  const bool change = f.kind == Kind::kChange;
  vkey::VirtualKeyFault fault;
  if (f.pullOut) {
    // The last packet of changePIN (188 bytes) or getPINToken (103 bytes).
    fault.kind = vkey::FaultKind::kPullOut;
    fault.count = change ? 7 : 5;
  } else {
    fault.kind = vkey::FaultKind::kNoAnswer;
    fault.command = 0x06;
    fault.subCommand = change ? 4 : 5;
  }
  UseKey(KeyConfig("1234", {fault}));
  Token().DeviceList().SetSilenceLimitMs(200);
  PinDialog dialog(f.kind, &Token());
  const int code = RunDialog(*dialog.window, [&](HWND hwnd) {
    dialog.Fill(hwnd, u"1234");
    uit::FindControl(hwnd, dialog.OutcomeLabel())->SetText(u"old");
    ExpectBoxSeen(std::u16string(kCommunicationFailedText), kMessageBoxIconError,
                  Shot(f.kind, std::string("exchange-failed-") + f.name));
    EXPECT_EQ(dialog.Submit(hwnd), kExchangeFailed);
    EXPECT_EQ(TextOf(hwnd, dialog.OutcomeLabel()), u"");
    Snapshot(hwnd, Shot(f.kind, std::string("after-exchange-failed-") + f.name));
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));  // still open
  });
  EXPECT_EQ(code, 2);
  // No getRetries after an exchange that failed; a key pulled out during the
  // request never saw it whole.
  if (f.pullOut) {
    EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2}));
  } else {
    EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, change ? 4 : 5}));
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, ExchangeFailureTest,
                         ::testing::Values(Failure{"ChangeSilent", Kind::kChange, false},
                                           Failure{"ChangePulledOut", Kind::kChange, true},
                                           Failure{"VerifySilent", Kind::kVerify, false},
                                           Failure{"VerifyPulledOut", Kind::kVerify, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A refusal the key chose, with a getRetries answer of status alone (no count).
struct UnreadCount {
  const char* name;
  Kind kind;
  int status;  // of changePIN or getPINToken; 0x31 is a real wrong PIN
  std::u16string label;
  bool box;  // the communication box instead of a label
};

class UnreadCountTest : public PinMessagesTest,
                        public ::testing::WithParamInterface<UnreadCount> {};

TEST_P(UnreadCountTest, ShowsNoCountTheKeyDidNotReport) {
  const UnreadCount& c = GetParam();
  const bool change = c.kind == Kind::kChange;
  std::vector<vkey::VirtualKeyFault> faults = {ForcedStatus(0x06, 1, 0x2B)};
  if (c.status != 0x31) {
    faults.push_back(ForcedStatus(0x06, change ? 4 : 5, static_cast<std::uint8_t>(c.status)));
  }
  UseKey(KeyConfig("1234", faults));
  PinDialog dialog(c.kind, &Token());
  RunDialog(*dialog.window, [&](HWND hwnd) {
    if (change) {
      dialog.Fill(hwnd, u"5678");
      if (c.status == 0x31) Fill(hwnd, u"edit_pin_old", u"0000");
    } else {
      dialog.Fill(hwnd, c.status == 0x31 ? u"0000" : u"1234");
    }
    if (c.box) {
      ExpectBoxSeen(std::u16string(kCommunicationFailedText), kMessageBoxIconError,
                    Shot(c.kind, std::string("unread-count-") + c.name));
      EXPECT_EQ(dialog.Submit(hwnd), c.status);
    } else {
      ExpectNoBox([&] { EXPECT_EQ(dialog.Submit(hwnd), c.status); });
    }
    EXPECT_EQ(TextOf(hwnd, dialog.OutcomeLabel()), c.label);
    Snapshot(hwnd, Shot(c.kind, std::string("unread-count-label-") + c.name));
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
}

INSTANTIATE_TEST_SUITE_P(Refusals, UnreadCountTest,
                         ::testing::Values(UnreadCount{"ChangeWrongPin", Kind::kChange, 0x31,
                                                       std::u16string(kPinIncorrectText), false},
                                           UnreadCount{"VerifyWrongPin", Kind::kVerify, 0x31,
                                                       std::u16string(kPinIncorrectText), false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The right PIN refused with a status that is no verdict on it: the key says so with its
// status, no count is asked for or shown, no attempt is used, and the dialog stays open.
struct OtherRefusal {
  Kind kind;
  std::uint8_t status;
};

class OtherRefusalTest : public PinMessagesTest,
                         public ::testing::WithParamInterface<OtherRefusal> {};

TEST_P(OtherRefusalTest, SaysTheKeyRefusedWithItsStatusNotWrongPin) {
  const OtherRefusal& c = GetParam();
  const bool change = c.kind == Kind::kChange;
  UseKey(KeyConfig("1234", {ForcedStatus(0x06, change ? 4 : 5, c.status)}));
  PinDialog dialog(c.kind, &Token());
  RunDialog(*dialog.window, [&](HWND hwnd) {
    dialog.Fill(hwnd, change ? u"5678" : u"1234");
    ExpectBoxSeen(RequestRefusedText(c.status), kMessageBoxIconError,
                  Shot(c.kind, "refused-" + std::to_string(c.status)));
    EXPECT_EQ(dialog.Submit(hwnd), c.status);
    EXPECT_EQ(TextOf(hwnd, dialog.OutcomeLabel()), u"");
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));  // still open
  });
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, change ? 4 : 5}));  // no getRetries
  EXPECT_EQ(Key().Status().retries, 8u);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, OtherRefusalTest,
    ::testing::Values(OtherRefusal{Kind::kChange, 0x01}, OtherRefusal{Kind::kChange, 0x33},
                      OtherRefusal{Kind::kVerify, 0x01}, OtherRefusal{Kind::kVerify, 0x2B}),
    [](const auto& info) {
      return KindName(info.param.kind) + "Status" + std::to_string(info.param.status);
    });

TEST_F(PinMessagesTest, VerifyWithoutATokenIsNoSuccess) {
  // Status 0 alone: the answer holds no token, so nothing was verified.
  UseKey(KeyConfig("1234", {ForcedStatus(0x06, 5, 0x00)}));
  CPINVerifyWnd dialog(u"verifyPIN.xml", &Token());
  const int code = RunDialog(dialog, [&](HWND hwnd) {
    Fill(hwnd, u"edit_pin", u"1234");
    ExpectBoxSeen(std::u16string(kAnswerNotUnderstoodText), kMessageBoxIconError,
                  "verify-pin-no-token");
    EXPECT_TRUE(uit::Click(hwnd, u"btn_ok"));
    ASSERT_TRUE(IsWindow(hwnd));  // not closed as a success
    EXPECT_EQ(TextOf(hwnd, u"label_status"), u"");
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
  });
  EXPECT_EQ(code, 2);
}

// The key's own PIN rules refuse the new PIN (0x37): said as that, never as a wrong
// current PIN, and no attempt is used.
class PinPolicyTest : public PinMessagesTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(PinPolicyTest, RefusalByTheKeysRulesIsNoWrongPin) {
  const bool change = GetParam() == Kind::kChange;
  UseKey(KeyConfig(change ? "1234" : "", {ForcedStatus(0x06, change ? 4 : 3, 0x37)}));
  PinDialog dialog(GetParam(), &Token());
  RunDialog(*dialog.window, [&](HWND hwnd) {
    dialog.Fill(hwnd, u"5678");
    ExpectBoxSeen(std::u16string(kPinPolicyRefusedText), kMessageBoxIconError,
                  Shot(GetParam(), "policy-refused"));
    EXPECT_EQ(dialog.Submit(hwnd), 0x37);
    if (change) {
      EXPECT_EQ(TextOf(hwnd, u"label_old_pin"), u"");
    }
    EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));  // still open
  });
  EXPECT_EQ(PinSubcommandsSeen(), (std::vector<int>{2, change ? 4 : 3}));
  EXPECT_EQ(Key().Status().retries, 8u);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, PinPolicyTest, ::testing::Values(Kind::kSet, Kind::kChange),
                         [](const auto& info) { return KindName(info.param); });

// ---------------------------------------------------------------- a slow key

// The key takes a second over every answer: the dialog keeps dispatching, its OK button
// says "Please wait..." after a moment, and a second Enter meanwhile sends nothing.
class SlowKeyDialogTest : public PinMessagesTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(SlowKeyDialogTest, KeepsAnsweringShowsTheCueAndTakesNoSecondSubmit) {
  vkey::VirtualKeyConfig config = KeyConfig(GetParam() == Kind::kSet ? "" : "1234");
  config.processingDelayMs = 1000;
  UseKey(config);
  PinDialog dialog(GetParam(), &Token());
  // The probes hold what they use: one may still be queued when the task returns.
  struct Probes {
    int count = 0;
    bool cueSeen = false;
  };
  const auto probes = std::make_shared<Probes>();
  const int code = RunDialog(*dialog.window, [&](HWND hwnd) {
    dialog.Fill(hwnd, GetParam() == Kind::kChange ? u"5678" : u"1234");
    const std::function<void()> probe = [probes, hwnd] {
      ++probes->count;
      if (!probes->cueSeen && IsWindow(hwnd) && TextOf(hwnd, u"btn_ok") == kBusyText) {
        probes->cueSeen = true;
        uit::KeyDown(hwnd, VK_RETURN);  // not taken while the key is asked
      }
    };
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
      while (!stop) {
        std::this_thread::sleep_for(20ms);
        uit::PostTask(probe);
      }
    });
    ExpectBox(std::u16string(GetParam() == Kind::kSet      ? kSetPinSuccessText
                             : GetParam() == Kind::kChange ? kChangePinSuccessText
                                                           : kVerifyPinSuccessText),
              kMessageBoxOk);
    uit::KeyDown(hwnd, VK_RETURN);
    stop = true;
    ticker.join();
    uit::PumpUntilIdle();  // the probes still queued, and the dialog's close
  });
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(probes->cueSeen);
  EXPECT_GT(probes->count, 10);
  const std::vector<int> seen = PinSubcommandsSeen();
  const int request = GetParam() == Kind::kSet ? 3 : GetParam() == Kind::kChange ? 4 : 5;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), request), 1) << "the PIN went out twice";
}

INSTANTIATE_TEST_SUITE_P(Dialogs, SlowKeyDialogTest,
                         ::testing::Values(Kind::kSet, Kind::kChange, Kind::kVerify),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace pinvale::test
