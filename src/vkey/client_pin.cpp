// clientPIN: the retries counter goes down before the PIN is compared, a wrong PIN
// renews the key-agreement key, three wrong PINs in a row block PIN use until the
// next power cycle. A 2.0 key speaks protocol 1 only; a 2.1 key the protocols of its
// configuration, its own minimum PIN length and a forced PIN change. Every check that
// can refuse a request without the PIN runs before the retries move, so a malformed
// request leaves the key as it was.

#include <cstring>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/ctap_authenticator.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

// setPIN on a key that already has a PIN is answered with PIN_AUTH_INVALID.
constexpr std::uint8_t kStatusPinAlreadySet = kStatusPinAuthInvalid;
constexpr std::size_t kPinHashSize = 16;

int ClientPinSubCommand(const std::uint8_t* cbor, std::size_t length) {
  std::uint32_t subCommand = 0;
  if (!CborItem(cbor, static_cast<std::uint32_t>(length))
           .mapValueByInt(2)
           .getUnsigned(subCommand)) {
    return -1;
  }
  return static_cast<int>(subCommand);
}

void CtapAuthenticator::ClientPin(const std::uint8_t* cbor, std::size_t length, CtapReply& reply) {
  std::vector<std::uint8_t>& answer = reply.answer;
  PinRequest request;
  std::uint8_t status = ReadPinRequest(cbor, length, rules_, request);
  answer.assign(1, kStatusOk);
  if (status == kStatusOk) {
    switch (request.subCommand) {
      case kPinGetRetries: {
        std::uint8_t body[16];
        CborWriter writer(body, sizeof body);
        writer.beginMap(1).putInt(3).putInt(static_cast<std::int32_t>(state_.pinRetries));
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
      case kPinGetTokenWithPermissions:
        status = Ctap21() ? GetPinToken(request, answer) : kStatusInvalidParameter;
        break;
      case kPinGetTokenUsingUv:
        // The sensor's token is a 2.1 one; a 2.1-pre key knows only the PIN's.
        if (Ctap21()) {
          status = GetTokenUsingUv(request, reply);
          if (status == kStatusOk) return;
        } else {
          status = kStatusInvalidParameter;
        }
        break;
      case kPinGetUvRetries:
        if (HasSensor()) {
          AnswerUvRetries(answer);
        } else {
          status = kStatusInvalidParameter;
        }
        break;
      default:
        // A key without a sensor knows 0x06 and 0x07 no more than any other number.
        status = Ctap21() ? kStatusInvalidSubcommand : kStatusInvalidParameter;
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

std::uint8_t CtapAuthenticator::AgreeOnSecret(const PinRequest& request, ProtocolSecret& secret) {
  if (!request.x.present || !request.y.present) return kStatusMissingParameter;
  SecretBuffer<32> z;
  if (!keyAgreement_.ComputeZ(request.x.data, request.x.length, request.y.data, request.y.length,
                              random_, z) ||
      !secret.Derive(request.protocol, z.data())) {
    return kStatusInvalidParameter;
  }
  return kStatusOk;
}

// The retries go down first, so pulling the key out mid-check still costs a try.
std::uint8_t CtapAuthenticator::CheckPinHash(const ProtocolSecret& secret,
                                             const PinRequest& request) {
  --state_.pinRetries;
  SecretBuffer<kPinHashSize + kIvSize> received;
  std::size_t receivedLength = 0;
  const bool decrypted = ProtocolDecrypt(secret, request.pinHashEnc.data, request.pinHashEnc.length,
                                         received.data(), receivedLength);
  if (decrypted && receivedLength == kPinHashSize &&
      EqualInConstantTime(received.data(), state_.pinHash.data(), state_.pinHash.size())) {
    state_.pinRetries = kMaxPinRetries;
    consecutiveFailures_ = 0;
    return kStatusOk;
  }
  RenewKeyAgreement();
  ++consecutiveFailures_;
  if (state_.pinRetries == 0) return kStatusPinBlocked;
  if (consecutiveFailures_ >= kMaxConsecutivePinFailures) return kStatusPinAuthBlocked;
  return kStatusPinInvalid;
}

// Unicode code points of UTF-8 text: every byte that does not continue a sequence.
static std::size_t CodePoints(const std::uint8_t* text, std::size_t length) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < length; ++i) count += (text[i] & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

std::uint8_t CtapAuthenticator::StoreNewPin(const ProtocolSecret& secret, const PinRequest& request,
                                            bool changing) {
  SecretBuffer<kPaddedPinBlockSize + kIvSize> block;
  std::size_t blockLength = 0;
  if (!ProtocolDecrypt(secret, request.newPinEnc.data, request.newPinEnc.length, block.data(),
                       blockLength) ||
      blockLength != kPaddedPinBlockSize) {
    return kStatusInvalidParameter;  // the lengths were checked: never here
  }
  // The PIN ends at the first zero byte; a block without one holds 64 bytes, too many.
  const void* zero = std::memchr(block.data(), 0, kPaddedPinBlockSize);
  const std::size_t pinLength =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - block.data())
           : kPaddedPinBlockSize;
  if (pinLength < kMinPinBytes || pinLength > kMaxPinBytes) return kStatusPinPolicyViolation;
  if (CodePoints(block.data(), pinLength) < static_cast<std::size_t>(minPinLength_)) {
    return kStatusPinPolicyViolation;
  }
  PinHash newHash;
  HashPin(block.data(), pinLength, newHash);
  // A change the key asked for must bring a new PIN.
  if (changing && state_.forcePinChange &&
      EqualInConstantTime(newHash.data(), state_.pinHash.data(), state_.pinHash.size())) {
    return kStatusPinPolicyViolation;
  }
  state_.pinHash = newHash;
  state_.pinSet = true;
  state_.pinRetries = kMaxPinRetries;
  consecutiveFailures_ = 0;
  state_.forcePinChange = false;
  // A 2.1 key takes back every token the old PIN gave.
  if (Ctap21()) RenewPinToken();
  return kStatusOk;
}

bool CtapAuthenticator::PinAuthMatches(const ProtocolSecret& secret, const std::uint8_t* message,
                                       std::size_t length, const ByteField& pinAuth) const {
  return ProtocolVerify(secret.protocol(), secret.HmacKey(), ProtocolSecret::kKeySize, message,
                        length, pinAuth.data, pinAuth.length);
}

std::uint8_t CtapAuthenticator::SetPin(const PinRequest& request) {
  if (!request.hasKeyAgreement || !request.pinAuth.present || !request.newPinEnc.present) {
    return kStatusMissingParameter;
  }
  if (state_.pinSet) return kStatusPinAlreadySet;
  if (request.newPinEnc.length != CiphertextSize(request.protocol, kPaddedPinBlockSize)) {
    return kStatusInvalidParameter;
  }
  ProtocolSecret secret;
  if (std::uint8_t status = AgreeOnSecret(request, secret); status != kStatusOk) return status;
  if (!PinAuthMatches(secret, request.newPinEnc.data, request.newPinEnc.length, request.pinAuth)) {
    return kStatusPinAuthInvalid;
  }
  return StoreNewPin(secret, request, false);
}

std::uint8_t CtapAuthenticator::ChangePin(const PinRequest& request) {
  if (!request.hasKeyAgreement || !request.pinAuth.present || !request.newPinEnc.present ||
      !request.pinHashEnc.present) {
    return kStatusMissingParameter;
  }
  if (!state_.pinSet) return kStatusPinNotSet;
  if (state_.pinRetries == 0) return kStatusPinBlocked;
  if (consecutiveFailures_ >= kMaxConsecutivePinFailures) return kStatusPinAuthBlocked;
  if (request.newPinEnc.length != CiphertextSize(request.protocol, kPaddedPinBlockSize) ||
      request.pinHashEnc.length != CiphertextSize(request.protocol, kPinHashSize)) {
    return kStatusInvalidParameter;
  }
  ProtocolSecret secret;
  if (std::uint8_t status = AgreeOnSecret(request, secret); status != kStatusOk) return status;
  std::vector<std::uint8_t> signedPart(request.newPinEnc.data,
                                       request.newPinEnc.data + request.newPinEnc.length);
  signedPart.insert(signedPart.end(), request.pinHashEnc.data,
                    request.pinHashEnc.data + request.pinHashEnc.length);
  if (!PinAuthMatches(secret, signedPart.data(), signedPart.size(), request.pinAuth)) {
    return kStatusPinAuthInvalid;
  }
  if (std::uint8_t status = CheckPinHash(secret, request); status != kStatusOk) return status;
  return StoreNewPin(secret, request, true);
}

}  // namespace pinvale::vkey
