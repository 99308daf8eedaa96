#include "vkey/ctap_authenticator.h"

#include <algorithm>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

CtapAuthenticator::CtapAuthenticator(const VirtualKeyConfig& config, RandomSource& random)
    : config_(config), random_(random) {
  rules_.protocols = EffectivePinProtocols(config_);
  rules_.ctap21 = Ctap21();
  minPinLength_ = EffectiveMinPinLength(config_);
  const std::string& pin = config_.initialPin;
  if (!pin.empty()) {
    HashPin(reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size(), pinHash_);
    pinSet_ = true;
    forcePinChange_ = Ctap21() && config_.forcePinChange;
  }
}

void CtapAuthenticator::PowerUp() {
  RenewKeyAgreement();
  RenewPinToken();
  consecutiveFailures_ = 0;
}

void CtapAuthenticator::RenewPinToken() {
  pinToken_.Wipe();
  random_.Fill(pinToken_.data(), TokenSize());
  tokenPermissions_ = 0;
  tokenRpId_.clear();
  tokenProtocol_ = 0;
}

bool CtapAuthenticator::SupportsProtocol(std::uint32_t protocol) const {
  return std::find(rules_.protocols.begin(), rules_.protocols.end(), protocol) !=
         rules_.protocols.end();
}

void CtapAuthenticator::RenewKeyAgreement() {
  keyAgreement_.Generate(random_);
}

void CtapAuthenticator::FactoryReset() {
  pinSet_ = false;
  pinHash_.Wipe();
  retries_ = kMaxPinRetries;
  consecutiveFailures_ = 0;
  forcePinChange_ = false;
  RenewPinToken();
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

// Only what the key does: no "rk" (it stores no credentials), but "up", since reset
// and getAssertion wait for the user's touch.
void CtapAuthenticator::GetInfo(std::vector<std::uint8_t>& answer) const {
  // Canonical CBOR: integer keys ascending, text keys shorter first, then bytewise.
  std::uint8_t body[256];
  CborWriter writer(body, sizeof body);
  writer.beginMap(Ctap21() ? 7 : 5);
  if (Ctap21()) {
    writer.putInt(1).beginArray(2).putText("FIDO_2_0", 8).putText("FIDO_2_1", 8);
  } else {
    writer.putInt(1).beginArray(1).putText("FIDO_2_0", 8);
  }
  writer.putInt(3).putBytes(config_.aaguid.data(), config_.aaguid.size());
  writer.putInt(4).beginMap(3 + (config_.uv ? 1 : 0) + (Ctap21() ? 1 : 0));
  writer.putText("up", 2).putBool(true);
  if (config_.uv) writer.putText("uv", 2).putBool(true);
  writer.putText("plat", 4).putBool(false);
  writer.putText("clientPin", 9).putBool(pinSet_);
  if (Ctap21()) writer.putText("pinUvAuthToken", 14).putBool(true);
  writer.putInt(5).putInt(config_.maxMsgSize);
  writer.putInt(6).beginArray(static_cast<std::uint32_t>(rules_.protocols.size()));
  for (std::uint8_t protocol : rules_.protocols) writer.putInt(protocol);
  if (Ctap21()) {
    writer.putInt(0x0C).putBool(forcePinChange_);
    writer.putInt(0x0D).putInt(minPinLength_);
  }
  answer.push_back(kStatusOk);
  answer.insert(answer.end(), body, body + writer.length());
}

}  // namespace pinvale::vkey
