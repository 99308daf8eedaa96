#include <gtest/gtest.h>

#include "cbor/cbor_head.h"
#include "cbor_bytes.h"

namespace pinvale {
namespace {

using test::Bytes;

struct HeadCase {
  const char* name;
  Bytes bytes;
  uint32_t tag;
  uint8_t majorType;
  uint8_t additionalInfo;
  uint8_t headLength;
  uint32_t argument;
};

void PrintTo(const HeadCase& c, std::ostream* os) {
  *os << c.name;
}

class DecodeHeadTest : public testing::TestWithParam<HeadCase> {};

TEST_P(DecodeHeadTest, DecodesWithinAvailableBytes) {
  const HeadCase& c = GetParam();
  const CborHead h = decodeHead(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
  EXPECT_EQ(h.tag, c.tag);
  EXPECT_EQ(h.majorType, c.majorType);
  EXPECT_EQ(h.additionalInfo, c.additionalInfo);
  EXPECT_EQ(h.headLength, c.headLength);
  EXPECT_EQ(h.argument, c.argument);
  EXPECT_EQ(isWellFormed(h), c.headLength != 0);
}

constexpr uint32_t kNo = CBOR_NO_TAG;

INSTANTIATE_TEST_SUITE_P(
    WellFormed, DecodeHeadTest,
    testing::Values(HeadCase{"oneByte", {0x17}, kNo, 0, 23, 1, 23},
                    HeadCase{"twoBytes", {0x18, 0x18}, kNo, 0, 24, 2, 24},
                    HeadCase{"threeBytes", {0x19, 0x01, 0x00}, kNo, 0, 25, 3, 256},
                    HeadCase{"fiveBytes", {0x1A, 0x00, 0x01, 0x00, 0x00}, kNo, 0, 26, 5, 65536},
                    HeadCase{
                        "maxArgument", {0x1A, 0xFF, 0xFF, 0xFF, 0xFF}, kNo, 0, 26, 5, 0xFFFFFFFF},
                    HeadCase{"minusOne", {0x20}, kNo, 1, 0, 1, 0},
                    HeadCase{"minusTwentyFive", {0x38, 0x18}, kNo, 1, 24, 2, 24},
                    HeadCase{"taggedBytes", {0xD8, 0x18, 0x42, 0x01, 0x02}, 24, 2, 2, 3, 2},
                    HeadCase{"twoTags", {0xD8, 0x18, 0xD8, 0x19, 0x01}, 24, 6, 24, 4, 25},
                    HeadCase{"indefiniteBytes", {0x5F}, kNo, 2, 31, 1, 31},
                    HeadCase{"indefiniteMap", {0xBF}, kNo, 5, 31, 1, 31},
                    HeadCase{"break", {0xFF}, kNo, 7, 31, 1, 31},
                    HeadCase{"halfFloat", {0xF9, 0x3C, 0x00}, kNo, 7, 25, 3, 0x3C00},
                    HeadCase{"nullByte", {0xF6}, kNo, 7, 22, 1, 22}),
    [](const auto& info) { return std::string(info.param.name); });

// Malformed heads keep the initial byte's type and info but have no length or argument.
INSTANTIATE_TEST_SUITE_P(
    Malformed, DecodeHeadTest,
    testing::Values(HeadCase{"nothing", {}, kNo, 7, 22, 0, 0},
                    HeadCase{"truncated24", {0x18}, kNo, 0, 24, 0, 0},
                    HeadCase{"truncated25", {0x19, 0x01}, kNo, 0, 25, 0, 0},
                    HeadCase{"truncated26", {0x5A, 0x00, 0x00, 0x01}, kNo, 2, 26, 0, 0},
                    HeadCase{"eightByteArgument", {0x1B, 0, 0, 0, 0, 0, 0, 0, 1}, kNo, 0, 27, 0, 0},
                    HeadCase{"reserved28", {0x1C, 0, 0, 0, 0, 0, 0, 0, 0}, kNo, 0, 28, 0, 0},
                    HeadCase{"reserved29", {0x3D}, kNo, 1, 29, 0, 0},
                    HeadCase{"reserved30", {0x5E}, kNo, 2, 30, 0, 0},
                    HeadCase{"doubleFloat", {0xFB, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, kNo, 7, 27, 0, 0},
                    HeadCase{"indefiniteUnsigned", {0x1F}, kNo, 0, 31, 0, 0},
                    HeadCase{"indefiniteNegative", {0x3F}, kNo, 1, 31, 0, 0},
                    HeadCase{"indefiniteTag", {0xDF, 0x01}, kNo, 6, 31, 0, 0},
                    HeadCase{"truncatedTag", {0xD8}, kNo, 6, 24, 0, 0},
                    HeadCase{"tagWithNothingAfter", {0xD8, 0x18}, 24, 7, 22, 0, 0},
                    HeadCase{"tagOnTruncatedHead", {0xD8, 0x18, 0x19, 0x01}, 24, 0, 25, 0, 0},
                    HeadCase{"tagOnReservedHead", {0xC1, 0x1C}, 1, 0, 28, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeHead, NullPointerReadsAsNull) {
  const CborHead h = decodeHead(nullptr, 100);
  EXPECT_EQ(h.tag, CBOR_NO_TAG);
  EXPECT_EQ(h.majorType, 7);
  EXPECT_EQ(h.additionalInfo, 22);
  EXPECT_EQ(h.headLength, 0);
  EXPECT_FALSE(isWellFormed(h));
}

TEST(DecodeHead, AvailableLengthLimitsTheReadNotTheBuffer) {
  // The buffer holds a complete head, but the view says only one byte belongs to it.
  const Bytes bytes{0x19, 0x01, 0x00};
  EXPECT_FALSE(isWellFormed(decodeHead(bytes.data(), 1)));
  EXPECT_FALSE(isWellFormed(decodeHead(bytes.data(), 2)));
  EXPECT_EQ(decodeHead(bytes.data(), 3).argument, 256u);
}

}  // namespace
}  // namespace pinvale
