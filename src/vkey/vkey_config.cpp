#include "vkey/vkey_config.h"

namespace pinvale::vkey {

std::vector<std::uint8_t> EffectivePinProtocols(const VirtualKeyConfig& config) {
  // A 2.1-pre key has the 2.0 PIN rules, protocol 1 and its 16-byte token.
  if (config.profile != CtapProfile::kCtap21) return {1};
  if (config.pinProtocols.empty()) return {2, 1};
  return config.pinProtocols;
}

int EffectiveMinPinLength(const VirtualKeyConfig& config) {
  if (config.minPinLength > 0) return config.minPinLength;
  return config.profile == CtapProfile::kCtap21 ? 4 : 0;
}

}  // namespace pinvale::vkey
