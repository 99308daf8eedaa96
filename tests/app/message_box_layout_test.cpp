#include <gtest/gtest.h>

#include "dialogs/message_box_layout.h"

namespace pinvale {
namespace {

TEST(SplitMessageLines, PieceAfterTheLastBreakCountsOnlyWhenNotEmpty) {
  using Lines = std::vector<std::u16string_view>;
  EXPECT_EQ(SplitMessageLines(u"one"), (Lines{u"one"}));
  EXPECT_EQ(SplitMessageLines(u"one\n"), (Lines{u"one"}));
  EXPECT_EQ(SplitMessageLines(u"a\n\nb"), (Lines{u"a", u"", u"b"}));
  EXPECT_EQ(SplitMessageLines(u"a\n\n"), (Lines{u"a", u""}));
  EXPECT_EQ(SplitMessageLines(u"\n"), (Lines{u""}));
  EXPECT_EQ(SplitMessageLines(u""), Lines{});
}

struct SizingCase {
  const char* name;
  std::vector<int> lineWidths;
  int rows;
  int textWidth;
};

class MessageSizingTest : public ::testing::TestWithParam<SizingCase> {};

TEST_P(MessageSizingTest, RowsAndWidth) {
  const SizingCase& c = GetParam();
  MessageTextSize size = MeasureMessageText(c.lineWidths, 19);
  EXPECT_EQ(size.rows, c.rows);
  EXPECT_EQ(size.width, c.textWidth);
  EXPECT_EQ(size.height, c.rows * 19);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MessageSizingTest,
    ::testing::Values(SizingCase{"NarrowLineWidenedTo250", {100}, 1, 250},
                      SizingCase{"LineBetweenKeepsItsWidth", {300}, 1, 300},
                      SizingCase{"Exactly350", {350}, 1, 350},
                      SizingCase{"Exactly700TakesTwoRows", {700}, 2, 350},
                      SizingCase{"701TakesThreeRows", {701}, 3, 350},
                      SizingCase{"EmptyMiddleLineAddsNoRow", {40, 0, 50}, 2, 250},
                      SizingCase{"RowsAddUpOverLines", {351, 200, 1050}, 6, 350},
                      SizingCase{"NoLines", {}, 0, 250}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlaceMessageBox, WindowFollowsTheText) {
  MessageBoxGeometry g = PlaceMessageBox({1, 250, 19}, 40, 1);
  EXPECT_EQ(g.windowWidth, 350);
  EXPECT_EQ(g.windowHeight, 19 + 40 + 114);
}

TEST(PlaceMessageBox, ButtonsRightAlignedAtTheBottomFirstOnTheLeft) {
  MessageBoxGeometry g = PlaceMessageBox({2, 300, 38}, 40, 2);
  ASSERT_EQ(g.buttons.size(), 2u);
  int w = 400, h = 38 + 40 + 114;
  // Cancel, the last button, 18 pixels off the right and bottom edges.
  EXPECT_EQ(g.buttons[1].left, w - 108);
  EXPECT_EQ(g.buttons[1].right, w - 18);
  EXPECT_EQ(g.buttons[1].top, h - 40 - 46);
  EXPECT_EQ(g.buttons[1].bottom, h - 40 - 18);
  // OK, 108 pixels further left, same row, 90 x 28.
  EXPECT_EQ(g.buttons[0].left, w - 216);
  EXPECT_EQ(g.buttons[0].right - g.buttons[0].left, 90);
  EXPECT_EQ(g.buttons[0].bottom - g.buttons[0].top, 28);
  EXPECT_EQ(g.buttons[0].top, g.buttons[1].top);
}

TEST(PlaceMessageBox, DrawnTextWithinTheSlackKeepsTheWindowSize) {
  // Three counted rows of 19 pixels; drawn, an empty line and a word wrap add two.
  MessageBoxGeometry g = PlaceMessageBox({3, 350, 57}, 40, 2, 57 + 35);
  EXPECT_EQ(g.windowHeight, 57 + 40 + 114);
  EXPECT_EQ(g.textBoxHeight, 57 + 35);
  // The text box then ends 8 pixels above the buttons.
  EXPECT_EQ(kMessageTextY + g.textBoxHeight + 8, g.buttons[0].top);
}

TEST(PlaceMessageBox, TextBeyondTheSlackMakesTheWindowTaller) {
  MessageBoxGeometry g = PlaceMessageBox({3, 350, 57}, 40, 1, 57 + 35 + 19);
  EXPECT_EQ(g.windowHeight, 57 + 40 + 114 + 19);
  EXPECT_EQ(g.textBoxHeight, 57 + 35 + 19);
  EXPECT_EQ(kMessageTextY + g.textBoxHeight + 8, g.buttons[0].top);
}

TEST(PlaceMessageBox, CountedRowsAreTheFloor) {
  MessageBoxGeometry g = PlaceMessageBox({3, 350, 57}, 40, 1, 19);
  EXPECT_EQ(g.windowHeight, 57 + 40 + 114);
  EXPECT_EQ(g.textBoxHeight, 57);
}

}  // namespace
}  // namespace pinvale
