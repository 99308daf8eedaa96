#pragma once

// The CTAP2 side of the virtual key: getInfo, clientPIN (protocol 1 with the CTAP 2.0
// rules, or protocols 2 and 1 with the 2.1 rules and tokens with permissions),
// credentials, credential management, fingerprint enrolment and the state a reset
// wipes. One file per command family. Not thread-safe: VirtualKey calls it with its
// lock held, and owns the clock: a request that waits for the user returns a wait,
// which VirtualKey times, keeps alive and ends with Resume. Reset itself is started by
// VirtualKey (its window after power-up) and ends here in FactoryReset.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vkey/client_pin_request.h"
#include "vkey/credential_crypto.h"
#include "vkey/key_state.h"
#include "vkey/pin_crypto.h"
#include "vkey/pin_uv_protocol.h"
#include "vkey/sensor_input.h"
#include "vkey/vkey_config.h"

namespace pinvale::vkey {

struct AssertionRequest;
struct AssertionWalk;
struct AssertionQuery;
struct BioRequest;
struct CredentialManagementRequest;
struct CredentialWalk;
struct FingerprintEnrollment;
struct FoundCredential;
struct NewCredential;

// What a request needs from the user before the key can answer it.
enum class UserWait {
  kNone,
  kTouch,   // presence: any touch
  kFinger,  // the sensor reads the finger: a sample to enrol, or a match
};

struct CtapReply {
  std::vector<std::uint8_t> answer;  // status byte, then the CBOR body; empty while waiting
  UserWait wait = UserWait::kNone;
  int timeoutMs = 0;  // how long the key waits for the user; 0: its user presence time-out
};

class CtapAuthenticator {
 public:
  CtapAuthenticator(const VirtualKeyConfig& config, RandomSource& random);
  ~CtapAuthenticator();

  // A power cycle: a fresh key-agreement key and PIN token, and the three-in-a-row
  // counter cleared. What KeyState holds persists.
  void PowerUp();

  // Handles one CTAP2 message (command byte, then CBOR parameters) other than reset.
  // The reply is the answer, or says what the key waits for before it can answer:
  // the caller waits (keepalives, time-out, CTAPHID_CANCEL) and then calls Resume
  // with what the user did, or AbandonWait.
  void Handle(const std::uint8_t* message, std::size_t length, CtapReply& reply);
  // The answer of the request that waits, now that the user did `input`.
  void Resume(const SensorInput& input, std::vector<std::uint8_t>& answer);
  // The request that waits is dropped (cancelled, or the key was pulled out).
  void AbandonWait();
  bool Waiting() const { return static_cast<bool>(resume_); }

  // The PIN and its retries go back to the factory state.
  void FactoryReset();

  const KeyState& State() const { return state_; }
  // Puts a passkey straight into the store, as a makeCredential with rk would (a zero
  // private key gets a random one); false when the store is full.
  bool StorePasskey(StoredCredential credential);
  // The fingerprint enrolment in progress, or null.
  const FingerprintEnrollment* Enrollment() const { return enrollment_.get(); }
  bool PinSet() const { return state_.pinSet; }
  bool ForcePinChange() const { return state_.forcePinChange; }
  std::uint32_t Retries() const { return state_.pinRetries; }
  std::uint32_t ConsecutiveFailures() const { return consecutiveFailures_; }

 private:
  friend struct VirtualKeyTestAccess;  // tests/vkey: fills the store without makeCredential
  void GetInfo(std::vector<std::uint8_t>& answer) const;
  // The commands of the other files; each sets the reply's answer or its wait.
  void MakeCredential(const std::uint8_t* cbor, std::size_t length, CtapReply& reply);
  void GetAssertion(const std::uint8_t* cbor, std::size_t length, CtapReply& reply);
  void GetNextAssertion(CtapReply& reply);
  void BioEnrollment(bool prototype, const std::uint8_t* cbor, std::size_t length,
                     CtapReply& reply);
  void CredentialManagement(bool prototype, const std::uint8_t* cbor, std::size_t length,
                            CtapReply& reply);
  // Ends getNextAssertion's and credential management's walks unless this message
  // continues one.
  void EndWalksBefore(const std::uint8_t* message, std::size_t length);
  bool ContinuesCredentialWalk(const std::uint8_t* message, std::size_t length) const;
  // Credential management's steps (credential_management.cpp): 0 or the status.
  std::uint8_t CheckManagementToken(const CredentialManagementRequest& request);
  bool TokenNamesSite() const;
  bool TokenAllowsSite(const std::string& rpId) const;
  std::uint8_t CredsMetadata(std::vector<std::uint8_t>& answer);
  std::uint8_t BeginRpWalk(bool prototype, std::vector<std::uint8_t>& answer);
  std::uint8_t BeginCredentialWalk(bool prototype, const CredentialManagementRequest& request,
                                   std::vector<std::uint8_t>& answer);
  std::uint8_t ContinueWalk(std::vector<std::uint8_t>& answer);
  std::uint8_t DeleteCredential(const CredentialManagementRequest& request);
  std::uint8_t UpdateUserInformation(const CredentialManagementRequest& request);
  // Built-in user verification by the sensor. CanMatchFinger: the key has a sensor,
  // a fingerprint enrolled and retries left. MatchFinger: the status of one match, 0
  // for an enrolled finger (the retries restored), 0x3F for another (a retry gone),
  // 0x3C once they are all gone, 0x2F for no finger.
  bool CanMatchFinger() const;
  std::uint8_t MatchFinger(const SensorInput& input);
  // What a wait for the user's consent ended with: a match of the finger when the key
  // verifies the user itself, else a touch (0x27 without one). 0 when they consented.
  std::uint8_t UserConsented(const SensorInput& input, bool byFinger);
  void ClientPin(const std::uint8_t* cbor, std::size_t length, CtapReply& reply);

  // Fingerprint enrolment (bio_enrollment.cpp).
  std::uint8_t RunBioCommand(bool prototype, const BioRequest& request, CtapReply& reply);
  std::uint8_t CheckBioAuth(const BioRequest& request) const;
  std::uint8_t BeginEnrollment(const BioRequest& request, CtapReply& reply);
  std::uint8_t CaptureNextSample(const BioRequest& request, CtapReply& reply);
  void WaitForSample(bool first, const BioRequest& request, CtapReply& reply);
  void TakeSample(bool first, const SensorInput& input, std::vector<std::uint8_t>& answer);
  std::uint8_t EnumerateEnrollments(std::vector<std::uint8_t>& answer) const;
  std::uint8_t SetFriendlyName(const BioRequest& request);
  std::uint8_t RemoveEnrollment(const BioRequest& request);
  // Built-in user verification (user_verification.cpp): clientPIN 0x06 and 0x07.
  std::uint8_t GetTokenUsingUv(const PinRequest& request, CtapReply& reply);
  void AnswerUvRetries(std::vector<std::uint8_t>& answer) const;

  std::uint8_t GetKeyAgreement(std::vector<std::uint8_t>& answer);
  std::uint8_t SetPin(const PinRequest& request);
  std::uint8_t ChangePin(const PinRequest& request);
  // getPINToken (0x05) and, on a 2.1 key, getPinUvAuthTokenUsingPinWithPermissions
  // (0x09).
  std::uint8_t GetPinToken(const PinRequest& request, std::vector<std::uint8_t>& answer);
  std::uint8_t CheckPermissions(const PinRequest& request) const;
  // A fresh token with these rights, issued under `protocol`, encrypted for the platform
  // into `answer` as {2: token}.
  std::uint8_t IssueToken(const ProtocolSecret& secret, std::uint32_t permissions,
                          const std::string& rpId, std::vector<std::uint8_t>& answer);
  std::uint8_t CheckAssertionPinAuth(const AssertionRequest& request) const;
  // Checks a pinUvAuthParam `mac` made with the key's token over `message`: its
  // protocol, the MAC, and on a 2.1 key the token's permission and (with an rpId, when
  // the token names a site) its site. 0, or the status to answer.
  std::uint8_t CheckTokenAuth(bool hasProtocol, std::uint32_t protocol, const std::uint8_t* message,
                              std::size_t length, const ByteField& mac, std::uint32_t permission,
                              const char* rpId = nullptr, std::uint32_t rpIdLength = 0) const;

  // Credentials: makeCredential and getAssertion share the "which key" probe (an empty
  // pinUvAuthParam), built-in user verification, and how an id is recognised.
  void AnswerPinProbe(CtapReply& reply);
  // For the "uv" option without a token: 0 when the key can verify the user, with
  // `finger` set when its sensor must match one (a 2.0 key with "uv" takes the touch
  // as the gesture); else the status to answer.
  std::uint8_t CheckBuiltInUv(bool& finger) const;
  // A credential of this site: a stored one with this id, or one whose id this key
  // sealed for the site.
  bool LookUpCredential(const std::string& rpId, const Sha256Digest& rpIdHash,
                        const std::uint8_t* id, std::size_t length, FoundCredential& found) const;
  void FinishMakeCredential(const NewCredential& credential, bool uv,
                            std::vector<std::uint8_t>& answer);
  void FinishAssertion(const AssertionQuery& query, bool uv, std::vector<std::uint8_t>& answer);
  // One assertion: the counter goes up, the authenticator data is signed with the
  // credential's key; `count` > 0 adds numberOfCredentials.
  void SignAssertion(const FoundCredential& credential, const Sha256Digest& rpIdHash,
                     const std::uint8_t* clientDataHash, std::uint8_t flags, std::size_t count,
                     std::vector<std::uint8_t>& answer);

  // Shared steps of the PIN subcommands.
  std::uint8_t AgreeOnSecret(const PinRequest& request, ProtocolSecret& secret);
  std::uint8_t CheckPinHash(const ProtocolSecret& secret, const PinRequest& request);
  std::uint8_t StoreNewPin(const ProtocolSecret& secret, const PinRequest& request, bool changing);
  bool PinAuthMatches(const ProtocolSecret& secret, const std::uint8_t* message, std::size_t length,
                      const ByteField& pinAuth) const;
  void RenewKeyAgreement();
  // A fresh token (2.1: at every issue; 2.0: once per power cycle) without permissions.
  void RenewPinToken();

  // The final 2.1 rules: tokens with permissions, protocol 2, the key's PIN rules.
  bool Ctap21() const { return config_.profile == CtapProfile::kCtap21; }
  // Passkey and fingerprint management: the final commands on a 2.1 key, the
  // prototype ones on 2.1 and 2.1-pre keys.
  bool HasFinalManagement() const { return Ctap21(); }
  bool HasPrototypeManagement() const { return config_.profile != CtapProfile::kCtap20; }
  bool HasSensor() const { return config_.profile != CtapProfile::kCtap20; }
  std::size_t TokenSize() const { return Ctap21() ? 32 : 16; }
  bool SupportsProtocol(std::uint32_t protocol) const;
  int RemainingDiscoverableCredentials() const;

  const VirtualKeyConfig& config_;
  RandomSource& random_;
  PinRequestRules rules_;
  int minPinLength_ = 0;  // code points; 0: only the 4-byte floor
  KeyAgreementKey keyAgreement_;
  SecretBuffer<32> pinToken_;  // TokenSize() bytes of it
  // 2.1: what the token may do, for which site, and the protocol it was issued under.
  std::uint32_t tokenPermissions_ = 0;
  std::string tokenRpId_;
  std::uint32_t tokenProtocol_ = 0;

  KeyState state_;
  std::uint32_t consecutiveFailures_ = 0;

  // What getNextAssertion and credential management's GetNext commands walk through.
  std::unique_ptr<AssertionWalk> assertionWalk_;
  std::unique_ptr<CredentialWalk> credentialWalk_;
  std::unique_ptr<FingerprintEnrollment> enrollment_;

  // The request that waits for the user, as what to answer once they acted.
  std::function<void(const SensorInput&, std::vector<std::uint8_t>&)> resume_;
};

// The clientPIN subcommand of a request's CBOR parameters, -1 when it has none.
int ClientPinSubCommand(const std::uint8_t* cbor, std::size_t length);

}  // namespace pinvale::vkey
