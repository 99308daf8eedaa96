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

// Words of Latin, Cyrillic, Greek and CJK characters and kerning pairs, so that several
// faces take part and a font's remembered metrics are replaced many times over.
std::vector<std::u16string> ManyWords() {
  std::vector<std::u16string> words{u"AV", u"To", u"Wa", u"AVA", u"\u4F60\u597D", u"a\uFFFDb"};
  for (char16_t c = 0x21; c < 0x5000; c += 7) {
    words.push_back(std::u16string{c, static_cast<char16_t>(c + 1), u'A', u'V'});
  }
  return words;
}

TEST(FontMeasure, AWordMeasuresTheSameWhateverWasMeasuredBefore) {
  ASSERT_TRUE(ui::testing::InitHeadless());
  std::unique_ptr<sdl::SdlFont> forward = sdl::SdlFont::Open(Sans(14));
  std::unique_ptr<sdl::SdlFont> backward = sdl::SdlFont::Open(Sans(14));
  ASSERT_TRUE(forward && backward);
  const std::vector<std::u16string> words = ManyWords();
  std::vector<long> widths;
  for (const std::u16string& w : words) widths.push_back(forward->Measure(w).cx);
  for (size_t i = words.size(); i-- > 0;) {
    EXPECT_EQ(backward->Measure(words[i]).cx, widths[i]) << "word #" << i;
  }
  for (size_t i = 0; i < words.size(); i += 97) {
    EXPECT_EQ(forward->Measure(words[i]).cx, widths[i]) << "word #" << i << " again";
  }
  // A lone half of a surrogate pair is drawn, and so measured, as U+FFFD.
  EXPECT_EQ(forward
                ->Measure(u"a\xD800"
                          u"b")
                .cx,
            forward->Measure(u"a\uFFFDb").cx);
}

// A line whose start lies left of the clip (a long line in a narrow label): what shows of it
// stands where it stands when the whole line is drawn.
TEST(FontDraw, TextStartingOutsideTheClipShowsItsVisiblePartInPlace) {
  ASSERT_TRUE(ui::testing::InitHeadless());
  std::shared_ptr<IFont> font = Backend()->OpenFont(Sans(16));
  ASSERT_NE(font, nullptr);
  const std::u16string hidden = u"Hidden part of the line ";
  const std::u16string text = hidden + u"\u4F60\u597D shown";
  const int shift = static_cast<int>(font->Measure(hidden).cx) + 40;
  const SIZE whole = font->Measure(text);
  const int width = static_cast<int>(whole.cx) - shift + 20;
  const int height = static_cast<int>(whole.cy) + 8;
  ASSERT_GT(width, 40);

  std::unique_ptr<IRenderTarget> wide = Backend()->CreateOffscreen(shift + width, height);
  std::unique_ptr<IRenderTarget> narrow = Backend()->CreateOffscreen(width, height);
  for (IRenderTarget* t : {wide.get(), narrow.get()}) {
    const SIZE size = t->Size();
    t->FillRect(RECT{0, 0, size.cx, size.cy}, 0xFFFFFFFF);
  }
  wide->DrawTextRun(*font, 0, 4, text, 0xFF000000);
  narrow->DrawTextRun(*font, -shift, 4, text, 0xFF000000);

  const std::vector<std::uint32_t> w = wide->ReadPixels();
  const std::vector<std::uint32_t> n = narrow->ReadPixels();
  int inked = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t expected = w[static_cast<size_t>(y * (shift + width) + shift + x)];
      ASSERT_EQ(n[static_cast<size_t>(y * width + x)], expected) << "at " << x << "," << y;
      inked += expected != 0xFFFFFFFF;
    }
  }
  EXPECT_GT(inked, 50);
}

}  // namespace
}  // namespace pinvale::ui
