#include "ctap/pin_protocol_choice.h"

#include <algorithm>

namespace pinvale {

const PinUvAuthProtocol* PinProtocolByNumber(std::uint32_t number) {
  if (number == 1) return &PinProtocolOne();
  if (number == 2) return &PinProtocolTwo();
  return nullptr;
}

int ChoosePinProtocol(const AuthenticatorInfo& info, int forced, const PinUvAuthProtocol*& chosen) {
  // A key that lists nothing predates the list and speaks protocol 1.
  const std::vector<std::uint32_t> listed =
      info.pinUvAuthProtocols.empty() ? std::vector<std::uint32_t>{1} : info.pinUvAuthProtocols;
  if (forced != 0) {
    const bool onList =
        std::find(listed.begin(), listed.end(), static_cast<std::uint32_t>(forced)) != listed.end();
    const PinUvAuthProtocol* protocol =
        forced > 0 ? PinProtocolByNumber(static_cast<std::uint32_t>(forced)) : nullptr;
    if (!onList || protocol == nullptr) return kPinProtocolNotListed;
    chosen = protocol;
    return 0;
  }
  // The key's order is its preference.
  for (std::uint32_t number : listed) {
    if (const PinUvAuthProtocol* protocol = PinProtocolByNumber(number)) {
      chosen = protocol;
      return 0;
    }
  }
  return kNoSupportedPinProtocol;
}

}  // namespace pinvale
