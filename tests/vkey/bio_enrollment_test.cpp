// Fingerprint enrolment on the 2.1 and 2.1-pre profiles: samples good and bad, the
// store and its limits, names, the tokens it takes, cancelling, malformed requests
// (which leave the key as it was), and the sensor's own token with its retries.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "bio_host.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {
namespace {

const std::string kPin = "1234";

VirtualKeyConfig BioConfig(CtapProfile profile = CtapProfile::kCtap21) {
  VirtualKeyConfig config = FastConfig();
  config.profile = profile;
  config.initialPin = kPin;
  return config;
}

std::uint32_t Unsigned(const CborItem& item) {
  std::uint32_t value = 0xFFFF;
  item.getUnsigned(value);
  return value;
}

// The {1: id, 2: name} entries of an enumerateEnrollments answer.
std::vector<std::pair<Bytes, std::string>> Templates(const Bytes& answer) {
  std::vector<std::pair<Bytes, std::string>> out;
  CborItem entry = AnswerMember(answer, 7);
  const std::uint32_t count = entry.head().argument;
  entry.assign(entry.data() + entry.head().headLength, entry.length() - entry.head().headLength);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* id = nullptr;
    std::uint32_t idLength = 0;
    const char* name = nullptr;
    std::uint32_t nameLength = 0;
    EXPECT_TRUE(entry.mapValueByInt(1).getBytes(id, idLength));
    EXPECT_TRUE(entry.mapValueByInt(2).getText(name, nameLength));
    out.emplace_back(Bytes(id, id + idLength), std::string(name, nameLength));
    CborItem after;
    if (!entry.nextItem(after)) break;
    entry = after;
  }
  return out;
}

// Which command the platform uses on which key.
struct BioFlavour {
  const char* name;
  CtapProfile profile;
  std::uint32_t protocol;
  bool prototype;
};

class VkeyBioFlavourTest : public ::testing::TestWithParam<BioFlavour> {
 protected:
  VkeyBioFlavourTest()
      : key_(VirtualKey::Create(BioConfig(GetParam().profile))),
        bio_(key_, GetParam().protocol, GetParam().prototype) {}
  std::uint8_t Login() {
    return GetParam().profile == CtapProfile::kCtap21 ? bio_.Login(kPin) : bio_.LegacyLogin(kPin);
  }
  std::shared_ptr<VirtualKey> key_;
  BioHost bio_;
};

TEST_P(VkeyBioFlavourTest, EnrolsWithABadSampleAndNoFingerInTheMiddle) {
  // Without a token only the sensor's description and the modality are open.
  const Bytes info = bio_.Bio(7, {}, false);
  ASSERT_EQ(info.at(0), kStatusOk);
  EXPECT_EQ(Unsigned(AnswerMember(info, 2)), 1u);  // a touch sensor
  EXPECT_EQ(Unsigned(AnswerMember(info, 3)), 4u);
  // The friendly-name limit is a member of the final command only.
  EXPECT_EQ(Unsigned(AnswerMember(info, 8)), GetParam().prototype ? 0xFFFFu : 15u);
  EXPECT_EQ(bio_.Bio(1, {}, false), Bytes{kStatusPuatRequired});

  ASSERT_EQ(Login(), kStatusOk);
  const Bytes begin = bio_.Bio(1, {std::nullopt, std::nullopt, 200});
  ASSERT_EQ(begin.at(0), kStatusOk);
  EXPECT_EQ(Unsigned(AnswerMember(begin, 5)), 0u);
  EXPECT_EQ(Unsigned(AnswerMember(begin, 6)), 3u);
  const std::uint8_t* id = nullptr;
  std::uint32_t idLength = 0;
  ASSERT_TRUE(AnswerMember(begin, 4).getBytes(id, idLength));
  const Bytes templateId(id, id + idLength);

  key_->Sensor({UserAction::kBadSample, 0x05});  // too fast
  key_->Sensor({UserAction::kNoFinger, 0});
  key_->Sensor({UserAction::kOtherFinger, 0});  // any finger is good to enrol
  const std::pair<std::uint32_t, std::uint32_t> expected[] = {
      {0x05, 3}, {0x0D, 3}, {0x00, 2}, {0x00, 1}, {0x00, 0}};
  for (const auto& [sample, remaining] : expected) {
    const Bytes next = bio_.Bio(2, {templateId, std::nullopt, 200});
    ASSERT_EQ(next.at(0), kStatusOk);
    EXPECT_EQ(Unsigned(AnswerMember(next, 5)), sample);
    EXPECT_EQ(Unsigned(AnswerMember(next, 6)), remaining);
  }
  EXPECT_EQ(key_->Status().fingerprints, 1u);
  // The enrolment is over.
  EXPECT_EQ(bio_.Bio(2, {templateId, std::nullopt, std::nullopt}), Bytes{kStatusNotAllowed});
  const auto listed = Templates(bio_.Bio(4));
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].first, templateId);
  EXPECT_EQ(listed[0].second, "");
}

TEST_P(VkeyBioFlavourTest, NamesRenamesAndRemoves) {
  ASSERT_EQ(Login(), kStatusOk);
  EXPECT_EQ(bio_.Bio(4), Bytes{kStatusInvalidOption});  // none enrolled
  const Bytes first = bio_.Enroll();
  const Bytes second = bio_.Enroll();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);

  const std::string fifteen = "right thumb 123";
  const std::string umlauts = "\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC";
  EXPECT_EQ(bio_.Bio(5, {first, fifteen, std::nullopt}), Bytes{kStatusOk});
  EXPECT_EQ(bio_.Bio(5, {second, fifteen + "4", std::nullopt}), Bytes{kStatusInvalidLength});
  EXPECT_EQ(bio_.Bio(5, {second, umlauts, std::nullopt}), Bytes{kStatusInvalidLength});
  EXPECT_EQ(bio_.Bio(5, {second, "\xC3(", std::nullopt}), Bytes{kStatusInvalidCbor});
  EXPECT_EQ(bio_.Bio(5, {Bytes{9, 9, 9}, "x", std::nullopt}), Bytes{kStatusInvalidParameter});
  EXPECT_EQ(bio_.Bio(5, {second, std::nullopt, std::nullopt}), Bytes{kStatusMissingParameter});
  EXPECT_EQ(bio_.Bio(5, {second, "\xE6\x8C\x87", std::nullopt}), Bytes{kStatusOk});
  auto listed = Templates(bio_.Bio(4));
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].second, fifteen);
  EXPECT_EQ(listed[1].second, "\xE6\x8C\x87");

  EXPECT_EQ(bio_.Bio(6, {Bytes{9, 9, 9}, std::nullopt, std::nullopt}),
            Bytes{kStatusInvalidParameter});
  EXPECT_EQ(bio_.Bio(6, {first, std::nullopt, std::nullopt}), Bytes{kStatusOk});
  listed = Templates(bio_.Bio(4));
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].first, second);
  EXPECT_EQ(bio_.Bio(6, {second, std::nullopt, std::nullopt}), Bytes{kStatusOk});
  EXPECT_EQ(bio_.Bio(4), Bytes{kStatusInvalidOption});
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, VkeyBioFlavourTest,
    ::testing::Values(BioFlavour{"Final", CtapProfile::kCtap21, 2, false},
                      BioFlavour{"PrototypeOn21", CtapProfile::kCtap21, 1, true},
                      BioFlavour{"Prototype", CtapProfile::kCtap21Pre, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VkeyBioTest, FullStoreRefusesAnotherEnrolment) {
  VirtualKeyConfig config = BioConfig();
  config.fingerprintCapacity = 2;
  auto key = VirtualKey::Create(config);
  BioHost bio(key, 2);
  ASSERT_EQ(bio.Login(kPin), kStatusOk);
  ASSERT_FALSE(bio.Enroll().empty());
  ASSERT_FALSE(bio.Enroll().empty());
  EXPECT_EQ(bio.Bio(1), Bytes{kStatusFingerprintDatabaseFull});
  EXPECT_EQ(key->Status().fingerprints, 2u);
  EXPECT_FALSE(key->Status().waitingForFinger);
}

TEST(VkeyBioTest, TokensWithoutTheRightsAreRefused) {
  auto key = VirtualKey::Create(BioConfig());
  BioHost bio(key, 2);
  ASSERT_EQ(bio.Login(kPin, kPermissionCredentialManagement), kStatusOk);
  EXPECT_EQ(bio.Bio(4), Bytes{kStatusPinAuthInvalid});
  // A legacy token carries mc and ga only on a 2.1 key.
  ASSERT_EQ(bio.LegacyLogin(kPin), kStatusOk);
  EXPECT_EQ(bio.Bio(1), Bytes{kStatusPinAuthInvalid});
  ASSERT_EQ(bio.Login(kPin), kStatusOk);
  bio.token()[0] ^= 1;
  EXPECT_EQ(bio.Bio(1), Bytes{kStatusPinAuthInvalid});
  bio.token()[0] ^= 1;
  EXPECT_EQ(bio.Bio(3, {}, false), Bytes{kStatusOk});  // nothing to cancel: fine
  EXPECT_EQ(key->Status().fingerprints, 0u);
  EXPECT_FALSE(key->Status().waitingForFinger);
}

TEST(VkeyBioTest, CancelledCaptureEndsTheEnrolment) {
  VirtualKeyConfig config = BioConfig();
  config.touchMode = TouchMode::kOnDemand;
  auto key = VirtualKey::Create(config);
  BioHost bio(key, 2);
  ASSERT_EQ(bio.Login(kPin), kStatusOk);
  key->Sensor({UserAction::kTouch, 0});
  const Bytes begin = bio.Bio(1);
  const std::uint8_t* id = nullptr;
  std::uint32_t idLength = 0;
  ASSERT_TRUE(AnswerMember(begin, 4).getBytes(id, idLength));
  const Bytes templateId(id, id + idLength);
  EXPECT_EQ(bio.Bio(2, {Bytes{1, 2, 3}, std::nullopt, std::nullopt}),
            Bytes{kStatusInvalidParameter});

  // The capture waits with keepalives until CTAPHID_CANCEL.
  TestHost& host = bio.host();
  std::thread canceller([&host, &key] {
    for (int i = 0; i < 200 && !key->Status().waitingForFinger; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    host.SendMessage(host.cid(), kCmdCancel, {});
  });
  EXPECT_EQ(bio.Bio(2, {templateId, std::nullopt, std::nullopt}), Bytes{kStatusKeepaliveCancel});
  canceller.join();
  EXPECT_EQ(bio.Bio(2, {templateId, std::nullopt, std::nullopt}), Bytes{kStatusNotAllowed});
  EXPECT_EQ(bio.Bio(3, {}, false), Bytes{kStatusOk});

  // cancelCurrentEnrollment ends one too, and a new one starts afresh.
  key->Sensor({UserAction::kTouch, 0});
  ASSERT_EQ(bio.Bio(1).at(0), kStatusOk);
  EXPECT_EQ(bio.Bio(3, {}, false), Bytes{kStatusOk});
  EXPECT_EQ(key->Status().fingerprints, 0u);
}

// Malformed requests: a status each, the key as it was.
struct MalformedBio {
  const char* name;
  Bytes cbor;
  std::uint8_t status;
};

class VkeyBioMalformedTest : public ::testing::TestWithParam<MalformedBio> {};

TEST_P(VkeyBioMalformedTest, RefusedWithoutAChange) {
  auto key = VirtualKey::Create(BioConfig());
  BioHost bio(key, 2);
  ASSERT_EQ(bio.Login(kPin), kStatusOk);
  ASSERT_FALSE(bio.Enroll().empty());
  Bytes message = {kCtapBioEnrollment};
  message.insert(message.end(), GetParam().cbor.begin(), GetParam().cbor.end());
  EXPECT_EQ(bio.host().Ctap(message), Bytes{GetParam().status});
  EXPECT_EQ(key->Status().fingerprints, 1u);
  EXPECT_FALSE(key->Status().waitingForFinger);
  EXPECT_EQ(Templates(bio.Bio(4)).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VkeyBioMalformedTest,
    ::testing::Values(
        MalformedBio{"NoParameters", {}, kStatusMissingParameter},
        MalformedBio{"NotCbor", {0xFF}, kStatusInvalidCbor},
        MalformedBio{"TrailingBytes", {0xA1, 0x06, 0xF5, 0x00}, kStatusInvalidCbor},
        MalformedBio{"Array", {0x81, 0x01}, kStatusCborUnexpectedType},
        MalformedBio{
            "SubCommandText", {0xA2, 0x01, 0x01, 0x02, 0x61, 'x'}, kStatusCborUnexpectedType},
        MalformedBio{"ParamsNotAMap",
                     {0xA3, 0x01, 0x01, 0x02, 0x06, 0x03, 0x41, 0x01},
                     kStatusCborUnexpectedType},
        MalformedBio{"TemplateIdText",
                     {0xA3, 0x01, 0x01, 0x02, 0x06, 0x03, 0xA1, 0x01, 0x61, 'x'},
                     kStatusCborUnexpectedType},
        MalformedBio{"GetModalityNumber", {0xA1, 0x06, 0x01}, kStatusCborUnexpectedType},
        MalformedBio{"NoSubCommand", {0xA1, 0x01, 0x01}, kStatusMissingParameter},
        MalformedBio{"NoModality", {0xA1, 0x02, 0x07}, kStatusMissingParameter},
        MalformedBio{"OtherModality", {0xA2, 0x01, 0x02, 0x02, 0x07}, kStatusInvalidParameter},
        MalformedBio{"UnknownSubCommand", {0xA2, 0x01, 0x01, 0x02, 0x08}, kStatusInvalidSubcommand},
        MalformedBio{"RemoveUnsigned",
                     {0xA3, 0x01, 0x01, 0x02, 0x06, 0x03, 0xA1, 0x01, 0x41, 0x01},
                     kStatusPuatRequired},
        MalformedBio{
            "MacOverOtherBytes",
            {0xA5, 0x01, 0x01, 0x02, 0x04, 0x03, 0xA0, 0x04, 0x02, 0x05, 0x58, 0x20, 0, 0, 0,
             0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0,
             0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0},
            kStatusPinAuthInvalid}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VkeyBioTest, GetModalityAnswersFingerprint) {
  TestHost host(VirtualKey::Create(BioConfig()));
  EXPECT_EQ(host.Ctap({kCtapBioEnrollment, 0xA1, 0x06, 0xF5}), (Bytes{0x00, 0xA1, 0x01, 0x01}));
  // A 2.0 key has no sensor; a 2.1-pre key only the prototype command.
  VirtualKeyConfig old = BioConfig(CtapProfile::kCtap20);
  TestHost oldHost(VirtualKey::Create(old));
  EXPECT_EQ(oldHost.Ctap({kCtapBioEnrollmentPre, 0xA1, 0x06, 0xF5}), Bytes{kStatusInvalidCommand});
  TestHost preHost(VirtualKey::Create(BioConfig(CtapProfile::kCtap21Pre)));
  EXPECT_EQ(preHost.Ctap({kCtapBioEnrollment, 0xA1, 0x06, 0xF5}), Bytes{kStatusInvalidCommand});
}

}  // namespace
}  // namespace pinvale::vkey::test

namespace pinvale::vkey::test {
namespace {

// The demo key's automatic sensor: the first sample of each enrolment placed too high,
// the rest good, so every enrolment shows the feedback and still ends with a template.
TEST(VkeyBioTest, TheAutomaticSensorGivesEachEnrolmentOneBadFirstSample) {
  VirtualKeyConfig config = BioConfig();
  config.touchMode = TouchMode::kAutomatic;
  config.touchDelayMs = 0;
  config.automaticBadFirstSample = 0x01;
  auto key = VirtualKey::Create(config);
  BioHost bio(key, 2);
  ASSERT_EQ(bio.Login(kPin), kStatusOk);
  for (int enrolment = 0; enrolment < 2; ++enrolment) {
    const Bytes begin = bio.Bio(1);
    ASSERT_EQ(begin.at(0), kStatusOk);
    EXPECT_EQ(Unsigned(AnswerMember(begin, 5)), 0x01u);  // too high
    EXPECT_EQ(Unsigned(AnswerMember(begin, 6)), 4u);     // nothing taken yet
    const std::uint8_t* id = nullptr;
    std::uint32_t idLength = 0;
    ASSERT_TRUE(AnswerMember(begin, 4).getBytes(id, idLength));
    for (std::uint32_t remaining = 3;; --remaining) {
      const Bytes next = bio.Bio(2, {Bytes(id, id + idLength), std::nullopt, std::nullopt});
      ASSERT_EQ(next.at(0), kStatusOk);
      EXPECT_EQ(Unsigned(AnswerMember(next, 5)), 0u);
      EXPECT_EQ(Unsigned(AnswerMember(next, 6)), remaining);
      if (remaining == 0) break;
    }
  }
  EXPECT_EQ(key->Status().fingerprints, 2u);
}

}  // namespace
}  // namespace pinvale::vkey::test
