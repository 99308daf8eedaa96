// clientPIN, PIN protocol 1, with the rules of CTAP 2.0: the retries counter goes
// down before the PIN is compared, a wrong PIN renews the key-agreement key, three
// wrong PINs in a row block PIN use until the next power cycle.

#include <cstring>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/client_pin_request.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

// CTAP 2.0 answers setPIN on a key that already has a PIN with PIN_AUTH_INVALID.
constexpr std::uint8_t kStatusPinAlreadySet = kStatusPinAuthInvalid;

int ClientPinSubCommand(const std::uint8_t* cbor, std::size_t length) {
  std::uint32_t subCommand = 0;
  if (!CborItem(cbor, static_cast<std::uint32_t>(length))
           .mapValueByInt(2)
           .getUnsigned(subCommand)) {
    return -1;
  }
  return static_cast<int>(subCommand);
}

void CtapAuthenticator::ClientPin(const std::uint8_t* cbor, std::size_t length,
                                  std::vector<std::uint8_t>& answer) {
  PinRequest request;
  std::uint8_t status = ReadPinRequest(cbor, length, request);
  answer.assign(1, kStatusOk);
  if (status == kStatusOk) {
    switch (request.subCommand) {
      case kPinGetRetries: {
        std::uint8_t body[16];
        CborWriter writer(body, sizeof body);
        writer.beginMap(1).putInt(3).putInt(static_cast<std::int32_t>(retries_));
        answer.insert(answer.end(), body, body + writer.length());
        break;
      }
      case kPinGetKeyAgreement:
        status = GetKeyAgreement(answer);
        break;
      case kPinSetPin:
        status = SetPin(request);
        break;
      case kPinChangePin:
        status = ChangePin(request);
        break;
      case kPinGetPinToken:
        status = GetPinToken(request, answer);
        break;
      default:
        status = kStatusInvalidParameter;
        break;
    }
  }
  if (status != kStatusOk) answer.assign(1, status);
}

std::uint8_t CtapAuthenticator::GetKeyAgreement(std::vector<std::uint8_t>& answer) {
  bool withoutY = false;
  for (const VirtualKeyFault& fault : config_.faults) {
    withoutY = withoutY || fault.kind == FaultKind::kKeyAgreementNoY;
  }
  std::uint8_t x[32];
  std::uint8_t y[32];
  keyAgreement_.PublicCoordinates(x, y);
  std::uint8_t body[128];
  CborWriter writer(body, sizeof body);
  writer.beginMap(1).putInt(1).beginMap(withoutY ? 4 : 5);
  writer.putInt(1).putInt(2);    // kty: EC2
  writer.putInt(3).putInt(-25);  // alg: ECDH-ES+HKDF-256
  writer.putInt(-1).putInt(1);   // crv: P-256
  writer.putInt(-2).putBytes(x, sizeof x);
  if (!withoutY) writer.putInt(-3).putBytes(y, sizeof y);
  answer.insert(answer.end(), body, body + writer.length());
  return kStatusOk;
}

std::uint8_t CtapAuthenticator::AgreeOnSecret(const PinRequest& request, SharedSecret& secret) {
  if (!request.x.present || !request.y.present) return kStatusMissingParameter;
  if (!keyAgreement_.DeriveSharedSecret(request.x.data, request.x.length, request.y.data,
                                        request.y.length, random_, secret)) {
    return kStatusInvalidParameter;
  }
  return kStatusOk;
}

// The retries go down first, so pulling the key out mid-check still costs a try.
std::uint8_t CtapAuthenticator::CheckPinHash(const SharedSecret& secret,
                                             const PinRequest& request) {
  --retries_;
  PinHash received;
  PinDecrypt(secret, request.pinHashEnc.data, 16, received.data());
  if (EqualInConstantTime(received.data(), pinHash_.data(), pinHash_.size())) {
    retries_ = kMaxPinRetries;
    consecutiveFailures_ = 0;
    return kStatusOk;
  }
  RenewKeyAgreement();
  ++consecutiveFailures_;
  if (retries_ == 0) return kStatusPinBlocked;
  if (consecutiveFailures_ >= kMaxConsecutivePinFailures) return kStatusPinAuthBlocked;
  return kStatusPinInvalid;
}

std::uint8_t CtapAuthenticator::StoreNewPin(const SharedSecret& secret, const PinRequest& request) {
  SecretBuffer<kPaddedPinBlockSize> block;
  PinDecrypt(secret, request.newPinEnc.data, kPaddedPinBlockSize, block.data());
  // The PIN ends at the first zero byte; a block without one holds 64 bytes, too many.
  const void* zero = std::memchr(block.data(), 0, block.size());
  const std::size_t pinLength =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - block.data())
           : block.size();
  if (pinLength < kMinPinBytes || pinLength > kMaxPinBytes) return kStatusPinPolicyViolation;
  HashPin(block.data(), pinLength, pinHash_);
  pinSet_ = true;
  retries_ = kMaxPinRetries;
  consecutiveFailures_ = 0;
  return kStatusOk;
}

static bool PinAuthMatches(const SharedSecret& secret, const std::uint8_t* message,
                           std::size_t length, const ByteField& pinAuth) {
  std::uint8_t expected[16];
  PinAuth16(secret, message, length, expected);
  return pinAuth.length == 16 && EqualInConstantTime(expected, pinAuth.data, 16);
}

std::uint8_t CtapAuthenticator::SetPin(const PinRequest& request) {
  if (!request.hasKeyAgreement || !request.pinAuth.present || !request.newPinEnc.present) {
    return kStatusMissingParameter;
  }
  if (pinSet_) return kStatusPinAlreadySet;
  if (request.newPinEnc.length != kPaddedPinBlockSize) return kStatusInvalidParameter;
  SharedSecret secret;
  if (std::uint8_t status = AgreeOnSecret(request, secret); status != kStatusOk) return status;
  if (!PinAuthMatches(secret, request.newPinEnc.data, kPaddedPinBlockSize, request.pinAuth)) {
    return kStatusPinAuthInvalid;
  }
  return StoreNewPin(secret, request);
}

std::uint8_t CtapAuthenticator::ChangePin(const PinRequest& request) {
  if (!request.hasKeyAgreement || !request.pinAuth.present || !request.newPinEnc.present ||
      !request.pinHashEnc.present) {
    return kStatusMissingParameter;
  }
  if (!pinSet_) return kStatusPinNotSet;
  if (retries_ == 0) return kStatusPinBlocked;
  if (consecutiveFailures_ >= kMaxConsecutivePinFailures) return kStatusPinAuthBlocked;
  if (request.newPinEnc.length != kPaddedPinBlockSize || request.pinHashEnc.length != 16) {
    return kStatusInvalidParameter;
  }
  SharedSecret secret;
  if (std::uint8_t status = AgreeOnSecret(request, secret); status != kStatusOk) return status;
  std::uint8_t signedPart[kPaddedPinBlockSize + 16];
  std::memcpy(signedPart, request.newPinEnc.data, kPaddedPinBlockSize);
  std::memcpy(signedPart + kPaddedPinBlockSize, request.pinHashEnc.data, 16);
  if (!PinAuthMatches(secret, signedPart, sizeof signedPart, request.pinAuth)) {
    return kStatusPinAuthInvalid;
  }
  if (std::uint8_t status = CheckPinHash(secret, request); status != kStatusOk) return status;
  return StoreNewPin(secret, request);
}

std::uint8_t CtapAuthenticator::GetPinToken(const PinRequest& request,
                                            std::vector<std::uint8_t>& answer) {
  if (!request.hasKeyAgreement || !request.pinHashEnc.present) return kStatusMissingParameter;
  if (!pinSet_) return kStatusPinNotSet;
  if (retries_ == 0) return kStatusPinBlocked;
  if (consecutiveFailures_ >= kMaxConsecutivePinFailures) return kStatusPinAuthBlocked;
  if (request.pinHashEnc.length != 16) return kStatusInvalidParameter;
  SharedSecret secret;
  if (std::uint8_t status = AgreeOnSecret(request, secret); status != kStatusOk) return status;
  if (std::uint8_t status = CheckPinHash(secret, request); status != kStatusOk) return status;

  std::uint8_t encrypted[kPinTokenSize];
  PinEncrypt(secret, pinToken_.data(), pinToken_.size(), encrypted);
  std::uint8_t body[64];
  CborWriter writer(body, sizeof body);
  writer.beginMap(1).putInt(2).putBytes(encrypted, sizeof encrypted);
  answer.insert(answer.end(), body, body + writer.length());
  return kStatusOk;
}

}  // namespace pinvale::vkey
