#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "cbor_bytes.h"

namespace pinvale {
namespace {

using test::Bytes;
using test::viewOf;

const uint8_t kUntouched = 0xEE;

// Runs every typed read and reports which succeeded, checking that failed reads leave
// their outputs alone.
struct Reads {
  explicit Reads(const CborItem& item) {
    const uint8_t* bytes = &kUntouched;
    uint32_t bytesLength = 77;
    hasBytes = item.getBytes(bytes, bytesLength);
    if (hasBytes) {
      bytesOffset = static_cast<long>(bytes - item.data());
      bytesLen = bytesLength;
    } else {
      EXPECT_EQ(bytes, &kUntouched);
      EXPECT_EQ(bytesLength, 77u);
    }
    uint32_t u = 77;
    hasUnsigned = item.getUnsigned(u);
    if (!hasUnsigned) {
      EXPECT_EQ(u, 77u);
    }
    unsignedValue = u;
    int32_t i = 77;
    hasInt = item.getInt(i);
    if (!hasInt) {
      EXPECT_EQ(i, 77);
    }
    intValue = i;
    const char* text = nullptr;
    uint32_t textLength = 77;
    hasText = item.getText(text, textLength);
    if (hasText) textValue.assign(text, textLength);
    if (!hasText) {
      EXPECT_EQ(textLength, 77u);
    }
  }
  bool hasBytes, hasUnsigned, hasInt, hasText;
  long bytesOffset = -1;
  uint32_t bytesLen = 0;
  uint32_t unsignedValue;
  int32_t intValue;
  std::string textValue;
};

TEST(CborRead, EmptyViewReadsAsNull) {
  const CborItem empty;
  EXPECT_EQ(empty.simpleValue(), 22);
  const Reads r(empty);
  EXPECT_FALSE(r.hasBytes || r.hasUnsigned || r.hasInt || r.hasText);
}

TEST(CborRead, ZeroLengthViewOverRealBytesReadsAsNull) {
  // What a found key with nothing after it returns: the byte behind must not be read.
  const Bytes bytes{0x01};
  const CborItem item(bytes.data(), 0);
  EXPECT_EQ(item.simpleValue(), 22);
  const Reads r(item);
  EXPECT_FALSE(r.hasBytes || r.hasUnsigned || r.hasInt || r.hasText);
}

TEST(CborRead, Integers) {
  struct Case {
    Bytes bytes;
    bool isUnsigned;
    bool isInt;
    int64_t value;
  };
  const Case cases[] = {
      {{0x17}, true, true, 23},
      {{0x19, 0x01, 0x00}, true, true, 256},
      {{0x1A, 0x7F, 0xFF, 0xFF, 0xFF}, true, true, INT32_MAX},
      {{0x1A, 0x80, 0x00, 0x00, 0x00}, true, false, 0x80000000LL},
      {{0x20}, false, true, -1},
      {{0x38, 0x18}, false, true, -25},
      {{0x3A, 0x7F, 0xFF, 0xFF, 0xFF}, false, true, INT32_MIN},
      {{0x3A, 0x80, 0x00, 0x00, 0x00}, false, false, 0},
      {{0xC1, 0x18, 0x2A}, true, true, 42},  // a tag in front is read through
      {{0x1B, 0, 0, 0, 0, 0, 0, 0, 1}, false, false, 0},
      {{0x1F}, false, false, 0},
      {{0x19, 0x01}, false, false, 0},
      {{0x41, 0x05}, false, false, 0},
      {{0xF5}, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const Reads r(viewOf(c.bytes));
    EXPECT_EQ(r.hasUnsigned, c.isUnsigned);
    EXPECT_EQ(r.hasInt, c.isInt);
    if (c.isUnsigned) {
      EXPECT_EQ(r.unsignedValue, static_cast<uint32_t>(c.value));
    }
    if (c.isInt) {
      EXPECT_EQ(r.intValue, c.value);
    }
  }
}

TEST(CborRead, SimpleValues) {
  EXPECT_EQ(viewOf({0xF5}).simpleValue(), 21);
  EXPECT_EQ(viewOf({0xF4}).simpleValue(), 20);
  EXPECT_EQ(viewOf({0xF6}).simpleValue(), 22);
  EXPECT_EQ(viewOf({0xF7}).simpleValue(), 23);
  // A double float is outside the model but must not pass for a boolean.
  EXPECT_EQ(viewOf({0xFB, 0, 0, 0, 0, 0, 0, 0, 0}).simpleValue(), 27);
}

TEST(CborRead, ByteStringsInsideTheView) {
  Bytes b32{0x58, 0x20};
  b32.resize(34, 0xAB);
  Reads r(viewOf(b32));
  ASSERT_TRUE(r.hasBytes);
  EXPECT_EQ(r.bytesOffset, 2);
  EXPECT_EQ(r.bytesLen, 32u);

  r = Reads(viewOf({0xD8, 0x18, 0x42, 0x01, 0x02}));
  ASSERT_TRUE(r.hasBytes);
  EXPECT_EQ(r.bytesOffset, 3);
  EXPECT_EQ(r.bytesLen, 2u);

  r = Reads(viewOf({0x40}));
  ASSERT_TRUE(r.hasBytes);
  EXPECT_EQ(r.bytesLen, 0u);
}

TEST(CborRead, ByteStringsThatWouldReachOutsideAreRefused) {
  Bytes short32{0x58, 0x20};
  short32.resize(33, 0xAB);  // one content byte missing
  const Bytes cases[] = {
      short32,
      {0x42, 0x01},
      {0x5A, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},  // offset + length would wrap
      {0x5F, 0x41, 0x01, 0xFF},              // indefinite: argument 31 is no length
      {0x5B, 0, 0, 0, 0, 0, 0, 0, 1, 0},
      {0xD8, 0x18, 0xD8, 0x18, 0x42, 0x01, 0x02},  // two tags read as a tag, not bytes
      {0x62, 0x68, 0x69},                          // text is not bytes
  };
  for (const Bytes& bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    EXPECT_FALSE(Reads(viewOf(bytes)).hasBytes);
  }
}

TEST(CborRead, TextStrings) {
  const Reads ok(viewOf({0x69, 'c', 'l', 'i', 'e', 'n', 't', 'P', 'i', 'n'}));
  ASSERT_TRUE(ok.hasText);
  EXPECT_EQ(ok.textValue, "clientPin");
  EXPECT_FALSE(Reads(viewOf({0x69, 'c', 'l'})).hasText);
  EXPECT_FALSE(Reads(viewOf({0x7F, 0x61, 'a', 0xFF})).hasText);
  EXPECT_FALSE(Reads(viewOf({0x41, 'a'})).hasText);
}

TEST(CborRead, NextItemWalksAnArray) {
  const Bytes bytes{0x84, 0x01, 0xA1, 0x02, 0x9F, 0x03, 0xFF, 0x62, 'h', 'i', 0xD8, 0x18, 0xF5};
  CborItem array = viewOf(bytes);
  CborItem item(bytes.data() + 1, static_cast<uint32_t>(bytes.size() - 1));
  std::vector<long> starts;
  const uint32_t count = array.head().argument;
  for (uint32_t i = 0; i < count; ++i) {
    starts.push_back(test::offsetIn(bytes, item));
    ASSERT_TRUE(item.nextItem(item));
  }
  EXPECT_EQ(starts, (std::vector<long>{1, 2, 7, 10}));
  EXPECT_EQ(item.length(), 0u);

  CborItem after;
  ASSERT_TRUE(array.nextItem(after));
  EXPECT_EQ(after.length(), 0u);
}

TEST(CborRead, NextItemRefusesWhatItCannotSkip) {
  const Bytes cases[] = {
      {},
      {0xFF},                                // a break is no item
      {0x82, 0x01},                          // array cut short
      {0x9F, 0x01, 0x02},                    // no break
      {0x81, 0x1C},                          // reserved head inside
      {0x62, 'h'},                           // content cut short
      {0x9A, 0xFF, 0xFF, 0xFF, 0xFF, 0x01},  // huge count runs out of bytes
      {0xD8, 0x18},                          // tag on nothing
  };
  for (const Bytes& bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    CborItem after(bytes.data(), 99);
    const CborItem before = after;
    EXPECT_FALSE(viewOf(bytes).nextItem(after));
    EXPECT_EQ(after.data(), before.data());
    EXPECT_EQ(after.length(), before.length());
  }
  CborItem after;
  EXPECT_FALSE(CborItem().nextItem(after));
}

}  // namespace
}  // namespace pinvale
