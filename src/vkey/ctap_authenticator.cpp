#include "vkey/ctap_authenticator.h"

#include <algorithm>
#include <cstring>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/assertion_walk.h"
#include "vkey/credential_walk.h"
#include "vkey/ctap_status.h"
#include "vkey/fingerprint_enrollment.h"

namespace pinvale::vkey {

CtapAuthenticator::CtapAuthenticator(const VirtualKeyConfig& config, RandomSource& random)
    : config_(config), random_(random) {
  rules_.protocols = EffectivePinProtocols(config_);
  rules_.ctap21 = Ctap21();
  minPinLength_ = EffectiveMinPinLength(config_);
  if (config_.initialState) {
    state_ = *config_.initialState;
    return;
  }
  random_.Fill(state_.credentialKey.data(), state_.credentialKey.size());
  const std::string& pin = config_.initialPin;
  if (!pin.empty()) {
    HashPin(reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size(), state_.pinHash);
    state_.pinSet = true;
    state_.forcePinChange = Ctap21() && config_.forcePinChange;
  }
}

CtapAuthenticator::~CtapAuthenticator() = default;

void CtapAuthenticator::PowerUp() {
  RenewKeyAgreement();
  RenewPinToken();
  consecutiveFailures_ = 0;
  enrollment_.reset();
}

void CtapAuthenticator::RenewPinToken() {
  pinToken_.Wipe();
  random_.Fill(pinToken_.data(), TokenSize());
  tokenPermissions_ = 0;
  tokenRpId_.clear();
  tokenProtocol_ = 0;
}

int CtapAuthenticator::RemainingDiscoverableCredentials() const {
  const int stored = static_cast<int>(state_.credentials.size());
  return stored < config_.capacity ? config_.capacity - stored : 0;
}

bool CtapAuthenticator::StorePasskey(StoredCredential credential) {
  if (RemainingDiscoverableCredentials() == 0) return false;
  const bool zero = std::all_of(credential.privateKey.data(), credential.privateKey.data() + 32,
                                [](std::uint8_t b) { return b == 0; });
  if (zero) {
    random_.Fill(credential.privateKey.data(), 32);
    credential.privateKey.data()[0] &= 0x7F;  // below the group order
  }
  state_.credentials.push_back(std::move(credential));
  return true;
}

bool CtapAuthenticator::SupportsProtocol(std::uint32_t protocol) const {
  return std::find(rules_.protocols.begin(), rules_.protocols.end(), protocol) !=
         rules_.protocols.end();
}

void CtapAuthenticator::RenewKeyAgreement() {
  keyAgreement_.Generate(random_);
}

// Everything the key holds goes: the PIN, the passkeys, the fingerprints, and the key
// that wraps non-discoverable credentials, so that their ids are worthless too.
void CtapAuthenticator::FactoryReset() {
  resume_ = nullptr;
  assertionWalk_.reset();
  credentialWalk_.reset();
  enrollment_.reset();
  state_ = KeyState{};
  random_.Fill(state_.credentialKey.data(), state_.credentialKey.size());
  consecutiveFailures_ = 0;
  RenewPinToken();
  RenewKeyAgreement();
}

void CtapAuthenticator::Handle(const std::uint8_t* message, std::size_t length, CtapReply& reply) {
  reply = CtapReply{};
  resume_ = nullptr;
  EndWalksBefore(message, length);
  const std::uint8_t* cbor = message + 1;
  const std::size_t cborLength = length - 1;
  switch (message[0]) {
    case kCtapGetInfo:
      GetInfo(reply.answer);
      return;
    case kCtapClientPin:
      ClientPin(cbor, cborLength, reply);
      return;
    case kCtapMakeCredential:
      MakeCredential(cbor, cborLength, reply);
      return;
    case kCtapGetAssertion:
      GetAssertion(cbor, cborLength, reply);
      return;
    case kCtapGetNextAssertion:
      GetNextAssertion(reply);
      return;
    case kCtapBioEnrollment:
    case kCtapBioEnrollmentPre: {
      const bool prototype = message[0] == kCtapBioEnrollmentPre;
      if (prototype ? HasPrototypeManagement() : HasFinalManagement()) {
        BioEnrollment(prototype, cbor, cborLength, reply);
        return;
      }
      break;
    }
    case kCtapCredentialManagement:
    case kCtapCredentialManagementPre: {
      const bool prototype = message[0] == kCtapCredentialManagementPre;
      if (prototype ? HasPrototypeManagement() : HasFinalManagement()) {
        CredentialManagement(prototype, cbor, cborLength, reply);
        return;
      }
      break;
    }
    default:
      break;
  }
  reply.answer.assign(1, kStatusInvalidCommand);
}

void CtapAuthenticator::EndWalksBefore(const std::uint8_t* message, std::size_t length) {
  if (message[0] != kCtapGetNextAssertion) assertionWalk_.reset();
  if (!ContinuesCredentialWalk(message, length)) credentialWalk_.reset();
}

void CtapAuthenticator::Resume(const SensorInput& input, std::vector<std::uint8_t>& answer) {
  answer.clear();
  auto resume = std::move(resume_);
  resume_ = nullptr;
  if (resume) resume(input, answer);
  if (answer.empty()) answer.push_back(kStatusOperationDenied);
}

// A capture that is cancelled ends its enrolment, as the sensor stops sampling.
void CtapAuthenticator::AbandonWait() {
  resume_ = nullptr;
  if (enrollment_ && enrollment_->capturing) enrollment_.reset();
}

namespace {

// The getInfo options of one key, in canonical order (shorter names first, then
// bytewise), so the writer can put them as they come.
struct InfoOption {
  const char* name;
  bool value;
};

CborWriter& PutText(CborWriter& writer, const char* text) {
  return writer.putText(text, static_cast<std::uint32_t>(std::strlen(text)));
}

}  // namespace

// Only what the key does, true to its profile and to what it holds now.
void CtapAuthenticator::GetInfo(std::vector<std::uint8_t>& answer) const {
  const bool sensor = config_.profile != CtapProfile::kCtap20;
  const bool enrolled = !state_.fingerprints.empty();
  std::vector<InfoOption> options = {{"rk", true}, {"up", true}};
  // A key with a sensor says whether a finger is enrolled: "uv" false is built-in
  // verification that is there but not set up yet.
  if (sensor) {
    options.push_back({"uv", enrolled});
  } else if (config_.uv) {
    options.push_back({"uv", true});
  }
  options.push_back({"plat", false});
  if (HasFinalManagement()) options.push_back({"credMgmt", true});
  if (HasFinalManagement()) options.push_back({"bioEnroll", enrolled});
  options.push_back({"clientPin", state_.pinSet});
  if (Ctap21()) options.push_back({"pinUvAuthToken", true});
  if (Ctap21()) options.push_back({"makeCredUvNotRqd", true});
  if (HasPrototypeManagement()) options.push_back({"credentialMgmtPreview", true});
  if (HasPrototypeManagement()) options.push_back({"userVerificationMgmtPreview", enrolled});

  std::vector<const char*> versions = {"FIDO_2_0"};
  if (HasPrototypeManagement()) versions.push_back("FIDO_2_1_PRE");
  if (Ctap21()) versions.push_back("FIDO_2_1");

  std::uint8_t body[512];
  CborWriter writer(body, sizeof body);
  // versions, extensions, aaguid, options, maxMsgSize, pinUvAuthProtocols; the 2.1
  // members after them.
  const std::uint32_t members = 5 + (sensor ? 4 : 0) + (Ctap21() ? 6 : 0);
  writer.beginMap(members);
  writer.putInt(1).beginArray(static_cast<std::uint32_t>(versions.size()));
  for (const char* version : versions) PutText(writer, version);
  if (sensor) writer.putInt(2).beginArray(1).putText("credProtect", 11);
  writer.putInt(3).putBytes(config_.aaguid.data(), config_.aaguid.size());
  writer.putInt(4).beginMap(static_cast<std::uint32_t>(options.size()));
  for (const InfoOption& option : options) {
    PutText(writer, option.name).putBool(option.value);
  }
  writer.putInt(5).putInt(config_.maxMsgSize);
  writer.putInt(6).beginArray(static_cast<std::uint32_t>(rules_.protocols.size()));
  for (std::uint8_t protocol : rules_.protocols) writer.putInt(protocol);
  if (sensor) {
    writer.putInt(7).putInt(static_cast<std::int32_t>(kMaxCredentialCountInList));
    writer.putInt(8).putInt(static_cast<std::int32_t>(kMaxCredentialIdLength));
  }
  if (Ctap21()) {
    writer.putInt(9).beginArray(1).putText("usb", 3);
    writer.putInt(0x0A).beginArray(1).beginMap(2);
    writer.putText("alg", 3).putInt(-7).putText("type", 4).putText("public-key", 10);
    writer.putInt(0x0C).putBool(state_.forcePinChange);
    writer.putInt(0x0D).putInt(minPinLength_);
  }
  if (sensor) writer.putInt(0x0E).putInt(kFirmwareVersion);
  if (Ctap21()) {
    writer.putInt(0x12).putInt(kUvModalityFingerprint);
    writer.putInt(0x14).putInt(RemainingDiscoverableCredentials());
  }
  answer.push_back(kStatusOk);
  answer.insert(answer.end(), body, body + writer.length());
}

}  // namespace pinvale::vkey
