// The PIN operations against a key whose answers come from the fuzzer: getRetries,
// getKeyAgreement's COSE key, getPINToken's encrypted token and the status of setPIN and
// changePIN. Either the fuzzer writes the raw reports (framing included) or its answer
// messages are framed for it, so that its bytes go into the CBOR the operations read.
//
// Input: [operation][PIN choice] then the answers. Operation bits 0-2 pick the call,
// bit 3 the framed mode, bits 4-6 the HID report lengths (raw mode only), bit 7 PIN
// protocol 2 (short IVs, tokens of the wrong length, key agreements of the wrong
// shape), and with it a CTAP 2.1 key whose tokens come with permissions.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <span>
#include <vector>

#include "ctap/pin_crypto.h"
#include "ctap/pin_protocol.h"
#include "ctap/pin_session.h"
#include "ctap/pin_token.h"
#include "framed_answers.h"
#include "fuzz_hid_platform.h"
#include "transport/fido_token.h"
#include "transport/maker_ids.h"

namespace {

using namespace pinvale;

constexpr std::uint16_t kLengths[] = {65, 65, 65, 65, 64, 9, 66, 100};

void Check(bool ok) {
  if (!ok) std::abort();
}

// PINs worth sending: short, the longest that fits the block, one byte too long, empty.
std::vector<std::uint8_t> PinOfChoice(std::uint8_t choice, bool newPin) {
  static constexpr std::size_t kSizes[] = {4, 64, 65, 0, 6, 63, 8, 1};
  std::vector<std::uint8_t> pin(kSizes[choice & 7], newPin ? '5' : '1');
  return pin;
}

// {1: COSE key} with the P-256 base point, a point on the curve.
std::vector<std::uint8_t> FixedKeyAgreementBody() {
  std::vector<std::uint8_t> body = {0xA1, 0x01, 0xA5, 0x01, 0x02, 0x03, 0x38,
                                    0x18, 0x20, 0x01, 0x21, 0x58, 0x20};
  static const std::uint8_t kX[] = {0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47,
                                    0xF8, 0xBC, 0xE6, 0xE5, 0x63, 0xA4, 0x40, 0xF2,
                                    0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB, 0x33, 0xA0,
                                    0xF4, 0xA1, 0x39, 0x45, 0xD8, 0x98, 0xC2, 0x96};
  static const std::uint8_t kY[] = {0x4F, 0xE3, 0x42, 0xE2, 0xFE, 0x1A, 0x7F, 0x9B,
                                    0x8E, 0xE7, 0xEB, 0x4A, 0x7C, 0x0F, 0x9E, 0x16,
                                    0x2B, 0xCE, 0x33, 0x57, 0x6B, 0x31, 0x5E, 0xCE,
                                    0xCB, 0xB6, 0x40, 0x68, 0x37, 0xBF, 0x51, 0xF5};
  body.insert(body.end(), std::begin(kX), std::end(kX));
  body.insert(body.end(), {0x22, 0x58, 0x20});
  body.insert(body.end(), std::begin(kY), std::end(kY));
  return body;
}

bool StatusInRange(int status) {
  return (status >= 0 && status <= 0xFF) || status == kExchangeFailed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 16384) return 0;
  const std::uint8_t operation = data[0] & 7;
  const bool framed = (data[0] & 8) != 0;
  const PinUvAuthProtocol& protocol = (data[0] & 0x80) != 0 ? PinProtocolTwo() : PinProtocolOne();
  const std::uint8_t pinChoice = data[1];
  data += 2;
  size -= 2;

  if (operation == 6) {
    // The getKeyAgreement body alone, as DeriveSharedSecret reads it. The copy is exactly
    // the input's size, so a read past it trips AddressSanitizer.
    std::vector<std::uint8_t> body(data, data + size);
    SharedSecret secret;
    PlatformPublicKey platformKey;
    const int code =
        DeriveSharedSecret(body.empty() ? nullptr : body.data(),
                           static_cast<std::uint32_t>(body.size()), secret, platformKey);
    Check(code <= 0 || code == kKeyAgreementUnusable);
    PinSession session(protocol);
    const int agreed = session.AgreeFromAnswer(body.empty() ? nullptr : body.data(),
                                               static_cast<std::uint32_t>(body.size()));
    Check(agreed <= 0 || agreed == kKeyAgreementUnusable);
    return 0;
  }
  if (operation == 7) {
    // A token answer body, read under a shared secret from a fixed key agreement: any
    // token that comes out has a length the protocol allows.
    static const std::vector<std::uint8_t> kKeyAgreement = FixedKeyAgreementBody();
    PinSession session(protocol);
    if (session.AgreeFromAnswer(kKeyAgreement.data(),
                                static_cast<std::uint32_t>(kKeyAgreement.size())) != 0) {
      return 0;
    }
    std::vector<std::uint8_t> body(data, data + size);
    PinUvToken token;
    const int code = session.ReadToken(body.empty() ? nullptr : body.data(),
                                       static_cast<std::uint32_t>(body.size()), token);
    Check(code != 0 ? token.size == 0 : protocol.TokenLengthAllowed(token.size));
    return 0;
  }

  std::vector<std::uint8_t> script;
  HidCaps caps{65, 65};
  if (framed) {
    script = fuzz::FrameAnswers(data, size);
  } else {
    script.assign(data, data + size);
    caps = HidCaps{kLengths[(data[-2] >> 4) & 7], kLengths[(pinChoice >> 4) & 7]};
  }
  auto platform = std::make_shared<fuzz::FuzzHidPlatform>(script.data(), script.size(), caps);
  CFidoToken token(platform);
  token.DeviceList().SetSilenceLimitMs(1);
  token.DeviceList().SetPauseFunction([](int) {});
  token.SetTransport(kTransportUsbHid);
  if (token.EnumerateDevices() != 1) return 0;
  token.SelectDevice(kMakerVendorId, kMakerProductIds[0]);

  const std::vector<std::uint8_t> pin = PinOfChoice(pinChoice, false);
  const std::vector<std::uint8_t> newPin = PinOfChoice(pinChoice >> 3, true);
  // getKeyAgreement takes one INIT and one report; nothing carrying PIN material may go
  // out beyond those when the operation says it sent nothing.
  constexpr std::size_t kKeyAgreementWrites = 2;
  const fuzz::FuzzHidPlatform::Script& key = platform->script();

  switch (operation) {
    case 0: {
      const PinRetriesReading answer = ReadPinRetriesAnswer(token, protocol);
      Check(!(answer.countRead && answer.countMalformed));
      break;
    }
    case 1: {
      std::uint32_t retries = 0;
      Check(StatusInRange(QueryPinRetriesWithStatus(token, retries)));
      break;
    }
    case 2:
    case 3: {
      const PinRequestResult result = operation == 2 ? SendSetPin(token, protocol, newPin)
                                                     : SendChangePin(token, protocol, pin, newPin);
      if (newPin.size() > kNewPinBlockSize) {
        Check(!result.requestSent && result.code == kNewPinTooLong && key.writes == 0);
      }
      if (!result.requestSent) Check(key.writes <= kKeyAgreementWrites);
      if (result.requestSent) Check(StatusInRange(result.code));
      break;
    }
    case 4: {
      const PinTokenResult result = ObtainPinToken(token, protocol, pin);
      if (!result.requestSent) Check(key.writes <= kKeyAgreementWrites && !result.tokenPresent);
      if (result.requestSent) Check(StatusInRange(result.code));
      break;
    }
    default: {
      // A CTAP 2.1 key: tokens with permissions, cm asked without an rpId.
      AuthenticatorInfo info;
      info.options = {{"clientPin", true}, {"pinUvAuthToken", true}, {"credMgmt", true}};
      PinUvToken pinToken;
      const PinRequestResult result = ObtainPinUvAuthToken(
          token, info, protocol, pin, kPermissionCredentialManagement, {}, pinToken);
      if (!result.requestSent) Check(key.writes <= kKeyAgreementWrites);
      if (result.requestSent && result.code == 0) {
        Check(protocol.TokenLengthAllowed(pinToken.size));
      } else {
        Check(pinToken.size == 0);
      }
      break;
    }
  }
  return 0;
}
