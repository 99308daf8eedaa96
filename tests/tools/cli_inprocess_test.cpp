// pinvale-cli's commands against the in-process virtual key, through the same
// CFidoToken and HID platform interface as a real key.

#include <gtest/gtest.h>

#include <thread>

#include "cli_commands.h"
#include "scripted_console.h"
#include "vkey/virtual_hid_platform.h"
#include "vkey/virtual_key.h"

namespace pinvale::cli {
namespace {

using test::ScriptedConsole;

vkey::VirtualKeyConfig FastConfig() {
  vkey::VirtualKeyConfig config;
  config.touchDelayMs = 5;
  config.userPresenceTimeoutMs = 300;
  return config;
}

class CliTest : public testing::Test {
 protected:
  void SetUp() override { Plug(FastConfig()); }

  void Plug(const vkey::VirtualKeyConfig& config, const std::string& label = "vkey") {
    key = vkey::VirtualKey::Create(config);
    platform->AddKey(key, label);
  }

  struct Outcome {
    int exit;
    std::string out;
    std::string err;
  };

  Outcome Run(std::vector<std::string> args, std::deque<std::string> input = {},
              bool terminal = false) {
    ScriptedConsole console(std::move(input), terminal);
    const int code = RunCli(args, "", console, [this](const std::string&) { return platform; });
    return {code, console.out, console.err};
  }

  // The clientPIN subcommands the key received, in order.
  std::vector<int> PinSubCommands() {
    std::vector<int> subs;
    for (const auto& request : key->RecentRequests()) {
      if (request.command == 0x06) subs.push_back(request.subCommand);
    }
    return subs;
  }

  std::shared_ptr<vkey::VirtualHidPlatform> platform = std::make_shared<vkey::VirtualHidPlatform>();
  std::shared_ptr<vkey::VirtualKey> key;
};

TEST_F(CliTest, SetsVerifiesChangesAndResetsAKey) {
  EXPECT_EQ(Run({"info"}).out.substr(0, 61),
            "Key 3f8c:2d71\nPIN: not set\nUser verification: not configured\n");

  Outcome set = Run({"--pin-stdin", "set-pin"}, {"1234"});
  EXPECT_EQ(set.exit, kExitOk) << set.err;
  EXPECT_EQ(set.out, "PIN set.\n");
  EXPECT_EQ(Run({"info"}).out.substr(0, 57),
            "Key 3f8c:2d71\nPIN: set\nUser verification: not configured\n");

  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"1234"}).out, "PIN verified.\n");
  Outcome wrong = Run({"--pin-stdin", "verify-pin"}, {"9999"});
  EXPECT_EQ(wrong.exit, kExitWrongPin);
  EXPECT_EQ(wrong.err, "Wrong PIN (status 0x31). 7 attempts left.\n");
  EXPECT_EQ(Run({"retries"}).out, "7 PIN attempts left.\n");

  Outcome change = Run({"--pin-stdin", "change-pin"}, {"1234", "56789"});
  EXPECT_EQ(change.exit, kExitOk) << change.err;
  EXPECT_EQ(change.out, "PIN changed.\n");
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"1234"}).exit, kExitWrongPin);
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"56789"}).exit, kExitOk);

  Outcome reset = Run({"--yes", "reset"});
  EXPECT_EQ(reset.exit, kExitOk) << reset.err;
  EXPECT_EQ(reset.out, "Key reset.\n");
  EXPECT_EQ(Run({"info"}).out.substr(0, 61),
            "Key 3f8c:2d71\nPIN: not set\nUser verification: not configured\n");
}

TEST_F(CliTest, NonAsciiPinsGoToTheKeyAsUtf8) {
  const std::string pin = "p\xC3\xA4ss\xE2\x82\xAC\xF0\x9F\x98\x80";  // "päss€😀"
  ASSERT_EQ(Run({"--pin-stdin", "set-pin"}, {pin}).exit, kExitOk);
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {pin}).exit, kExitOk);
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"pass\xE2\x82\xAC\xF0\x9F\x98\x80"}).exit,
            kExitWrongPin);
}

TEST_F(CliTest, TerminalEntryAsksTwiceForANewPin) {
  Outcome differ = Run({"set-pin"}, {"1234", "1235"}, true);
  EXPECT_EQ(differ.exit, kExitInputRefused);
  EXPECT_EQ(differ.err, "The new PINs do not match.\n");
  Outcome same = Run({"set-pin"}, {"1234", "1234"}, true);
  EXPECT_EQ(same.exit, kExitOk) << same.err;
}

struct LengthCase {
  const char* name;
  std::string pin;
  std::string message;
};

class CliPinLength : public CliTest, public testing::WithParamInterface<LengthCase> {};

TEST_P(CliPinLength, IsRefusedBeforeAnythingIsSent) {
  Outcome outcome = Run({"--pin-stdin", "set-pin"}, {GetParam().pin});
  EXPECT_EQ(outcome.exit, kExitInputRefused);
  EXPECT_EQ(outcome.err, GetParam().message + "\n");
  EXPECT_TRUE(PinSubCommands().empty());
}

std::string Repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Pins, CliPinLength,
    testing::Values(
        LengthCase{"Empty", "", "Provide a PIN."},
        LengthCase{"ThreeChars", "123", "Your PIN must be at least 4 characters."},
        LengthCase{"OneEmojiIsTwoUnits", "\xF0\x9F\x98\x80",
                   "Your PIN must be at least 4 characters."},
        LengthCase{"SixtyFourChars", std::string(64, 'a'),
                   "Your PIN must be at most 63 characters."},
        LengthCase{"SixtySixBytes", Repeat("\xE2\x82\xAC", 22),
                   "Your PIN must be at most 64 bytes in UTF-8; use fewer non-ASCII characters."},
        LengthCase{"NotUtf8", "12\xFF\x34", "The PIN is not valid UTF-8 text."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, AcceptsTheLongestPins) {
  const std::string pin63(63, 'z');
  ASSERT_EQ(Run({"--pin-stdin", "set-pin"}, {pin63}).exit, kExitOk);
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {pin63}).exit, kExitOk);
  // 16 emoji: 32 UTF-16 units and exactly 64 bytes, a full PIN block with no
  // zero byte. It goes to the key, which may hold PINs to 63 bytes as this one
  // does, and its answer is reported.
  const std::string emoji16 = Repeat("\xF0\x9F\x98\x80", 16);
  key->ClearRecentRequests();
  Outcome full = Run({"--pin-stdin", "change-pin"}, {pin63, emoji16});
  EXPECT_EQ(PinSubCommands(), (std::vector<int>{2, 4}));
  EXPECT_EQ(full.exit, kExitKeyRefused);
  // The key's own rules said no: that costs no attempt and is not a wrong PIN.
  EXPECT_EQ(full.err,
            "The key refused the new PIN by its own PIN rules (status 0x37). No PIN attempt was "
            "used; choose another PIN.\n");
}

TEST_F(CliTest, ThreeWrongPinsLockUntilReplugAndTheCounterRunsOut) {
  ASSERT_EQ(Run({"--pin-stdin", "set-pin"}, {"1234"}).exit, kExitOk);
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"0000"}).exit, kExitWrongPin);
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"0000"}).exit, kExitWrongPin);
  Outcome third = Run({"--pin-stdin", "verify-pin"}, {"0000"});
  EXPECT_EQ(third.exit, kExitPinBlocked);
  EXPECT_EQ(third.err,
            "The key is locked after too many wrong PINs (status 0x34). Re-plug the key and try "
            "again.\n");
  key->Plug();
  EXPECT_EQ(Run({"retries"}).out, "5 PIN attempts left.\n");
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"1234"}).exit, kExitOk);
}

TEST_F(CliTest, RefusesSetPinOnAKeyWithAPinAndChangeOrVerifyPinOnOneWithout) {
  Outcome change = Run({"--pin-stdin", "change-pin"}, {"1234", "5678"});
  EXPECT_EQ(change.exit, kExitInputRefused);
  EXPECT_EQ(change.err, "The key has no PIN yet; use set-pin.\n");
  // Said before a PIN is asked for, and nothing goes to the key's clientPIN.
  ScriptedConsole console({"1234"}, true);
  EXPECT_EQ(RunCli({"verify-pin"}, "", console, [this](const std::string&) { return platform; }),
            kExitInputRefused);
  EXPECT_EQ(console.err, "The key has no PIN yet; use set-pin.\n");
  EXPECT_EQ(console.prompts, "");
  EXPECT_TRUE(PinSubCommands().empty());
  ASSERT_EQ(Run({"--pin-stdin", "set-pin"}, {"1234"}).exit, kExitOk);
  Outcome again = Run({"--pin-stdin", "set-pin"}, {"5678"});
  EXPECT_EQ(again.exit, kExitInputRefused);
  EXPECT_EQ(again.err, "The key already has a PIN; use change-pin.\n");
}

TEST_F(CliTest, ResetAsksOnATerminalAndRefusesWithoutOne) {
  ASSERT_EQ(Run({"--pin-stdin", "set-pin"}, {"1234"}).exit, kExitOk);
  key->ClearRecentRequests();
  Outcome declined = Run({"reset"}, {"no"}, true);
  EXPECT_EQ(declined.exit, kExitInputRefused);
  EXPECT_TRUE(key->RecentRequests().empty());
  EXPECT_EQ(Run({"reset"}, {"yes"}, true).exit, kExitOk);
  ASSERT_EQ(Run({"--pin-stdin", "set-pin"}, {"1234"}).exit, kExitOk);

  // Not a terminal: nobody could read the question, so nothing is erased, even
  // with a "yes" waiting on standard input.
  key->ClearRecentRequests();
  Outcome unasked = Run({"reset"}, {"yes"});
  EXPECT_EQ(unasked.exit, kExitInputRefused);
  EXPECT_EQ(unasked.err,
            "Nothing was reset: standard input is not a terminal to confirm on. Use --yes to "
            "reset without asking.\n");
  EXPECT_TRUE(key->RecentRequests().empty());
  EXPECT_EQ(Run({"--yes", "reset"}).exit, kExitOk);
}

TEST_F(CliTest, AMissingPinLineIsNamed) {
  ASSERT_EQ(Run({"--pin-stdin", "set-pin"}, {"1234"}).exit, kExitOk);
  key->ClearRecentRequests();
  Outcome oneLine = Run({"--pin-stdin", "change-pin"}, {"1234"});
  EXPECT_EQ(oneLine.exit, kExitInputRefused);
  EXPECT_EQ(oneLine.err,
            "The new PIN is missing: change-pin reads two lines from standard input, the "
            "current PIN and then the new one.\n");
  EXPECT_TRUE(PinSubCommands().empty());
  EXPECT_EQ(Run({"--pin-stdin", "change-pin"}).err, "No PIN on standard input.\n");
  EXPECT_EQ(Run({"change-pin"}, {"1234"}, true).err, "No new PIN entered.\n");
  EXPECT_EQ(Run({"--pin-stdin", "verify-pin"}, {"1234"}).exit, kExitOk);
}

TEST_F(CliTest, ResetRefusalsCarryTheStatus) {
  vkey::VirtualKeyConfig late = FastConfig();
  late.resetWindowMs = 0;
  Plug(late);
  Outcome refused = Run({"--yes", "reset"});
  EXPECT_EQ(refused.exit, kExitKeyRefused);
  EXPECT_NE(refused.err.find("(status 0x30)"), std::string::npos) << refused.err;

  vkey::VirtualKeyConfig untouched = FastConfig();
  untouched.touchMode = vkey::TouchMode::kNever;
  untouched.userPresenceTimeoutMs = 150;
  Plug(untouched);
  Outcome timedOut = Run({"--yes", "reset"});
  EXPECT_EQ(timedOut.exit, kExitKeyRefused);
  EXPECT_NE(timedOut.err.find("(status 0x2F)"), std::string::npos) << timedOut.err;
}

TEST_F(CliTest, KeyAgreementWithoutYStopsBeforeThePin) {
  vkey::VirtualKeyConfig faulty = FastConfig();
  faulty.faults.push_back({vkey::FaultKind::kKeyAgreementNoY});
  Plug(faulty);
  Outcome set = Run({"--pin-stdin", "set-pin"}, {"1234"});
  EXPECT_EQ(set.exit, kExitExchangeFailed);
  EXPECT_EQ(set.err, "The key's key agreement could not be used (status 0x12).\n");
  EXPECT_EQ(PinSubCommands(), (std::vector<int>{2}));
}

TEST_F(CliTest, WrongPinWithAnUnreadCountShowsNoCount) {
  vkey::VirtualKeyConfig faulty = FastConfig();
  faulty.initialPin = "1234";
  vkey::VirtualKeyFault noCount;
  noCount.kind = vkey::FaultKind::kForcedStatus;
  noCount.command = 0x06;
  noCount.subCommand = 1;  // getRetries answers a status alone
  noCount.status = 0x2B;
  faulty.faults.push_back(noCount);
  Plug(faulty);
  Outcome wrong = Run({"--pin-stdin", "verify-pin"}, {"9999"});
  EXPECT_EQ(wrong.exit, kExitWrongPin);
  EXPECT_EQ(wrong.err, "Wrong PIN (status 0x31). The attempts left could not be read.\n");
}

TEST_F(CliTest, VerifyWithoutATokenIsAFailure) {
  vkey::VirtualKeyConfig faulty = FastConfig();
  faulty.initialPin = "1234";
  vkey::VirtualKeyFault noToken;
  noToken.kind = vkey::FaultKind::kForcedStatus;
  noToken.command = 0x06;
  noToken.subCommand = 5;  // getPINToken answers status 0 alone
  noToken.status = 0x00;
  faulty.faults.push_back(noToken);
  Plug(faulty);
  Outcome verify = Run({"--pin-stdin", "verify-pin"}, {"1234"});
  EXPECT_EQ(verify.exit, kExitExchangeFailed);
  EXPECT_EQ(verify.out, "");
  EXPECT_EQ(verify.err,
            "The key's answer was not understood: it held no PIN token, so the PIN could not be "
            "verified (status 0xFF).\n");
}

TEST_F(CliTest, ChoosesTheFirstProductIdOfTheListAndListsEveryKey) {
  auto platformWithTwo = std::make_shared<vkey::VirtualHidPlatform>();
  platform = platformWithTwo;
  vkey::VirtualKeyConfig second = FastConfig();
  second.productId = 0x64A9;
  platform->AddKey(vkey::VirtualKey::Create(second), "b");
  Plug(FastConfig(), "a");  // 0x2D71, added last
  EXPECT_EQ(Run({"info"}).out.substr(0, 14), "Key 3f8c:2d71\n");
  Outcome list = Run({"list"});
  EXPECT_EQ(list.exit, kExitOk);
  EXPECT_NE(list.out.find("3f8c:64a9  "), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("3f8c:2d71  \\\\?\\virtual#vid_3f8c&pid_2d71#a  (used)"),
            std::string::npos)
      << list.out;
}

TEST_F(CliTest, NoKeyAndBadCommandLines) {
  platform = std::make_shared<vkey::VirtualHidPlatform>();
  Outcome none = Run({"info"});
  EXPECT_EQ(none.exit, kExitNoKey);
  EXPECT_EQ(none.err, "No key found.\n");
  EXPECT_EQ(Run({"list"}).exit, kExitNoKey);

  EXPECT_EQ(Run({}).exit, kExitUsage);
  EXPECT_EQ(Run({"format"}).exit, kExitUsage);
  EXPECT_EQ(Run({"--pin", "1234", "set-pin"}).exit, kExitUsage);
  EXPECT_EQ(Run({"verify-pin", "1234"}).exit, kExitUsage);  // never a PIN from argv
  EXPECT_EQ(Run({"--device"}).exit, kExitUsage);
  Outcome help = Run({"--help"});
  EXPECT_EQ(help.exit, kExitOk);
  EXPECT_NE(help.out.find("Exit codes:"), std::string::npos);
}

}  // namespace
}  // namespace pinvale::cli
