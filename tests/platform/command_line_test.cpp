#include <gtest/gtest.h>

#include <ostream>

#include "platform/command_line.h"

namespace pinvale {
namespace {

struct Case {
  std::vector<std::string_view> arguments;
  bool reset;
};

void PrintTo(const Case& c, std::ostream* out) {
  for (std::string_view a : c.arguments) *out << '[' << a << ']';
}

class ResetOptionTest : public ::testing::TestWithParam<Case> {};

TEST_P(ResetOptionTest, RecognisesOnlyTheWholeOption) {
  EXPECT_EQ(HasResetOption(GetParam().arguments), GetParam().reset);
}

INSTANTIATE_TEST_SUITE_P(Arguments, ResetOptionTest,
                         ::testing::Values(Case{{"pinvale"}, false}, Case{{"pinvale", "-E"}, true},
                                           Case{{"pinvale", "x", "-e", "y"}, true},
                                           Case{{"-E"}, true}, Case{{"pinvale", "-Ex"}, false},
                                           Case{{"pinvale", "E"}, false},
                                           Case{{"pinvale", "--E"}, false},
                                           Case{{"pinvale", "-"}, false},
                                           Case{{"pinvale", ""}, false}, Case{{}, false},
                                           Case{{"pinvale", "--virtual-key", "-E"}, true}));

}  // namespace
}  // namespace pinvale
