// pinvale-cli fingerprints and passkeys against the in-process virtual key of
// each profile: what is said before a PIN is asked for, and the command lines.

#include <gtest/gtest.h>

#include "cli_commands.h"
#include "scripted_console.h"
#include "vkey/virtual_hid_platform.h"
#include "vkey/virtual_key.h"

namespace pinvale::cli {
namespace {

using test::ScriptedConsole;

struct Outcome {
  int exit;
  std::string out;
  std::string err;
  std::string prompts;
};

class ManagementCli : public testing::Test {
 protected:
  void Plug(vkey::CtapProfile profile, const std::string& pin = "", bool forceChange = false) {
    vkey::VirtualKeyConfig config;
    config.touchDelayMs = 5;
    config.userPresenceTimeoutMs = 300;
    config.profile = profile;
    config.initialPin = pin;
    config.forcePinChange = forceChange;
    key = vkey::VirtualKey::Create(config);
    platform->AddKey(key, "vkey");
  }
  Outcome Run(std::vector<std::string> args, std::deque<std::string> input = {},
              bool terminal = false) {
    ScriptedConsole console(std::move(input), terminal);
    const int code = RunCli(args, "", console, [this](const std::string&) { return platform; });
    return {code, console.out, console.err, console.prompts};
  }

  std::shared_ptr<vkey::VirtualHidPlatform> platform = std::make_shared<vkey::VirtualHidPlatform>();
  std::shared_ptr<vkey::VirtualKey> key;
};

struct GateCase {
  const char* name;
  vkey::CtapProfile profile;
  std::string pin;
  bool forceChange;
  std::vector<std::string> args;
  int exit;
  std::string err;
};

class ManagementGate : public ManagementCli, public testing::WithParamInterface<GateCase> {};

TEST_P(ManagementGate, SpeaksBeforeAnyPinIsAskedFor) {
  const GateCase& c = GetParam();
  Plug(c.profile, c.pin, c.forceChange);
  const Outcome outcome = Run(c.args, {"1234"}, true);
  EXPECT_EQ(outcome.exit, c.exit);
  EXPECT_EQ(outcome.err, c.err);
  EXPECT_EQ(outcome.prompts, "");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ManagementGate,
    testing::Values(
        GateCase{"NoPin",
                 vkey::CtapProfile::kCtap21,
                 "",
                 false,
                 {"fingerprints", "list"},
                 kExitInputRefused,
                 "Fingerprints need a PIN on the key first; use set-pin.\n"},
        GateCase{"NoPinPasskeys",
                 vkey::CtapProfile::kCtap21Pre,
                 "",
                 false,
                 {"passkeys", "list"},
                 kExitInputRefused,
                 "Passkeys need a PIN on the key first; use set-pin.\n"},
        GateCase{"ForcedChange",
                 vkey::CtapProfile::kCtap21,
                 "1234",
                 true,
                 {"passkeys", "delete", "abcd"},
                 kExitInputRefused,
                 "The key wants its PIN changed before it is used; use change-pin first.\n"},
        GateCase{"Ctap20Fingerprints",
                 vkey::CtapProfile::kCtap20,
                 "1234",
                 false,
                 {"fingerprints", "add"},
                 kExitKeyRefused,
                 "This key speaks only CTAP 2.0, which has no fingerprint enrollment; "
                 "pinvale-cli cannot manage fingerprints on it.\n"},
        GateCase{"Ctap20Passkeys",
                 vkey::CtapProfile::kCtap20,
                 "1234",
                 false,
                 {"passkeys", "list"},
                 kExitKeyRefused,
                 "This key speaks only CTAP 2.0, which has no passkey management; "
                 "pinvale-cli cannot list or change its passkeys.\n"},
        GateCase{"DraftKeyKeepsItsNames",
                 vkey::CtapProfile::kCtap21Pre,
                 "1234",
                 false,
                 {"passkeys", "update", "abcd", "--name", "x"},
                 kExitKeyRefused,
                 "This key cannot change a passkey's names (it speaks only the draft form of "
                 "passkey management).\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ManagementCli, ABlockedPinLeadsToAReset) {
  Plug(vkey::CtapProfile::kCtap21, "1234");
  // Eight wrong PINs, re-plugging after each third as the key demands.
  for (int i = 0; i < 8; ++i) {
    Run({"--pin-stdin", "verify-pin"}, {"0000"});
    if (i % 3 == 2) key->Plug();
  }
  ASSERT_EQ(Run({"retries"}).out, "0 PIN attempts left.\n");
  const Outcome outcome = Run({"fingerprints", "list"}, {"1234"}, true);
  EXPECT_EQ(outcome.exit, kExitPinBlocked);
  EXPECT_EQ(outcome.prompts, "");
  EXPECT_NE(outcome.err.find("Only a reset"), std::string::npos) << outcome.err;
}

TEST_F(ManagementCli, CommandLinesOutsideTheFormsAreRefused) {
  Plug(vkey::CtapProfile::kCtap21);
  const std::vector<std::vector<std::string>> wrong = {
      {"fingerprints"},
      {"fingerprints", "rename", "01"},
      {"fingerprints", "list", "extra"},
      {"fingerprints", "erase"},
      {"fingerprints", "list", "--display-name", "x"},
      {"passkeys", "update", "abcd"},
      {"passkeys", "add"},
      {"info", "--name", "x"},
  };
  for (const auto& args : wrong) {
    EXPECT_EQ(Run(args).exit, kExitUsage) << args.back();
  }
  EXPECT_TRUE(key->RecentRequests().empty());
}

}  // namespace
}  // namespace pinvale::cli
