#include "ctap/management_request.h"

#include <cstring>

#include "cbor/cbor_writer.h"
#include "ctap/pin_text.h"
#include "platform/debug_log.h"

namespace pinvale {

namespace {

// Request maps are a few hundred bytes at most: a descriptor, a user entity
// with two names of 64 bytes each, and a MAC.
constexpr std::uint32_t kMaxManagementRequestSize = 1024;

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsControl(std::uint32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

}  // namespace

std::vector<std::uint8_t> ManagementMacInput(std::span<const std::uint8_t> macPrefix,
                                             std::uint8_t subCommand,
                                             std::span<const std::uint8_t> params) {
  std::vector<std::uint8_t> input;
  input.reserve(macPrefix.size() + 1 + params.size());
  for (std::uint8_t byte : macPrefix) input.push_back(byte);
  input.push_back(subCommand);
  for (std::uint8_t byte : params) input.push_back(byte);
  return input;
}

int BuildManagementRequest(const ManagementRequestLayout& layout, std::uint8_t subCommand,
                           std::span<const std::uint8_t> params, const PinUvToken* token,
                           std::vector<std::uint8_t>& request) {
  request.clear();
  if (token != nullptr && (token->protocol == nullptr || token->size == 0)) {
    return kManagementRequestUnbuildable;
  }
  PinUvAuthParam mac;
  if (token != nullptr) {
    std::vector<std::uint8_t> prefix;
    if (layout.modality) prefix.push_back(static_cast<std::uint8_t>(*layout.modality));
    const std::vector<std::uint8_t> input = ManagementMacInput(prefix, subCommand, params);
    if (int code = token->protocol->Authenticate(token->span(), input, mac); code != 0) {
      return code;
    }
  }
  std::uint32_t members = 1 + (layout.modality ? 1 : 0) + (params.empty() ? 0 : 1);
  if (token != nullptr) members += 2;
  std::vector<std::uint8_t> buffer(kMaxManagementRequestSize);
  buffer[0] = layout.command;
  CborWriter writer(buffer.data() + 1, static_cast<std::uint32_t>(buffer.size() - 1));
  writer.beginMap(members);
  // Ascending keys: the modality (1) comes before the subCommand in the bio map,
  // and both families number params, protocol and MAC after the subCommand.
  if (layout.modality) writer.putInt(1).putInt(*layout.modality);
  writer.putInt(layout.subCommandKey).putInt(subCommand);
  std::uint32_t expected = 0;
  if (!params.empty()) {
    writer.putInt(layout.paramsKey);
    expected = writer.length() + static_cast<std::uint32_t>(params.size());
    if (writer.putRaw(params.data(), static_cast<std::uint32_t>(params.size())) == 0 ||
        writer.length() != expected) {
      return kManagementRequestUnbuildable;
    }
  }
  if (token != nullptr) {
    writer.putInt(layout.protocolKey).putInt(token->protocol->Number());
    writer.putInt(layout.pinUvAuthParamKey)
        .putBytes(mac.bytes, static_cast<std::uint32_t>(mac.size));
  }
  // The writer drops what does not fit; the last member tells whether all did.
  const std::uint32_t length = writer.length();
  if (length == 0 || length + 1 >= buffer.size()) return kManagementRequestUnbuildable;
  buffer.resize(length + 1);
  request = std::move(buffer);
  return 0;
}

int ExchangeManagementRequest(CFidoToken& device, const std::vector<std::uint8_t>& request,
                              std::vector<std::uint8_t>& body) {
  body.clear();
  if (request.empty()) return kManagementRequestUnbuildable;
  // One exchange receives at most kReceiveBufferSize bytes, status byte included,
  // so no payload fills this capacity.
  constexpr std::uint32_t kCapacity = kReceiveBufferSize;
  body.assign(kReceiveBufferSize, 0);
  std::uint32_t length = kCapacity;
  const std::uint16_t status = device.SendCborCommand(
      request.data(), static_cast<std::uint32_t>(request.size()), body.data(), &length);
  // A bare status byte leaves `length` untouched at the capacity, which no payload
  // reaches: the body is then empty.
  body.resize(status == 0 && length < kCapacity ? length : 0);
  if (status != 0) DebugLog("Management command 0x%02X: status 0x%02X", request[0], status);
  return status;
}

bool Present(const CborItem& item) {
  return isWellFormed(item.head());
}

bool ReadOptionalUnsigned(const CborItem& map, std::int32_t key,
                          std::optional<std::uint32_t>& out) {
  out.reset();
  const CborItem value = map.mapValueByInt(key);
  if (!Present(value)) return true;
  std::uint32_t number = 0;
  if (!value.getUnsigned(number)) return false;
  out = number;
  return true;
}

bool ReadOptionalText(const CborItem& map, const char* name, std::optional<std::string>& out) {
  out.reset();
  const CborItem value = map.mapValueByText(name, static_cast<std::uint32_t>(std::strlen(name)));
  if (!Present(value)) return true;
  const char* text = nullptr;
  std::uint32_t length = 0;
  if (!value.getText(text, length)) return false;
  out.emplace(text, length);
  return true;
}

bool EncodedItem(const CborItem& item, std::vector<std::uint8_t>& out) {
  CborItem after;
  if (!item.nextItem(after)) return false;
  out.assign(item.data(), after.data());
  return true;
}

std::string PrintableText(std::string_view raw) {
  std::string shown;
  shown.reserve(raw.size());
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(raw.data()),
                                            raw.size());
  std::size_t i = 0;
  while (i < raw.size()) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceAt(bytes, i, code);
    if (length == 0 || IsControl(code)) {
      shown.append(kReplacement);
      i += length == 0 ? 1 : length;
      continue;
    }
    shown.append(raw.substr(i, length));
    i += length;
  }
  return shown;
}

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

}  // namespace pinvale
