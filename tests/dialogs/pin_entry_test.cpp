// The PIN text rules the three PIN dialogs share, and the removal test of the
// device notices.

#include "dialogs/pin_entry.h"

#include <gtest/gtest.h>

#include <memory>

#include "dialogs/device_notification.h"
#include "dialogs/pin_dialog_texts.h"

namespace pinvale {
namespace {

TEST(PinEntry, LengthRuleCountsUtf16Units) {
  EXPECT_EQ(PinLengthRefusal(u"", kSetPinTooLongText), kProvidePinText);
  EXPECT_EQ(PinLengthRefusal(u"abc", kSetPinTooLongText), kPinTooShortText);
  EXPECT_TRUE(PinLengthRefusal(u"abcd", kSetPinTooLongText).empty());
  EXPECT_TRUE(PinLengthRefusal(std::u16string(63, u'x'), kSetPinTooLongText).empty());
  EXPECT_EQ(PinLengthRefusal(std::u16string(64, u'x'), kVerifyPinTooLongText),
            kVerifyPinTooLongText);
  // Two characters outside the BMP are four units: long enough.
  EXPECT_TRUE(PinLengthRefusal(u"\U0001F511\U0001F511", kSetPinTooLongText).empty());
}

TEST(PinEntry, RetriesTextPutsTheCountInPlace) {
  EXPECT_EQ(PinRetriesText(5), u"The PIN is incorrect. You have 5 times left.");
  EXPECT_EQ(PinRetriesText(0), u"The PIN is incorrect. You have 0 times left.");
}

TEST(PinEntry, WipeZeroesTheWholeStorage) {
  std::u16string pin(40, u'7');
  const char16_t* storage = pin.data();
  const std::size_t capacity = pin.capacity();
  WipePinText(pin);
  EXPECT_TRUE(pin.empty());
  ASSERT_EQ(pin.data(), storage);  // wiped in place, not reallocated
  for (std::size_t i = 0; i < capacity; ++i) EXPECT_EQ(storage[i], 0) << i;
}

TEST(DeviceNotification, RemovalOfTheMakersKeysOnly) {
  auto notice = [](std::u16string path, std::uint32_t type = 5) {
    auto n = std::make_unique<DeviceInterfaceNotice>();
    n->deviceType = type;
    n->devicePath = std::move(path);
    return n;
  };
  auto lp = [](const std::unique_ptr<DeviceInterfaceNotice>& n) {
    return reinterpret_cast<LPARAM>(n.get());
  };
  auto ours = notice(u"\\\\?\\HID#VID_3F8C&PID_64A9#1");
  EXPECT_TRUE(IsMakerKeyRemoval(0x8004, lp(ours)));
  EXPECT_FALSE(IsMakerKeyRemoval(0x8000, lp(ours)));
  EXPECT_FALSE(IsMakerKeyRemoval(0x8004, lp(notice(u"\\\\?\\HID#VID_3F8C&PID_64A9#1", 3))));
  EXPECT_FALSE(IsMakerKeyRemoval(0x8004, lp(notice(u"\\\\?\\HID#VID_3F8C&PID_A1C4#1"))));
  EXPECT_FALSE(IsMakerKeyRemoval(0x8004, 0));
}

}  // namespace
}  // namespace pinvale
