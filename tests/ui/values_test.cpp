// Attribute values, image descriptors, mark-up and text layout.

#include <gtest/gtest.h>

#include "fake_measurer.h"
#include "ui/attribute_values.h"
#include "ui/image_drawing.h"
#include "ui/text_markup.h"
#include "ui/ui_text.h"

namespace pinvale::ui {
namespace {

using test::FakeMeasurer;

TEST(Colour, ReadsWithAndWithoutHash) {
  EXPECT_EQ(ParseColor(u"#FF1883D7"), 0xFF1883D7u);
  EXPECT_EQ(ParseColor(u"FF1883D7"), 0xFF1883D7u);
  EXPECT_EQ(ParseColor(u"#ff0168b7"), 0xFF0168B7u);
  EXPECT_EQ(ParseColor(u" #00000000 "), 0x00000000u);
  EXPECT_EQ(ParseColor(u"#1883D7"), 0xFF1883D7u);  // six digits: opaque
}

TEST(Colour, RejectsWhatIsNotAColour) {
  EXPECT_FALSE(ParseColor(u""));
  EXPECT_FALSE(ParseColor(u"#"));
  EXPECT_FALSE(ParseColor(u"#FF1883D"));
  EXPECT_FALSE(ParseColor(u"#GG1883D7"));
  EXPECT_FALSE(ParseColor(u"#FF1883D700"));
}

TEST(Values, RectanglesSizesAndBooleans) {
  EXPECT_EQ(ParseRect(u"1,2,3,4"), (RECT{1, 2, 3, 4}));
  EXPECT_EQ(ParseRect(u"-60, 0, -12,36"), (RECT{-60, 0, -12, 36}));
  EXPECT_EQ(ParseRect(u"5"), (RECT{5, 0, 0, 0}));
  EXPECT_EQ(ParseSize(u"450,450"), (SIZE{450, 450}));
  EXPECT_TRUE(ParseBool(u"true"));
  EXPECT_TRUE(ParseBool(u"TRUE"));
  EXPECT_FALSE(ParseBool(u"false"));
  EXPECT_FALSE(ParseBool(u"1"));
}

TEST(ImageDescriptor, BareNameAndPaddedFileKeyDrawTheWholeImage) {
  for (std::u16string_view value : {u"Close_Active.png", u" file='Close_Active.png' "}) {
    const auto images = ParseImageDescriptor(value);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].file, u"Close_Active.png");
    EXPECT_FALSE(images[0].source);
    EXPECT_FALSE(images[0].dest);
    const ResolvedImage r = ResolveImage(RECT{10, 20, 58, 52}, images[0], 16, 16);
    EXPECT_EQ(r.source, (RECT{0, 0, 16, 16}));
    EXPECT_EQ(r.dest, (RECT{10, 20, 58, 52}));
  }
}

TEST(ImageDescriptor, SourceSelectsOneCell) {
  const auto images = ParseImageDescriptor(u"file='scroll.png' source='0,16,16,32'");
  ASSERT_EQ(images.size(), 1u);
  const ResolvedImage r = ResolveImage(RECT{0, 0, 16, 16}, images[0], 16, 64);
  EXPECT_EQ(r.source, (RECT{0, 16, 16, 32}));
}

TEST(ImageDescriptor, AllKeysAndBlanksAroundEquals) {
  const auto images = ParseImageDescriptor(
      u"file = 'a.png'  source='0,0,16,16' corner='2,3,4,5' mask='#FFFF00FF' dest='4,4,20,20' "
      u"fade='128' hole='true' xtiled='true'");
  ASSERT_EQ(images.size(), 1u);
  const ImageDescriptor& d = images[0];
  EXPECT_EQ(d.file, u"a.png");
  EXPECT_EQ(d.corner, (RECT{2, 3, 4, 5}));
  EXPECT_EQ(d.mask, 0xFFFF00FFu);
  EXPECT_EQ(d.fade, 128);
  EXPECT_TRUE(d.hole);
  EXPECT_TRUE(d.xtiled);
  EXPECT_FALSE(d.ytiled);
  // dest is relative to the control and cut to it.
  const ResolvedImage r = ResolveImage(RECT{100, 100, 110, 130}, d, 16, 16);
  EXPECT_EQ(r.dest, (RECT{104, 104, 110, 120}));
}

TEST(ImageDescriptor, MaskWithoutHashAndAFurtherFileStartsANewImage) {
  const auto images = ParseImageDescriptor(u"file='a.png' mask='FFFF00FF' file='b.png'");
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].file, u"a.png");
  EXPECT_EQ(images[0].mask, 0xFFFF00FFu);
  EXPECT_EQ(images[1].file, u"b.png");
  EXPECT_FALSE(images[1].mask);
}

TEST(ImageDescriptor, EmptyValueDrawsNothing) {
  EXPECT_TRUE(ParseImageDescriptor(u"").empty());
  EXPECT_TRUE(ParseImageDescriptor(u"   ").empty());
}

TEST(Markup, StylesColoursAndLinks) {
  std::vector<std::u16string> links;
  const auto runs =
      ParseMarkup(u"a{b}b{/b}{i}c{/i}{c #FFFF0000}d{/c}{a http://x}e{/a}{n}f{{g", 0, &links);
  ASSERT_EQ(runs.size(), 6u);
  EXPECT_EQ(runs[0].text, u"a");
  EXPECT_TRUE(runs[1].style.bold);
  EXPECT_TRUE(runs[2].style.italic);
  EXPECT_EQ(runs[3].style.color, 0xFFFF0000u);
  EXPECT_EQ(runs[4].style.link, 0);
  EXPECT_EQ(runs[5].text, u"\nf{g");
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0], u"http://x");
}

TEST(Markup, UnknownAndUnterminatedTagsStayAsText) {
  const auto runs = ParseMarkup(u"x{zz}y{b", 0, nullptr);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, u"x{zz}y{b");
}

TEST(TextLayout, WrapsAtBlanksAndHonoursLineBreaks) {
  FakeMeasurer m;
  const TextLayout layout =
      LayoutText(PlainRuns(u"aaaa bbbb cccc\ndd", -1), RECT{0, 0, 70, 100}, DT_WORDBREAK, m);
  ASSERT_EQ(layout.runs.size(), 3u);
  EXPECT_EQ(layout.runs[0].text, u"aaaa bbbb");
  EXPECT_EQ(layout.runs[1].text, u"cccc");
  EXPECT_EQ(layout.runs[1].rect.top, 16);
  EXPECT_EQ(layout.runs[2].text, u"dd");
  EXPECT_EQ(layout.extent, (SIZE{63, 48}));
}

TEST(TextLayout, SingleLineCentresBothWays) {
  FakeMeasurer m;
  const TextLayout layout = LayoutText(PlainRuns(u"ab\ncd", -1), RECT{0, 0, 100, 40},
                                       DT_SINGLELINE | DT_CENTER | DT_VCENTER, m);
  ASSERT_EQ(layout.runs.size(), 1u);
  EXPECT_EQ(layout.runs[0].text, u"ab cd");
  EXPECT_EQ(layout.runs[0].rect, (RECT{32, 12, 67, 28}));
}

TEST(TextLayout, RightAlignment) {
  FakeMeasurer m;
  const TextLayout layout =
      LayoutText(PlainRuns(u"abc", -1), RECT{0, 0, 100, 16}, DT_SINGLELINE | DT_RIGHT, m);
  EXPECT_EQ(layout.runs[0].rect.right, 100);
}

TEST(Utf, NonBmpCharactersBecomeSurrogatePairs) {
  const std::u16string text = Utf8ToUtf16("a\xF0\x9F\x98\x80\xE4\xB8\xAD");
  ASSERT_EQ(text.size(), 4u);
  EXPECT_TRUE(IsHighSurrogate(text[1]));
  EXPECT_TRUE(IsLowSurrogate(text[2]));
  EXPECT_EQ(Utf16ToUtf8(text), "a\xF0\x9F\x98\x80\xE4\xB8\xAD");
}

TEST(Utf, InvalidInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), std::u16string(u"\uFFFD\uFFFD"));            // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), std::u16string(u"\uFFFD\uFFFD\uFFFD"));  // surrogate
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), std::u16string(u"\uFFFD\uFFFD"));            // cut short
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace pinvale::ui
