// The fingerprint and passkey requests as bytes, with the MAC of each one
// against recomputed CTAP 2.1 vectors (a fixed protocol-2 token; protocol 1
// sends the first 16 bytes), and the answers of odd keys read without harm.

#include <gtest/gtest.h>

#include <string>

#include "ctap/bio_enrollment.h"
#include "ctap/credential_management.h"
#include "fake_hid.h"

namespace pinvale {
namespace {

using test::Bytes;

Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  return HexText(bytes);
}

struct FixedToken {
  explicit FixedToken(const PinUvAuthProtocol& protocol) {
    const Bytes bytes = FromHex("0125fecfd8bf3f679bd9ec221324baa74f3cade0314b4fba8029500a320612ad");
    token.size = protocol.Number() == 2 ? 32 : 16;
    std::copy_n(bytes.begin(), token.size, token.bytes.data());
    token.protocol = &protocol;
  }
  PinUvToken token;
};

struct RequestCase {
  const char* name;
  std::function<int(const PinUvToken*, std::vector<std::uint8_t>&)> build;
  bool withToken;
  std::string head;  // the request up to the MAC (its head 58 20 included), hex
  std::string mac;   // protocol-2 MAC, hex; empty without a token
};

const RpIdHash kExampleHash = HashRpId("example.com");

std::vector<RequestCase> RequestCases() {
  static const Bytes descriptor = FromHex("a26269644301020364747970656a7075626c69632d6b6579");
  static PasskeyUser user{{0x75}, "ann", "Ann"};
  auto bio = [](BioSubCommand sub, BioParams params) {
    return [sub, params](const PinUvToken* token, std::vector<std::uint8_t>& request) {
      return BuildBioRequest(kBioEnrollmentCommand, sub, params, token, request);
    };
  };
  auto cm = [](CredMgmtSubCommand sub, CredMgmtParams params) {
    return [sub, params](const PinUvToken* token, std::vector<std::uint8_t>& request) {
      return BuildCredMgmtRequest(kCredentialManagementCommand, sub, params, token, request);
    };
  };
  static const Bytes templateId = {0x01};
  return {
      {"BioEnrollBegin", bio(BioSubCommand::kEnrollBegin, {{}, {}, 10000}), true,
       "09a50101020103a1031927100402055820",
       "74ca765ab9886e0165327e6cfade491928cdfe584669a56109e08f1ea216ee57"},
      {"BioEnumerate", bio(BioSubCommand::kEnumerateEnrollments, {}), true,
       "09a401010204040205"
       "5820",
       "f4ecd378f55b277c3818be7560b8fb34303794aa87293dbb420af24086e95155"},
      {"BioRemove", bio(BioSubCommand::kRemoveEnrollment, {templateId, {}, {}}), true,
       "09a50101020603a10141010402055820",
       "7999f4a5723a7df912cf6da7d69d93b2aca7e91f8be32d9e7d63482ac3fed57e"},
      {"BioRename", bio(BioSubCommand::kSetFriendlyName, {templateId, "thumb", {}}), true,
       "09a50101020503a20141010265746875"
       "6d620402055820",
       "14eece604785e2ea300a56fcab7cafb19e5b07f54daf0f737a02002802ee483a"},
      {"BioCaptureWithTimeout",
       bio(BioSubCommand::kEnrollCaptureNextSample, {templateId, {}, 5000}), true,
       "09a50101020203a2014101031913880402055820", ""},
      {"BioCancel", bio(BioSubCommand::kCancelCurrentEnrollment, {}), false, "09a201010203", ""},
      {"BioSensorInfo", bio(BioSubCommand::kGetFingerprintSensorInfo, {}), false, "09a201010207",
       ""},
      {"CredsMetadata", cm(CredMgmtSubCommand::kGetCredsMetadata, {}), true, "0aa301010302045820",
       "45676f3835f462adfa04b2066c5ec094c60dd480564326dfdcd4b2c36ac46025"},
      {"RpsBegin", cm(CredMgmtSubCommand::kEnumerateRPsBegin, {}), true, "0aa301020302045820",
       "fbfb518d519d9f4138b4997ea57492af7d1e2dbc9cd7d80d318980b1b9e9943b"},
      {"RpsNext", cm(CredMgmtSubCommand::kEnumerateRPsGetNextRP, {}), false, "0aa10103", ""},
      {"CredentialsBegin",
       cm(CredMgmtSubCommand::kEnumerateCredentialsBegin, {&kExampleHash, {}, nullptr}), true,
       "0aa4010402a1015820" + Hex(kExampleHash) + "0302045820",
       "340ff740ea8c0daf48c5df402c65735315d296cc1982cd1fa184918bf7407c8b"},
      {"CredentialsNext", cm(CredMgmtSubCommand::kEnumerateCredentialsGetNextCredential, {}), false,
       "0aa10105", ""},
      {"DeleteSendsTheDescriptorAsGiven",
       cm(CredMgmtSubCommand::kDeleteCredential, {nullptr, descriptor, nullptr}), true,
       "0aa4010602a102" + Hex(descriptor) + "0302045820", ""},
      {"UpdateWritesTheUserCanonically",
       cm(CredMgmtSubCommand::kUpdateUserInformation, {nullptr, descriptor, &user}), true,
       "0aa4010702a202" + Hex(descriptor) +
           "03a3626964417564"
           "6e616d6563616e6e6b646973706c61794e616d6563416e6e0302045820",
       ""},
  };
}

class ManagementRequestBytes : public testing::TestWithParam<RequestCase> {};

TEST_P(ManagementRequestBytes, AreCanonicalWithTheMacOverTheParamsSent) {
  const RequestCase& c = GetParam();
  FixedToken two(PinProtocolTwo());
  std::vector<std::uint8_t> request;
  ASSERT_EQ(c.build(c.withToken ? &two.token : nullptr, request), 0);
  const std::string hex = Hex(request);
  ASSERT_GE(hex.size(), c.head.size());
  EXPECT_EQ(hex.substr(0, c.head.size()), c.head);
  if (!c.withToken) {
    EXPECT_EQ(hex, c.head);
    return;
  }
  EXPECT_EQ(hex.size(), c.head.size() + 64);
  if (!c.mac.empty()) {
    EXPECT_EQ(hex.substr(c.head.size()), c.mac);
  }

  // Protocol 1: the protocol member says 1 and the MAC is 16 bytes.
  FixedToken one(PinProtocolOne());
  ASSERT_EQ(c.build(&one.token, request), 0);
  // The head ends <protocol key> 02 <MAC key> 58 20.
  std::string head1 = c.head;
  head1.replace(
      head1.size() - 10, 10,
      head1.substr(head1.size() - 10, 2) + "01" + head1.substr(head1.size() - 6, 2) + "50");
  EXPECT_EQ(Hex(request).substr(0, head1.size()), head1);
  EXPECT_EQ(Hex(request).size(), head1.size() + 32);
}

INSTANTIATE_TEST_SUITE_P(Subcommands, ManagementRequestBytes, testing::ValuesIn(RequestCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ManagementCommandChoice, PrefersTheFinalCommandAndKnowsKeysWithout) {
  struct Case {
    std::vector<std::pair<std::string, bool>> options;
    std::uint8_t bio;
    std::uint8_t cm;
  };
  const Case cases[] = {
      {{{"bioEnroll", false},
        {"userVerificationMgmtPreview", false},
        {"credMgmt", true},
        {"credentialMgmtPreview", true}},
       0x09,
       0x0A},
      {{{"userVerificationMgmtPreview", true}, {"credentialMgmtPreview", true}}, 0x40, 0x41},
      {{{"clientPin", true}, {"rk", true}}, 0, 0},
  };
  for (const Case& c : cases) {
    AuthenticatorInfo info;
    info.options = c.options;
    EXPECT_EQ(BioEnrollmentCommandFor(info), c.bio);
    EXPECT_EQ(CredentialManagementCommandFor(info), c.cm);
  }
  EXPECT_TRUE(CanUpdateUserInformation(0x0A));
  EXPECT_FALSE(CanUpdateUserInformation(0x41));
}

TEST(ManagementRequest, RefusesWhatCannotBeSentWhole) {
  FixedToken two(PinProtocolTwo());
  std::vector<std::uint8_t> request;
  const std::string longName(600, 'n');
  const Bytes templateId = {0x01};
  EXPECT_EQ(BuildBioRequest(kBioEnrollmentCommand, BioSubCommand::kSetFriendlyName,
                            {templateId, longName, {}}, &two.token, request),
            kManagementRequestUnbuildable);
  EXPECT_TRUE(request.empty());
  PinUvToken empty;
  EXPECT_EQ(BuildBioRequest(kBioEnrollmentCommand, BioSubCommand::kEnumerateEnrollments, {}, &empty,
                            request),
            kManagementRequestUnbuildable);
}

// --- answers ---

struct EnrollmentsCase {
  const char* name;
  std::string body;  // hex
  int code;
  std::vector<std::pair<std::string, std::optional<std::string>>> expected;  // id hex, name
};

class FingerprintList : public testing::TestWithParam<EnrollmentsCase> {};

TEST_P(FingerprintList, IsReadTolerantly) {
  std::vector<FingerprintEnrollment> list;
  EXPECT_EQ(ReadFingerprintEnrollments(FromHex(GetParam().body), list), GetParam().code);
  std::vector<std::pair<std::string, std::optional<std::string>>> got;
  for (const auto& e : list) got.emplace_back(Hex(e.templateId), e.friendlyName);
  EXPECT_EQ(got, GetParam().expected);
}

const std::string kId32 = std::string(64, 'a');

INSTANTIATE_TEST_SUITE_P(
    Answers, FingerprintList,
    testing::Values(
        EnrollmentsCase{"TwoNamed",
                        "a10782a20141010265746875"
                        "6d62a20142aabb026449"
                        "6e6478",
                        0,
                        {{"01", "thumb"}, {"aabb", "Indx"}}},
        EnrollmentsCase{"NameMissing", "a10781a1014107", 0, {{"07", std::nullopt}}},
        EnrollmentsCase{"LongIdKept", "a10781a1015820" + kId32, 0, {{kId32, std::nullopt}}},
        EnrollmentsCase{"OversizedAndEmptyIdsSkipped",
                        "a10783a1015841" + std::string(130, 'b') + "a10140a1014109",
                        0,
                        {{"09", std::nullopt}}},
        EnrollmentsCase{"NotUtf8NameKeptForSafeDisplay",
                        "a10781a2014101026261ff",
                        0,
                        {{"01", std::string("a\xFF")}}},
        EnrollmentsCase{"EmptyBody", "", 0, {}}, EnrollmentsCase{"NoListMember", "a0", 0, {}},
        EnrollmentsCase{"TruncatedList", "a10782a1014101", kManagementAnswerNotUnderstood, {}},
        EnrollmentsCase{"NotAMap", "8101", kManagementAnswerNotUnderstood, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FingerprintAnswers, SensorInfoAndProgressTolerateMissingCounts) {
  FingerprintSensorInfo info;
  ASSERT_EQ(ReadFingerprintSensorInfo(FromHex("a20201030408"), info), 0);  // no name limit
  EXPECT_EQ(info.maxCaptureSamples, 4u);
  EXPECT_EQ(info.FriendlyNameLimit(), kDefaultFriendlyNameLimit);
  ASSERT_EQ(ReadFingerprintSensorInfo(FromHex("a1081840"), info), 0);
  EXPECT_EQ(info.FriendlyNameLimit(), 64u);
  EXPECT_EQ(ReadFingerprintSensorInfo(FromHex("a1086178"), info), kManagementAnswerNotUnderstood);

  EnrollmentProgress progress;
  ASSERT_EQ(ReadEnrollmentProgress(FromHex("a304420a0b05000603"), true, progress), 0);
  EXPECT_EQ(Hex(progress.templateId), "0a0b");
  EXPECT_EQ(progress.remainingSamples, 3u);
  ASSERT_EQ(ReadEnrollmentProgress(FromHex("a10502"), false, progress), 0);
  EXPECT_EQ(progress.lastSampleStatus, 2);
  EXPECT_FALSE(progress.remainingSamples);
  // enrollBegin must name the template it started.
  EXPECT_EQ(ReadEnrollmentProgress(FromHex("a205000603"), true, progress),
            kManagementAnswerNotUnderstood);
  EXPECT_EQ(ReadEnrollmentProgress(FromHex("a105190100"), false, progress),
            kManagementAnswerNotUnderstood);
}

TEST(PrintableText, ReplacesBrokenUtf8AndControlsAndKeepsTheRest) {
  EXPECT_EQ(PrintableText("Daumen \xC3\xBC \xF0\x9F\x91\x8D"), "Daumen \xC3\xBC \xF0\x9F\x91\x8D");
  EXPECT_EQ(PrintableText("a\xFF"
                          "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(PrintableText("\x1B[2Jx\n"), "\xEF\xBF\xBD[2Jx\xEF\xBF\xBD");
  EXPECT_EQ(PrintableText("\xC3"), "\xEF\xBF\xBD");                                  // cut short
  EXPECT_EQ(PrintableText("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
}

TEST(PasskeyAnswers, RelyingPartiesAndUsersTolerateMissingMembers) {
  RelyingPartyEntry rp;
  std::optional<std::uint32_t> total;
  // rp {id: "example.com"} without name, hash or total: the hash comes from the id.
  ASSERT_EQ(ReadRelyingParty(FromHex("a103a16269646b6578616d706c652e636f6d"), rp, total), 0);
  EXPECT_EQ(rp.id, "example.com");
  EXPECT_FALSE(rp.name);
  EXPECT_FALSE(total);
  EXPECT_EQ(rp.idHash, kExampleHash);
  // A hash of the wrong length, or neither id nor hash: not understood.
  EXPECT_EQ(ReadRelyingParty(FromHex("a10441aa"), rp, total), kManagementAnswerNotUnderstood);
  EXPECT_EQ(ReadRelyingParty(FromHex("a10502"), rp, total), kManagementAnswerNotUnderstood);

  PasskeyEntry passkey;
  // user {id: h'75'} with neither name; descriptor kept byte for byte (text keys
  // in the key's own order: type before id).
  const std::string descriptor = "a264747970656a7075626c69632d6b657962696443010203";
  ASSERT_EQ(ReadPasskey(FromHex("a306a162696441750758"
                                "18" +
                                descriptor.substr(2) + "0901"),
                        passkey, total),
            kManagementAnswerNotUnderstood);  // a byte string is no descriptor
  ASSERT_EQ(ReadPasskey(FromHex("a306a1626964417507" + descriptor + "0902"), passkey, total), 0);
  EXPECT_EQ(Hex(passkey.descriptor), descriptor);
  EXPECT_EQ(Hex(passkey.credentialId), "010203");
  EXPECT_FALSE(passkey.user.name);
  EXPECT_FALSE(passkey.user.displayName);
  EXPECT_EQ(total, 2u);
  // No credential id: nothing could be deleted, so not understood.
  EXPECT_EQ(ReadPasskey(FromHex("a206a16269644175"
                                "07a164747970656a7075626c69632d6b6579"),
                        passkey, total),
            kManagementAnswerNotUnderstood);
}

// Walks against a scripted key whose counts disagree with what it then gives.
class PasskeyWalk : public testing::Test {
 protected:
  test::FakeKeyRig rig;
  FixedToken two{PinProtocolTwo()};
  CredentialManagement cm{rig.token, kCredentialManagementCommand};
  static Bytes Rp(const std::string& id, std::optional<int> total) {
    Bytes body;
    for (std::uint8_t byte : {static_cast<std::uint8_t>(total ? 0xA3 : 0xA2), std::uint8_t{0x03},
                              std::uint8_t{0xA1}, std::uint8_t{0x62}, std::uint8_t{'i'},
                              std::uint8_t{'d'}, static_cast<std::uint8_t>(0x60 + id.size())}) {
      body.push_back(byte);
    }
    for (char c : id) body.push_back(static_cast<std::uint8_t>(c));
    const RpIdHash hash = HashRpId(id);
    body.push_back(0x04);
    body.push_back(0x58);
    body.push_back(0x20);
    body.insert(body.end(), hash.begin(), hash.end());
    if (total) {
      body.push_back(0x05);
      body.push_back(static_cast<std::uint8_t>(*total));
    }
    return body;
  }
};

TEST_F(PasskeyWalk, StopsAtTheCountEvenWhenTheKeyHasMore) {
  rig.key->ScriptAnswer(0, Rp("a.example", 2));
  rig.key->ScriptAnswer(0, Rp("b.example", {}));
  rig.key->ScriptAnswer(0, Rp("c.example", {}));
  std::vector<RelyingPartyEntry> rps;
  bool complete = false;
  ASSERT_EQ(cm.EnumerateRelyingParties(two.token, rps, complete), 0);
  ASSERT_EQ(rps.size(), 2u);
  EXPECT_EQ(rps[1].id, "b.example");
  EXPECT_TRUE(complete);
  EXPECT_EQ(rig.key->SentMessages().size(), 2u);
}

TEST_F(PasskeyWalk, ACountTheKeyDoesNotKeepGivesAShortListMarkedIncomplete) {
  rig.key->ScriptAnswer(0, Rp("a.example", 5));
  rig.key->ScriptAnswer(0, Rp("b.example", {}));
  rig.key->ScriptAnswer(0x30);
  std::vector<RelyingPartyEntry> rps;
  bool complete = true;
  ASSERT_EQ(cm.EnumerateRelyingParties(two.token, rps, complete), 0);
  EXPECT_EQ(rps.size(), 2u);
  EXPECT_FALSE(complete);
}

TEST_F(PasskeyWalk, WithoutACountTheWalkEndsWhenTheKeyRefusesOrAtTheBound) {
  rig.key->ScriptAnswer(0, Rp("a.example", {}));
  rig.key->ScriptAnswer(0x30);
  std::vector<RelyingPartyEntry> rps;
  bool complete = false;
  ASSERT_EQ(cm.EnumerateRelyingParties(two.token, rps, complete), 0);
  EXPECT_EQ(rps.size(), 1u);
  EXPECT_TRUE(complete);

  // A key that never stops is not followed forever.
  rig.key->SetResponder([](const Bytes&) { return test::CtapAnswer(0, Rp("x.example", {})); });
  ASSERT_EQ(cm.EnumerateRelyingParties(two.token, rps, complete), 0);
  EXPECT_EQ(rps.size(), kMaxListedEntries);
}

TEST_F(PasskeyWalk, NoPasskeysIsAnEmptyListEitherWay) {
  rig.key->ScriptAnswer(0x2E);
  rig.key->ScriptAnswer(0x00);
  std::vector<RelyingPartyEntry> rps;
  bool complete = false;
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(cm.EnumerateRelyingParties(two.token, rps, complete), 0);
    EXPECT_TRUE(rps.empty());
  }
  std::vector<PasskeyEntry> passkeys;
  rig.key->ClearRecords();
  rig.key->ScriptAnswer(0x2E);
  EXPECT_EQ(cm.EnumerateCredentials(two.token, kExampleHash, passkeys, complete), 0);
  EXPECT_TRUE(passkeys.empty());
}

TEST(FingerprintCommands, NoEnrollmentsIsAnEmptyList) {
  test::FakeKeyRig rig;
  FixedToken two{PinProtocolTwo()};
  BioEnrollment bio(rig.token, kBioEnrollmentPrototypeCommand);
  rig.key->ScriptAnswer(0x2C);
  std::vector<FingerprintEnrollment> list{{{1}, "x"}};
  EXPECT_EQ(bio.EnumerateEnrollments(two.token, list), 0);
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(rig.key->SentMessages().size(), 1u);
  EXPECT_EQ(rig.key->SentMessages()[0][0], 0x40);
}

}  // namespace
}  // namespace pinvale
