// The pure logic under the Linux backends: report lengths from real report
// descriptors, hidraw device paths, udev's HID ids, virtual-key socket names.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/hid_report_descriptor.h"
#include "transport/hidraw_path.h"
#include "transport/virtual_key_name.h"

namespace pinvale {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The FIDO interface of a typical security key (usage page 0xF1D0): 64-byte
// input and output reports, no report ids.
const Bytes kFidoDescriptor = {0x06, 0xD0, 0xF1, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x20,
                               0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40,
                               0x81, 0x02, 0x09, 0x21, 0x15, 0x00, 0x26, 0xFF, 0x00,
                               0x75, 0x08, 0x95, 0x40, 0x91, 0x02, 0xC0};

// A boot keyboard: 8-byte input report, 5 LED bits and 3 padding bits out.
const Bytes kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// A key that also types one-time passwords: keyboard report id 1 (8 bytes in, 1
// out), FIDO report id 2 (64 both ways), and a 32-byte feature report.
const Bytes kKeyboardAndFido = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01,
    0x91, 0x02, 0xC0, 0x06, 0xD0, 0xF1, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x09, 0x20, 0x75, 0x08,
    0x95, 0x40, 0x81, 0x02, 0x09, 0x21, 0x95, 0x40, 0x91, 0x02, 0x95, 0x20, 0xB1, 0x02, 0xC0};

struct DescriptorCase {
  const char* name;
  Bytes descriptor;
  bool parsed;
  ReportDescriptorInfo expected;
};

class Descriptor : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(Descriptor, GivesReportLengthsAsWindowsCountsThemAndTheFidoUsage) {
  const DescriptorCase& c = GetParam();
  ReportDescriptorInfo info;
  ASSERT_EQ(ParseReportDescriptor(c.descriptor.data(), c.descriptor.size(), info), c.parsed);
  if (!c.parsed) return;
  EXPECT_EQ(info.usesReportIds, c.expected.usesReportIds);
  EXPECT_EQ(info.inputReportLength, c.expected.inputReportLength);
  EXPECT_EQ(info.outputReportLength, c.expected.outputReportLength);
  EXPECT_EQ(info.declaresFido, c.expected.declaresFido);
  EXPECT_EQ(info.fidoOutputReportId, c.expected.fidoOutputReportId);
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Descriptor,
    ::testing::Values(
        DescriptorCase{"Fido", kFidoDescriptor, true, {false, 65, 65, true, 0}},
        DescriptorCase{"BootKeyboard", kBootKeyboard, true, {false, 9, 2}},
        DescriptorCase{
            "KeyboardAndFidoWithReportIds", kKeyboardAndFido, true, {true, 65, 65, true, 2}},
        DescriptorCase{"Empty", {}, true, {false, 0, 0}},
        DescriptorCase{"LongItemSkipped",
                       Concat({0xFE, 0x02, 0x10, 0xAA, 0xBB}, kFidoDescriptor),
                       true,
                       {false, 65, 65, true, 0}},
        // The FIDO usage named in one four-byte usage item, page in the upper half.
        DescriptorCase{"FidoAsExtendedUsage",
                       {0x0B, 0x01, 0x00, 0xD0, 0xF1, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x40, 0x81,
                        0x02, 0x91, 0x02, 0xC0},
                       true,
                       {false, 65, 65, true, 0}},
        // The FIDO usage page with another usage, and the FIDO usage only on a
        // collection nested inside a keyboard: neither is a FIDO interface.
        DescriptorCase{
            "FidoPageOtherUsage",
            {0x06, 0xD0, 0xF1, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0xC0},
            true,
            {false, 65, 0, false, 0}},
        DescriptorCase{"FidoNestedInKeyboard",
                       {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x06, 0xD0, 0xF1, 0x09, 0x01,
                        0xA1, 0x02, 0x75, 0x08, 0x95, 0x40, 0x91, 0x02, 0xC0, 0xC0},
                       true,
                       {false, 0, 65, false, 0}},
        DescriptorCase{"FourByteCount",
                       {0x75, 0x08, 0x97, 0x40, 0x00, 0x00, 0x00, 0x81, 0x02},
                       true,
                       {false, 65, 0}},
        DescriptorCase{"PopRestoresCount",
                       {0x75, 0x08, 0x95, 0x40, 0xA4, 0x95, 0x02, 0xB4, 0x81, 0x02},
                       true,
                       {false, 65, 0}},
        DescriptorCase{"HugeSizesSaturate",
                       {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
                       true,
                       {false, 0xFFFF, 0}},
        DescriptorCase{"TruncatedItem", {0x06, 0xD0}, false, {}},
        DescriptorCase{"TruncatedLongItem", {0xFE, 0x05, 0x10, 0x00}, false, {}},
        DescriptorCase{"PopWithoutPush", {0xB4}, false, {}},
        DescriptorCase{"PushTooDeep", Bytes(17, 0xA4), false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HidrawPath, CarriesTheIdsAsLowerCaseHexAndGivesTheNodeBack) {
  const std::string path = BuildHidrawPath(0x3F8C, 0x2D71, "/dev/hidraw3");
  EXPECT_EQ(path, "\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
  std::string node;
  ASSERT_TRUE(ParseHidrawPath(path, node));
  EXPECT_EQ(node, "/dev/hidraw3");
}

TEST(HidrawPath, RefusesPathsOfOtherShapes) {
  std::string node = "untouched";
  for (const char* path :
       {"/dev/hidraw3", "\\\\?\\hidraw#vid_3f8c&pid_2d71#", "\\\\?\\hidraw#no-second-hash",
        "\\\\?\\hid#vid_3f8c&pid_2d71#/dev/x", "/run/vkeys/3f8c-2d71-demo.sock"}) {
    EXPECT_FALSE(ParseHidrawPath(path, node)) << path;
  }
  EXPECT_EQ(node, "untouched");
}

TEST(HidId, ReadsVendorAndProductOfUdevsProperty) {
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  ASSERT_TRUE(ParseHidId("0003:00003F8C:00002D71", vid, pid));
  EXPECT_EQ(vid, 0x3F8C);
  EXPECT_EQ(pid, 0x2D71);
  ASSERT_TRUE(ParseHidId("0005:0000046d:0000b023", vid, pid));
  EXPECT_EQ(vid, 0x046D);
  EXPECT_EQ(pid, 0xB023);
  for (const char* bad : {"", "garbage", "0003:00003F8C", "0003::00002D71",
                          "0003:00013F8C:00002D71", "0003:00003F8C:00002D71x", "0003:-1:2"}) {
    EXPECT_FALSE(ParseHidId(bad, vid, pid)) << bad;
  }
}

TEST(VirtualKeyName, AcceptsOnlyLowerCaseIdsAndALabel) {
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  ASSERT_TRUE(ParseVirtualKeySocketName("3f8c-2d71-demo.sock", vid, pid));
  EXPECT_EQ(vid, 0x3F8C);
  EXPECT_EQ(pid, 0x2D71);
  ASSERT_TRUE(ParseVirtualKeySocketName("3f8c-a1c4-my key-2.sock", vid, pid));
  EXPECT_EQ(pid, 0xA1C4);
  for (const char* bad :
       {"3F8C-2D71-demo.sock", "3f8c-2d71-.sock", "3f8c-2d71-demo.sok", "3f8c_2d71_demo.sock",
        "3f8-c2d71-demo.sock", "3f8c-2d7g-demo.sock", ".sock", ""}) {
    EXPECT_FALSE(ParseVirtualKeySocketName(bad, vid, pid)) << bad;
  }
}

}  // namespace
}  // namespace pinvale
