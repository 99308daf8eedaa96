// ManagementSession against a scripted key of the CTAP 2.1 drafts (protocol 1,
// getPINToken tokens): one PIN, and a new token once when the key refuses the
// one it gave (0x33, 0x38) part-way through a session.

#include "ctap/management_session.h"

#include <gtest/gtest.h>

#include "ctap/credential_management.h"
#include "fake_hid.h"
#include "pin_device_model.h"

namespace pinvale {
namespace {

using test::Bytes;
using test::PinDeviceModel;

class PrototypeKey {
 public:
  explicit PrototypeKey(test::FakeHidDevice& device) {
    device.SetResponder([this](const Bytes& request) { return Answer(request); });
  }

  std::deque<std::uint8_t> cmStatuses;  // one per credential-management request
  int tokensGiven = 0;
  int wrongPinsLeft = 0;  // the next token requests answer 0x31
  std::vector<Bytes> macs;

 private:
  std::optional<Bytes> Answer(const Bytes& request) {
    if (request[0] == 0x06 && request[5] == 0x02) {
      return test::CtapAnswer(0, model_.KeyAgreementBody());
    }
    if (request[0] == 0x06 && request[5] == 0x05) {
      if (wrongPinsLeft > 0) {
        --wrongPinsLeft;
        return test::CtapAnswer(0x31);
      }
      const Bytes secret = model_.SharedSecretFor(request);
      token_ = Bytes(16, static_cast<std::uint8_t>(0x40 + ++tokensGiven));
      std::uint8_t buffer[64];
      CborWriter writer(buffer, sizeof buffer);
      const Bytes encrypted = PinDeviceModel::Encrypt(secret, token_);
      writer.beginMap(1).putInt(2).putBytes(encrypted.data(), 16);
      return test::CtapAnswer(0, Bytes(buffer, buffer + writer.length()));
    }
    if (request[0] == 0x41) {
      macs.push_back(PinDeviceModel::Member(request, 4));
      EXPECT_EQ(macs.back(), PinDeviceModel::HmacHalf(token_, {0x01}));
      const std::uint8_t status = cmStatuses.empty() ? 0 : cmStatuses.front();
      if (!cmStatuses.empty()) cmStatuses.pop_front();
      return test::CtapAnswer(status, status == 0 ? Bytes{0xA2, 0x01, 0x02, 0x02, 0x17} : Bytes{});
    }
    return test::CtapAnswer(0x01);
  }

  PinDeviceModel model_;
  Bytes token_;
};

class SessionTest : public testing::Test {
 protected:
  SessionTest() {
    info.versions = {"FIDO_2_0", "FIDO_2_1_PRE"};
    info.options = {{"clientPin", true}, {"credentialMgmtPreview", true}};
  }
  int Metadata(ManagementSession& session, CredentialSlots& slots) {
    return session.Run([&](const PinUvToken& token) { return cm.GetCredsMetadata(token, slots); });
  }

  test::FakeKeyRig rig;
  PrototypeKey key{*rig.key};
  AuthenticatorInfo info;
  CredentialManagement cm{rig.token, kCredentialManagementPrototypeCommand};
  const Bytes pin = {'1', '2', '3', '4'};
};

struct RenewalCase {
  const char* name;
  std::vector<std::uint8_t> statuses;
  int result;
  int tokens;
  int renewals;
};

class SessionRenewal : public SessionTest, public testing::WithParamInterface<RenewalCase> {};

TEST_P(SessionRenewal, GetsANewTokenOnceWithTheKeptPin) {
  ManagementSession session(rig.token, info, PinProtocolOne(), kPermissionCredentialManagement);
  ASSERT_EQ(session.Open(pin).code, 0);
  key.cmStatuses.assign(GetParam().statuses.begin(), GetParam().statuses.end());
  CredentialSlots slots;
  EXPECT_EQ(Metadata(session, slots), GetParam().result);
  EXPECT_EQ(key.tokensGiven, GetParam().tokens);
  EXPECT_EQ(session.Renewals(), GetParam().renewals);
  if (GetParam().result == 0) {
    EXPECT_EQ(slots.existing, 2u);
    EXPECT_EQ(slots.remaining, 23u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, SessionRenewal,
    testing::Values(RenewalCase{"Accepted", {0x00}, 0, 1, 0},
                    RenewalCase{"Expired", {0x38, 0x00}, 0, 2, 1},
                    RenewalCase{"AuthInvalid", {0x33, 0x00}, 0, 2, 1},
                    RenewalCase{"RefusedTwiceIsReported", {0x33, 0x33}, 0x33, 2, 1},
                    RenewalCase{"OtherStatusesAreNotRetried", {0x30}, 0x30, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, ARenewalThePinNoLongerOpensEndsTheSession) {
  ManagementSession session(rig.token, info, PinProtocolOne(), kPermissionCredentialManagement);
  ASSERT_EQ(session.Open(pin).code, 0);
  key.cmStatuses = {0x38};
  key.wrongPinsLeft = 1;  // the PIN was changed meanwhile
  CredentialSlots slots;
  EXPECT_EQ(Metadata(session, slots), 0x31);
  EXPECT_FALSE(session.IsOpen());
  // Nothing more goes out with the dropped PIN.
  const std::size_t sent = rig.key->SentMessages().size();
  EXPECT_EQ(Metadata(session, slots), kManagementRequestUnbuildable);
  EXPECT_EQ(rig.key->SentMessages().size(), sent);
}

TEST_F(SessionTest, AWrongPinOpensNothing) {
  ManagementSession session(rig.token, info, PinProtocolOne(), kPermissionCredentialManagement);
  key.wrongPinsLeft = 1;
  const PinRequestResult opened = session.Open(pin);
  EXPECT_TRUE(opened.requestSent);
  EXPECT_EQ(opened.code, 0x31);
  EXPECT_FALSE(session.IsOpen());
}

}  // namespace
}  // namespace pinvale
