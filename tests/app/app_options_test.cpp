#include <gtest/gtest.h>

#include "app/app_options.h"
#include "app/device_path_match.h"
#include "app/quit_timer.h"

namespace pinvale {
namespace {

TEST(AppOptions, DefaultsWithoutArguments) {
  AppOptions o = ParseAppOptions({"pinvale"}, nullptr);
  EXPECT_FALSE(o.resetOnStart);
  EXPECT_FALSE(o.virtualKey);
  EXPECT_FALSE(o.virtualKeyIfNone);
  EXPECT_EQ(o.virtualKeyDirectory, "");
  EXPECT_FALSE(o.help);
  EXPECT_FALSE(o.version);
}

TEST(AppOptions, ReadsEveryOption) {
  AppOptions o = ParseAppOptions(
      {"pinvale", "--virtual-key", "--virtual-keys", "/tmp/keys", "-e", "stray"}, nullptr);
  EXPECT_TRUE(o.resetOnStart);
  EXPECT_TRUE(o.virtualKey);
  EXPECT_EQ(o.virtualKeyDirectory, "/tmp/keys");
  EXPECT_TRUE(ParseAppOptions({"pinvale", "--virtual-key-if-none"}, nullptr).virtualKeyIfNone);
  EXPECT_EQ(ParseAppOptions({"pinvale", "--virtual-keys=/k"}, nullptr).virtualKeyDirectory, "/k");
}

TEST(AppOptions, HelpAndVersionAnywhereButAsTheDirectory) {
  EXPECT_TRUE(ParseAppOptions({"pinvale", "-E", "--help"}, nullptr).help);
  EXPECT_TRUE(ParseAppOptions({"pinvale", "-h"}, nullptr).help);
  EXPECT_TRUE(ParseAppOptions({"pinvale", "--virtual-key", "--version"}, nullptr).version);
  AppOptions o = ParseAppOptions({"pinvale", "--virtual-keys", "--help"}, nullptr);
  EXPECT_FALSE(o.help);
  EXPECT_EQ(o.virtualKeyDirectory, "--help");
  EXPECT_FALSE(ParseAppOptions({"pinvale", "--helpful", "-version"}, nullptr).help);
}

TEST(AppOptions, OptionBeatsTheEnvironment) {
  EXPECT_EQ(ParseAppOptions({"pinvale"}, "/env").virtualKeyDirectory, "/env");
  EXPECT_EQ(ParseAppOptions({"pinvale", "--virtual-keys", "/opt"}, "/env").virtualKeyDirectory,
            "/opt");
}

TEST(AppOptions, DirectoryOptionWithoutValueIsIgnored) {
  EXPECT_EQ(ParseAppOptions({"pinvale", "--virtual-keys"}, nullptr).virtualKeyDirectory, "");
  // The directory is taken as it is, even when it looks like the reset option.
  AppOptions o = ParseAppOptions({"pinvale", "--virtual-keys", "-E"}, nullptr);
  EXPECT_EQ(o.virtualKeyDirectory, "-E");
}

struct PathCase {
  std::u16string path;
  bool matches;
};

class DevicePathMatchTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(DevicePathMatchTest, FindsTheMakersProductIds) {
  EXPECT_EQ(PathNamesMakerProduct(GetParam().path), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DevicePathMatchTest,
    ::testing::Values(
        PathCase{u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3", true},
        PathCase{
            u"\\\\?\\USB#VID_3F8C&PID_64A9#5&1a2b3c&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
            true},
        PathCase{u"/run/keys/3f8c-b5d2-demo.sock", true}, PathCase{u"x9E07x", true},
        PathCase{u"\\\\?\\hidraw#vid_3f8c&pid_a1c4#/dev/hidraw1", false},
        PathCase{u"\\\\?\\hidraw#vid_046d&pid_c52b#/dev/hidraw0", false},
        PathCase{u"\\\\?\\hidraw#/dev/hidraw0", false}, PathCase{u"", false},
        PathCase{u"2d7", false}));

TEST(AppOptions, QuitDelayTakesOnlyAPositiveWholeNumber) {
  EXPECT_EQ(ParseQuitDelay("2500"), 2500u);
  for (const char* bad : {"", "0", "-5", "12ms", " 7", "99999999999"})
    EXPECT_EQ(ParseQuitDelay(bad), std::nullopt) << bad;
  EXPECT_EQ(ParseQuitDelay(nullptr), std::nullopt);
}

}  // namespace
}  // namespace pinvale
