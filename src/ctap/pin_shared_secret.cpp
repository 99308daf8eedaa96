#include "cbor/cbor_item.h"
#include "ctap/pin_crypto.h"
#include "ctap/pin_uv_auth_protocol.h"

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

// Only the coordinates are read; key type, algorithm and curve are taken on
// trust, and a point off the curve fails in the ECDH step.
bool ReadKeyAgreementPoint(const std::uint8_t* body, std::uint32_t length, const std::uint8_t*& x,
                           const std::uint8_t*& y) {
  const CborItem coseKey = CborItem(body, length).mapValueByInt(1);
  return ReadCoordinate(coseKey, -2, x) && ReadCoordinate(coseKey, -3, y);
}

using Coordinate = std::span<const std::uint8_t, kCoordinateSize>;

}  // namespace

int DeriveSharedSecret(const std::uint8_t* body, std::uint32_t length, SharedSecret& secret,
                       PlatformPublicKey& platformKey) {
  const std::uint8_t* x = nullptr;
  const std::uint8_t* y = nullptr;
  if (!ReadKeyAgreementPoint(body, length, x, y)) return kKeyAgreementUnusable;
  return DeriveSharedSecretFromPoint(Coordinate(x, kCoordinateSize), Coordinate(y, kCoordinateSize),
                                     secret, platformKey);
}

int PinUvAuthProtocol::AgreeFromAnswer(const std::uint8_t* body, std::uint32_t length,
                                       PinSharedSecret& secret,
                                       PlatformPublicKey& platformKey) const {
  const std::uint8_t* x = nullptr;
  const std::uint8_t* y = nullptr;
  if (!ReadKeyAgreementPoint(body, length, x, y)) return kKeyAgreementUnusable;
  return AgreeFromPoint(Coordinate(x, kCoordinateSize), Coordinate(y, kCoordinateSize), secret,
                        platformKey);
}

int PinUvAuthProtocol::AgreeFromPoint(std::span<const std::uint8_t, kCoordinateSize> deviceX,
                                      std::span<const std::uint8_t, kCoordinateSize> deviceY,
                                      PinSharedSecret& secret,
                                      PlatformPublicKey& platformKey) const {
  secret.Wipe();
  SecretArray<kCoordinateSize> z;
  const int result = ComputeEcdhZ(deviceX, deviceY, z, platformKey);
  if (result != 0) return result;
  return Kdf(z.span(), secret);
}

}  // namespace pinvale
