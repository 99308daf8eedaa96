// A break (0xFF) ends an indefinite-length item and nothing else. Anywhere else it is
// malformed, and taking it for the end of a definite container would frame an answer
// at the wrong length: walks and lookups refuse it.
#include <gtest/gtest.h>

#include "cbor/cbor_walk.h"
#include "cbor_bytes.h"

namespace pinvale {
namespace {

using test::Bytes;
using test::offsetIn;
using test::viewOf;

struct BreakCase {
  const char* name;
  Bytes bytes;
  long itemLength;  // what one walk over the first item covers; -1: refused
};

void PrintTo(const BreakCase& c, std::ostream* os) {
  *os << c.name;
}

class BreakWalkTest : public testing::TestWithParam<BreakCase> {};

TEST_P(BreakWalkTest, WalkAndNextItemAgree) {
  const BreakCase& c = GetParam();
  uint32_t offset = 0;
  CborOpenContainers open;
  const bool walked =
      skipCborItem(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), offset, open);
  ASSERT_EQ(walked, c.itemLength >= 0);
  if (walked) {
    EXPECT_EQ(offset, static_cast<uint32_t>(c.itemLength));
  }
  CborItem after;
  ASSERT_EQ(viewOf(c.bytes).nextItem(after), c.itemLength >= 0);
  if (c.itemLength >= 0) {
    EXPECT_EQ(offsetIn(c.bytes, after), c.itemLength);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Refused, BreakWalkTest,
    testing::Values(BreakCase{"topLevel", {0xFF}, -1},
                    BreakCase{"topLevelBeforeItem", {0xFF, 0x01}, -1},
                    BreakCase{"firstOfDefiniteArray", {0x82, 0xFF, 0x01}, -1},
                    BreakCase{"lastOfDefiniteArray", {0x82, 0x01, 0xFF}, -1},
                    BreakCase{"keyOfDefiniteMap", {0xA1, 0xFF, 0x01}, -1},
                    BreakCase{"valueOfDefiniteMap", {0xA1, 0x01, 0xFF}, -1},
                    BreakCase{"definiteArrayInIndefinite", {0x9F, 0x82, 0x01, 0xFF, 0xFF}, -1},
                    BreakCase{"definiteMapInIndefinite", {0xBF, 0x01, 0xA1, 0xFF, 0xFF}, -1},
                    BreakCase{
                        "deepDefiniteInIndefinite", {0x9F, 0x81, 0x81, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
                    BreakCase{"definiteInIndefiniteString", {0x5F, 0x81, 0xFF, 0xFF}, -1},
                    BreakCase{"valueOfIndefiniteMap", {0xBF, 0x01, 0xFF}, -1},
                    BreakCase{"oddIndefiniteMap", {0xBF, 0x01, 0x02, 0x03, 0xFF}, -1},
                    BreakCase{"tagged", {0x9F, 0xC1, 0xFF, 0xFF}, -1},
                    BreakCase{"taggedWithTag255", {0x9F, 0xD8, 0xFF, 0xFF, 0xFF}, -1},
                    BreakCase{"afterTwoTags", {0x9F, 0xC1, 0xC2, 0xFF, 0xFF}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Accepted, BreakWalkTest,
    testing::Values(BreakCase{"indefiniteArray", {0x9F, 0x01, 0xFF}, 3},
                    BreakCase{"emptyIndefiniteArray", {0x9F, 0xFF}, 2},
                    BreakCase{"indefiniteMap", {0xBF, 0x01, 0x02, 0xFF}, 4},
                    BreakCase{"chunkedBytes", {0x5F, 0x41, 0x01, 0x40, 0xFF}, 5},
                    BreakCase{"chunkedText", {0x7F, 0x61, 'a', 0xFF}, 4},
                    BreakCase{"definiteInsideIndefinite", {0x9F, 0x82, 0x01, 0x02, 0xFF}, 5},
                    BreakCase{"indefiniteInsideDefinite", {0x82, 0x9F, 0xFF, 0x01}, 4},
                    BreakCase{"nestedIndefinite", {0x9F, 0x9F, 0xFF, 0xBF, 0xFF, 0xFF}, 6},
                    BreakCase{"taggedIndefiniteArray", {0xC1, 0x9F, 0x01, 0xFF}, 4},
                    BreakCase{"breakByteAsContent", {0x82, 0x41, 0xFF, 0x01}, 4},
                    BreakCase{"emptyDefiniteInIndefinite", {0x9F, 0x80, 0xA0, 0xFF}, 4},
                    BreakCase{"afterDefiniteArrayEnds", {0x9F, 0x81, 0x01, 0xFF}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

struct BreakLookup {
  const char* name;
  Bytes bytes;
  int32_t key;
  long expectedOffset;  // -1: the empty view
};

void PrintTo(const BreakLookup& c, std::ostream* os) {
  *os << c.name;
}

class BreakLookupTest : public testing::TestWithParam<BreakLookup> {};

TEST_P(BreakLookupTest, IntAndTextLookupsAgree) {
  const BreakLookup& c = GetParam();
  EXPECT_EQ(offsetIn(c.bytes, viewOf(c.bytes).mapValueByInt(c.key)), c.expectedOffset);
  // The same map with the integer key 1 spelt as the text key "a": 0x61 'a' instead of
  // 0x01, everything after it one byte further on.
  Bytes textual;
  bool replaced = false;
  for (size_t i = 0; i < c.bytes.size(); ++i) {
    if (!replaced && i > 0 && c.bytes[i] == 0x01) {
      textual.insert(textual.end(), {0x61, 'a'});
      replaced = true;
    } else {
      textual.push_back(c.bytes[i]);
    }
  }
  ASSERT_TRUE(replaced);
  const long textOffset = c.expectedOffset < 0 ? -1 : c.expectedOffset + 1;
  EXPECT_EQ(offsetIn(textual, viewOf(textual).mapValueByText("a", 1)), textOffset);
}

// Each map holds the key 1 once (the first 0x01 after the map's head).
INSTANTIATE_TEST_SUITE_P(
    Lookups, BreakLookupTest,
    testing::Values(
        BreakLookup{"valueIsBreak", {0xA1, 0x01, 0xFF}, 1, -1},
        BreakLookup{"valueIsBreakInIndefiniteMap", {0xBF, 0x01, 0xFF, 0xFF}, 1, -1},
        BreakLookup{"valueIsTaggedBreak", {0xA1, 0x01, 0xC1, 0xFF}, 1, -1},
        BreakLookup{"breakInEarlierValue", {0xA2, 0x02, 0x82, 0xFF, 0x00, 0x01, 0x05}, 1, -1},
        BreakLookup{"breakInEarlierValueOfIndefinite",
                    {0xBF, 0x02, 0x81, 0xFF, 0xFF, 0x01, 0x05, 0xFF},
                    1,
                    -1},
        BreakLookup{"breakAsEarlierKey", {0xA2, 0xFF, 0x00, 0x01, 0x05}, 1, -1},
        BreakLookup{"indefiniteValueBefore", {0xA2, 0x02, 0x9F, 0xFF, 0x01, 0x05}, 1, 5},
        BreakLookup{"indefiniteMapFound", {0xBF, 0x02, 0x03, 0x01, 0x05, 0xFF}, 1, 4},
        BreakLookup{"breakInLaterValueNotReached", {0xA2, 0x01, 0x05, 0x02, 0xFF}, 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale
