// Which interfaces the enumeration lists, how selection picks one, and how long
// handles live.

#include <gtest/gtest.h>

#include "fake_hid.h"
#include "transport/hid_composite.h"
#include "transport/hidraw_path.h"

namespace pinvale::test {
namespace {

constexpr std::uint16_t kPidA = kMakerProductIds[0];
constexpr std::uint16_t kPidB = kMakerProductIds[1];

class Enumeration : public ::testing::Test {
 protected:
  void SetUp() override { ClearHidAccessFailureFlag(); }
  void TearDown() override { ClearHidAccessFailureFlag(); }

  std::shared_ptr<FakeHidPlatform> platform_ = std::make_shared<FakeHidPlatform>();
  CHidDeviceList list_{platform_};
};

TEST_F(Enumeration, OtherVendorsAreNeitherListedNorOpened) {
  platform_->AddDevice(BuildHidrawPath(0x046D, 0xC52B, "/dev/hidraw0"), 0x046D, 0xC52B);
  EXPECT_EQ(list_.Enumerate(), 0);
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_FALSE(HidAccessFailureFlag());
  EXPECT_EQ(platform_->OpenCount(), 0);
}

TEST_F(Enumeration, PathWithoutTheLowerCaseVendorIdIsNotListed) {
  platform_->AddDevice("\\\\?\\hid#VID_3F8C&PID_2D71#1", kMakerVendorId, kPidA);
  platform_->AddDevice("\\\\?\\hid#no-ids#2", kMakerVendorId, kPidA);
  EXPECT_EQ(list_.Enumerate(), 0);
}

TEST_F(Enumeration, AttributesOfAnotherVendorAreNotListed) {
  auto key = platform_->AddMakerKey();
  key->SetAttributes(0x1050, 0x0407);
  EXPECT_EQ(list_.Enumerate(), 0);
  EXPECT_FALSE(HidAccessFailureFlag());
  EXPECT_EQ(key->OpenHandleCount(), 0);
}

class RefusedOpen : public Enumeration, public ::testing::WithParamInterface<HidAccess> {};

TEST_P(RefusedOpen, SetsAccessFailureFlagAndClosesTheOtherHandle) {
  auto key = platform_->AddMakerKey();
  key->FailOpen(GetParam());
  EXPECT_EQ(list_.Enumerate(), 0);
  EXPECT_TRUE(HidAccessFailureFlag());
  EXPECT_EQ(key->OpenHandleCount(), 0);

  ClearHidAccessFailureFlag();
  EXPECT_FALSE(HidAccessFailureFlag());
}

INSTANTIATE_TEST_SUITE_P(Access, RefusedOpen,
                         ::testing::Values(HidAccess::kRead, HidAccess::kWrite));

TEST_F(Enumeration, UnreadableAttributesOrCapsAreNotListed) {
  platform_->AddMakerKey()->FailAttributes();
  platform_->AddMakerKey()->FailCaps();
  EXPECT_EQ(list_.Enumerate(), 0);
  EXPECT_FALSE(HidAccessFailureFlag());
}

struct CapsCase {
  HidCaps caps;
  bool listed;
};
class ReportLength : public Enumeration, public ::testing::WithParamInterface<CapsCase> {};

// Reports must fit the 100-byte report buffer in both directions.
TEST_P(ReportLength, ListedOnlyWhenReportsFitTheBuffer) {
  platform_->AddMakerKey()->SetCaps(GetParam().caps);
  EXPECT_EQ(list_.Enumerate(), GetParam().listed ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Caps, ReportLength,
                         ::testing::Values(CapsCase{{65, 65}, true}, CapsCase{{100, 100}, true},
                                           CapsCase{{101, 65}, false}, CapsCase{{65, 101}, false},
                                           CapsCase{{0xFFFF, 0xFFFF}, false}));

TEST_F(Enumeration, SeveralInterfacesAreListedInOrderAndSelectTakesTheFirst) {
  auto first = platform_->AddMakerKey(kPidA);
  auto other = platform_->AddMakerKey(kPidB);
  auto second = platform_->AddMakerKey(kPidA);
  ASSERT_EQ(list_.Enumerate(), 3);
  EXPECT_EQ(list_.Entries()[0].productId, kPidA);
  EXPECT_EQ(list_.Entries()[1].productId, kPidB);
  EXPECT_EQ(list_.Entries()[2].productId, kPidA);

  ASSERT_EQ(list_.Select(kMakerVendorId, kPidA), 1);
  EXPECT_EQ(list_.Selected().readHandle, list_.Entries()[0].readHandle);
  EXPECT_EQ(list_.Selected().writeHandle, list_.Entries()[0].writeHandle);

  // Traffic goes to the first interface only.
  first->ScriptAnswer(0x00);
  std::uint8_t answer[8];
  std::uint32_t length = sizeof answer;
  EXPECT_EQ(list_.Transceive(std::vector<std::uint8_t>{0x04}.data(), 1, answer, &length), 0);
  EXPECT_FALSE(first->SentMessages().empty());
  EXPECT_TRUE(second->SentReports().empty());
  EXPECT_TRUE(other->SentReports().empty());
}

TEST_F(Enumeration, SelectMissReturnsZeroAndKeepsTheSlot) {
  platform_->AddMakerKey(kPidA);
  list_.Enumerate();
  ASSERT_EQ(list_.Select(kMakerVendorId, kPidA), 1);
  const auto before = list_.Selected();

  EXPECT_EQ(list_.Select(kMakerVendorId, kPidB), 0);
  EXPECT_EQ(list_.Select(0x1050, kPidA), 0);
  EXPECT_EQ(list_.Selected().productId, kPidA);
  EXPECT_EQ(list_.Selected().readHandle, before.readHandle);
}

TEST_F(Enumeration, EachEnumerationReplacesTheEntries) {
  platform_->AddMakerKey();
  EXPECT_EQ(list_.Enumerate(), 1);
  EXPECT_EQ(list_.Enumerate(), 1);
  platform_->FailListing();
  EXPECT_EQ(list_.Enumerate(), 0);
  EXPECT_EQ(list_.Count(), 0);
}

TEST_F(Enumeration, SelectedKeyStaysOpenUntilTheNextSuccessfulSelect) {
  auto gone = platform_->AddMakerKey(kPidA);
  list_.Enumerate();
  list_.Select(kMakerVendorId, kPidA);
  platform_->RemoveDevice(gone);
  auto next = platform_->AddMakerKey(kPidB);

  EXPECT_EQ(list_.Enumerate(), 1);
  EXPECT_EQ(gone->OpenHandleCount(), 2);  // held by the selected slot only
  EXPECT_EQ(list_.Select(kMakerVendorId, kPidA), 0);
  EXPECT_EQ(gone->OpenHandleCount(), 2);

  EXPECT_EQ(list_.Select(kMakerVendorId, kPidB), 1);
  EXPECT_EQ(gone->OpenHandleCount(), 0);
  EXPECT_EQ(next->OpenHandleCount(), 2);

  list_.CloseAll();
  EXPECT_EQ(next->OpenHandleCount(), 0);
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_EQ(list_.Selected().productId, 0u);
}

TEST_F(Enumeration, SlowProductGetsItsPauseOthersDoNot) {
  std::vector<int> pauses;
  list_.SetPauseFunction([&](int ms) { pauses.push_back(ms); });
  platform_->AddMakerKey(kPidA);
  platform_->AddMakerKey(kMakerSlowProductId);
  platform_->AddMakerKey(kPidB);
  EXPECT_EQ(list_.Enumerate(), 3);
  EXPECT_EQ(pauses, (std::vector<int>{2000}));
}

TEST_F(Enumeration, TokenForwardsOnlyForUsbHid) {
  platform_->AddMakerKey(kPidA);
  CFidoToken token(platform_);
  EXPECT_EQ(token.EnumerateDevices(), 0);  // no transport chosen yet
  EXPECT_EQ(token.SetTransport(kTransportOther), 1);
  EXPECT_EQ(token.EnumerateDevices(), 0);
  EXPECT_EQ(token.SelectDevice(kMakerVendorId, kPidA), 0);
  EXPECT_EQ(token.SetTransport(kTransportUsbHid), 1);
  EXPECT_EQ(token.EnumerateDevices(), 1);
  EXPECT_EQ(token.SelectDevice(kMakerVendorId, kPidA), 1);
}

// ------------------------------------------------------------ several sources

TEST(CompositePlatform, ListsEverySourceAndRoutesOpens) {
  auto hidraw = std::make_shared<FakeHidPlatform>();
  auto sockets = std::make_shared<FakeHidPlatform>();
  auto broken = std::make_shared<FakeHidPlatform>();
  broken->FailListing();
  auto a = hidraw->AddMakerKey(kPidA);
  auto b = sockets->AddDevice("/run/vkeys/3f8c-64a9-demo.sock", kMakerVendorId, kPidB);
  auto composite = std::make_shared<CompositeHidPlatform>();
  composite->Add(hidraw);
  composite->Add(broken);
  composite->Add(sockets);

  std::vector<std::string> paths;
  ASSERT_TRUE(composite->ListInterfaces(paths));
  EXPECT_EQ(paths, (std::vector<std::string>{a->Path(), b->Path()}));

  std::uint32_t error = 0;
  EXPECT_NE(composite->Open(b->Path(), HidAccess::kRead, error), nullptr);
  EXPECT_EQ(sockets->OpenCount(), 1);
  EXPECT_EQ(hidraw->OpenCount(), 0);
  EXPECT_EQ(composite->Open("/never/listed", HidAccess::kRead, error), nullptr);
  EXPECT_EQ(error, 2u);

  CHidDeviceList list(composite);
  EXPECT_EQ(list.Enumerate(), 2);
}

TEST(CompositePlatform, FailsOnlyWhenNoSourceLists) {
  auto broken = std::make_shared<FakeHidPlatform>();
  broken->FailListing();
  CompositeHidPlatform composite;
  std::vector<std::string> paths;
  EXPECT_TRUE(composite.ListInterfaces(paths));  // no source: nothing present
  composite.Add(broken);
  EXPECT_FALSE(composite.ListInterfaces(paths));
}

}  // namespace
}  // namespace pinvale::test
