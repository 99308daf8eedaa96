#include "dialogs/management_access.h"

#include "ctap/bio_enrollment.h"
#include "ctap/credential_management.h"
#include "ctap/pin_request.h"
#include "ctap/pin_token.h"
#include "dialogs/pin_entry.h"
#include "dialogs/pin_outcome.h"

namespace pinvale {

std::uint8_t ManagementCommandFor(const AuthenticatorInfo& info, ManagementKind kind) {
  return kind == ManagementKind::kFingerprints ? BioEnrollmentCommandFor(info)
                                               : CredentialManagementCommandFor(info);
}

std::uint32_t ManagementPermission(ManagementKind kind) {
  return kind == ManagementKind::kFingerprints ? kPermissionBioEnrollment
                                               : kPermissionCredentialManagement;
}

ManagementPrecheckResult CheckBeforeManagement(CFidoToken& device, ManagementKind kind) {
  ManagementPrecheckResult check;
  check.rules = ReadKeyPinRules(device);
  if (check.rules.infoStatus != 0) {
    check.code = check.rules.infoStatus;
    return check;
  }
  check.command = ManagementCommandFor(check.rules.info, kind);
  if (check.command == 0 || check.rules.refusal != 0 || !check.rules.protocol) {
    check.outcome = ManagementPrecheck::kNotSupported;
    return check;
  }
  if (!check.rules.info.OptionTrue("clientPin")) {
    check.outcome = ManagementPrecheck::kNoPin;
    return check;
  }
  if (check.rules.info.forcePinChange) {
    check.outcome = ManagementPrecheck::kPinChangeWanted;
    return check;
  }
  const PinRetriesReading retries = ReadPinRetriesAnswer(device, *check.rules.protocol);
  if (retries.status != 0 && IsExchangeFailure(retries.status)) {
    check.code = retries.status;
    return check;
  }
  if (retries.status == 0 && retries.countRead) check.pinRetries = retries.retries;
  // A key that answers getRetries with 0x32 says the same as a count of 0.
  if (retries.status == kStatusPinBlocked || (check.pinRetries && *check.pinRetries == 0)) {
    check.outcome = ManagementPrecheck::kPinBlocked;
    return check;
  }
  check.outcome = ManagementPrecheck::kReady;
  return check;
}

ManagementAccess::ManagementAccess(CFidoToken& device, const KeyPinRules& rules,
                                   ManagementKind kind, std::uint8_t command)
    : device(device),
      kind(kind),
      info(rules.info),
      protocol(rules.protocol),
      command(command),
      minPinLength(rules.minPinLength),
      session(device, info, *protocol, ManagementPermission(kind)) {}

std::unique_ptr<ManagementAccess> OpenManagementAccess(CFidoToken& device,
                                                       const ManagementPrecheckResult& precheck,
                                                       ManagementKind kind,
                                                       std::span<const std::uint8_t> pin,
                                                       PinRequestResult& result) {
  result = {};
  if (precheck.outcome != ManagementPrecheck::kReady || !precheck.rules.protocol) {
    result.code = kNoPermissionSupported;
    return nullptr;
  }
  auto access = std::make_unique<ManagementAccess>(device, precheck.rules, kind, precheck.command);
  result = access->session.Open(pin);
  if (!result.requestSent || result.code != 0) return nullptr;
  return access;
}

}  // namespace pinvale
