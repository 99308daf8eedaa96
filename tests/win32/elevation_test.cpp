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

}  // namespace
}  // namespace pinvale
