#include "dialogs/key_pin_rules.h"

#include "ctap/pin_protocol_choice.h"
#include "ctap/pin_text.h"
#include "dialogs/pin_dialog_texts.h"
#include "dialogs/pin_entry.h"

namespace pinvale {

KeyPinRules ReadKeyPinRules(CFidoToken& device) {
  KeyPinRules rules;
  rules.infoStatus = ReadAuthenticatorInfo(device, rules.info);
  if (rules.infoStatus != 0) rules.info = AuthenticatorInfo{};
  rules.refusal = ChoosePinProtocol(rules.info, 0, rules.protocol);
  if (rules.info.minPinLength && *rules.info.minPinLength > kMinPinLength) {
    rules.minPinLength = *rules.info.minPinLength;
  }
  return rules;
}

bool BelowKeyMinimum(const KeyPinRules& rules, std::span<const std::uint8_t> pin) {
  return rules.minPinLength > 0 && CountCodePoints(pin) < rules.minPinLength;
}

std::u16string KeyMinimumText(std::uint32_t minimum) {
  return FormatCount(kKeyMinimumFormat, minimum);
}

}  // namespace pinvale
