#include "cbor/cbor_item.h"
#include "ctap/pin_crypto.h"

namespace pinvale {

namespace {

// The first 32 bytes of one coordinate of the key's COSE key. A coordinate
// shorter than that cannot be a P-256 coordinate and is refused rather than
// read past.
bool ReadCoordinate(const CborItem& coseKey, int32_t label, const std::uint8_t*& coordinate) {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;
  if (!coseKey.mapValueByInt(label).getBytes(bytes, length)) return false;
  if (length < kCoordinateSize) return false;
  coordinate = bytes;
  return true;
}

}  // namespace

int DeriveSharedSecret(const std::uint8_t* body, std::uint32_t length, SharedSecret& secret,
                       PlatformPublicKey& platformKey) {
  // Only the coordinates are read; key type, algorithm and curve are taken on
  // trust, and a point off the curve fails in the ECDH step.
  const CborItem coseKey = CborItem(body, length).mapValueByInt(1);
  const std::uint8_t* x = nullptr;
  const std::uint8_t* y = nullptr;
  if (!ReadCoordinate(coseKey, -2, x) || !ReadCoordinate(coseKey, -3, y)) {
    return kKeyAgreementUnusable;
  }
  return DeriveSharedSecretFromPoint(
      std::span<const std::uint8_t, kCoordinateSize>(x, kCoordinateSize),
      std::span<const std::uint8_t, kCoordinateSize>(y, kCoordinateSize), secret, platformKey);
}

}  // namespace pinvale
