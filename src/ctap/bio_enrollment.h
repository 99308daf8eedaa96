#pragma once

// Fingerprints on a key: authenticatorBioEnrollment (0x09), or its prototype
// (0x40) on keys of the CTAP 2.1 drafts. Requests are canonical CBOR; the MAC
// covers 01 ‖ subCommand ‖ CBOR(params), made in management_request.cpp.
// Answers are read tolerantly: a missing name or count is no error, a
// template id outside 1..kMaxTemplateIdSize bytes is.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ctap/authenticator_info.h"
#include "ctap/management_request.h"

namespace pinvale {

constexpr std::uint8_t kBioEnrollmentCommand = 0x09;
constexpr std::uint8_t kBioEnrollmentPrototypeCommand = 0x40;
constexpr std::int32_t kFingerprintModality = 1;

// Template ids are opaque: keys use 1, 2 or 32 bytes. Longer ones are refused
// rather than shown and sent back.
constexpr std::size_t kMaxTemplateIdSize = 64;
// Names may be limited by the key (maxTemplateFriendlyName); a key that says
// nothing gets names no longer than the shortest limit keys are known to have.
constexpr std::uint32_t kDefaultFriendlyNameLimit = 15;

enum class BioSubCommand : std::uint8_t {
  kEnrollBegin = 0x01,
  kEnrollCaptureNextSample = 0x02,
  kCancelCurrentEnrollment = 0x03,
  kEnumerateEnrollments = 0x04,
  kSetFriendlyName = 0x05,
  kRemoveEnrollment = 0x06,
  kGetFingerprintSensorInfo = 0x07,
};

// Sample status of an enrolment step (answer member 5).
enum FingerprintSampleStatus : std::uint8_t {
  kSampleGood = 0x00,
  kSampleNoUserActivity = 0x0D,
};

// The command byte for the key: 0x09 with the option bioEnroll, else 0x40 with
// userVerificationMgmtPreview, else 0 (the key manages no fingerprints).
std::uint8_t BioEnrollmentCommandFor(const AuthenticatorInfo& info);

struct BioParams {
  std::span<const std::uint8_t> templateId;      // member 1 when not empty
  std::optional<std::string_view> friendlyName;  // member 2
  std::optional<std::uint32_t> timeoutMs;        // member 3
};

// CBOR(params), members in ascending order; empty when none is set.
std::vector<std::uint8_t> EncodeBioParams(const BioParams& params);

// The request for `command` (0x09 or 0x40); `token` null for the subcommands
// that carry no MAC (cancel, sensor info).
int BuildBioRequest(std::uint8_t command, BioSubCommand subCommand, const BioParams& params,
                    const PinUvToken* token, std::vector<std::uint8_t>& request);

struct FingerprintSensorInfo {
  std::optional<std::uint32_t> fingerprintKind;          // 1 touch, 2 swipe
  std::optional<std::uint32_t> maxCaptureSamples;        // for one enrolment
  std::optional<std::uint32_t> maxTemplateFriendlyName;  // in UTF-8 bytes
  std::uint32_t FriendlyNameLimit() const {
    return maxTemplateFriendlyName.value_or(kDefaultFriendlyNameLimit);
  }
};

struct EnrollmentProgress {
  std::vector<std::uint8_t> templateId;  // from enrollBegin only
  std::uint8_t lastSampleStatus = kSampleGood;
  std::optional<std::uint32_t> remainingSamples;
};

struct FingerprintEnrollment {
  std::vector<std::uint8_t> templateId;
  std::optional<std::string> friendlyName;  // as the key sent it: PrintableText to show
};

// Answer readers: 0 or kManagementAnswerNotUnderstood.
int ReadFingerprintSensorInfo(std::span<const std::uint8_t> body, FingerprintSensorInfo& info);
// `templateExpected`: the answer of enrollBegin, which must name the template.
int ReadEnrollmentProgress(std::span<const std::uint8_t> body, bool templateExpected,
                           EnrollmentProgress& progress);
// An entry without a usable template id is left out: it could be neither
// renamed nor removed.
int ReadFingerprintEnrollments(std::span<const std::uint8_t> body,
                               std::vector<FingerprintEnrollment>& enrollments);

// True when the id has a length a key would use (1..kMaxTemplateIdSize).
bool TemplateIdUsable(std::span<const std::uint8_t> templateId);

// The commands on one key. Results: 0, the key's status, an exchange code, or
// kManagementAnswerNotUnderstood.
class BioEnrollment {
 public:
  BioEnrollment(CFidoToken& device, std::uint8_t command) : device_(device), command_(command) {}

  std::uint8_t Command() const { return command_; }

  int GetSensorInfo(FingerprintSensorInfo& info);
  // A new template; the key then waits for the first sample (keepalives meanwhile).
  int EnrollBegin(const PinUvToken& token, std::optional<std::uint32_t> timeoutMs,
                  EnrollmentProgress& progress);
  int CaptureNextSample(const PinUvToken& token, std::span<const std::uint8_t> templateId,
                        std::optional<std::uint32_t> timeoutMs, EnrollmentProgress& progress);
  int CancelCurrentEnrollment();
  // No fingerprints (the key answers 0x2C) is an empty list.
  int EnumerateEnrollments(const PinUvToken& token,
                           std::vector<FingerprintEnrollment>& enrollments);
  int SetFriendlyName(const PinUvToken& token, std::span<const std::uint8_t> templateId,
                      std::string_view name);
  int RemoveEnrollment(const PinUvToken& token, std::span<const std::uint8_t> templateId);

 private:
  int Exchange(BioSubCommand subCommand, const BioParams& params, const PinUvToken* token,
               std::vector<std::uint8_t>& body);

  CFidoToken& device_;
  std::uint8_t command_;
};

// Plain directions for a sample status, e.g. "place your finger a little lower".
std::string_view SampleStatusAdvice(std::uint8_t status);

}  // namespace pinvale
