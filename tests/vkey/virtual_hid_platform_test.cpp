// The in-process key on the HID platform interface, driven by the product's own
// transport and PIN operations.

#include <cstring>

#include <gtest/gtest.h>

#include "ctap/pin_protocol.h"
#include "transport/fido_token.h"
#include "vkey/virtual_hid_platform.h"

namespace pinvale::vkey {
namespace {

std::span<const std::uint8_t> Bytes(const char* text) {
  return {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)};
}

class VirtualHidPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VirtualKeyConfig config;
    config.touchDelayMs = 10;
    key_ = VirtualKey::Create(config);
    path_ = platform_->AddKey(key_, "test");
  }

  bool Connect() {
    token_.SetTransport(kTransportUsbHid);
    return token_.EnumerateDevices() == 1 &&
           token_.SelectDevice(kMakerVendorId, kMakerProductIds[0]) == 1;
  }

  std::uint16_t GetInfo() {
    const std::uint8_t request[] = {0x04};
    std::uint8_t answer[kReceiveBufferSize];
    std::uint32_t length = sizeof answer;
    return token_.SendCborCommand(request, 1, answer, &length);
  }

  std::shared_ptr<VirtualHidPlatform> platform_ = std::make_shared<VirtualHidPlatform>();
  std::shared_ptr<VirtualKey> key_;
  std::string path_;
  CFidoToken token_{platform_};
};

TEST_F(VirtualHidPlatformTest, ListsThePathWithIdsWhilePlugged) {
  EXPECT_EQ(path_, "\\\\?\\virtual#vid_3f8c&pid_2d71#test");
  std::vector<std::string> paths;
  ASSERT_TRUE(platform_->ListInterfaces(paths));
  EXPECT_EQ(paths, std::vector<std::string>{path_});

  std::uint32_t error = 0;
  auto handle = platform_->Open(path_, HidAccess::kRead, error);
  ASSERT_NE(handle, nullptr);
  HidAttributes attributes;
  HidCaps caps;
  ASSERT_TRUE(handle->GetAttributes(attributes));
  ASSERT_TRUE(handle->GetCaps(caps));
  EXPECT_EQ(attributes.vendorId, kMakerVendorId);
  EXPECT_EQ(attributes.productId, kMakerProductIds[0]);
  EXPECT_EQ(caps.inputReportLength, 65);
  EXPECT_EQ(caps.outputReportLength, 65);

  key_->Unplug();
  ASSERT_TRUE(platform_->ListInterfaces(paths));
  EXPECT_TRUE(paths.empty());
  EXPECT_EQ(platform_->Open(path_, HidAccess::kRead, error), nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_FALSE(handle->GetAttributes(attributes));
}

TEST(VirtualHidPlatformNoticeTest, PlugAndPullOutAreReported) {
  VirtualKeyConfig config;
  config.initialPin = "1234";
  VirtualKeyFault pullOut;
  ASSERT_TRUE(ParseFault("pull-out=2", pullOut));
  config.faults.push_back(pullOut);
  auto key = VirtualKey::Create(config);
  EXPECT_TRUE(key->Config().initialPin.empty());  // only its hash is kept
  auto platform = std::make_shared<VirtualHidPlatform>();
  const std::string path = platform->AddKey(key, "n");
  std::vector<std::pair<std::string, bool>> notices;
  platform->SetPresenceListener(
      [&](const std::string& p, bool present) { notices.emplace_back(p, present); });

  key->Unplug();
  key->Unplug();  // already out: no second notice
  key->Plug();
  std::uint32_t error = 0;
  auto writer = platform->Open(path, HidAccess::kWrite, error);
  std::uint8_t report[65] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0, 8};
  EXPECT_EQ(writer->WriteReport(report, 65, error), 65);
  EXPECT_EQ(writer->WriteReport(report, 65, error), -1);  // the second packet pulls it out
  EXPECT_EQ(error, kErrorDeviceNotConnected);
  EXPECT_EQ(notices, (std::vector<std::pair<std::string, bool>>{
                         {path, false}, {path, true}, {path, false}}));
}

TEST_F(VirtualHidPlatformTest, ReportsTravelWithReportIdZero) {
  std::uint32_t error = 0;
  auto writer = platform_->Open(path_, HidAccess::kWrite, error);
  auto reader = platform_->Open(path_, HidAccess::kRead, error);
  std::uint8_t report[65] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(writer->WriteReport(report, 65, error), 65);
  EXPECT_EQ(writer->WriteReport(report, 64, error), -1);
  EXPECT_EQ(reader->WriteReport(report, 65, error), -1);
  std::uint8_t in[100];
  std::size_t received = 0;
  ASSERT_EQ(reader->ReadReport(in, sizeof in, 500, received, error), HidReadStatus::kOk);
  EXPECT_EQ(received, 65u);
  EXPECT_EQ(in[0], 0);
  EXPECT_EQ(in[5], 0x86);
  EXPECT_EQ(std::memcmp(in + 8, report + 8, 8), 0);
  EXPECT_EQ(reader->ReadReport(in, sizeof in, 20, received, error), HidReadStatus::kTimeout);
}

TEST_F(VirtualHidPlatformTest, ProductPinOperationsWork) {
  ASSERT_TRUE(Connect());
  EXPECT_EQ(GetInfo(), 0);
  EXPECT_EQ(QueryPinRetries(token_), 8u);
  PinRequestResult set = SendSetPin(token_, Bytes("1234"));
  EXPECT_TRUE(set.requestSent);
  EXPECT_EQ(set.code, 0);
  PinRequestResult change =
      SendChangePin(token_, Bytes("1234"), Bytes("\xE5\xAF\x86\xE7\xA0\x81\x31\x32"));
  EXPECT_EQ(change.code, 0);
  PinTokenResult wrong = ObtainPinToken(token_, Bytes("1234"));
  EXPECT_EQ(wrong.code, 0x31);
  EXPECT_EQ(QueryPinRetries(token_), 7u);
  PinTokenResult right = ObtainPinToken(token_, Bytes("\xE5\xAF\x86\xE7\xA0\x81\x31\x32"));
  EXPECT_EQ(right.code, 0);
  EXPECT_TRUE(right.tokenPresent);
  EXPECT_EQ(QueryPinRetries(token_), 8u);
}

TEST_F(VirtualHidPlatformTest, PullOutFailsTheExchangeUntilReconnected) {
  ASSERT_TRUE(Connect());
  EXPECT_EQ(GetInfo(), 0);
  key_->Unplug();
  EXPECT_EQ(GetInfo(), kExchangeFailed);
  EXPECT_FALSE(Connect());
  key_->Plug();
  ASSERT_TRUE(Connect());
  EXPECT_EQ(GetInfo(), 0);
}

TEST_F(VirtualHidPlatformTest, ResetThroughTheTransportWaitsForTheTouch) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(SendSetPin(token_, Bytes("1234")).code == 0);
  const std::uint8_t request[] = {0x07};
  std::uint8_t answer[256];
  std::uint32_t length = sizeof answer;
  EXPECT_EQ(token_.SendCborCommand(request, 1, answer, &length), 0);
  EXPECT_FALSE(key_->Status().pinSet);
}

}  // namespace
}  // namespace pinvale::vkey
