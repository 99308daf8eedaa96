// Fonts as text is measured and drawn: the same answers however often and in whatever order
// characters are measured, and text cut by the clip drawn where it would stand uncut.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/native_window.h"
#include "ui/sdl/sdl_font.h"
#include "ui/ui_testing.h"

namespace pinvale::ui {
namespace {

FontSpec Sans(int size) {
  FontSpec spec;
  spec.family = "DejaVu Sans";
  spec.size = size;
  return spec;
}

// Words of Latin, Cyrillic, Greek and CJK characters and kerning pairs, enough that a
// font's remembered metrics are replaced many times over: measured in the opposite order by
// a second font, each word must come out the same.
TEST(FontMeasure, AWordMeasuresTheSameWhateverWasMeasuredBefore) {
  ASSERT_TRUE(ui::testing::InitHeadless());
  std::unique_ptr<sdl::SdlFont> forward = sdl::SdlFont::Open(Sans(14));
  std::unique_ptr<sdl::SdlFont> backward = sdl::SdlFont::Open(Sans(14));
  ASSERT_TRUE(forward && backward);
  std::vector<std::u16string> words{u"AV", u"To", u"AVA", u"\u4F60\u597D"};
  for (char16_t c = 0x21; c < 0x5000; c += 7) words.push_back({c, char16_t(c + 1), u'A', u'V'});
  std::vector<long> widths;
  for (const std::u16string& w : words) widths.push_back(forward->Measure(w).cx);
  for (size_t i = words.size(); i-- > 0;) {
    EXPECT_EQ(backward->Measure(words[i]).cx, widths[i]) << "word #" << i;
  }
  // A lone half of a surrogate pair is drawn, and so measured, as U+FFFD.
  const std::u16string lone{u'a', char16_t{0xD800}, u'b'};
  EXPECT_EQ(forward->Measure(lone).cx, forward->Measure(u"a\uFFFDb").cx);
}

// A line cut by the clip (a long line in a narrow label): what shows of it stands where it
// stands when the whole line is drawn.
struct CutLine {
  const char* name;
  std::u16string before;  // left of the clip
  std::u16string seen;
  std::u16string after;  // right of the clip
};
void PrintTo(const CutLine& c, std::ostream* os) {
  *os << c.name;
}

class FontDraw : public ::testing::TestWithParam<CutLine> {};

TEST_P(FontDraw, APartlyHiddenLineShowsItsVisiblePartInPlace) {
  ASSERT_TRUE(ui::testing::InitHeadless());
  const CutLine& c = GetParam();
  std::shared_ptr<IFont> font = Backend()->OpenFont(Sans(16));
  ASSERT_NE(font, nullptr);
  const std::u16string text = c.before + c.seen + c.after;
  const int offset = static_cast<int>(font->Measure(c.before).cx);
  const int width = static_cast<int>(font->Measure(c.seen).cx);
  const int wideWidth = static_cast<int>(font->Measure(text).cx) + 10;
  const int height = static_cast<int>(font->Measure(text).cy) + 8;

  auto draw = [&](int targetWidth, int x) {
    std::unique_ptr<IRenderTarget> target = Backend()->CreateOffscreen(targetWidth, height);
    target->FillRect(RECT{0, 0, targetWidth, height}, 0xFFFFFFFF);
    target->DrawTextRun(*font, x, 4, text, 0xFF000000);
    return target->ReadPixels();
  };
  const std::vector<std::uint32_t> w = draw(wideWidth, 0);
  const std::vector<std::uint32_t> n = draw(width, -offset);
  int inked = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t expected = w[static_cast<size_t>(y * wideWidth + offset + x)];
      ASSERT_EQ(n[static_cast<size_t>(y * width + x)], expected) << "at " << x << "," << y;
      inked += expected != 0xFFFFFFFF;
    }
  }
  EXPECT_GT(inked, 50);
}

const std::u16string kLong = u"a long stretch of the line that no window shows ";

INSTANTIATE_TEST_SUITE_P(
    Lines, FontDraw,
    ::testing::Values(CutLine{"StartsLeftOfTheClip", kLong + kLong, u"\u4F60\u597D shown", u""},
                      CutLine{"RunsPastTheRightEdge", u"", u"shown \u4F60\u597D", kLong + kLong},
                      CutLine{"Both", kLong, u"Shown in the middle", kLong}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::ui
