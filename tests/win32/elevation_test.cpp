// Starting Pinvale again as administrator, as far as Wine goes: Wine has no elevation
// prompt (its user is an administrator already), so "runas" starts the program at once.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/elevation.h"

namespace pinvale {
namespace {

TEST(ElevationTest, ARunasStartRunsTheProgramWithItsArguments) {
  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::u16string program(self, self + wcslen(self));
  // This test program again, asked for a test that does not exist: it exits with 0.
  EXPECT_TRUE(StartElevated(program, u"--gtest_filter=NoSuchTest", true));
  // A program that is not there is a failed start, not a success.
  EXPECT_FALSE(StartElevated(u"C:\\no\\such\\program.exe", u"", true));
}

TEST(ElevationTest, TheOfferFollowsTheBuildAndTheProcesssRights) {
  // Wine tells a Windows 10 build; its processes run with an administrator's token, and
  // a process that is elevated already is not offered the restart.
  const unsigned build = WindowsBuildNumber();
  EXPECT_GT(build, 0u);
  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  ASSERT_TRUE(::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size));
  ::CloseHandle(token);
  EXPECT_EQ(ElevationMightHelp(), build >= 18362 && !elevation.TokenIsElevated);
}

}  // namespace
}  // namespace pinvale
