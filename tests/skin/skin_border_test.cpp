// Borders at fractional scales: every edge of a rectangle is rounded on its own, so a border
// drawn as four rectangles came out one pixel on some sides and two on others at 1.25 and
// 1.75, depending on where each edge fell. The thickness is now rounded once per border.

#include <string>
#include <vector>

#include "skin_window.h"

namespace pinvale::skin_test {
namespace {

using ui::ScaleFactor;

struct BorderCase {
  const char16_t* layout;
  double factor;
};

void PrintTo(const BorderCase& c, std::ostream* os) {
  *os << ui::Utf16ToUtf8(c.layout) << " at " << c.factor;
}

// How many pixels from `from` inward (step dx, dy) have the border's colour.
int Thickness(const std::vector<std::uint32_t>& pixels, int width, POINT from, int dx, int dy,
              std::uint32_t colour) {
  int n = 0;
  for (long x = from.x, y = from.y; n < 8; x += dx, y += dy, ++n) {
    if (pixels[static_cast<std::size_t>(y * width + x)] != colour) break;
  }
  return n;
}

class EditBorder : public SkinWindowTest, public ::testing::WithParamInterface<BorderCase> {};

TEST_P(EditBorder, IsEquallyThickOnAllFourSides) {
  auto window = Open(GetParam().layout);
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  ui::testing::SetScale(hwnd, GetParam().factor);
  int width = 0;
  int height = 0;
  const std::vector<std::uint32_t> pixels = ui::testing::RenderWindowPixels(hwnd, &width, &height);
  ui::CPaintManagerUI& pm = window->GetPaintManager();
  const ScaleFactor scale = pm.GetScale();
  const int expected = static_cast<int>(scale.LineWidth(1));
  int edits = 0;
  pm.GetRoot()->ForEach([&](ui::CControlUI& c) {
    if (!c.IsVisible() || c.GetClass() != u"Edit" || c.GetBorderSize() != 1) return;
    ++edits;
    const RECT r = scale.ToPixels(c.GetPos());
    const std::uint32_t colour = c.GetBorderColor();
    const long midX = (r.left + r.right) / 2;
    const long midY = (r.top + r.bottom) / 2;
    const std::string name = ui::Utf16ToUtf8(c.GetName());
    EXPECT_EQ(Thickness(pixels, width, POINT{midX, r.top}, 0, 1, colour), expected)
        << name << " top";
    EXPECT_EQ(Thickness(pixels, width, POINT{midX, r.bottom - 1}, 0, -1, colour), expected)
        << name << " bottom";
    EXPECT_EQ(Thickness(pixels, width, POINT{r.left, midY}, 1, 0, colour), expected)
        << name << " left";
    EXPECT_EQ(Thickness(pixels, width, POINT{r.right - 1, midY}, -1, 0, colour), expected)
        << name << " right";
  });
  EXPECT_GT(edits, 0);
}

std::vector<BorderCase> Cases() {
  std::vector<BorderCase> cases;
  for (const char16_t* layout : {u"verifyPIN.xml", u"SetPIN.xml", u"ChangePIN.xml"}) {
    for (double factor : {1.0, 1.25, 1.5, 1.75, 2.0}) cases.push_back({layout, factor});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EditsAtEveryScale, EditBorder, ::testing::ValuesIn(Cases()));

}  // namespace
}  // namespace pinvale::skin_test
