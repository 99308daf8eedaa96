#include "ctap/pin_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pinvale {
namespace {

TEST(CheckPinLength, CountsUtf16UnitsFrom4To63) {
  EXPECT_EQ(CheckPinLength(u""), PinLengthCheck::kEmpty);
  EXPECT_EQ(CheckPinLength(u"123"), PinLengthCheck::kTooShort);
  EXPECT_EQ(CheckPinLength(u"1234"), PinLengthCheck::kOk);
  EXPECT_EQ(CheckPinLength(std::u16string(63, u'x')), PinLengthCheck::kOk);
  EXPECT_EQ(CheckPinLength(std::u16string(64, u'x')), PinLengthCheck::kTooLong);
  // Two emoji are four units, as the edit control counts them.
  EXPECT_EQ(CheckPinLength(u"\U0001F600\U0001F600"), PinLengthCheck::kOk);
}

struct Utf8Case {
  std::u16string text;
  std::vector<std::uint8_t> utf8;
};

class PinToUtf8Valid : public testing::TestWithParam<Utf8Case> {};

TEST_P(PinToUtf8Valid, EncodesAndCountsBack) {
  SecretBytes out;
  ASSERT_TRUE(PinToUtf8(GetParam().text, out));
  EXPECT_EQ(std::vector<std::uint8_t>(out.data(), out.data() + out.size()), GetParam().utf8);
  std::size_t units = 0;
  ASSERT_TRUE(CountUtf16Units(out, units));
  EXPECT_EQ(units, GetParam().text.size());
}

INSTANTIATE_TEST_SUITE_P(Texts, PinToUtf8Valid,
                         testing::Values(Utf8Case{u"1234", {'1', '2', '3', '4'}},
                                         Utf8Case{u"\u00e9t\u00e9", {0xC3, 0xA9, 't', 0xC3, 0xA9}},
                                         Utf8Case{u"\u20ac\u4e2d",
                                                  {0xE2, 0x82, 0xAC, 0xE4, 0xB8, 0xAD}},
                                         Utf8Case{u"\uffff", {0xEF, 0xBF, 0xBF}},
                                         Utf8Case{u"\U0001F600", {0xF0, 0x9F, 0x98, 0x80}},
                                         Utf8Case{u"\U0010FFFF", {0xF4, 0x8F, 0xBF, 0xBF}}));

TEST(PinToUtf8, RefusesLoneSurrogatesAndLeavesNothingBehind) {
  for (const std::u16string& text :
       {std::u16string(u"ab") + char16_t(0xD83D), std::u16string(1, char16_t(0xDE00)) + u"ab",
        std::u16string{char16_t(0xDE00), char16_t(0xD83D)},
        std::u16string{u'a', char16_t(0xD83D), u'b', u'c'}}) {
    SecretBytes out;
    EXPECT_FALSE(PinToUtf8(text, out));
    EXPECT_TRUE(out.empty());
  }
}

TEST(CountUtf16Units, RefusesMalformedUtf8) {
  const std::vector<std::vector<std::uint8_t>> bad = {
      {0x80},                    // continuation without a lead
      {0xC0, 0x80},              // overlong NUL
      {0xE0, 0x80, 0x80},        // overlong
      {0xED, 0xA0, 0x80},        // a surrogate
      {0xF4, 0x90, 0x80, 0x80},  // past U+10FFFF
      {0xE2, 0x82},              // cut short
      {'a', 0xFF},
  };
  for (const auto& bytes : bad) {
    std::size_t units = 0;
    EXPECT_FALSE(CountUtf16Units(bytes, units)) << int(bytes[0]);
  }
}

TEST(SecretBytes, ReserveKeepsContentAndAppendNeverReallocates) {
  SecretBytes bytes;
  bytes.Reserve(2);
  EXPECT_TRUE(bytes.Append(1));
  EXPECT_TRUE(bytes.Append(2));
  EXPECT_FALSE(bytes.Append(3));
  bytes.Reserve(8);
  EXPECT_TRUE(bytes.Append(3));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.data(), bytes.data() + bytes.size()),
            (std::vector<std::uint8_t>{1, 2, 3}));
  bytes.Clear();
  EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace pinvale
