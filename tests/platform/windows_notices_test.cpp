// The records Windows hands over for device notices and registry strings, read
// from byte fixtures as Windows lays them out.

#include <gtest/gtest.h>

#include <vector>

#include "platform/device_interface_notice.h"
#include "platform/device_notices.h"
#include "platform/registry_text.h"

namespace pinvale {
namespace {

void PutUint32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// A DEV_BROADCAST_DEVICEINTERFACE_W record with `name` and its NUL.
std::vector<std::uint8_t> InterfaceRecord(std::u16string_view name,
                                          std::uint32_t deviceType = kDeviceTypeInterface) {
  std::vector<std::uint8_t> record(kDeviceInterfaceNameOffset, 0);
  std::vector<std::uint8_t> text = Utf16Bytes(name);
  record.insert(record.end(), text.begin(), text.end());
  record.push_back(0);
  record.push_back(0);
  PutUint32(record, 0, static_cast<std::uint32_t>(record.size()));
  PutUint32(record, 4, deviceType);
  return record;
}

const std::u16string kUsbKey =
    u"\\\\?\\USB#VID_3F8C&PID_2D71#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

TEST(DeviceInterfaceNotice, ArrivalAndRemovalCarryTheInterfaceName) {
  for (std::uint32_t event : {kDeviceArrival, kDeviceRemoveComplete}) {
    std::u16string name;
    EXPECT_TRUE(ParseDeviceInterfaceNotice(event, InterfaceRecord(kUsbKey), name));
    EXPECT_EQ(name, kUsbKey);
  }
}

TEST(DeviceInterfaceNotice, OtherEventsAndDeviceTypesAreIgnored) {
  std::u16string name;
  // DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING, DBT_DEVNODES_CHANGED
  for (std::uint32_t event : {0x8001u, 0x8003u, 0x0007u}) {
    EXPECT_FALSE(ParseDeviceInterfaceNotice(event, InterfaceRecord(kUsbKey), name));
  }
  // A volume (2) or a port (3) arriving: their records hold no interface name.
  EXPECT_FALSE(ParseDeviceInterfaceNotice(kDeviceArrival, InterfaceRecord(kUsbKey, 2), name));
  EXPECT_FALSE(ParseDeviceInterfaceNotice(kDeviceArrival, InterfaceRecord(kUsbKey, 3), name));
  EXPECT_TRUE(name.empty());
}

TEST(DeviceInterfaceNotice, NameNeverReachesBeyondTheRecord) {
  std::u16string name;
  std::vector<std::uint8_t> record = InterfaceRecord(u"\\\\?\\USB#VID_3F8C&PID_2D71");
  record.resize(record.size() - 2);  // no NUL
  PutUint32(record, 0, static_cast<std::uint32_t>(record.size()));
  EXPECT_TRUE(ParseDeviceInterfaceNotice(kDeviceArrival, record, name));
  EXPECT_EQ(name, u"\\\\?\\USB#VID_3F8C&PID_2D71");

  // A size field larger than the bytes at hand is bounded by the bytes.
  PutUint32(record, 0, 0xFFFF);
  EXPECT_TRUE(ParseDeviceInterfaceNotice(kDeviceArrival, record, name));
  EXPECT_EQ(name, u"\\\\?\\USB#VID_3F8C&PID_2D71");

  // A size field that cuts the name short wins over the bytes after it.
  PutUint32(record, 0, kDeviceInterfaceNameOffset + 8);
  EXPECT_TRUE(ParseDeviceInterfaceNotice(kDeviceArrival, record, name));
  EXPECT_EQ(name, u"\\\\?\\");
}

TEST(DeviceInterfaceNotice, RecordsWithoutANameAreRefused) {
  std::u16string name;
  EXPECT_FALSE(ParseDeviceInterfaceNotice(kDeviceArrival, {}, name));
  EXPECT_FALSE(ParseDeviceInterfaceNotice(kDeviceArrival, InterfaceRecord(u""), name));
  std::vector<std::uint8_t> header = InterfaceRecord(kUsbKey);
  header.resize(kDeviceInterfaceNameOffset);
  PutUint32(header, 0, kDeviceInterfaceNameOffset);
  EXPECT_FALSE(ParseDeviceInterfaceNotice(kDeviceArrival, header, name));
}

struct RegistryCase {
  const char* name;
  std::uint32_t type;
  std::vector<std::uint8_t> bytes;
  std::optional<std::u16string> text;
};

std::vector<std::uint8_t> WithNul(std::u16string_view text) {
  std::vector<std::uint8_t> bytes = Utf16Bytes(text);
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

class RegistryStringTextCase : public ::testing::TestWithParam<RegistryCase> {};

TEST_P(RegistryStringTextCase, ReadsTheValueAsWindowsStoresIt) {
  EXPECT_EQ(RegistryStringText(GetParam().type, GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryStringTextCase,
    ::testing::Values(
        RegistryCase{"terminated", 1, WithNul(u"rs_prerelease"), u"rs_prerelease"},
        // Values written without their NUL are common; the byte count ends them.
        RegistryCase{"unterminated", 1, Utf16Bytes(u"rs_prerelease"), u"rs_prerelease"},
        RegistryCase{"expandable", 2, WithNul(u"ni_release"), u"ni_release"},
        RegistryCase{"empty", 1, {}, u""},
        RegistryCase{"stops at the first nul", 1,
                     WithNul(std::u16string_view(u"rs_prerelease\0junk", 18)), u"rs_prerelease"},
        RegistryCase{"odd byte count", 1, {'r', 0, 's', 0, '_'}, u"rs"},
        RegistryCase{"binary value", 3, WithNul(u"rs_prerelease"), std::nullopt},
        RegistryCase{"number value", 4, {1, 0, 0, 0}, std::nullopt}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name)
        if (c == ' ') c = '_';
      return name;
    });

}  // namespace
}  // namespace pinvale
