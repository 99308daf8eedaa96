// The Linux backend (libudev enumeration, hidraw nodes, descriptor ioctls,
// poll/read/write) against keys of every shape, through pinvale-cli's commands.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "cli_on_hidraw.h"
#include "transport/hid_device_list.h"
#include "transport/maker_ids.h"

namespace pinvale::emulation::test {
namespace {

class EveryShape : public HidrawTest, public testing::WithParamInterface<KeyShape> {};

TEST_P(EveryShape, ListsOnlyTheFidoInterfaceWithItsReportLengths) {
  const int device = bed.Plug(vkey::VirtualKey::Create(QuickKey()), GetParam());
  ASSERT_GE(device, 0);

  CHidDeviceList list(std::make_shared<LinuxHidPlatform>());
  ASSERT_EQ(list.Enumerate(), 1);
  ASSERT_EQ(list.Select(kMakerVendorId, 0x2D71), 1);
  HidCaps caps;
  ASSERT_TRUE(list.Entries()[0].readHandle->GetCaps(caps));
  EXPECT_EQ(caps.inputReportLength, 65);
  EXPECT_EQ(caps.outputReportLength, 65);
  EXPECT_FALSE(HidAccessFailureFlag());

  // By its node, which --device takes back.
  CliOutcome listed = RunCliOnHidraw({"list"});
  EXPECT_EQ(listed.out, "3f8c:2d71  " + bed.FidoNode(device) + "  (used)\n");
  EXPECT_EQ(RunCliOnHidraw({"--device", bed.FidoNode(device), "info"}).exit, cli::kExitOk);
}

TEST_P(EveryShape, EveryOperationSucceeds) {
  ASSERT_GE(bed.Plug(vkey::VirtualKey::Create(QuickKey()), GetParam()), 0);

  EXPECT_EQ(RunCliOnHidraw({"info"}).out.substr(0, 61),
            "Key 3f8c:2d71\nPIN: not set\nUser verification: not configured\n");
  CliOutcome set = RunCliOnHidraw({"--pin-stdin", "set-pin"}, {"1234"});
  EXPECT_EQ(set.out, "PIN set.\n") << set.err;
  CliOutcome wrong = RunCliOnHidraw({"--pin-stdin", "verify-pin"}, {"9999"});
  EXPECT_EQ(wrong.err, "Wrong PIN (status 0x31). 7 attempts left.\n");
  EXPECT_EQ(RunCliOnHidraw({"retries"}).out, "7 PIN attempts left.\n");
  CliOutcome change = RunCliOnHidraw({"--pin-stdin", "change-pin"}, {"1234", "56789"});
  EXPECT_EQ(change.out, "PIN changed.\n") << change.err;
  EXPECT_EQ(RunCliOnHidraw({"--pin-stdin", "verify-pin"}, {"56789"}).out, "PIN verified.\n");
  CliOutcome reset = RunCliOnHidraw({"--yes", "reset"});
  EXPECT_EQ(reset.out, "Key reset.\n") << reset.err;
  EXPECT_EQ(RunCliOnHidraw({"info"}).out.substr(0, 61),
            "Key 3f8c:2d71\nPIN: not set\nUser verification: not configured\n");
}

INSTANTIATE_TEST_SUITE_P(Shapes, EveryShape,
                         testing::Values(KeyShape::kFidoOnly, KeyShape::kFidoWithReportId,
                                         KeyShape::kComposite),
                         [](const auto& info) {
                           switch (info.param) {
                             case KeyShape::kFidoOnly:
                               return "FidoOnly";
                             case KeyShape::kFidoWithReportId:
                               return "FidoWithReportId";
                             case KeyShape::kComposite:
                               return "KeyboardFirst";
                           }
                           return "";
                         });

TEST_F(HidrawTest, ThePreferredOfTwoKeysIsUsedAndTheOtherMayGo) {
  // 64a9 is plugged in first, but 2d71 comes first in the maker's order.
  const int second = bed.Plug(vkey::VirtualKey::Create(QuickKey(0x64A9)), KeyShape::kFidoOnly);
  const int preferred = bed.Plug(vkey::VirtualKey::Create(QuickKey(0x2D71)), KeyShape::kFidoOnly);
  CliOutcome listed = RunCliOnHidraw({"list"});
  EXPECT_THAT(listed.out,
              testing::HasSubstr("3f8c:2d71  " + bed.FidoNode(preferred) + "  (used)\n"));
  EXPECT_THAT(listed.out, testing::HasSubstr("3f8c:64a9  " + bed.FidoNode(second) + "\n"));

  CFidoToken token(std::make_shared<LinuxHidPlatform>());
  token.SetTransport(kTransportUsbHid);
  ASSERT_EQ(token.EnumerateDevices(), 2);
  ASSERT_EQ(token.SelectDevice(kMakerVendorId, 0x2D71), 1);
  bed.Unplug(second);
  std::uint8_t getInfo = 0x04;
  std::uint8_t answer[1024];
  std::uint32_t length = sizeof answer;
  EXPECT_EQ(token.SendCborCommand(&getInfo, 1, answer, &length), 0x00);
  EXPECT_EQ(token.EnumerateDevices(), 1);
  EXPECT_EQ(RunCliOnHidraw({"info"}).exit, 0);
}

TEST_F(HidrawTest, APulledOutNodeAnswersAsTheKernelDoes) {
  const int device = bed.Plug(vkey::VirtualKey::Create(QuickKey()), KeyShape::kFidoOnly);
  const std::string node = bed.FidoNode(device);
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  bed.Unplug(device);
  pollfd waiting{fd, POLLIN, 0};
  EXPECT_EQ(::poll(&waiting, 1, 1000), 1);
  EXPECT_TRUE(waiting.revents & POLLHUP);
  std::uint8_t report[65] = {};
  errno = 0;
  EXPECT_EQ(::read(fd, report, 64), -1);
  EXPECT_EQ(errno, EIO);
  errno = 0;
  EXPECT_EQ(::write(fd, report, 65), -1);
  EXPECT_EQ(errno, ENODEV);
  ::close(fd);
  errno = 0;
  EXPECT_LT(::open(node.c_str(), O_RDWR), 0);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
}  // namespace pinvale::emulation::test
