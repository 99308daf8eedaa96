// authenticatorBioEnrollment (0x09) and its prototype (0x40): a fingerprint sensor
// that enrols any finger in a few good samples, and lists, renames and removes the
// templates it holds. Every subcommand but cancelCurrentEnrollment and
// getFingerprintSensorInfo needs a token with the be permission (on a 2.1-pre key, any
// token), over 01 ‖ subCommand ‖ subCommandParams. A refused request changes nothing.
//
// A sample the sensor could not use, or no finger within the time-out, is an answer of
// its own (lastEnrollSampleStatus 0x01..0x0B, 0x0D) that leaves the samples needed as
// they were: python-fido2 and libfido2 both show it and capture again, and the
// enrolment goes on. Only a cancelled capture ends it.

#include <algorithm>
#include <string>

#include "cbor/cbor_writer.h"
#include "vkey/bio_request.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"
#include "vkey/fingerprint_enrollment.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint32_t kModalityFingerprint = 1;
constexpr std::uint8_t kFingerprintKindTouch = 1;

enum BioSubCommand : std::uint32_t {
  kEnrollBegin = 1,
  kEnrollCaptureNextSample = 2,
  kCancelCurrentEnrollment = 3,
  kEnumerateEnrollments = 4,
  kSetFriendlyName = 5,
  kRemoveEnrollment = 6,
  kGetFingerprintSensorInfo = 7,
};

constexpr std::uint8_t kSampleGood = 0x00;
constexpr std::uint8_t kSamplePoorQuality = 0x07;
constexpr std::uint8_t kSampleNoUserActivity = 0x0D;
constexpr std::uint8_t kLastBadSampleStatus = 0x0B;

constexpr std::size_t kTemplateIdSize = 2;
// A platform may ask for a long capture, not for one that outlives everybody.
constexpr std::uint32_t kMaxCaptureTimeoutMs = 10 * 60 * 1000;

bool NeedsToken(std::uint32_t subCommand) {
  return subCommand != kCancelCurrentEnrollment && subCommand != kGetFingerprintSensorInfo;
}

void Append(std::vector<std::uint8_t>& answer, const CborWriter& writer, const std::uint8_t* body) {
  answer.insert(answer.end(), body, body + writer.length());
}

std::vector<EnrolledFingerprint>::iterator FindTemplate(std::vector<EnrolledFingerprint>& stored,
                                                        const ByteField& id) {
  return std::find_if(stored.begin(), stored.end(), [&id](const EnrolledFingerprint& print) {
    return print.templateId.size() == id.length &&
           std::equal(print.templateId.begin(), print.templateId.end(), id.data);
  });
}

}  // namespace

void CtapAuthenticator::BioEnrollment(bool prototype, const std::uint8_t* cbor, std::size_t length,
                                      CtapReply& reply) {
  BioRequest request;
  std::uint8_t status = ReadBioRequest(cbor, length, request);
  if (status == kStatusOk) status = RunBioCommand(prototype, request, reply);
  if (status != kStatusOk) {
    reply.answer.assign(1, status);
    reply.wait = UserWait::kNone;
    resume_ = nullptr;
  } else if (reply.wait == UserWait::kNone && reply.answer.empty()) {
    reply.answer.assign(1, kStatusOk);
  }
}

std::uint8_t CtapAuthenticator::RunBioCommand(bool prototype, const BioRequest& request,
                                              CtapReply& reply) {
  if (request.getModality) {
    std::uint8_t body[8];
    CborWriter writer(body, sizeof body);
    writer.beginMap(1).putInt(1).putInt(kModalityFingerprint);
    reply.answer.assign(1, kStatusOk);
    Append(reply.answer, writer, body);
    return kStatusOk;
  }
  if (!request.hasSubCommand || !request.hasModality) return kStatusMissingParameter;
  if (request.modality != kModalityFingerprint) return kStatusInvalidParameter;
  if (request.subCommand < kEnrollBegin || request.subCommand > kGetFingerprintSensorInfo) {
    return kStatusInvalidSubcommand;
  }
  if (NeedsToken(request.subCommand)) {
    if (std::uint8_t status = CheckBioAuth(request); status != kStatusOk) return status;
  }
  switch (request.subCommand) {
    case kEnrollBegin:
      return BeginEnrollment(request, reply);
    case kEnrollCaptureNextSample:
      return CaptureNextSample(request, reply);
    case kCancelCurrentEnrollment:
      enrollment_.reset();
      return kStatusOk;
    case kEnumerateEnrollments:
      return EnumerateEnrollments(reply.answer);
    case kSetFriendlyName:
      return SetFriendlyName(request);
    case kRemoveEnrollment:
      return RemoveEnrollment(request);
    default: {
      // The prototype's sensor info had no friendly-name limit; the key keeps one anyway.
      std::uint8_t body[16];
      CborWriter writer(body, sizeof body);
      writer.beginMap(prototype ? 2 : 3);
      writer.putInt(2).putInt(kFingerprintKindTouch);
      writer.putInt(3).putInt(config_.samplesPerEnrollment);
      if (!prototype) writer.putInt(8).putInt(config_.maxFriendlyNameBytes);
      reply.answer.assign(1, kStatusOk);
      Append(reply.answer, writer, body);
      return kStatusOk;
    }
  }
}

std::uint8_t CtapAuthenticator::CheckBioAuth(const BioRequest& request) const {
  if (!request.pinUvAuthParam.present) return kStatusPuatRequired;
  std::vector<std::uint8_t> message = {static_cast<std::uint8_t>(request.modality),
                                       static_cast<std::uint8_t>(request.subCommand)};
  if (request.params != nullptr) {
    message.insert(message.end(), request.params, request.params + request.paramsLength);
  }
  return CheckTokenAuth(request.hasProtocol, request.protocol, message.data(), message.size(),
                        request.pinUvAuthParam, kPermissionBioEnrollment);
}

// A new enrolment replaces one left unfinished.
std::uint8_t CtapAuthenticator::BeginEnrollment(const BioRequest& request, CtapReply& reply) {
  if (state_.fingerprints.size() >= static_cast<std::size_t>(config_.fingerprintCapacity)) {
    return kStatusFingerprintDatabaseFull;
  }
  auto enrollment = std::make_unique<FingerprintEnrollment>();
  enrollment->remainingSamples = std::max(config_.samplesPerEnrollment, 1);
  // Two random bytes, none of a stored template's.
  do {
    enrollment->templateId.assign(kTemplateIdSize, 0);
    random_.Fill(enrollment->templateId.data(), kTemplateIdSize);
  } while (std::any_of(state_.fingerprints.begin(), state_.fingerprints.end(),
                       [&enrollment](const EnrolledFingerprint& print) {
                         return print.templateId == enrollment->templateId;
                       }));
  enrollment_ = std::move(enrollment);
  WaitForSample(true, request, reply);
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::CaptureNextSample(const BioRequest& request, CtapReply& reply) {
  if (!request.templateId.present) return kStatusMissingParameter;
  if (!enrollment_) return kStatusNotAllowed;
  if (request.templateId.length != enrollment_->templateId.size() ||
      !std::equal(enrollment_->templateId.begin(), enrollment_->templateId.end(),
                  request.templateId.data)) {
    return kStatusInvalidParameter;
  }
  WaitForSample(false, request, reply);
  return kStatusOk;
}

void CtapAuthenticator::WaitForSample(bool first, const BioRequest& request, CtapReply& reply) {
  enrollment_->capturing = true;
  reply.wait = UserWait::kFinger;
  if (request.hasTimeout && request.timeoutMs > 0) {
    reply.timeoutMs = static_cast<int>(std::min(request.timeoutMs, kMaxCaptureTimeoutMs));
  }
  resume_ = [this, first](const SensorInput& input, std::vector<std::uint8_t>& answer) {
    TakeSample(first, input, answer);
  };
}

void CtapAuthenticator::TakeSample(bool first, const SensorInput& input,
                                   std::vector<std::uint8_t>& answer) {
  if (!enrollment_) return;  // never: whatever ends the enrolment drops the wait first
  FingerprintEnrollment& enrollment = *enrollment_;
  enrollment.capturing = false;
  std::uint8_t sample = kSampleGood;
  switch (input.action) {
    case UserAction::kTouch:
    case UserAction::kOtherFinger:  // any finger can be enrolled
      --enrollment.remainingSamples;
      break;
    case UserAction::kBadSample:
      sample = input.sampleStatus >= 0x01 && input.sampleStatus <= kLastBadSampleStatus
                   ? input.sampleStatus
                   : kSamplePoorQuality;
      break;
    case UserAction::kNoFinger:
      sample = kSampleNoUserActivity;
      break;
  }
  std::uint8_t body[32];
  CborWriter writer(body, sizeof body);
  writer.beginMap(first ? 3 : 2);
  if (first) {
    writer.putInt(4).putBytes(enrollment.templateId.data(),
                              static_cast<std::uint32_t>(enrollment.templateId.size()));
  }
  writer.putInt(5).putInt(sample).putInt(6).putInt(enrollment.remainingSamples);
  answer.assign(1, kStatusOk);
  Append(answer, writer, body);
  if (enrollment.remainingSamples == 0) {
    state_.fingerprints.push_back({std::move(enrollment.templateId), std::string()});
    enrollment_.reset();
  }
}

// Every template with its name, "" for one never named (python-fido2 reads member 2 of
// each). None enrolled is INVALID_OPTION, which the platforms read as an empty list.
std::uint8_t CtapAuthenticator::EnumerateEnrollments(std::vector<std::uint8_t>& answer) const {
  if (state_.fingerprints.empty()) return kStatusInvalidOption;
  std::size_t size = 16;
  for (const EnrolledFingerprint& print : state_.fingerprints) {
    size += 16 + print.templateId.size() + print.friendlyName.size();
  }
  std::vector<std::uint8_t> body(size);
  CborWriter writer(body.data(), static_cast<std::uint32_t>(body.size()));
  writer.beginMap(1).putInt(7).beginArray(static_cast<std::uint32_t>(state_.fingerprints.size()));
  for (const EnrolledFingerprint& print : state_.fingerprints) {
    writer.beginMap(2);
    writer.putInt(1).putBytes(print.templateId.data(),
                              static_cast<std::uint32_t>(print.templateId.size()));
    writer.putInt(2).putText(print.friendlyName.data(),
                             static_cast<std::uint32_t>(print.friendlyName.size()));
  }
  answer.assign(1, kStatusOk);
  Append(answer, writer, body.data());
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::SetFriendlyName(const BioRequest& request) {
  if (!request.templateId.present || !request.hasFriendlyName) return kStatusMissingParameter;
  const auto print = FindTemplate(state_.fingerprints, request.templateId);
  if (print == state_.fingerprints.end()) return kStatusInvalidParameter;
  if (request.friendlyNameLength > static_cast<std::uint32_t>(config_.maxFriendlyNameBytes)) {
    return kStatusInvalidLength;
  }
  print->friendlyName.assign(request.friendlyName, request.friendlyNameLength);
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::RemoveEnrollment(const BioRequest& request) {
  if (!request.templateId.present) return kStatusMissingParameter;
  const auto print = FindTemplate(state_.fingerprints, request.templateId);
  if (print == state_.fingerprints.end()) return kStatusInvalidParameter;
  state_.fingerprints.erase(print);
  return kStatusOk;
}

}  // namespace pinvale::vkey
