#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/build_branch.h"
#include "platform/single_instance.h"

namespace pinvale {
namespace {

// A name of the test's own, so a running Pinvale on this desktop does not interfere.
std::string TestName() {
  return "pinvale-test-instance-" + std::to_string(::getpid());
}

TEST(SingleInstance, SecondClaimFailsWhileTheFirstIsHeld) {
  auto first = ClaimSingleInstance(TestName());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ClaimSingleInstance(TestName()), nullptr);
  EXPECT_NE(ClaimSingleInstance(TestName() + "-other"), nullptr);
}

TEST(SingleInstance, ReleasedClaimCanBeMadeAgain) {
  ASSERT_NE(ClaimSingleInstance(TestName()), nullptr);  // released at once
  EXPECT_NE(ClaimSingleInstance(TestName()), nullptr);
}

TEST(SingleInstance, ProgramNameFitsTheSocketAddress) {
  // The name plus the uid must fit the 107 bytes of an abstract address, or two
  // users' claims could be cut to the same name.
  EXPECT_LT(kSingleInstanceName.size() + 1 + 10, 107u);
  EXPECT_EQ(kSingleInstanceName.size(), 69u);
}

TEST(BuildBranch, IsAbsentOnLinux) {
  EXPECT_FALSE(ReadBuildBranch().has_value());
}

}  // namespace
}  // namespace pinvale
