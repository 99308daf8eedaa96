#pragma once

// CTAP2 command numbers and the status bytes the virtual key answers with.

#include <cstdint>

namespace pinvale::vkey {

constexpr std::uint8_t kCtapMakeCredential = 0x01;
constexpr std::uint8_t kCtapGetAssertion = 0x02;
constexpr std::uint8_t kCtapGetInfo = 0x04;
constexpr std::uint8_t kCtapClientPin = 0x06;
constexpr std::uint8_t kCtapReset = 0x07;
constexpr std::uint8_t kCtapGetNextAssertion = 0x08;
constexpr std::uint8_t kCtapBioEnrollment = 0x09;
constexpr std::uint8_t kCtapCredentialManagement = 0x0A;
// The prototype commands of keys made while CTAP 2.1 was a draft (FIDO_2_1_PRE).
constexpr std::uint8_t kCtapBioEnrollmentPre = 0x40;
constexpr std::uint8_t kCtapCredentialManagementPre = 0x41;

constexpr std::uint8_t kPinGetRetries = 1;
constexpr std::uint8_t kPinGetKeyAgreement = 2;
constexpr std::uint8_t kPinSetPin = 3;
constexpr std::uint8_t kPinChangePin = 4;
constexpr std::uint8_t kPinGetPinToken = 5;
constexpr std::uint8_t kPinGetTokenUsingUv = 6;
constexpr std::uint8_t kPinGetUvRetries = 7;
constexpr std::uint8_t kPinGetTokenWithPermissions = 9;

// Permission bits of a 2.1 token.
constexpr std::uint32_t kPermissionMakeCredential = 0x01;
constexpr std::uint32_t kPermissionGetAssertion = 0x02;
constexpr std::uint32_t kPermissionCredentialManagement = 0x04;
constexpr std::uint32_t kPermissionBioEnrollment = 0x08;

constexpr std::uint8_t kStatusOk = 0x00;
constexpr std::uint8_t kStatusInvalidCommand = 0x01;
constexpr std::uint8_t kStatusInvalidParameter = 0x02;
constexpr std::uint8_t kStatusInvalidLength = 0x03;
constexpr std::uint8_t kStatusCborUnexpectedType = 0x11;
constexpr std::uint8_t kStatusInvalidCbor = 0x12;
constexpr std::uint8_t kStatusMissingParameter = 0x14;
constexpr std::uint8_t kStatusLimitExceeded = 0x15;
constexpr std::uint8_t kStatusFingerprintDatabaseFull = 0x17;
constexpr std::uint8_t kStatusCredentialExcluded = 0x19;
constexpr std::uint8_t kStatusUnsupportedAlgorithm = 0x26;
constexpr std::uint8_t kStatusOperationDenied = 0x27;
constexpr std::uint8_t kStatusKeyStoreFull = 0x28;
constexpr std::uint8_t kStatusUnsupportedOption = 0x2B;
constexpr std::uint8_t kStatusInvalidOption = 0x2C;
constexpr std::uint8_t kStatusKeepaliveCancel = 0x2D;
constexpr std::uint8_t kStatusNoCredentials = 0x2E;
constexpr std::uint8_t kStatusUserActionTimeout = 0x2F;
constexpr std::uint8_t kStatusNotAllowed = 0x30;
constexpr std::uint8_t kStatusPinInvalid = 0x31;
constexpr std::uint8_t kStatusPinBlocked = 0x32;
constexpr std::uint8_t kStatusPinAuthInvalid = 0x33;
constexpr std::uint8_t kStatusPinAuthBlocked = 0x34;
constexpr std::uint8_t kStatusPinNotSet = 0x35;
constexpr std::uint8_t kStatusPuatRequired = 0x36;
constexpr std::uint8_t kStatusPinPolicyViolation = 0x37;
constexpr std::uint8_t kStatusPinTokenExpired = 0x38;
constexpr std::uint8_t kStatusRequestTooLarge = 0x39;
constexpr std::uint8_t kStatusUvBlocked = 0x3C;
constexpr std::uint8_t kStatusInvalidSubcommand = 0x3E;
constexpr std::uint8_t kStatusUvInvalid = 0x3F;
constexpr std::uint8_t kStatusUnauthorizedPermission = 0x40;
constexpr std::uint8_t kStatusOther = 0x7F;

// getInfo's firmwareVersion and uvModality (a fingerprint sensor).
constexpr std::int32_t kFirmwareVersion = 0x00010000;
constexpr std::int32_t kUvModalityFingerprint = 0x02;

constexpr std::uint32_t kMaxPinRetries = 8;
constexpr std::uint32_t kMaxConsecutivePinFailures = 3;
// Built-in user verification: wrong fingers before the key wants the PIN again.
constexpr std::uint32_t kMaxUvRetries = 5;
constexpr std::size_t kMinPinBytes = 4;
constexpr std::size_t kMaxPinBytes = 63;
constexpr std::size_t kPaddedPinBlockSize = 64;

}  // namespace pinvale::vkey
