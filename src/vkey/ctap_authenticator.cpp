#include "vkey/ctap_authenticator.h"

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

CtapAuthenticator::CtapAuthenticator(const VirtualKeyConfig& config, RandomSource& random)
    : config_(config), random_(random) {
  const std::string& pin = config_.initialPin;
  if (!pin.empty()) {
    HashPin(reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size(), pinHash_);
    pinSet_ = true;
  }
}

void CtapAuthenticator::PowerUp() {
  RenewKeyAgreement();
  random_.Fill(pinToken_.data(), pinToken_.size());
  consecutiveFailures_ = 0;
}

void CtapAuthenticator::RenewKeyAgreement() {
  keyAgreement_.Generate(random_);
}

void CtapAuthenticator::FactoryReset() {
  pinSet_ = false;
  pinHash_.Wipe();
  retries_ = kMaxPinRetries;
  consecutiveFailures_ = 0;
  random_.Fill(pinToken_.data(), pinToken_.size());
  RenewKeyAgreement();
}

void CtapAuthenticator::Handle(const std::uint8_t* message, std::size_t length,
                               std::vector<std::uint8_t>& answer) {
  answer.clear();
  switch (message[0]) {
    case kCtapGetInfo:
      GetInfo(answer);
      return;
    case kCtapClientPin:
      ClientPin(message + 1, length - 1, answer);
      return;
    default:  // makeCredential and the rest are not Pinvale's business
      answer.push_back(kStatusInvalidCommand);
      return;
  }
}

void CtapAuthenticator::GetInfo(std::vector<std::uint8_t>& answer) const {
  // Canonical CBOR: integer keys ascending, text keys shorter first, then bytewise.
  std::uint8_t body[128];
  CborWriter writer(body, sizeof body);
  writer.beginMap(5);
  writer.putInt(1).beginArray(1).putText("FIDO_2_0", 8);
  writer.putInt(3).putBytes(config_.aaguid.data(), config_.aaguid.size());
  writer.putInt(4).beginMap(config_.uv ? 5 : 4);
  writer.putText("rk", 2).putBool(true);
  writer.putText("up", 2).putBool(true);
  if (config_.uv) writer.putText("uv", 2).putBool(true);
  writer.putText("plat", 4).putBool(false);
  writer.putText("clientPin", 9).putBool(pinSet_);
  writer.putInt(5).putInt(config_.maxMsgSize);
  writer.putInt(6).beginArray(1).putInt(1);
  answer.push_back(kStatusOk);
  answer.insert(answer.end(), body, body + writer.length());
}

}  // namespace pinvale::vkey
