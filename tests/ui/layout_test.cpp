// Placement rules: stacking with adjustable shares, estimated sizes, floating, tabs.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fake_measurer.h"
#include "ui/ui.h"

namespace pinvale::ui {
namespace {

using test::FakeMeasurer;

struct Laid {
  FakeMeasurer measurer;
  std::unique_ptr<CPaintManagerUI> pm = std::make_unique<CPaintManagerUI>();
  RECT Pos(std::u16string_view name) const {
    CControlUI* c = pm->FindControl(name);
    EXPECT_NE(c, nullptr) << "no control";
    return c ? c->GetPos() : RECT{};
  }
  CControlUI* Find(std::u16string_view name) const { return pm->FindControl(name); }
};

// Builds `body` (the root container's XML) into a width x height client area.
std::unique_ptr<Laid> Layout(const std::string& body, int width, int height) {
  auto laid = std::make_unique<Laid>();
  laid->pm->SetTextMeasurer(&laid->measurer);
  CDialogBuilder builder;
  auto root = builder.CreateFromXml("<Window size=\"" + std::to_string(width) + "," +
                                        std::to_string(height) + "\">" + body + "</Window>",
                                    nullptr, laid->pm.get());
  EXPECT_NE(root, nullptr) << builder.GetLastError();
  laid->pm->AttachDialog(std::move(root));
  laid->pm->SetClientSize(SIZE{width, height});
  laid->pm->DoLayout();
  return laid;
}

TEST(VerticalLayout, SpacerWithoutHeightTakesTheRestOfTheColumn) {
  auto l =
      Layout(R"(<VerticalLayout><Label name="a" height="40"/><Control name="s"/></VerticalLayout>)",
             200, 300);
  EXPECT_EQ(l->Pos(u"a"), (RECT{0, 0, 200, 40}));
  EXPECT_EQ(l->Pos(u"s"), (RECT{0, 40, 200, 300}));
}

TEST(VerticalLayout, AdjustableChildrenShareWhatTheFixedOnesLeave) {
  auto l = Layout(R"(<VerticalLayout><Control name="a"/><Control name="f" height="100"/>)"
                  R"(<Control name="b"/></VerticalLayout>)",
                  200, 300);
  EXPECT_EQ(l->Pos(u"a"), (RECT{0, 0, 200, 100}));
  EXPECT_EQ(l->Pos(u"f"), (RECT{0, 100, 200, 200}));
  EXPECT_EQ(l->Pos(u"b"), (RECT{0, 200, 200, 300}));
}

TEST(VerticalLayout, LastAdjustableChildTakesTheRemainderOfAnUnevenSplit) {
  auto l = Layout(R"(<VerticalLayout><Control name="a"/><Control name="b"/><Control name="c"/>)"
                  R"(</VerticalLayout>)",
                  200, 100);
  EXPECT_EQ(Height(l->Pos(u"a")), 33);
  EXPECT_EQ(Height(l->Pos(u"b")), 33);
  EXPECT_EQ(l->Pos(u"c"), (RECT{0, 66, 200, 100}));
}

TEST(VerticalLayout, PaddingTakesSpaceAndShiftsTheChild) {
  auto l = Layout(R"(<VerticalLayout><Control name="p" height="30" padding="10,10,0,0"/>)"
                  R"(<Control name="next" height="20"/></VerticalLayout>)",
                  200, 300);
  // 10 above plus 30 high: the next child starts at 40.
  EXPECT_EQ(l->Pos(u"p"), (RECT{10, 10, 200, 40}));
  EXPECT_EQ(l->Pos(u"next").top, 40);
}

TEST(VerticalLayout, BottomMarginLiesInsideTheChildRectangle) {
  auto l = Layout(R"(<VerticalLayout><Control name="p" height="30" padding="0,5,0,7"/>)"
                  R"(<Control name="next" height="20"/></VerticalLayout>)",
                  200, 300);
  EXPECT_EQ(l->Pos(u"p"), (RECT{0, 5, 200, 42}));
  EXPECT_EQ(l->Pos(u"next").top, 42);
}

TEST(VerticalLayout, FixedWidthIsKeptAndMarginsNarrowTheRest) {
  auto l =
      Layout(R"(<VerticalLayout><Control name="f" width="120" height="10" padding="155,0,0,0"/>)"
             R"(<Control name="w" height="10" padding="20,0,30,0"/></VerticalLayout>)",
             300, 100);
  EXPECT_EQ(l->Pos(u"f"), (RECT{155, 0, 275, 10}));
  EXPECT_EQ(l->Pos(u"w"), (RECT{20, 10, 270, 20}));
}

TEST(VerticalLayout, LastAdjustableCountsRemainingFixedTotal) {
  // The fixed total keeps the margins of children already placed.
  auto l = Layout(R"(<VerticalLayout><Control name="p" height="30" padding="0,10,0,0"/>)"
                  R"(<Control name="s"/></VerticalLayout>)",
                  200, 300);
  EXPECT_EQ(l->Pos(u"s"), (RECT{0, 40, 200, 290}));
}

TEST(VerticalLayout, MinimumAndMaximumHeightClampAdjustableChildren) {
  auto l =
      Layout(R"(<VerticalLayout><Control name="a" maxheight="50"/><Control name="b" height="10"/>)"
             R"(</VerticalLayout>)",
             100, 300);
  EXPECT_EQ(Height(l->Pos(u"a")), 50);
  EXPECT_EQ(l->Pos(u"b").top, 50);
}

TEST(VerticalLayout, InvisibleChildrenTakeNoSpace) {
  auto l = Layout(R"(<VerticalLayout><Control name="gone" height="100" visible="false"/>)"
                  R"(<Control name="s"/></VerticalLayout>)",
                  100, 300);
  EXPECT_EQ(l->Pos(u"s"), (RECT{0, 0, 100, 300}));
}

struct EstimateCase {
  const char* element;
  int expectedHeight;
};

class EstimatedHeight : public ::testing::TestWithParam<EstimateCase> {};

TEST_P(EstimatedHeight, TextHeightPlusTheKindsExtra) {
  const std::string xml = std::string("<VerticalLayout><") + GetParam().element +
                          R"( name="c" text="x"/><Control/></VerticalLayout>)";
  auto l = Layout(xml, 200, 300);
  EXPECT_EQ(Height(l->Pos(u"c")), GetParam().expectedHeight);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EstimatedHeight,
                         ::testing::Values(EstimateCase{"Label", FakeMeasurer::kLineHeight + 4},
                                           EstimateCase{"Button", FakeMeasurer::kLineHeight + 8},
                                           EstimateCase{"Edit", FakeMeasurer::kLineHeight + 6},
                                           EstimateCase{"Control", 150}));

TEST(EstimatedSize, FixedHeightWinsOverTheFont) {
  auto l =
      Layout(R"(<VerticalLayout><Label name="c" text="x" height="40"/><Control/></VerticalLayout>)",
             200, 300);
  EXPECT_EQ(Height(l->Pos(u"c")), 40);
}

TEST(EstimatedSize, TextControlIsAsHighAsItsWrappedText) {
  // Characters of 7 pixels in a 100-pixel column: lines of at most 14 characters.
  auto l = Layout(R"(<VerticalLayout><Text name="t" text="aaaa bbbb cccc dddd eeee ffff gggg"/>)"
                  R"(<Control name="s"/></VerticalLayout>)",
                  100, 300);
  EXPECT_EQ(Height(l->Pos(u"t")), 3 * FakeMeasurer::kLineHeight);
  EXPECT_EQ(l->Pos(u"s").top, 3 * FakeMeasurer::kLineHeight);
}

TEST(EstimatedSize, TextControlCountsItsTextPaddingAndFixedHeightReplacesIt) {
  auto l = Layout(R"(<VerticalLayout><Text name="t" text="short" textpadding="0,4,0,6"/>)"
                  R"(<Text name="h" text="short" height="50"/><Control/></VerticalLayout>)",
                  200, 300);
  EXPECT_EQ(Height(l->Pos(u"t")), FakeMeasurer::kLineHeight + 10);
  EXPECT_EQ(Height(l->Pos(u"h")), 50);
}

// A text's size follows each change of what it shows, also when asked again before the next
// pass (a window sizing itself to its message after setting it).
struct TextChange {
  const char* name;
  const char* text;
  void (*change)(CTextUI&);
  long lines;
};
void PrintTo(const TextChange& c, std::ostream* os) {
  *os << c.name;
}

class TextSizeAfterAChange : public ::testing::TestWithParam<TextChange> {};

TEST_P(TextSizeAfterAChange, IsMeasuredAnew) {
  const TextChange& c = GetParam();
  auto l = Layout(std::string(R"(<VerticalLayout><Text name="t" text=")") + c.text +
                      R"("/><Control/></VerticalLayout>)",
                  100, 300);
  auto* t = static_cast<CTextUI*>(l->Find(u"t"));
  (void)t->EstimateSize(SIZE{100, 0});
  c.change(*t);
  EXPECT_EQ(t->EstimateSize(SIZE{100, 0}).cy, c.lines * FakeMeasurer::kLineHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, TextSizeAfterAChange,
    ::testing::Values(
        TextChange{"Text", "aaaa bbbb",
                   [](CTextUI& t) { t.SetText(u"aaaa bbbb cccc dddd eeee ffff gggg"); }, 3},
        TextChange{"SingleLine", "aaaa bbbb cccc dddd",
                   [](CTextUI& t) { t.SetTextStyle(DT_SINGLELINE); }, 1},
        TextChange{"Padding", "aaaa bbbb cccc dddd",
                   [](CTextUI& t) {
                     t.SetTextPadding(RECT{0, 0, 40, 0});
                   },
                   4},
        TextChange{"Markup", "aa{n}bb", [](CTextUI& t) { t.SetShowHtml(true); }, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HorizontalLayout, MirrorsTheVerticalRule) {
  auto l = Layout(R"(<HorizontalLayout><Control name="a" width="40"/><Control name="s"/>)"
                  R"(<Control name="b" width="30" padding="5,2,5,0"/></HorizontalLayout>)",
                  300, 50);
  EXPECT_EQ(l->Pos(u"a"), (RECT{0, 0, 40, 50}));
  EXPECT_EQ(l->Pos(u"s"), (RECT{40, 0, 260, 50}));
  // The margins lie inside the rectangle horizontally; the height loses top and bottom.
  EXPECT_EQ(l->Pos(u"b"), (RECT{265, 2, 300, 50}));
}

TEST(HorizontalLayout, FixedHeightIsKept) {
  auto l = Layout(
      R"(<HorizontalLayout><Button name="b" width="48" height="32"/><Control/></HorizontalLayout>)",
      300, 40);
  EXPECT_EQ(l->Pos(u"b"), (RECT{0, 0, 48, 32}));
}

// A layout may give sizes and paddings of up to nine digits; stacking a few such children
// ran past the int range. Positions then stop at the largest int instead of wrapping round.
struct HugeStack {
  const char* layout;
  bool vertical;
};
class StackingPastTheIntRange : public ::testing::TestWithParam<HugeStack> {};

TEST_P(StackingPastTheIntRange, StopsAtTheLargestIntInsteadOfWrapping) {
  const HugeStack& c = GetParam();
  const std::string children =
      c.vertical ? R"(<Control name="a" height="5"/>)" : R"(<Control name="a" width="5"/>)";
  auto l =
      Layout(std::string("<") + c.layout + R"( childpadding="999999999">)" + children +
                 R"(<Control name="b"/><Control name="c"/><Control name="d"/></)" + c.layout + ">",
             200, 300);
  auto start = [&](std::u16string_view name) {
    const RECT r = l->Pos(name);
    return c.vertical ? r.top : r.left;
  };
  EXPECT_EQ(start(u"a"), 0);
  EXPECT_EQ(start(u"b"), 5 + 999999999L);
  EXPECT_EQ(start(u"c"), 5 + 2 * 999999999L);
  EXPECT_EQ(start(u"d"), 2147483647L);
}

INSTANTIATE_TEST_SUITE_P(Layouts, StackingPastTheIntRange,
                         ::testing::Values(HugeStack{"VerticalLayout", true},
                                           HugeStack{"HorizontalLayout", false}));

TEST(VerticalLayout, HugeMarginsStopAtTheLargestInt) {
  const std::string child = R"(<Control height="1" padding="0,999999999,0,0"/>)";
  auto l = Layout("<VerticalLayout>" + child + child + R"(<Control name="c" height="1")" +
                      R"( padding="0,999999999,0,0"/><Control name="s"/></VerticalLayout>)",
                  200, 300);
  EXPECT_EQ(l->Pos(u"c").top, 2147483647L);
  EXPECT_EQ(l->Pos(u"s").top, 2147483647L);
}

TEST(Float, PositiveXYFromTheTopLeftOfTheContainer) {
  auto l =
      Layout(R"(<VerticalLayout><Control height="20"/><HorizontalLayout name="row" height="50">)"
             R"(<Button name="f" float="true" pos="354,0,0,0" width="48" height="36"/>)"
             R"(</HorizontalLayout><Control/></VerticalLayout>)",
             450, 300);
  EXPECT_EQ(l->Pos(u"f"), (RECT{354, 20, 402, 56}));
}

TEST(Float, NegativeXIsMeasuredFromTheRightEdge) {
  auto l = Layout(
      R"(<VerticalLayout><Control name="f" float="true" pos="-60,-40,-12,-4"/></VerticalLayout>)",
      300, 200);
  // x = right = -12, width 48; y = bottom = -4, height 36.
  EXPECT_EQ(l->Pos(u"f"), (RECT{240, 160, 288, 196}));
}

TEST(Float, FloatingChildrenTakeNoSpaceInStacking) {
  auto l = Layout(
      R"(<VerticalLayout><Control float="true" pos="0,0,100,100"/><Control name="s"/></VerticalLayout>)",
      100, 300);
  EXPECT_EQ(l->Pos(u"s"), (RECT{0, 0, 100, 300}));
}

TEST(Attributes, LaterAttributesOverrideEarlierOnes) {
  auto l = Layout(
      R"(<VerticalLayout><Control name="a" float="true" pos="35,0,0,0" width="321" height="20"/>)"
      R"(<Control name="b" float="true" width="321" height="20" pos="35,0,85,10"/></VerticalLayout>)",
      400, 300);
  EXPECT_EQ(l->Pos(u"a"), (RECT{35, 0, 356, 20}));
  EXPECT_EQ(l->Pos(u"b"), (RECT{35, 0, 85, 10}));
}

TEST(Attributes, DefaultAttributesComeFirstAndOwnAttributesWin) {
  auto l = Layout(R"(<Default name="Button" value="height=&quot;25&quot; width=&quot;60&quot;"/>)"
                  R"(<VerticalLayout><Button name="b" width="80"/><Control/></VerticalLayout>)",
                  300, 300);
  EXPECT_EQ(l->Pos(u"b"), (RECT{0, 0, 80, 25}));
}

TEST(TabLayout, FirstVisibleChildIsSelectedAndOnlyItIsPlaced) {
  auto l = Layout(
      R"(<VerticalLayout><TabLayout name="tab"><Label name="p0" text="zero"/>)"
      R"(<VerticalLayout name="p1"><Button name="inner"/></VerticalLayout></TabLayout></VerticalLayout>)",
      200, 100);
  auto* tab = static_cast<CTabLayoutUI*>(l->Find(u"tab"));
  EXPECT_EQ(tab->GetCurSel(), 0);
  EXPECT_TRUE(l->Find(u"p0")->IsVisible());
  EXPECT_FALSE(l->Find(u"p1")->IsVisible());
  EXPECT_FALSE(l->Find(u"inner")->IsVisible());
  // A label keeps its estimated height; a zero width becomes the whole width.
  EXPECT_EQ(l->Pos(u"p0"), (RECT{0, 0, 200, FakeMeasurer::kLineHeight + 4}));
}

class TabNotes : public INotifyUI {
 public:
  void Notify(TNotifyUI& msg) override {
    if (msg.sType == u"tabselect") {
      ++count;
      newIndex = static_cast<int>(msg.wParam);
      oldIndex = static_cast<int>(msg.lParam);
    }
  }
  int count = 0;
  int newIndex = -1;
  int oldIndex = -1;
};

TEST(TabLayout, SelectItemShowsOneChildAndSendsTabselect) {
  auto l =
      Layout(R"(<VerticalLayout><TabLayout name="tab"><Control name="p0"/><Control name="p1"/>)"
             R"(<Control name="p2"/></TabLayout></VerticalLayout>)",
             200, 100);
  TabNotes notes;
  l->pm->AddNotifier(&notes);
  auto* tab = static_cast<CTabLayoutUI*>(l->Find(u"tab"));

  EXPECT_FALSE(tab->SelectItem(3));
  EXPECT_FALSE(tab->SelectItem(-1));
  EXPECT_TRUE(tab->SelectItem(0));  // the current one: nothing changes
  EXPECT_EQ(notes.count, 0);

  EXPECT_TRUE(tab->SelectItem(2));
  EXPECT_EQ(notes.count, 1);
  EXPECT_EQ(notes.newIndex, 2);
  EXPECT_EQ(notes.oldIndex, 0);
  EXPECT_FALSE(l->Find(u"p0")->IsVisible());
  EXPECT_TRUE(l->Find(u"p2")->IsVisible());
  l->pm->DoLayout();
  EXPECT_EQ(l->Pos(u"p2"), (RECT{0, 0, 200, 100}));
}

TEST(Builder, UnknownElementsAreSkippedAndAByteOrderMarkIsAccepted) {
  CPaintManagerUI pm;
  FakeMeasurer m;
  pm.SetTextMeasurer(&m);
  CDialogBuilder builder;
  auto root = builder.CreateFromXml(
      "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- skin --><Window size=\"10,10\"><Font name=\"A\" "
      "size=\"14\" default=\"true\"/><Font name=\"B\" size=\"13\" bold=\"true\"/>"
      "<VerticalLayout><Mystery><Label name=\"hidden\"/></Mystery><Label name=\"x\"/>"
      "</VerticalLayout></Window>",
      nullptr, &pm);
  ASSERT_NE(root, nullptr) << builder.GetLastError();
  pm.AttachDialog(std::move(root));
  EXPECT_EQ(pm.FindControl(u"hidden"), nullptr);
  EXPECT_NE(pm.FindControl(u"x"), nullptr);
  EXPECT_EQ(pm.GetFontCount(), 2);
  EXPECT_EQ(pm.GetFontInfo(1)->sFontName, u"B");
  EXPECT_TRUE(pm.GetFontInfo(1)->bBold);
  EXPECT_EQ(pm.GetInitSize(), (SIZE{10, 10}));
}

TEST(Builder, BrokenXmlFailsWithAReason) {
  CDialogBuilder builder;
  EXPECT_EQ(builder.CreateFromXml("<Window><VerticalLayout></Window>"), nullptr);
  EXPECT_FALSE(builder.GetLastError().empty());
}

}  // namespace
}  // namespace pinvale::ui
