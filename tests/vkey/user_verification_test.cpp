// The sensor as user verification: clientPIN 0x06 gives a token for an enrolled
// finger, each other finger costs a retry down to UV_BLOCKED, and the PIN restores
// them; getUVRetries shows the count.

#include <gtest/gtest.h>

#include "bio_host.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {
namespace {

const std::string kPin = "1234";
const std::string kSite = "pinvale.example";

std::shared_ptr<VirtualKey> EnrolledKey(BioHost*& bio, std::unique_ptr<BioHost>& owner,
                                        CtapProfile profile = CtapProfile::kCtap21) {
  VirtualKeyConfig config = FastConfig();
  config.profile = profile;
  config.initialPin = kPin;
  auto key = VirtualKey::Create(config);
  owner = std::make_unique<BioHost>(key, profile == CtapProfile::kCtap21 ? 2 : 1,
                                    profile != CtapProfile::kCtap21);
  bio = owner.get();
  return key;
}

TEST(VkeyUvTest, MatchingFingerEarnsATokenOthersCostRetriesUntilBlocked) {
  BioHost* bio = nullptr;
  std::unique_ptr<BioHost> owner;
  auto key = EnrolledKey(bio, owner);
  const TokenAsk assertHere = {kPermissionGetAssertion, kSite};
  // No finger enrolled: the sensor cannot verify anybody.
  EXPECT_EQ(bio->UvToken(assertHere), kStatusNotAllowed);
  ASSERT_EQ(bio->Login(kPin), kStatusOk);
  ASSERT_FALSE(bio->Enroll().empty());
  EXPECT_EQ(bio->UvRetries(), kMaxUvRetries);

  Bytes token;
  ASSERT_EQ(bio->UvToken(assertHere, &token), kStatusOk);
  EXPECT_EQ(token.size(), 32u);
  // The token is good for what it was asked for (the key has no credential: 0x2E).
  EXPECT_EQ(bio->pin().Assert(kSite, token, 2), kStatusNoCredentials);
  EXPECT_EQ(bio->pin().Assert("other.example", token, 2), kStatusPinAuthInvalid);
  // Enrolling takes the PIN; permissions are checked as for the PIN's token.
  EXPECT_EQ(bio->UvToken({kPermissionBioEnrollment, std::nullopt}), kStatusUnauthorizedPermission);
  EXPECT_EQ(bio->UvToken({kPermissionGetAssertion, std::nullopt}), kStatusInvalidParameter);
  EXPECT_EQ(bio->UvToken({}), kStatusMissingParameter);
  EXPECT_EQ(bio->UvToken({kPermissionCredentialManagement, std::nullopt}), kStatusOk);

  // A bad sample and no finger cost nothing.
  key->Sensor({UserAction::kBadSample, 0x07});
  EXPECT_EQ(bio->UvToken(assertHere), kStatusUvInvalid);
  key->Sensor({UserAction::kNoFinger, 0});
  EXPECT_EQ(bio->UvToken(assertHere), kStatusUserActionTimeout);
  EXPECT_EQ(bio->UvRetries(), kMaxUvRetries);
  // A match restores what wrong fingers took.
  key->Sensor({UserAction::kOtherFinger, 0});
  EXPECT_EQ(bio->UvToken(assertHere), kStatusUvInvalid);
  EXPECT_EQ(bio->UvRetries(), kMaxUvRetries - 1);
  ASSERT_EQ(bio->UvToken(assertHere), kStatusOk);
  EXPECT_EQ(bio->UvRetries(), kMaxUvRetries);

  for (std::uint32_t left = kMaxUvRetries - 1; left > 0; --left) {
    key->Sensor({UserAction::kOtherFinger, 0});
    EXPECT_EQ(bio->UvToken(assertHere), kStatusUvInvalid);
    EXPECT_EQ(bio->UvRetries(), left);
  }
  key->Sensor({UserAction::kOtherFinger, 0});
  EXPECT_EQ(bio->UvToken(assertHere), kStatusUvBlocked);
  // Blocked: even the enrolled finger is not asked for, until the PIN is given.
  EXPECT_EQ(bio->UvToken(assertHere), kStatusUvBlocked);
  EXPECT_FALSE(key->Status().waitingForFinger);
  EXPECT_EQ(bio->UvRetries(), 0u);
  ASSERT_EQ(bio->Login(kPin), kStatusOk);
  EXPECT_EQ(bio->UvRetries(), kMaxUvRetries);
  EXPECT_EQ(bio->UvToken(assertHere), kStatusOk);
}

TEST(VkeyUvTest, PrototypeKeyCountsRetriesButHasNoSensorToken) {
  BioHost* bio = nullptr;
  std::unique_ptr<BioHost> owner;
  auto key = EnrolledKey(bio, owner, CtapProfile::kCtap21Pre);
  ASSERT_EQ(bio->LegacyLogin(kPin), kStatusOk);
  ASSERT_FALSE(bio->Enroll().empty());
  EXPECT_EQ(bio->UvRetries(), kMaxUvRetries);
  EXPECT_EQ(bio->UvToken({kPermissionGetAssertion, kSite}), kStatusInvalidParameter);
  EXPECT_FALSE(key->Status().waitingForFinger);
}

}  // namespace
}  // namespace pinvale::vkey::test
