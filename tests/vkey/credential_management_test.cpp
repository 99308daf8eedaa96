// Credential management as a platform uses it: counting, listing by site, deleting and
// renaming passkeys; the walks and what ends them; which tokens may do what; the
// prototype command; and the statuses of bad requests, which leave the store as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "cbor/cbor_item.h"
#include "credential_manager_host.h"
#include "vkey/credential_management_request.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {
namespace {

const std::string kPin = "123456";

std::shared_ptr<VirtualKey> KeyWithPasskeys(CtapProfile profile = CtapProfile::kCtap21,
                                            bool passkeys = true) {
  VirtualKeyConfig config = FastConfig();
  config.profile = profile;
  config.initialPin = kPin;
  auto key = VirtualKey::Create(config);
  if (passkeys) {
    VirtualKeyTestAccess::StorePasskey(*key, Passkey("a.example", 1, "alice", "Alice A", "A Site"));
    VirtualKeyTestAccess::StorePasskey(*key, Passkey("b.example", 2, "bob"));
    VirtualKeyTestAccess::StorePasskey(*key, Passkey("a.example", 3, "carol", "", "A Site"));
  }
  return key;
}

CborItem Member(const Bytes& answer, int key) {
  if (answer.size() < 2) return {};
  return CborItem(answer.data() + 1, static_cast<std::uint32_t>(answer.size() - 1))
      .mapValueByInt(key);
}

std::string Text(const CborItem& item) {
  const char* text = nullptr;
  std::uint32_t length = 0;
  return item.getText(text, length) ? std::string(text, length) : "-";
}

Bytes BytesOf(const CborItem& item) {
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  return item.getBytes(data, length) ? Bytes(data, data + length) : Bytes{};
}

std::uint32_t Unsigned(const CborItem& item) {
  std::uint32_t value = 0;
  return item.getUnsigned(value) ? value : 9999;
}

// Everything the key lists, the way a manager shows it:
// "count+remaining | site (name): user/display ... | ...".
std::string Inventory(CredentialManagerHost& m) {
  std::ostringstream out;
  const Bytes metadata = m.Call(kCredMgmtGetCredsMetadata);
  out << Unsigned(Member(metadata, 1)) << "+" << Unsigned(Member(metadata, 2));
  Bytes rp = m.Call(kCredMgmtEnumerateRpsBegin);
  if (rp.empty() || rp[0] != kStatusOk) return out.str() + " | status " + std::to_string(rp[0]);
  const std::uint32_t sites = Unsigned(Member(rp, 5));
  std::vector<std::string> rpIds;
  for (std::uint32_t i = 0; i < sites; ++i) {
    if (i > 0) rp = m.Next(kCredMgmtEnumerateRpsGetNextRp);
    const std::string rpId = Text(Member(rp, 3).mapValueByText("id", 2));
    EXPECT_EQ(BytesOf(Member(rp, 4)), Sha256(rpId));
    const std::string name = Text(Member(rp, 3).mapValueByText("name", 4));
    rpIds.push_back(name == "-" ? rpId : rpId + " (" + name + ")");
  }
  for (std::string& site : rpIds) {
    out << " | " << site << ":";
    Bytes credential =
        m.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams(site.substr(0, site.find(' '))));
    const std::uint32_t total = Unsigned(Member(credential, 9));
    for (std::uint32_t i = 0; i < total; ++i) {
      if (i > 0) credential = m.Next(kCredMgmtEnumerateCredentialsGetNext);
      const CborItem user = Member(credential, 6);
      out << " " << Text(user.mapValueByText("name", 4)) << "/"
          << Text(user.mapValueByText("displayName", 11));
    }
  }
  return out.str();
}

const std::string kAllThree = "3+22 | a.example (A Site): alice/Alice A carol/- | b.example: bob/-";

class CredMgmtTest : public ::testing::Test {
 protected:
  std::shared_ptr<VirtualKey> key_ = KeyWithPasskeys();
  CredentialManagerHost m_{key_, kCtapCredentialManagement};
  void SetUp() override { ASSERT_EQ(m_.Login(kPin), kStatusOk); }
};

TEST_F(CredMgmtTest, ListsSitesInStoredOrderAndPasskeysOldestFirst) {
  EXPECT_EQ(Inventory(m_), kAllThree);

  // Totals come with the Begin answers only; each entry has its public key.
  const Bytes first = m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"));
  EXPECT_EQ(Unsigned(Member(first, 9)), 2u);
  EXPECT_EQ(BytesOf(Member(first, 6).mapValueByText("id", 2)), (Bytes{'u', 1}));
  EXPECT_EQ(BytesOf(Member(first, 7).mapValueByText("id", 2)), Passkey("a.example", 1).id);
  EXPECT_EQ(Text(Member(first, 7).mapValueByText("type", 4)), "public-key");
  EXPECT_EQ(Unsigned(Member(first, 10)), 1u);  // credProtect
  // The private key of passkey 1 is the scalar 1: its public key is the base point.
  const CborItem cose = Member(first, 8);
  EXPECT_EQ(Unsigned(cose.mapValueByInt(1)), 2u);
  std::int32_t alg = 0;
  EXPECT_TRUE(cose.mapValueByInt(3).getInt(alg));
  EXPECT_EQ(alg, -7);
  const Bytes gx = {0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47, 0xF8, 0xBC, 0xE6,
                    0xE5, 0x63, 0xA4, 0x40, 0xF2, 0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB,
                    0x33, 0xA0, 0xF4, 0xA1, 0x39, 0x45, 0xD8, 0x98, 0xC2, 0x96};
  EXPECT_EQ(BytesOf(cose.mapValueByInt(-2)), gx);
  const Bytes next = m_.Next(kCredMgmtEnumerateCredentialsGetNext);
  EXPECT_EQ(next[0], kStatusOk);
  EXPECT_EQ(Member(next, 9).data(), nullptr);
  EXPECT_EQ(BytesOf(Member(next, 7).mapValueByText("id", 2)), Passkey("a.example", 3).id);
}

TEST_F(CredMgmtTest, AWalkEndsAtItsLastEntryAndAtAnyOtherCommand) {
  const auto status = [](const Bytes& answer) { return answer.empty() ? 0xFF : answer[0]; };
  ASSERT_EQ(status(m_.Call(kCredMgmtEnumerateRpsBegin)), kStatusOk);
  EXPECT_EQ(status(m_.Next(kCredMgmtEnumerateRpsGetNextRp)), kStatusOk);
  EXPECT_EQ(status(m_.Next(kCredMgmtEnumerateRpsGetNextRp)), kStatusNotAllowed);

  ASSERT_EQ(status(m_.Call(kCredMgmtEnumerateRpsBegin)), kStatusOk);
  ASSERT_EQ(status(m_.host().Ctap({kCtapGetInfo})), kStatusOk);
  EXPECT_EQ(status(m_.Next(kCredMgmtEnumerateRpsGetNextRp)), kStatusNotAllowed);

  // The other walk's GetNext is refused and ends this walk too.
  ASSERT_EQ(status(m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"))),
            kStatusOk);
  EXPECT_EQ(status(m_.Next(kCredMgmtEnumerateRpsGetNextRp)), kStatusNotAllowed);
  EXPECT_EQ(status(m_.Next(kCredMgmtEnumerateCredentialsGetNext)), kStatusNotAllowed);

  // A walk begun with the final command is not continued by the prototype one.
  CredentialManagerHost prototype(key_, kCtapCredentialManagementPre);
  ASSERT_EQ(status(m_.Call(kCredMgmtEnumerateRpsBegin)), kStatusOk);
  EXPECT_EQ(status(prototype.Next(kCredMgmtEnumerateRpsGetNextRp)), kStatusNotAllowed);

  // Deleting the passkey a walk would list next ends the walk.
  ASSERT_EQ(status(m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"))),
            kStatusOk);
  ASSERT_EQ(
      status(m_.Call(kCredMgmtDeleteCredential, DescriptorParams(Passkey("a.example", 3).id))),
      kStatusOk);
  EXPECT_EQ(status(m_.Next(kCredMgmtEnumerateCredentialsGetNext)), kStatusNotAllowed);
  EXPECT_EQ(Inventory(m_), "2+23 | a.example (A Site): alice/Alice A | b.example: bob/-");
}

TEST_F(CredMgmtTest, DeletedPasskeysAndTheirSitesLeaveTheListsAndFreeSlots) {
  ASSERT_EQ(m_.Call(kCredMgmtDeleteCredential, DescriptorParams(Passkey("b.example", 2).id))[0],
            kStatusOk);
  EXPECT_EQ(Inventory(m_), "2+23 | a.example (A Site): alice/Alice A carol/-");
  const Bytes info = m_.host().Ctap({kCtapGetInfo});
  EXPECT_EQ(Unsigned(Member(info, 0x14)), 23u);

  for (std::uint8_t serial : {1, 3}) {
    ASSERT_EQ(
        m_.Call(kCredMgmtDeleteCredential, DescriptorParams(Passkey("a.example", serial).id))[0],
        kStatusOk);
  }
  EXPECT_EQ(key_->Status().passkeys, 0u);
  EXPECT_EQ(Inventory(m_), "0+25 | status 46");  // enumerateRPsBegin: NO_CREDENTIALS
  EXPECT_EQ(m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"))[0],
            kStatusNoCredentials);
  EXPECT_EQ(m_.Call(kCredMgmtDeleteCredential, DescriptorParams(Passkey("a.example", 1).id))[0],
            kStatusNoCredentials);
}

TEST_F(CredMgmtTest, UpdateReplacesTheNamesAndRemovesThoseLeftOut) {
  const Bytes alice = Passkey("a.example", 1).id;
  ASSERT_EQ(m_.Call(kCredMgmtUpdateUserInformation,
                    UpdateUserParams(alice, {'u', 1}, "alice.new", std::nullopt))[0],
            kStatusOk);
  EXPECT_EQ(Inventory(m_), "3+22 | a.example (A Site): alice.new/- carol/- | b.example: bob/-");

  // Names are kept to 64 bytes, shortened before a character, not through it.
  // "x" and 40 times "é": 81 bytes, kept as "x" and 31 of them.
  std::string longName = "x";
  for (int i = 0; i < 40; ++i) longName += "\xC3\xA9";
  ASSERT_EQ(m_.Call(kCredMgmtUpdateUserInformation,
                    UpdateUserParams(alice, {'u', 1}, std::nullopt, longName))[0],
            kStatusOk);
  const Bytes listed = m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"));
  const CborItem user = Member(listed, 6);
  EXPECT_EQ(Text(user.mapValueByText("displayName", 11)), longName.substr(0, 63));
  EXPECT_EQ(Text(user.mapValueByText("name", 4)), "-");
  EXPECT_EQ(BytesOf(user.mapValueByText("id", 2)), (Bytes{'u', 1}));
}

TEST_F(CredMgmtTest, ATokenForOneSiteManagesThatSiteOnly) {
  ASSERT_EQ(m_.Login(kPin, {kPermissionCredentialManagement, "a.example"}), kStatusOk);
  EXPECT_EQ(m_.Call(kCredMgmtGetCredsMetadata)[0], kStatusPinAuthInvalid);
  EXPECT_EQ(m_.Call(kCredMgmtEnumerateRpsBegin)[0], kStatusPinAuthInvalid);
  EXPECT_EQ(m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"))[0], kStatusOk);
  EXPECT_EQ(m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("b.example"))[0],
            kStatusPinAuthInvalid);
  EXPECT_EQ(m_.Call(kCredMgmtDeleteCredential, DescriptorParams(Passkey("b.example", 2).id))[0],
            kStatusPinAuthInvalid);
  EXPECT_EQ(m_.Call(kCredMgmtDeleteCredential, DescriptorParams(Passkey("a.example", 3).id))[0],
            kStatusOk);

  // Tokens without cm: for assertions, and the legacy token of a 2.1 key.
  ASSERT_EQ(m_.Login(kPin, {kPermissionGetAssertion, "a.example"}), kStatusOk);
  EXPECT_EQ(m_.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"))[0],
            kStatusPinAuthInvalid);
  ASSERT_EQ(m_.Login(kPin, {}, true), kStatusOk);
  EXPECT_EQ(m_.Call(kCredMgmtGetCredsMetadata)[0], kStatusPinAuthInvalid);

  // A new token takes the earlier one back.
  ASSERT_EQ(m_.Login(kPin), kStatusOk);
  const Bytes earlier = m_.token();
  ASSERT_EQ(m_.Login(kPin), kStatusOk);
  m_.token() = earlier;
  EXPECT_EQ(m_.Call(kCredMgmtGetCredsMetadata)[0], kStatusPinAuthInvalid);
  ASSERT_EQ(m_.Login(kPin), kStatusOk);
  EXPECT_EQ(Inventory(m_), "2+23 | a.example (A Site): alice/Alice A | b.example: bob/-");
}

TEST(CredMgmtProfileTest, ThePrototypeCommandOnDraftAndFinalKeys) {
  for (CtapProfile profile : {CtapProfile::kCtap21Pre, CtapProfile::kCtap21}) {
    SCOPED_TRACE(profile == CtapProfile::kCtap21 ? "2.1" : "2.1-pre");
    auto key = KeyWithPasskeys(profile);
    CredentialManagerHost m(key, kCtapCredentialManagementPre);
    ASSERT_EQ(m.Login(kPin), kStatusOk);
    EXPECT_EQ(Inventory(m), kAllThree);
    // The prototype has no updateUserInformation.
    EXPECT_EQ(m.Call(kCredMgmtUpdateUserInformation,
                     UpdateUserParams(Passkey("a.example", 1).id, {'u', 1}, "x", std::nullopt))[0],
              kStatusInvalidSubcommand);
    ASSERT_EQ(m.Call(kCredMgmtDeleteCredential, DescriptorParams(Passkey("b.example", 2).id))[0],
              kStatusOk);
    EXPECT_EQ(key->Status().passkeys, 2u);
    if (profile == CtapProfile::kCtap21Pre) {
      // A draft key speaks PIN protocol 1 alone, and says so: clients pick 2 when listed.
      const Bytes info = m.host().Ctap({kCtapGetInfo});
      EXPECT_EQ(Bytes(Member(info, 6).data(), Member(info, 6).data() + 2), (Bytes{0x81, 0x01}));
      CredentialManagerHost final(key, kCtapCredentialManagement);
      EXPECT_EQ(final.Call(kCredMgmtGetCredsMetadata, {}, Auth::kNone)[0], kStatusInvalidCommand);
    }
  }
  auto old = KeyWithPasskeys(CtapProfile::kCtap20);
  CredentialManagerHost m(old, kCtapCredentialManagementPre);
  EXPECT_EQ(m.Call(kCredMgmtGetCredsMetadata, {}, Auth::kNone)[0], kStatusInvalidCommand);
}

TEST(CredMgmtEmptyTest, AKeyWithoutPasskeysHasOnlyItsSlots) {
  auto key = KeyWithPasskeys(CtapProfile::kCtap21, false);
  CredentialManagerHost m(key, kCtapCredentialManagement);
  ASSERT_EQ(m.Login(kPin), kStatusOk);
  EXPECT_EQ(Inventory(m), "0+25 | status 46");
  EXPECT_EQ(m.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("a.example"))[0],
            kStatusNoCredentials);
}

// One request made wrong, sent with a good cm token to the key with three passkeys.
struct BadRequest {
  const char* name;
  std::function<Bytes(CredentialManagerHost&)> send;
  std::uint8_t status;
};

void PrintTo(const BadRequest& c, std::ostream* os) {
  *os << c.name;
}

Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes joined(a.size() + b.size());
  std::copy(b.begin(), b.end(), std::copy(a.begin(), a.end(), joined.begin()));
  return joined;
}

const Bytes kAliceId = Passkey("a.example", 1).id;
// {"id": h'C7 01 .. 01'} without a type, and with the id as text.
const Bytes kDescriptorWithoutType = Concat({0xA1, 0x02, 0xA1, 0x62, 'i', 'd', 0x50}, kAliceId);
const Bytes kDescriptorIdAsText = {0xA1, 0x02, 0xA2, 0x62, 'i', 'd',  0x61, 'x',
                                   0x64, 't',  'y',  'p',  'e', 0x6A, 'p',  'u',
                                   'b',  'l',  'i',  'c',  '-', 'k',  'e',  'y'};

class CredMgmtBadRequestTest : public ::testing::TestWithParam<BadRequest> {};

TEST_P(CredMgmtBadRequestTest, AnswersItsStatusAndChangesNothing) {
  auto key = KeyWithPasskeys();
  CredentialManagerHost m(key, kCtapCredentialManagement);
  ASSERT_EQ(m.Login(kPin), kStatusOk);
  const Bytes answer = GetParam().send(m);
  ASSERT_FALSE(answer.empty());
  EXPECT_EQ(answer[0], GetParam().status);
  EXPECT_EQ(answer.size(), 1u);
  EXPECT_EQ(Inventory(m), kAllThree);
}

using M = CredentialManagerHost;
const Bytes kShortHash = Concat({0xA1, 0x01, 0x58, 0x1F}, Bytes(31, 0xAB));

INSTANTIATE_TEST_SUITE_P(
    Table, CredMgmtBadRequestTest,
    ::testing::Values(
        BadRequest{"NoParameters", [](M& m) { return m.Raw({}); }, kStatusMissingParameter},
        BadRequest{"TruncatedCbor",
                   [](M& m) {
                     return m.Raw({0xA1, 0x01});
                   },
                   kStatusInvalidCbor},
        BadRequest{"TrailingBytes",
                   [](M& m) {
                     return m.Raw({0xA1, 0x01, 0x01, 0x00});
                   },
                   kStatusInvalidCbor},
        BadRequest{"NotAMap", [](M& m) { return m.Raw({0x01}); }, kStatusCborUnexpectedType},
        BadRequest{"NoSubCommand",
                   [](M& m) {
                     return m.Raw({0xA1, 0x03, 0x02});
                   },
                   kStatusMissingParameter},
        BadRequest{"SubCommandAsText",
                   [](M& m) {
                     return m.Raw({0xA1, 0x01, 0x61, 'a'});
                   },
                   kStatusCborUnexpectedType},
        BadRequest{"SubCommandZero", [](M& m) { return m.Call(0); }, kStatusInvalidSubcommand},
        BadRequest{"SubCommandEight", [](M& m) { return m.Call(8); }, kStatusInvalidSubcommand},
        BadRequest{"NoPinUvAuthParam",
                   [](M& m) { return m.Call(kCredMgmtGetCredsMetadata, {}, Auth::kNone); },
                   kStatusPuatRequired},
        BadRequest{"NoProtocol",
                   [](M& m) { return m.Call(kCredMgmtGetCredsMetadata, {}, Auth::kNoProtocol); },
                   kStatusMissingParameter},
        BadRequest{"ProtocolThree",
                   [](M& m) { return m.Call(kCredMgmtEnumerateRpsBegin, {}, Auth::kProtocol3); },
                   kStatusInvalidParameter},
        BadRequest{"WrongMac",
                   [](M& m) { return m.Call(kCredMgmtEnumerateRpsBegin, {}, Auth::kWrongMac); },
                   kStatusPinAuthInvalid},
        BadRequest{"MacWithoutTheParams",
                   [](M& m) {
                     // The MAC of a delete with no params, sent with params.
                     const Bytes mac = PinProtocolHost::Mac(2, m.token().data(), m.token().size(),
                                                            {kCredMgmtDeleteCredential});
                     return m.Raw(
                         Concat(Concat({0xA4, 0x01, 0x06, 0x02}, DescriptorParams(kAliceId)),
                                Concat({0x03, 0x02, 0x04, 0x58, 0x20}, mac)));
                   },
                   kStatusPinAuthInvalid},
        BadRequest{"CredentialsWithoutParams",
                   [](M& m) { return m.Call(kCredMgmtEnumerateCredentialsBegin); },
                   kStatusMissingParameter},
        BadRequest{"ParamsNotAMap",
                   [](M& m) { return m.Call(kCredMgmtEnumerateCredentialsBegin, {0x01}); },
                   kStatusCborUnexpectedType},
        BadRequest{"ShortRpIdHash",
                   [](M& m) { return m.Call(kCredMgmtEnumerateCredentialsBegin, kShortHash); },
                   kStatusInvalidLength},
        BadRequest{"RpIdHashAsText",
                   [](M& m) {
                     return m.Call(kCredMgmtEnumerateCredentialsBegin, {0xA1, 0x01, 0x61, 'a'});
                   },
                   kStatusCborUnexpectedType},
        BadRequest{"UnknownSite",
                   [](M& m) {
                     return m.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams("c.example"));
                   },
                   kStatusNoCredentials},
        BadRequest{"NextSiteWithoutBegin",
                   [](M& m) { return m.Next(kCredMgmtEnumerateRpsGetNextRp); }, kStatusNotAllowed},
        BadRequest{"NextPasskeyWithoutBegin",
                   [](M& m) { return m.Next(kCredMgmtEnumerateCredentialsGetNext); },
                   kStatusNotAllowed},
        BadRequest{"DeleteWithoutDescriptor",
                   [](M& m) { return m.Call(kCredMgmtDeleteCredential); }, kStatusMissingParameter},
        BadRequest{
            "DeleteUnknownId",
            [](M& m) { return m.Call(kCredMgmtDeleteCredential, DescriptorParams(Bytes(16, 9))); },
            kStatusNoCredentials},
        BadRequest{"DeleteOtherType",
                   [](M& m) {
                     return m.Call(kCredMgmtDeleteCredential, DescriptorParams(kAliceId, "other"));
                   },
                   kStatusNoCredentials},
        BadRequest{"DeleteWithoutType",
                   [](M& m) { return m.Call(kCredMgmtDeleteCredential, kDescriptorWithoutType); },
                   kStatusMissingParameter},
        BadRequest{"DeleteIdAsText",
                   [](M& m) { return m.Call(kCredMgmtDeleteCredential, kDescriptorIdAsText); },
                   kStatusCborUnexpectedType},
        BadRequest{"UpdateAnotherUsersId",
                   [](M& m) {
                     return m.Call(kCredMgmtUpdateUserInformation,
                                   UpdateUserParams(kAliceId, {'u', 2}, "mallory", std::nullopt));
                   },
                   kStatusInvalidParameter},
        BadRequest{
            "UpdateWithoutUser",
            [](M& m) { return m.Call(kCredMgmtUpdateUserInformation, DescriptorParams(kAliceId)); },
            kStatusMissingParameter},
        BadRequest{"UpdateUserNotAMap",
                   [](M& m) {
                     Bytes params = DescriptorParams(kAliceId);
                     params[0] = 0xA2;
                     params.push_back(0x03);
                     params.push_back(0x01);
                     return m.Call(kCredMgmtUpdateUserInformation, params);
                   },
                   kStatusCborUnexpectedType},
        BadRequest{"UpdateUnknownId",
                   [](M& m) {
                     return m.Call(kCredMgmtUpdateUserInformation,
                                   UpdateUserParams(Bytes(16, 9), {'u', 1}, "x", std::nullopt));
                   },
                   kStatusNoCredentials}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::vkey::test

namespace pinvale::vkey::test {
namespace {

// The demo key's examples come into the store with the first PIN, once: a new PIN after
// a reset brings them back, a key that holds passkeys keeps only its own.
TEST(VkeyCredMgmtTest, ExamplePasskeysArriveWithANewPinOnAnEmptyStore) {
  VirtualKeyConfig config = FastConfig();
  config.profile = CtapProfile::kCtap21;
  config.passkeysWithNewPin = {std::make_shared<StoredCredential>(Passkey("example.com", 1, "a")),
                               std::make_shared<StoredCredential>(Passkey("example.org", 2, "b"))};
  auto key = VirtualKey::Create(config);
  EXPECT_EQ(key->Status().passkeys, 0u);
  CredentialManagerHost host(key, 0x0A);
  ASSERT_EQ(host.pin().SetPin(kPin), kStatusOk);
  EXPECT_EQ(key->Status().passkeys, 2u);
  ASSERT_EQ(host.pin().ChangePin(kPin, "654321"), kStatusOk);
  EXPECT_EQ(key->Status().passkeys, 2u);
  ASSERT_EQ(host.Login("654321"), kStatusOk);
  const Bytes metadata = host.Call(0x01);
  ASSERT_EQ(metadata.at(0), kStatusOk);
  std::uint32_t existing = 0;
  EXPECT_TRUE(Member(metadata, 1).getUnsigned(existing));
  EXPECT_EQ(existing, 2u);
}

}  // namespace
}  // namespace pinvale::vkey::test
