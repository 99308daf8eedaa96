#include <gtest/gtest.h>

#include <functional>

#include "cbor/cbor_writer.h"
#include "cbor_bytes.h"

namespace pinvale {
namespace {

using test::Bytes;

struct WriteCase {
  const char* name;
  std::function<void(CborWriter&)> write;
  Bytes expected;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
  *os << c.name;
}

class CborWriterBytesTest : public testing::TestWithParam<WriteCase> {};

TEST_P(CborWriterBytesTest, WritesExactBytes) {
  const WriteCase& c = GetParam();
  Bytes buffer(128, 0xCC);
  CborWriter w(buffer.data(), static_cast<uint32_t>(buffer.size()));
  c.write(w);
  ASSERT_EQ(w.length(), c.expected.size());
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + w.length()), c.expected);
  EXPECT_EQ(buffer[w.length()], 0xCC);
}

Bytes withContent(Bytes head, size_t n, uint8_t fill) {
  head.resize(head.size() + n, fill);
  return head;
}

const Bytes k32(32, 0x5A);
const Bytes k64(64, 0xA5);

INSTANTIATE_TEST_SUITE_P(
    Items, CborWriterBytesTest,
    testing::Values(
        WriteCase{"map",
                  [](CborWriter& w) { w.beginMap(2).putInt(1).putInt(1).putInt(2).putInt(2); },
                  {0xA2, 0x01, 0x01, 0x02, 0x02}},
        WriteCase{"int23", [](CborWriter& w) { w.putInt(23); }, {0x17}},
        WriteCase{"int24", [](CborWriter& w) { w.putInt(24); }, {0x18, 0x18}},
        WriteCase{"int255", [](CborWriter& w) { w.putInt(255); }, {0x18, 0xFF}},
        WriteCase{"int256", [](CborWriter& w) { w.putInt(256); }, {0x19, 0x01, 0x00}},
        WriteCase{"int5000", [](CborWriter& w) { w.putInt(5000); }, {0x19, 0x13, 0x88}},
        WriteCase{"int65535", [](CborWriter& w) { w.putInt(65535); }, {0x19, 0xFF, 0xFF}},
        WriteCase{
            "int65536", [](CborWriter& w) { w.putInt(65536); }, {0x1A, 0x00, 0x01, 0x00, 0x00}},
        WriteCase{
            "intMax", [](CborWriter& w) { w.putInt(INT32_MAX); }, {0x1A, 0x7F, 0xFF, 0xFF, 0xFF}},
        WriteCase{"minus1", [](CborWriter& w) { w.putInt(-1); }, {0x20}},
        WriteCase{"minus24", [](CborWriter& w) { w.putInt(-24); }, {0x37}},
        WriteCase{"minus25", [](CborWriter& w) { w.putInt(-25); }, {0x38, 0x18}},
        WriteCase{"minus257", [](CborWriter& w) { w.putInt(-257); }, {0x39, 0x01, 0x00}},
        WriteCase{
            "intMin", [](CborWriter& w) { w.putInt(INT32_MIN); }, {0x3A, 0x7F, 0xFF, 0xFF, 0xFF}},
        WriteCase{"bytes32", [](CborWriter& w) { w.putBytes(k32.data(), 32); },
                  withContent({0x58, 0x20}, 32, 0x5A)},
        WriteCase{"bytes64", [](CborWriter& w) { w.putBytes(k64.data(), 64); },
                  withContent({0x58, 0x40}, 64, 0xA5)},
        WriteCase{"emptyBytes", [](CborWriter& w) { w.putBytes(nullptr, 0); }, {0x40}},
        WriteCase{"nullBytesWithLength", [](CborWriter& w) { w.putBytes(nullptr, 3); }, {}},
        WriteCase{"text", [](CborWriter& w) { w.putText("uv", 2); }, {0x62, 'u', 'v'}},
        WriteCase{"bools", [](CborWriter& w) { w.putBool(true).putBool(false); }, {0xF5, 0xF4}},
        WriteCase{"array", [](CborWriter& w) { w.beginArray(1).putInt(1); }, {0x81, 0x01}},
        WriteCase{"bigMap", [](CborWriter& w) { w.beginMap(300); }, {0xB9, 0x01, 0x2C}},
        WriteCase{"tagHead", [](CborWriter& w) { w.putHead(6, 24); }, {0xD8, 0x18}},
        WriteCase{"majorSevenRefused", [](CborWriter& w) { EXPECT_EQ(w.putHead(7, 21), 0u); }, {}},
        WriteCase{
            "raw", [](CborWriter& w) { EXPECT_EQ(w.putRaw(k32.data(), 2), 2u); }, {0x5A, 0x5A}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CborWriterCapacity, ItemThatDoesNotFitIsSkippedWhole) {
  Bytes buffer(2, 0);
  CborWriter w(buffer.data(), 2);
  const uint8_t two[] = {7, 8};
  w.putBytes(two, 2);  // needs 3
  EXPECT_EQ(w.length(), 0u);
  EXPECT_EQ(buffer, (Bytes{0, 0}));
  w.putInt(1);
  EXPECT_EQ(w.length(), 1u);
  EXPECT_EQ(buffer[0], 0x01);
}

TEST(CborWriterCapacity, EachKindStopsAtTheEdge) {
  struct Case {
    const char* name;
    uint32_t needs;
    std::function<void(CborWriter&)> write;
  };
  const uint8_t content[40] = {};
  const Case cases[] = {
      {"int65536", 5, [](CborWriter& w) { w.putInt(65536); }},
      {"intMinus300", 3, [](CborWriter& w) { w.putInt(-300); }},
      {"bytes24", 26, [&](CborWriter& w) { w.putBytes(content, 24); }},
      {"text23", 24, [&](CborWriter& w) { w.putText("abcdefghijklmnopqrstuvw", 23); }},
      {"map256", 3, [](CborWriter& w) { w.beginMap(256); }},
      {"array24", 2, [](CborWriter& w) { w.beginArray(24); }},
      {"bool", 1, [](CborWriter& w) { w.putBool(true); }},
      {"raw", 40, [&](CborWriter& w) { w.putRaw(content, 40); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes buffer(c.needs + 1, 0xCC);
    CborWriter tight(buffer.data(), c.needs - 1);
    c.write(tight);
    EXPECT_EQ(tight.length(), 0u);
    EXPECT_EQ(buffer[0], 0xCC);
    CborWriter exact(buffer.data(), c.needs);
    c.write(exact);
    EXPECT_EQ(exact.length(), c.needs);
    EXPECT_EQ(buffer[c.needs], 0xCC);
  }
}

TEST(CborWriterCapacity, HugeLengthsDoNotWrapTheRoomCheck) {
  Bytes buffer(16, 0xCC);
  const uint8_t content[1] = {1};
  CborWriter w(buffer.data(), 16);
  w.putInt(1);
  w.putBytes(content, 0xFFFFFFFF).putText("x", 0xFFFFFFFE);
  EXPECT_EQ(w.putRaw(content, 0xFFFFFFFF), 0u);
  EXPECT_EQ(w.length(), 1u);
  EXPECT_EQ(buffer[1], 0xCC);
}

TEST(CborWriterCapacity, NoBufferWritesNothing) {
  CborWriter w;
  w.putInt(1).putBytes(nullptr, 0).beginMap(1).putBool(true);
  EXPECT_EQ(w.putHead(0, 1), 0u);
  const uint8_t one = 1;
  EXPECT_EQ(w.putRaw(&one, 1), 0u);
  EXPECT_EQ(w.length(), 0u);
  w.init(nullptr, 100);
  w.putInt(1);
  EXPECT_EQ(w.length(), 0u);
}

TEST(CborWriterCapacity, InitRestartsWithoutClearing) {
  Bytes buffer(4, 0xCC);
  CborWriter w(buffer.data(), 4);
  w.putInt(1).putInt(2);
  w.init(buffer.data() + 1, 3);
  EXPECT_EQ(w.length(), 0u);
  w.putInt(3);
  EXPECT_EQ(buffer, (Bytes{0x01, 0x03, 0xCC, 0xCC}));
}

TEST(CborWriterRoundTrip, LookupsReadWhatTheWriterWrote) {
  Bytes buffer(200, 0);
  const Bytes x(32, 0x11);
  CborWriter w(buffer.data(), 200);
  w.beginMap(3).putInt(1).putInt(1).putInt(2).putInt(2);
  w.putInt(3).beginMap(5);
  w.putInt(1).putInt(2).putInt(3).putInt(-25).putInt(-1).putInt(1);
  w.putInt(-2).putBytes(x.data(), 32).putInt(-3).putBytes(x.data(), 32);
  const CborItem request(buffer.data(), w.length());
  const CborItem key = request.mapValueByInt(3);
  int32_t alg = 0;
  ASSERT_TRUE(key.mapValueByInt(3).getInt(alg));
  EXPECT_EQ(alg, -25);
  const uint8_t* coordinate = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(key.mapValueByInt(-2).getBytes(coordinate, length));
  EXPECT_EQ(Bytes(coordinate, coordinate + length), x);
  uint32_t protocol = 0;
  ASSERT_TRUE(request.mapValueByInt(1).getUnsigned(protocol));
  EXPECT_EQ(protocol, 1u);
}

}  // namespace
}  // namespace pinvale
