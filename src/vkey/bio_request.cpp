#include "vkey/bio_request.h"

#include "cbor/cbor_item.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey {

namespace {

constexpr std::uint8_t kMajorUnsigned = 0;
constexpr std::uint8_t kMajorMap = 5;
constexpr std::uint8_t kSimpleFalse = 20;
constexpr std::uint8_t kSimpleTrue = 21;

// An unsigned member: absent is fine, any other type is not.
bool ReadUnsigned(const CborItem& item, bool& present, std::uint32_t& value) {
  if (!Present(item)) return true;
  present = item.head().majorType == kMajorUnsigned && item.getUnsigned(value);
  return present;
}

std::uint8_t ReadParams(const CborItem& params, BioRequest& request) {
  if (params.head().majorType != kMajorMap) return kStatusCborUnexpectedType;
  CborItem after;
  if (!params.nextItem(after)) return kStatusInvalidCbor;
  request.params = params.data();
  request.paramsLength = static_cast<std::size_t>(after.data() - params.data());

  if (!ReadBytes(params.mapValueByInt(1), request.templateId) ||
      !ReadUnsigned(params.mapValueByInt(3), request.hasTimeout, request.timeoutMs)) {
    return kStatusCborUnexpectedType;
  }
  if (const CborItem name = params.mapValueByInt(2); Present(name)) {
    if (!name.getText(request.friendlyName, request.friendlyNameLength)) {
      return kStatusCborUnexpectedType;
    }
    // A text string that is not UTF-8 is not valid CBOR.
    if (!IsUtf8(reinterpret_cast<const std::uint8_t*>(request.friendlyName),
                request.friendlyNameLength)) {
      return kStatusInvalidCbor;
    }
    request.hasFriendlyName = true;
  }
  return kStatusOk;
}

}  // namespace

bool IsUtf8(const std::uint8_t* text, std::size_t length) {
  std::size_t i = 0;
  while (i < length) {
    const std::uint8_t lead = text[i];
    std::size_t extra = 0;
    std::uint32_t point = 0;
    std::uint32_t lowest = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      point = lead & 0x1F;
      lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      point = lead & 0x0F;
      lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      point = lead & 0x07;
      lowest = 0x10000;
    } else {
      return false;
    }
    if (length - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((text[i + k] & 0xC0) != 0x80) return false;
      point = point << 6 | (text[i + k] & 0x3F);
    }
    if (point < lowest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::uint8_t ReadBioRequest(const std::uint8_t* cbor, std::size_t length, BioRequest& request) {
  CborItem map;
  if (std::uint8_t status = OpenRequestMap(cbor, length, map); status != kStatusOk) return status;

  if (!ReadUnsigned(map.mapValueByInt(1), request.hasModality, request.modality) ||
      !ReadUnsigned(map.mapValueByInt(2), request.hasSubCommand, request.subCommand) ||
      !ReadUnsigned(map.mapValueByInt(4), request.hasProtocol, request.protocol) ||
      !ReadBytes(map.mapValueByInt(5), request.pinUvAuthParam)) {
    return kStatusCborUnexpectedType;
  }
  if (const CborItem getModality = map.mapValueByInt(6); Present(getModality)) {
    const std::uint8_t value = getModality.simpleValue();
    if (getModality.head().majorType != 7 || (value != kSimpleTrue && value != kSimpleFalse)) {
      return kStatusCborUnexpectedType;
    }
    request.getModality = value == kSimpleTrue;
  }
  if (const CborItem params = map.mapValueByInt(3); Present(params)) {
    return ReadParams(params, request);
  }
  return kStatusOk;
}

}  // namespace pinvale::vkey
