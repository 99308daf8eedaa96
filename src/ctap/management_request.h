#pragma once

// What the fingerprint and passkey commands share: one request writer that
// makes the MAC over exactly the parameter bytes it sends, the exchange, the
// answer members both families read, and text from the key made safe to show.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cbor/cbor_item.h"
#include "ctap/pin_session.h"
#include "transport/fido_token.h"

namespace pinvale {

// A status 0 whose body lacks what the command must return, or holds it with
// the wrong type: the answer was not understood, as the PIN answers are.
constexpr int kManagementAnswerNotUnderstood = 0xFF;
// A request that could not be built (no token, or too large to send).
constexpr int kManagementRequestUnbuildable = 0xFE10;

// The layout of one family's request map: the member numbers of the
// subCommand, its parameters, the protocol and the MAC, and what leads the
// MAC input (bio enrollment puts its modality first).
struct ManagementRequestLayout {
  std::uint8_t command = 0;
  std::int32_t subCommandKey = 0;
  std::int32_t paramsKey = 0;
  std::int32_t protocolKey = 0;
  std::int32_t pinUvAuthParamKey = 0;
  std::optional<std::int32_t> modality;  // member 1 with its value, bio enrollment only
};

// authenticate(token, macPrefix ‖ subCommand ‖ params): the one place where the
// MAC input of both families is put together. `params` are the encoded CBOR
// bytes as sent, empty when the command has none.
std::vector<std::uint8_t> ManagementMacInput(std::span<const std::uint8_t> macPrefix,
                                             std::uint8_t subCommand,
                                             std::span<const std::uint8_t> params);

// The request bytes: command, then the map in ascending key order. With a token
// the protocol and MAC members follow; without one (the GetNext commands,
// cancel, sensor info) they are left out. 0 or kManagementRequestUnbuildable.
int BuildManagementRequest(const ManagementRequestLayout& layout, std::uint8_t subCommand,
                           std::span<const std::uint8_t> params, const PinUvToken* token,
                           std::vector<std::uint8_t>& request);

// Sends a request; on status 0 `body` holds the answer's CBOR (possibly empty).
// Returns the key's status or an exchange code of CFidoToken.
int ExchangeManagementRequest(CFidoToken& device, const std::vector<std::uint8_t>& request,
                              std::vector<std::uint8_t>& body);

// Readers of answer members: false when the member is there with another type.
// A missing member leaves the output empty and reads as true.
bool ReadOptionalUnsigned(const CborItem& map, std::int32_t key, std::optional<std::uint32_t>& out);
bool ReadOptionalText(const CborItem& map, const char* name, std::optional<std::string>& out);
// The bytes of the whole item, as encoded.
bool EncodedItem(const CborItem& item, std::vector<std::uint8_t>& out);
// True when the item is present (not the empty view).
bool Present(const CborItem& item);

// Text a key sent (a name, a site), safe to print: a byte that is not part of
// well-formed UTF-8 and every control character becomes U+FFFD, so a name can
// neither break the output's encoding nor steer a terminal.
std::string PrintableText(std::string_view raw);

// Lower-case hex of bytes.
std::string HexText(std::span<const std::uint8_t> bytes);

}  // namespace pinvale
