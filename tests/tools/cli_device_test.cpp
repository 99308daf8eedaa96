// Which key pinvale-cli picks: --device by hidraw node or full path, against
// scripted keys.

#include <gtest/gtest.h>

#include "cli_commands.h"
#include "fake_hid.h"
#include "scripted_console.h"

namespace pinvale::cli {
namespace {

// getInfo answer {4: {"clientPin": true}}.
const pinvale::test::Bytes kPinSetInfo = {0xA1, 0x04, 0xA1, 0x69, 'c', 'l', 'i',
                                          'e',  'n',  't',  'P',  'i', 'n', 0xF5};

class CliDeviceTest : public testing::Test {
 protected:
  CliDeviceTest() {
    first = platform->AddMakerKey(0x2D71);   // /dev/fake0
    second = platform->AddMakerKey(0x64A9);  // /dev/fake1
  }

  int Run(std::vector<std::string> args, std::string& out) {
    test::ScriptedConsole console;
    const int code = RunCli(args, "", console, [this](const std::string&) { return platform; });
    out = console.out + console.err;
    return code;
  }

  std::shared_ptr<pinvale::test::FakeHidPlatform> platform =
      std::make_shared<pinvale::test::FakeHidPlatform>();
  std::shared_ptr<pinvale::test::FakeHidDevice> first;
  std::shared_ptr<pinvale::test::FakeHidDevice> second;
};

TEST_F(CliDeviceTest, DeviceByNodeOrPathTalksToThatKeyOnly) {
  second->ScriptAnswer(0x00, kPinSetInfo);
  std::string out;
  EXPECT_EQ(Run({"--device", "/dev/fake1", "info"}, out), kExitOk);
  EXPECT_EQ(out.substr(0, 57), "Key 3f8c:64a9\nPIN: set\nUser verification: not configured\n");
  EXPECT_TRUE(first->SentMessages().empty());

  second->ScriptAnswer(0x00, kPinSetInfo);
  EXPECT_EQ(Run({"--device=" + second->Path(), "info"}, out), kExitOk);
  EXPECT_EQ(out.substr(0, 14), "Key 3f8c:64a9\n");
}

TEST_F(CliDeviceTest, WithoutDeviceTheFirstProductIdOfTheListWins) {
  first->ScriptAnswer(0x00, kPinSetInfo);
  std::string out;
  EXPECT_EQ(Run({"info"}, out), kExitOk);
  EXPECT_EQ(out.substr(0, 14), "Key 3f8c:2d71\n");
  EXPECT_TRUE(second->SentMessages().empty());
}

TEST_F(CliDeviceTest, UnknownDeviceAndExchangeFailures) {
  std::string out;
  EXPECT_EQ(Run({"--device", "/dev/fake9", "info"}, out), kExitNoKey);
  EXPECT_EQ(out, "No key at /dev/fake9.\n");

  first->ScriptAnswer(0x00, kPinSetInfo);    // getInfo, for the PIN protocol
  first->ScriptCtapHidAnswer(0xBF, {0x06});  // CTAPHID ERROR: channel busy
  EXPECT_EQ(Run({"retries"}, out), kExitKeyRefused);
  EXPECT_EQ(out, "Reading the PIN attempts failed (status 0x06).\n");

  first->SetPresent(false);
  EXPECT_EQ(Run({"--device", "/dev/fake0", "retries"}, out), kExitNoKey);
}

TEST(StatusText, FormatsStatusesExchangeCodesAndMbedtlsErrors) {
  EXPECT_EQ(StatusText(0x31), "0x31");
  EXPECT_EQ(StatusText(0xABCD), "0xABCD");
  EXPECT_EQ(StatusText(-0x4C80), "-0x4C80");
}

}  // namespace
}  // namespace pinvale::cli
