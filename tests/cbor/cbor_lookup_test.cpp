#include <gtest/gtest.h>

#include <cstring>

#include "cbor/cbor_writer.h"
#include "cbor_bytes.h"

namespace pinvale {
namespace {

using test::Bytes;
using test::concat;
using test::offsetIn;
using test::viewOf;

struct IntLookup {
  const char* name;
  Bytes bytes;
  int32_t key;
  long expectedOffset;  // -1: the empty view
};

void PrintTo(const IntLookup& c, std::ostream* os) {
  *os << c.name;
}

class MapValueByIntTest : public testing::TestWithParam<IntLookup> {};

TEST_P(MapValueByIntTest, FindsTopLevelValueOrGivesEmptyView) {
  const IntLookup& c = GetParam();
  const CborItem found = viewOf(c.bytes).mapValueByInt(c.key);
  EXPECT_EQ(offsetIn(c.bytes, found), c.expectedOffset);
  if (c.expectedOffset >= 0) {
    EXPECT_EQ(found.length(), c.bytes.size() - c.expectedOffset);
  } else {
    EXPECT_EQ(found.length(), 0u);
  }
}

Bytes coseKey() {
  Bytes b{0xA5, 0x01, 0x02, 0x03, 0x38, 0x18, 0x20, 0x01, 0x21, 0x58, 0x20};
  b.resize(b.size() + 32, 0x11);
  return concat(concat(b, {0x22, 0x58, 0x20}), Bytes(32, 0x22));
}

INSTANTIATE_TEST_SUITE_P(
    Definite, MapValueByIntTest,
    testing::Values(
        IntLookup{"negativeKeyInCoseKey", coseKey(), -1, 7},
        IntLookup{"lastMemberOfCoseKey", coseKey(), -3, 44},
        IntLookup{"nestedKeyIsNotCompared", {0xA2, 0x01, 0xA1, 0x03, 0x05, 0x03, 0x07}, 3, 6},
        IntLookup{"valueIsNeverCompared", {0xA2, 0x01, 0x05, 0x02, 0x06}, 5, -1},
        IntLookup{"firstMatchWins", {0xA2, 0x01, 0x05, 0x01, 0x06}, 1, 2},
        IntLookup{"containerKeySkippedWhole", {0xA2, 0x81, 0x01, 0x02, 0x01, 0x03}, 1, 5},
        IntLookup{"taggedKeyReadThrough", {0xA1, 0xC1, 0x01, 0x05}, 1, 3},
        IntLookup{"taggedMap", {0xD8, 0x18, 0xA1, 0x01, 0x02}, 1, 4},
        IntLookup{"bigKey", {0xA1, 0x1A, 0x00, 0x01, 0x00, 0x00, 0xF5}, 65536, 6},
        IntLookup{"textKeyIsNotAnInt", {0xA2, 0x61, 0x01, 0x05, 0x01, 0x06}, 1, 5},
        IntLookup{"notAMap", {0x82, 0x01, 0x02}, 1, -1},
        IntLookup{"emptyMap", {0xA0, 0x01, 0x02}, 1, -1}, IntLookup{"loneByte", {0x00}, 0, -1},
        IntLookup{"emptyBuffer", {}, 0, -1},
        IntLookup{"countStopsTheWalk", {0xA1, 0x01, 0x02, 0x03, 0x04}, 3, -1}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Indefinite, MapValueByIntTest,
    testing::Values(
        IntLookup{"found", {0xBF, 0x01, 0x02, 0xFF}, 1, 2},
        IntLookup{"endsAtBreak", {0xBF, 0x01, 0x02, 0xFF, 0x03, 0x04}, 3, -1},
        IntLookup{
            "afterIndefiniteValue", {0xBF, 0x01, 0x9F, 0x01, 0x02, 0xFF, 0x02, 0x05, 0xFF}, 2, 7},
        IntLookup{"afterIndefiniteTextKey", {0xA2, 0x7F, 0x61, 'a', 0xFF, 0x01, 0x02, 0x03}, 2, 7},
        IntLookup{
            "afterChunkedBytesValue", {0xA2, 0x01, 0x5F, 0x41, 0x02, 0x40, 0xFF, 0x02, 0x06}, 2, 8},
        IntLookup{"noBreak", {0xBF, 0x01, 0x02}, 3, -1}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    TruncatedAndHostile, MapValueByIntTest,
    testing::Values(
        IntLookup{"bytesEndInsideMap", {0xA2, 0x01, 0x02}, 3, -1},
        IntLookup{"bytesEndInsideNestedMap", {0xA2, 0x01, 0xA2, 0x03}, 2, -1},
        IntLookup{"breakAtTopOfDefiniteMap", {0xA2, 0x01, 0xFF, 0x02, 0x03}, 2, -1},
        IntLookup{
            "stringRunsPastEnd", {0xA2, 0x01, 0x7A, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x03}, 2, -1},
        IntLookup{"maxPairs", {0xBA, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02}, 3, -1},
        IntLookup{"maxPairsFound", {0xBA, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02}, 1, 6},
        IntLookup{"hugeArrayValue", {0xA2, 0x01, 0x9A, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x03}, 2, -1},
        IntLookup{"truncatedHead", {0xA2, 0x01, 0x19, 0x01}, 2, -1},
        IntLookup{"eightByteValue", {0xA2, 0x01, 0x1B, 0, 0, 0, 0, 0, 0, 0, 9, 0x02, 0x03}, 2, -1},
        IntLookup{"reserved28", {0xA2, 0x01, 0x1C, 0x02, 0x03}, 2, -1},
        IntLookup{"reserved29", {0xA2, 0x01, 0x3D, 0x02, 0x03}, 2, -1},
        IntLookup{"reserved30", {0xA2, 0x01, 0xDE, 0x02, 0x03}, 2, -1},
        IntLookup{"indefiniteUnsigned", {0xA2, 0x1F, 0x01, 0x02, 0x03}, 31, -1},
        IntLookup{"reservedMapHead", {0xBC, 0x01, 0x02}, 1, -1},
        IntLookup{"foundKeyWithNothingAfter", {0xA2, 0x01, 0x02, 0x03}, 3, 4},
        IntLookup{"twoTagsOnValue",
                  {0xA2, 0x01, 0xD8, 0x18, 0xD8, 0x18, 0x42, 0x01, 0x02, 0x02, 0x07},
                  2,
                  10},
        IntLookup{"twoTagsOnKeyNeverMatch", {0xA2, 0xC1, 0xC1, 0x01, 0x05, 0x01, 0x06}, 1, 6},
        IntLookup{"tagOnNothing", {0xA2, 0x01, 0xC1}, 2, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MapValueByInt, FoundKeyWithNothingAfterReadsAsNull) {
  const Bytes bytes{0xA2, 0x01, 0x02, 0x03};
  const CborItem value = viewOf(bytes).mapValueByInt(3);
  EXPECT_EQ(value.length(), 0u);
  EXPECT_EQ(value.simpleValue(), 22);
  uint32_t u = 0;
  EXPECT_FALSE(value.getUnsigned(u));
}

TEST(MapValueByInt, DeepNestingEndsWithoutRecursion) {
  // 200000 nested arrays as a value, definite and indefinite: the walk's stack grows on
  // the heap and the walk ends when the bytes do.
  for (uint8_t opener : {uint8_t{0x81}, uint8_t{0x9F}}) {
    Bytes bytes{0xA2, 0x01};
    bytes.resize(bytes.size() + 200000, opener);
    bytes.insert(bytes.end(), {0x00, 0x02, 0x07});
    const long expected = opener == 0x81 ? static_cast<long>(bytes.size()) - 1 : -1;
    EXPECT_EQ(offsetIn(bytes, viewOf(bytes).mapValueByInt(2)), expected);
  }
}

Bytes optionsMap() {
  Bytes buffer(64, 0);
  CborWriter w(buffer.data(), static_cast<uint32_t>(buffer.size()));
  w.beginMap(6);
  w.putText("rk", 2).putBool(true);
  w.putText("up", 2).putBool(true);
  w.putText("uv", 2).putBool(false);
  w.putText("", 0).putBool(true);
  w.putText("plat", 4).putBool(false);
  w.putText("clientPin", 9).putBool(true);
  buffer.resize(w.length());
  return buffer;
}

TEST(MapValueByText, ReadsOptions) {
  const Bytes bytes = optionsMap();
  const CborItem options = viewOf(bytes);
  EXPECT_EQ(options.mapValueByText("clientPin", 9).simpleValue(), 21);
  EXPECT_EQ(options.mapValueByText("uv", 2).simpleValue(), 20);
  EXPECT_EQ(options.mapValueByText("plat", 4).simpleValue(), 20);
  EXPECT_EQ(options.mapValueByText("", 0).simpleValue(), 21);
  EXPECT_EQ(options.mapValueByText("bioEnroll", 9).simpleValue(), 22);
  EXPECT_EQ(options.mapValueByText("client", 6).simpleValue(), 22);  // prefix only
  EXPECT_EQ(options.mapValueByText("clientPins", 10).simpleValue(), 22);
  EXPECT_EQ(options.mapValueByText(nullptr, 0).data(), nullptr);
}

TEST(MapValueByText, RefusesKeysThatReachOutside) {
  const Bytes truncatedKey{0xA1, 0x69, 'c', 'l', 'i'};
  EXPECT_EQ(viewOf(truncatedKey).mapValueByText("clientPin", 9).data(), nullptr);
  const Bytes hugeKey{0xA1, 0x7A, 0xFF, 0xFF, 0xFF, 0xFF, 'x'};
  EXPECT_EQ(viewOf(hugeKey).mapValueByText("x", 1).data(), nullptr);
  // An indefinite key's argument is 31; it must not be taken for a 31-byte key.
  Bytes chunked{0xA1, 0x7F, 0x78, 0x1D};
  chunked.resize(chunked.size() + 29, 'a');
  chunked.insert(chunked.end(), {0xFF, 0xF5});
  std::string lookalike = "\x78\x1D" + std::string(29, 'a');
  EXPECT_EQ(viewOf(chunked).mapValueByText(lookalike.data(), 31).data(), nullptr);
  const Bytes byteKey{0xA1, 0x42, 'u', 'v', 0xF5};
  EXPECT_EQ(viewOf(byteKey).mapValueByText("uv", 2).data(), nullptr);
}

}  // namespace
}  // namespace pinvale
