#include "dialogs/key_pin_rules.h"

#include <string_view>

#include "ctap/pin_protocol_choice.h"
#include "ctap/pin_text.h"
#include "dialogs/pin_dialog_texts.h"

namespace pinvale {

KeyPinRules ReadKeyPinRules(CFidoToken& device) {
  KeyPinRules rules;
  if (ReadAuthenticatorInfo(device, rules.info) != 0) rules.info = AuthenticatorInfo{};
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
  constexpr std::u16string_view kMarker = u"%d";
  std::u16string text(kKeyMinimumFormat);
  const std::string digits = std::to_string(minimum);
  const std::size_t at = text.find(kMarker);
  if (at != std::u16string::npos) {
    text.replace(at, kMarker.size(), std::u16string(digits.begin(), digits.end()));
  }
  return text;
}

}  // namespace pinvale
