// The list and the progress bar as a user meets them: keys, wheel, scroll bar and clicks
// move the view and the selection, and what is drawn stays inside its place at every scale.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "test_skin.h"
#include "ui/list.h"
#include "ui/paint_manager.h"
#include "ui/progress.h"
#include "ui/ui_testing.h"

namespace pinvale::ui {
namespace {

using test::RecordingWindow;
namespace t = ui::testing;

constexpr int kRows = 20;
constexpr int kRowHeight = 40;  // itemheight in list.xml
constexpr int kView = 198;      // 200 high, a 1-unit border
constexpr int kMaxOffset = kRows * kRowHeight - kView;
constexpr std::uint32_t kSelected = 0xFF00C000;
constexpr std::uint32_t kThumb = 0xFF404040;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UseTestSkin();
    hwnd = test::CreateTestWindow(window);
    t::PumpUntilIdle();
    list = window.GetPaintManager().FindControlAs<CListUI>(u"list");
    ASSERT_NE(list, nullptr);
    std::vector<ListItem> items;
    for (int i = 0; i < kRows; ++i) {
      const std::u16string n = Utf8ToUtf16(std::to_string(i));
      items.push_back({u"site" + n + u".example", u"user" + n, static_cast<std::uintptr_t>(i)});
    }
    list->SetItems(std::move(items));
    t::PumpUntilIdle();
  }
  void Render() { pixels = t::RenderWindowPixels(hwnd, &width, &height); }
  std::uint32_t At(long x, long y) const { return pixels[static_cast<size_t>(y * width + x)]; }
  POINT Centre(const RECT& r) const {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void Focus() {
    t::Click(hwnd, u"after");
    list->SetFocus();
  }

  RecordingWindow window{u"list.xml"};
  HWND hwnd = nullptr;
  CListUI* list = nullptr;
  std::vector<std::uint32_t> pixels;
  int width = 0;
  int height = 0;
};

struct KeyCase {
  const char* name;
  std::vector<UINT> keys;
  int selected;
  int scroll;
};

class ListKeys : public ListTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ListKeys, SelectionMovesAndStaysInView) {
  Focus();
  for (UINT vk : GetParam().keys) t::KeyDown(hwnd, vk);
  EXPECT_EQ(list->GetCurSel(), GetParam().selected);
  EXPECT_EQ(list->GetScrollPos(), GetParam().scroll);
  // Whatever the keys did, the selected row is wholly in view.
  const RECT row = list->GetItemRect(list->GetCurSel());
  EXPECT_GE(row.top, list->GetPos().top + 1);
  EXPECT_LE(row.bottom, list->GetPos().top + 1 + kView);
}

// A page is the rows that fit (4 of 4.95) less one kept in view: 3.
INSTANTIATE_TEST_SUITE_P(
    Keys, ListKeys,
    ::testing::Values(KeyCase{"DownFromNoneTakesTheFirst", {VK_DOWN}, 0, 0},
                      KeyCase{"UpFromNoneTakesTheFirst", {VK_UP}, 0, 0},
                      KeyCase{"UpAtTheTopStays", {VK_DOWN, VK_UP, VK_UP}, 0, 0},
                      KeyCase{"DownPastTheViewScrollsByWhatIsNeeded",
                              {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN},
                              5,
                              6 * kRowHeight - kView},
                      KeyCase{"EndShowsTheLast", {VK_END}, kRows - 1, kMaxOffset},
                      KeyCase{"HomeAfterEnd", {VK_END, VK_HOME}, 0, 0},
                      KeyCase{"PageDownTwice", {VK_NEXT, VK_NEXT}, 6, 7 * kRowHeight - kView},
                      KeyCase{"PageDownStopsAtTheLast", {VK_END, VK_NEXT}, kRows - 1, kMaxOffset},
                      KeyCase{"PageUpFromTheEnd", {VK_END, VK_PRIOR}, kRows - 4, kMaxOffset},
                      KeyCase{"PageUpStopsAtTheFirst", {VK_DOWN, VK_PRIOR}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListTest, SelectionChangesAndEnterNotifyTabMovesOn) {
  Focus();
  t::KeyDown(hwnd, VK_DOWN);
  t::KeyDown(hwnd, VK_UP);  // already at the first: no change, no notification
  t::KeyDown(hwnd, VK_RETURN);
  EXPECT_EQ(window.Count("itemselect:list"), 1);
  EXPECT_EQ(window.Count("itemactivate:list"), 1);
  t::KeyDown(hwnd, VK_TAB);
  EXPECT_EQ(window.GetPaintManager().GetFocus()->GetName(), u"after");
  // Replacing the rows drops the selection; with none, Enter activates nothing.
  list->SetItems({{u"one", {}, 0}});
  list->SetFocus();
  t::KeyDown(hwnd, VK_RETURN);
  EXPECT_EQ(window.Count("itemactivate:list"), 1);
}

struct WheelCase {
  std::vector<int> notches;
  int scroll;
};

class ListWheel : public ListTest, public ::testing::WithParamInterface<WheelCase> {};

TEST_P(ListWheel, ScrollsThreeRowsANotchAndLeavesTheSelection) {
  list->SelectItem(1);
  const POINT over = Centre(list->GetPos());
  for (int n : GetParam().notches) t::Wheel(hwnd, over, n);
  EXPECT_EQ(list->GetScrollPos(), GetParam().scroll);
  EXPECT_EQ(list->GetCurSel(), 1);
}

INSTANTIATE_TEST_SUITE_P(Wheel, ListWheel,
                         ::testing::Values(WheelCase{{-1}, 3 * kRowHeight},
                                           WheelCase{{-2, 1}, 3 * kRowHeight}, WheelCase{{1}, 0},
                                           WheelCase{{-10}, kMaxOffset}, WheelCase{{-10, 10}, 0}));

TEST_F(ListTest, WheelOverAnotherControlLeavesTheList) {
  t::Wheel(hwnd, Centre(window.GetPaintManager().FindControl(u"after")->GetPos()), -1);
  EXPECT_EQ(list->GetScrollPos(), 0);
}

TEST_F(ListTest, ThumbFollowsTheScrollAndIsDrawnWhereItStands) {
  ASSERT_TRUE(list->IsScrollBarVisible());
  const RECT track = list->GetScrollBarRect();
  EXPECT_EQ(track.right, list->GetPos().right - 1);
  EXPECT_EQ(Height(track), kView);
  for (int offset : {0, kMaxOffset / 2, kMaxOffset}) {
    list->SetScrollPos(offset);
    const RECT thumb = list->GetThumbRect();
    EXPECT_EQ(Height(thumb), kView * kView / (kRows * kRowHeight));
    const long travel = Height(track) - Height(thumb);
    EXPECT_EQ(thumb.top - track.top, travel * offset / kMaxOffset) << offset;
    Render();
    EXPECT_EQ(At(Centre(thumb).x, Centre(thumb).y), kThumb);
    const long away = thumb.top > track.top + 10 ? track.top + 2 : track.bottom - 2;
    EXPECT_EQ(At(Centre(thumb).x, away), 0xFFF0F0F0u);
  }
}

class ListThumbDrag : public ListTest, public ::testing::WithParamInterface<int> {};

TEST_P(ListThumbDrag, ContentFollowsTheThumb) {
  const RECT thumb = list->GetThumbRect();
  const long travel = Height(list->GetScrollBarRect()) - Height(thumb);
  const POINT from = Centre(thumb);
  t::Drag(hwnd, from, POINT{from.x, from.y + GetParam()});
  const double expected =
      std::clamp(GetParam() * double(kMaxOffset) / travel, 0.0, double(kMaxOffset));
  EXPECT_NEAR(list->GetScrollPos(), expected, 1.0);
  EXPECT_EQ(list->GetCurSel(), -1);  // the scroll bar selects nothing
}

INSTANTIATE_TEST_SUITE_P(Drag, ListThumbDrag, ::testing::Values(0, 1, 30, 100, 400, -20));

TEST_F(ListTest, PressesOnTheTrackPage) {
  const RECT track = list->GetScrollBarRect();
  const POINT below{Centre(track).x, track.bottom - 3};
  t::ClickAt(hwnd, below);
  EXPECT_EQ(list->GetScrollPos(), kView);
  t::ClickAt(hwnd, POINT{below.x, track.top + 2});  // above the thumb now
  EXPECT_EQ(list->GetScrollPos(), 0);
}

class ListScaled : public ListTest, public ::testing::WithParamInterface<double> {
 protected:
  // The pixel where a unit edge lands; a border's thickness is rounded on its own (2 pixels
  // at 1.5), so checks keep a pixel off the edges.
  long Px(long units) const { return std::lround(units * GetParam()); }
};

TEST_P(ListScaled, ClickedRowIsSelectedAndItsTextStaysInsideIt) {
  t::SetScale(hwnd, GetParam());
  list->SetItems({{u"a title far too long to fit in the row of this list, however wide",
                   u"and a second line that is just as long as the first one or longer", 0},
                  {u"short", u"", 0}});
  t::PumpUntilIdle();
  const RECT first = list->GetItemRect(0);
  t::ClickAt(hwnd, Centre(first));
  EXPECT_EQ(list->GetCurSel(), 0);
  Render();
  const RECT second = list->GetItemRect(1);
  // The selected row's colour, at its top left, where no text stands.
  EXPECT_EQ(At(Px(first.left) + 1, Px(first.top) + 1), kSelected);
  // No text in the text padding (8 units) at the right of either row, none in the next row
  // from the first's, and some text in each row.
  for (const RECT& row : {first, second}) {
    const std::uint32_t back = row == first ? kSelected : kWhite;
    int ink = 0;
    for (long y = Px(row.top) + 1; y < Px(row.bottom) - 1; ++y) {
      for (long x = Px(row.right - 8) + 1; x < Px(row.right) - 1; ++x) {
        ASSERT_EQ(At(x, y), back) << "x " << x << " y " << y;
      }
      for (long x = Px(row.left); x < Px(row.right - 8); ++x) ink += At(x, y) != back;
    }
    EXPECT_GT(ink, 20);
  }
  // With no rows, the empty text is shown in the middle and the scroll bar goes.
  list->RemoveAll();
  Render();
  EXPECT_FALSE(list->IsScrollBarVisible());
  int ink = 0;
  const RECT box = list->GetPos();
  const long mid = Px((box.top + box.bottom) / 2);
  for (long x = Px(box.left) + 2; x < Px(box.right) - 2; ++x) ink += At(x, mid) != kWhite;
  EXPECT_GT(ink, 5);
}

INSTANTIATE_TEST_SUITE_P(Scales, ListScaled, ::testing::Values(1.0, 1.5, 2.0));

struct ProgressCase {
  double scale;
  int value;
  int max;
};

class ProgressFill : public ListTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressFill, FillsItsShareOfTheBar) {
  auto* bar = window.GetPaintManager().FindControlAs<CProgressUI>(u"progress");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetMaxValue(), 3);  // from the layout
  t::SetScale(hwnd, GetParam().scale);
  bar->SetMaxValue(GetParam().max);
  bar->SetValue(GetParam().value);
  Render();
  const RECT pos = bar->GetPos();
  const long y = std::lround((pos.top + pos.bottom) / 2 * GetParam().scale);
  long filled = 0;
  for (long x = 0; x < width; ++x) {
    const std::uint32_t p = At(x, y);
    if (p == 0xFF0000C0u) ++filled;
    ASSERT_TRUE(p == 0xFF0000C0u || p == 0xFFE0E0E0u || p == kWhite) << std::hex << p;
  }
  const double expected = std::clamp(GetParam().value, 0, GetParam().max) * Width(pos) *
                          GetParam().scale / GetParam().max;
  EXPECT_NEAR(filled, expected, GetParam().scale);  // within a unit
}

INSTANTIATE_TEST_SUITE_P(Values, ProgressFill,
                         ::testing::Values(ProgressCase{1.0, 1, 3}, ProgressCase{2.0, 1, 3},
                                           ProgressCase{2.0, 2, 3}, ProgressCase{1.5, 3, 5},
                                           ProgressCase{2.0, 0, 4}, ProgressCase{2.0, 9, 4},
                                           ProgressCase{1.25, 7, 8}));

TEST_F(ListTest, ProgressTextTakesTheForeTextColourOverTheFill) {
  auto* bar = window.GetPaintManager().FindControlAs<CProgressUI>(u"progress");
  bar->SetText(u"\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588");  // full blocks: solid ink
  bar->SetMaxValue(2);
  bar->SetValue(1);
  bar->SetTextColor(0xFF000000);
  Render();
  const RECT fill = bar->GetFillRect();
  const long y = (fill.top + fill.bottom) / 2;
  bool light = false;
  bool dark = false;
  for (long x = fill.left; x < bar->GetPos().right; ++x) {
    if (x < fill.right) light |= At(x, y) == kWhite;
    if (x >= fill.right) dark |= At(x, y) == 0xFF000000u;
  }
  EXPECT_TRUE(light);
  EXPECT_TRUE(dark);
}

}  // namespace
}  // namespace pinvale::ui
