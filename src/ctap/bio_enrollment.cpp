#include "ctap/bio_enrollment.h"

#include <algorithm>

#include "cbor/cbor_item_walk.h"
#include "cbor/cbor_writer.h"

namespace pinvale {

namespace {

constexpr int kInvalidOption = 0x2C;

// Request map members.
constexpr ManagementRequestLayout kLayoutBase{0, 2, 3, 4, 5, kFingerprintModality};
// subCommandParams members.
constexpr std::int32_t kParamTemplateId = 1;
constexpr std::int32_t kParamFriendlyName = 2;
constexpr std::int32_t kParamTimeout = 3;
// Answer members.
constexpr std::int32_t kAnswerFingerprintKind = 2;
constexpr std::int32_t kAnswerMaxCaptureSamples = 3;
constexpr std::int32_t kAnswerTemplateId = 4;
constexpr std::int32_t kAnswerSampleStatus = 5;
constexpr std::int32_t kAnswerRemainingSamples = 6;
constexpr std::int32_t kAnswerTemplateInfos = 7;
constexpr std::int32_t kAnswerMaxFriendlyName = 8;
constexpr std::int32_t kInfoTemplateId = 1;
constexpr std::int32_t kInfoFriendlyName = 2;

constexpr std::uint32_t kMaxParamsSize = 512;

bool IsMap(std::span<const std::uint8_t> body) {
  const CborHead head = decodeHead(body.data(), static_cast<std::uint32_t>(body.size()));
  return isWellFormed(head) && head.majorType == 5;
}

CborItem View(std::span<const std::uint8_t> body) {
  return CborItem(body.data(), static_cast<std::uint32_t>(body.size()));
}

bool ReadTemplateId(const CborItem& value, std::vector<std::uint8_t>& out) {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;
  if (!value.getBytes(bytes, length)) return false;
  if (!TemplateIdUsable({bytes, length})) return false;
  out.assign(bytes, bytes + length);
  return true;
}

}  // namespace

std::uint8_t BioEnrollmentCommandFor(const AuthenticatorInfo& info) {
  // Present is enough: false only says no fingerprint is enrolled yet.
  if (info.Option("bioEnroll")) return kBioEnrollmentCommand;
  if (info.Option("userVerificationMgmtPreview")) return kBioEnrollmentPrototypeCommand;
  return 0;
}

bool TemplateIdUsable(std::span<const std::uint8_t> templateId) {
  return !templateId.empty() && templateId.size() <= kMaxTemplateIdSize;
}

std::vector<std::uint8_t> EncodeBioParams(const BioParams& params) {
  const std::uint32_t members = (params.templateId.empty() ? 0 : 1) +
                                (params.friendlyName ? 1 : 0) + (params.timeoutMs ? 1 : 0);
  if (members == 0) return {};
  std::vector<std::uint8_t> bytes(kMaxParamsSize);
  CborWriter writer(bytes.data(), kMaxParamsSize);
  writer.beginMap(members);
  if (!params.templateId.empty()) {
    writer.putInt(kParamTemplateId)
        .putBytes(params.templateId.data(), static_cast<std::uint32_t>(params.templateId.size()));
  }
  if (params.friendlyName) {
    writer.putInt(kParamFriendlyName)
        .putText(params.friendlyName->data(),
                 static_cast<std::uint32_t>(params.friendlyName->size()));
  }
  if (params.timeoutMs) {
    // CborWriter takes signed values; a time-out is far below 2^31 ms.
    writer.putInt(kParamTimeout)
        .putInt(static_cast<std::int32_t>(std::min<std::uint32_t>(*params.timeoutMs, 0x7FFFFFFF)));
  }
  bytes.resize(writer.length());
  return bytes;
}

int BuildBioRequest(std::uint8_t command, BioSubCommand subCommand, const BioParams& params,
                    const PinUvToken* token, std::vector<std::uint8_t>& request) {
  ManagementRequestLayout layout = kLayoutBase;
  layout.command = command;
  const std::vector<std::uint8_t> encoded = EncodeBioParams(params);
  // A name or id too long for the parameter buffer is never sent cut short.
  const std::size_t wanted =
      params.templateId.size() + (params.friendlyName ? params.friendlyName->size() : 0);
  if (wanted + 16 > kMaxParamsSize) return kManagementRequestUnbuildable;
  return BuildManagementRequest(layout, static_cast<std::uint8_t>(subCommand), encoded, token,
                                request);
}

int ReadFingerprintSensorInfo(std::span<const std::uint8_t> body, FingerprintSensorInfo& info) {
  info = {};
  if (!IsMap(body)) return kManagementAnswerNotUnderstood;
  const CborItem map = View(body);
  if (!ReadOptionalUnsigned(map, kAnswerFingerprintKind, info.fingerprintKind) ||
      !ReadOptionalUnsigned(map, kAnswerMaxCaptureSamples, info.maxCaptureSamples) ||
      !ReadOptionalUnsigned(map, kAnswerMaxFriendlyName, info.maxTemplateFriendlyName)) {
    info = {};
    return kManagementAnswerNotUnderstood;
  }
  return 0;
}

int ReadEnrollmentProgress(std::span<const std::uint8_t> body, bool templateExpected,
                           EnrollmentProgress& progress) {
  progress = {};
  if (!IsMap(body)) return kManagementAnswerNotUnderstood;
  const CborItem map = View(body);
  if (templateExpected &&
      !ReadTemplateId(map.mapValueByInt(kAnswerTemplateId), progress.templateId)) {
    progress = {};
    return kManagementAnswerNotUnderstood;
  }
  std::optional<std::uint32_t> status;
  if (!ReadOptionalUnsigned(map, kAnswerSampleStatus, status) || (status && *status > 0xFF) ||
      !ReadOptionalUnsigned(map, kAnswerRemainingSamples, progress.remainingSamples)) {
    progress = {};
    return kManagementAnswerNotUnderstood;
  }
  progress.lastSampleStatus = static_cast<std::uint8_t>(status.value_or(kSampleGood));
  return 0;
}

int ReadFingerprintEnrollments(std::span<const std::uint8_t> body,
                               std::vector<FingerprintEnrollment>& enrollments) {
  enrollments.clear();
  // A success with nothing in it: nothing enrolled, as some keys say it.
  if (body.empty()) return 0;
  if (!IsMap(body)) return kManagementAnswerNotUnderstood;
  const CborItem list = View(body).mapValueByInt(kAnswerTemplateInfos);
  if (!Present(list)) return 0;
  CborItemWalk walk(list, 4, false);
  CborItem entry;
  while (walk.Next(entry)) {
    FingerprintEnrollment enrollment;
    if (entry.head().majorType != 5 ||
        !ReadTemplateId(entry.mapValueByInt(kInfoTemplateId), enrollment.templateId)) {
      continue;
    }
    const CborItem name = entry.mapValueByInt(kInfoFriendlyName);
    const char* text = nullptr;
    std::uint32_t length = 0;
    if (name.getText(text, length)) enrollment.friendlyName.emplace(text, length);
    enrollments.push_back(std::move(enrollment));
  }
  if (walk.Broken()) {
    enrollments.clear();
    return kManagementAnswerNotUnderstood;
  }
  return 0;
}

int BioEnrollment::Exchange(BioSubCommand subCommand, const BioParams& params,
                            const PinUvToken* token, std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> request;
  if (int code = BuildBioRequest(command_, subCommand, params, token, request); code != 0) {
    return code;
  }
  return ExchangeManagementRequest(device_, request, body);
}

int BioEnrollment::GetSensorInfo(FingerprintSensorInfo& info) {
  std::vector<std::uint8_t> body;
  const int status = Exchange(BioSubCommand::kGetFingerprintSensorInfo, {}, nullptr, body);
  if (status != 0) return status;
  return ReadFingerprintSensorInfo(body, info);
}

int BioEnrollment::EnrollBegin(const PinUvToken& token, std::optional<std::uint32_t> timeoutMs,
                               EnrollmentProgress& progress) {
  std::vector<std::uint8_t> body;
  BioParams params;
  params.timeoutMs = timeoutMs;
  const int status = Exchange(BioSubCommand::kEnrollBegin, params, &token, body);
  if (status != 0) return status;
  return ReadEnrollmentProgress(body, true, progress);
}

int BioEnrollment::CaptureNextSample(const PinUvToken& token,
                                     std::span<const std::uint8_t> templateId,
                                     std::optional<std::uint32_t> timeoutMs,
                                     EnrollmentProgress& progress) {
  if (!TemplateIdUsable(templateId)) return kManagementRequestUnbuildable;
  std::vector<std::uint8_t> body;
  BioParams params;
  params.templateId = templateId;
  params.timeoutMs = timeoutMs;
  const int status = Exchange(BioSubCommand::kEnrollCaptureNextSample, params, &token, body);
  if (status != 0) return status;
  const int code = ReadEnrollmentProgress(body, false, progress);
  if (code == 0) progress.templateId.assign(templateId.begin(), templateId.end());
  return code;
}

int BioEnrollment::CancelCurrentEnrollment() {
  std::vector<std::uint8_t> body;
  return Exchange(BioSubCommand::kCancelCurrentEnrollment, {}, nullptr, body);
}

int BioEnrollment::EnumerateEnrollments(const PinUvToken& token,
                                        std::vector<FingerprintEnrollment>& enrollments) {
  enrollments.clear();
  std::vector<std::uint8_t> body;
  const int status = Exchange(BioSubCommand::kEnumerateEnrollments, {}, &token, body);
  if (status == kInvalidOption) return 0;
  if (status != 0) return status;
  return ReadFingerprintEnrollments(body, enrollments);
}

int BioEnrollment::SetFriendlyName(const PinUvToken& token,
                                   std::span<const std::uint8_t> templateId,
                                   std::string_view name) {
  if (!TemplateIdUsable(templateId)) return kManagementRequestUnbuildable;
  std::vector<std::uint8_t> body;
  BioParams params;
  params.templateId = templateId;
  params.friendlyName = name;
  return Exchange(BioSubCommand::kSetFriendlyName, params, &token, body);
}

int BioEnrollment::RemoveEnrollment(const PinUvToken& token,
                                    std::span<const std::uint8_t> templateId) {
  if (!TemplateIdUsable(templateId)) return kManagementRequestUnbuildable;
  std::vector<std::uint8_t> body;
  BioParams params;
  params.templateId = templateId;
  return Exchange(BioSubCommand::kRemoveEnrollment, params, &token, body);
}

std::string_view SampleStatusAdvice(std::uint8_t status) {
  switch (status) {
    case 0x00:
      return "good";
    case 0x01:
      return "place your finger a little lower";
    case 0x02:
      return "place your finger a little higher";
    case 0x03:
      return "move your finger a little to the right";
    case 0x04:
      return "move your finger a little to the left";
    case 0x05:
      return "move your finger more slowly";
    case 0x06:
      return "move your finger a little faster";
    case 0x07:
      return "the sample was poor; clean the sensor and your finger and try again";
    case 0x08:
      return "hold your finger straight on the sensor";
    case 0x09:
      return "the touch was too short; hold your finger on the sensor a little longer";
    case 0x0A:
      return "the sample did not match the earlier ones; use the same finger";
    case 0x0B:
      return "this finger is already enrolled; use another finger";
    case 0x0C:
      return "the key has no room for another fingerprint";
    case 0x0D:
      return "no finger was felt; touch the sensor";
    case 0x0E:
      return "lift your finger and touch the sensor again";
    default:
      return "the key could not use the sample; try again";
  }
}

}  // namespace pinvale
