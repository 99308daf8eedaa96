// The PIN operations against a key whose answers come from the fuzzer: getRetries,
// getKeyAgreement's COSE key, getPINToken's encrypted token and the status of setPIN and
// changePIN. Either the fuzzer writes the raw reports (framing included) or its answer
// messages are framed for it, so that its bytes go into the CBOR the operations read.
//
// Input: [operation][PIN choice] then the answers. Operation bits 0-2 pick the call,
// bit 3 the framed mode, bits 4-6 the HID report lengths (raw mode only).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "ctap/pin_crypto.h"
#include "ctap/pin_protocol.h"
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

bool StatusInRange(int status) {
  return (status >= 0 && status <= 0xFF) || status == kExchangeFailed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 16384) return 0;
  const std::uint8_t operation = data[0] & 7;
  const bool framed = (data[0] & 8) != 0;
  const std::uint8_t pinChoice = data[1];
  data += 2;
  size -= 2;

  if (operation >= 6) {
    // The getKeyAgreement body alone, as DeriveSharedSecret reads it. The copy is exactly
    // the input's size, so a read past it trips AddressSanitizer.
    std::vector<std::uint8_t> body(data, data + size);
    SharedSecret secret;
    PlatformPublicKey platformKey;
    const int code =
        DeriveSharedSecret(body.empty() ? nullptr : body.data(),
                           static_cast<std::uint32_t>(body.size()), secret, platformKey);
    Check(code <= 0 || code == kKeyAgreementUnusable);
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
    case 0:
      (void)QueryPinRetries(token);
      break;
    case 1: {
      std::uint32_t retries = 0;
      Check(StatusInRange(QueryPinRetriesWithStatus(token, retries)));
      break;
    }
    case 2:
    case 3: {
      const PinRequestResult result =
          operation == 2 ? SendSetPin(token, newPin) : SendChangePin(token, pin, newPin);
      if (newPin.size() > kNewPinBlockSize) {
        Check(!result.requestSent && result.code == kNewPinTooLong && key.writes == 0);
      }
      if (!result.requestSent) Check(key.writes <= kKeyAgreementWrites);
      if (result.requestSent) Check(StatusInRange(result.code));
      break;
    }
    default: {
      const PinTokenResult result = ObtainPinToken(token, pin);
      if (!result.requestSent) Check(key.writes <= kKeyAgreementWrites && !result.tokenPresent);
      if (result.requestSent) Check(StatusInRange(result.code));
      break;
    }
  }
  return 0;
}
