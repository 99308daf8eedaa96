#include "ctap/pin_request.h"

#include "cbor/cbor_writer.h"

namespace pinvale {

namespace {

// The platform key as a COSE_Key: {1: 2 (EC2), 3: -25 (ECDH-ES+HKDF-256),
// -1: 1 (P-256), -2: x, -3: y}, in that order.
void PutCoseKey(CborWriter& writer, const PlatformPublicKey& key) {
  writer.putInt(kKeyKeyAgreement);
  writer.beginMap(5);
  writer.putInt(1).putInt(2);
  writer.putInt(3).putInt(-25);
  writer.putInt(-1).putInt(1);
  writer.putInt(-2).putBytes(key.x.data(), kCoordinateSize);
  writer.putInt(-3).putBytes(key.y.data(), kCoordinateSize);
}

void PutBytes(CborWriter& writer, std::int32_t key, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  writer.putInt(key).putBytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::uint32_t IntSize(std::int32_t value) {
  return cborHeadSize(value >= 0 ? static_cast<std::uint32_t>(value)
                                 : static_cast<std::uint32_t>(-1 - value));
}

std::uint32_t MemberSize(std::int32_t key, std::size_t stringLength) {
  if (stringLength == 0) return 0;
  const auto length = static_cast<std::uint32_t>(stringLength);
  return IntSize(key) + cborHeadSize(length) + length;
}

// The length WriteClientPinRequest should reach, command byte included.
std::uint32_t EncodedSize(const ClientPinRequest& request, std::uint32_t pairs) {
  std::uint32_t size = 1 + cborHeadSize(pairs);
  size += IntSize(kKeyPinProtocol) + IntSize(request.protocol);
  size += IntSize(kKeySubCommand) + IntSize(static_cast<std::int32_t>(request.subCommand));
  if (request.keyAgreement != nullptr) size += IntSize(kKeyKeyAgreement) + kCoseKeySize;
  size += MemberSize(kKeyPinAuth, request.pinUvAuthParam.size());
  size += MemberSize(kKeyNewPinEnc, request.newPinEnc.size());
  size += MemberSize(kKeyPinHashEnc, request.pinHashEnc.size());
  if (request.permissions != 0) {
    size += IntSize(kKeyPermissions) + IntSize(static_cast<std::int32_t>(request.permissions));
  }
  size += MemberSize(kKeyRpId, request.rpId.size());
  return size;
}

}  // namespace

std::uint32_t WriteClientPinRequest(const ClientPinRequest& request, std::uint8_t* buffer,
                                    std::uint32_t capacity) {
  if (buffer == nullptr || capacity < 2) return 0;
  const std::uint32_t pairs =
      2 + (request.keyAgreement != nullptr ? 1 : 0) + (request.pinUvAuthParam.empty() ? 0 : 1) +
      (request.newPinEnc.empty() ? 0 : 1) + (request.pinHashEnc.empty() ? 0 : 1) +
      (request.permissions != 0 ? 1 : 0) + (request.rpId.empty() ? 0 : 1);
  buffer[0] = kClientPinCommand;
  CborWriter writer(buffer + 1, capacity - 1);
  writer.beginMap(pairs);
  writer.putInt(kKeyPinProtocol).putInt(request.protocol);
  writer.putInt(kKeySubCommand).putInt(static_cast<std::int32_t>(request.subCommand));
  if (request.keyAgreement != nullptr) PutCoseKey(writer, *request.keyAgreement);
  PutBytes(writer, kKeyPinAuth, request.pinUvAuthParam);
  PutBytes(writer, kKeyNewPinEnc, request.newPinEnc);
  PutBytes(writer, kKeyPinHashEnc, request.pinHashEnc);
  if (request.permissions != 0) {
    // Permission bits stay far below 2^31.
    writer.putInt(kKeyPermissions).putInt(static_cast<std::int32_t>(request.permissions));
  }
  if (!request.rpId.empty()) {
    writer.putInt(kKeyRpId).putText(request.rpId.data(),
                                    static_cast<std::uint32_t>(request.rpId.size()));
  }
  // The writer skips what does not fit: a request shorter than planned is no request.
  return writer.length() + 1 == EncodedSize(request, pairs) ? writer.length() + 1 : 0;
}

std::uint32_t WriteShortPinRequest(PinSubCommand subCommand, std::uint8_t* buffer,
                                   std::uint32_t capacity) {
  return WriteClientPinRequest(ClientPinRequest(kPinProtocolOne, subCommand), buffer, capacity);
}

std::uint32_t WriteSetPinRequest(const PlatformPublicKey& platformKey, const std::uint8_t* pinAuth,
                                 const std::uint8_t* newPinEnc, std::uint8_t* buffer,
                                 std::uint32_t capacity) {
  ClientPinRequest request{kPinProtocolOne, PinSubCommand::kSetPin, &platformKey};
  request.pinUvAuthParam = {pinAuth, kPinAuthSize};
  request.newPinEnc = {newPinEnc, kNewPinBlockSize};
  return WriteClientPinRequest(request, buffer, capacity);
}

std::uint32_t WriteChangePinRequest(const PlatformPublicKey& platformKey,
                                    const std::uint8_t* pinAuth, const std::uint8_t* newPinEnc,
                                    const std::uint8_t* pinHashEnc, std::uint8_t* buffer,
                                    std::uint32_t capacity) {
  ClientPinRequest request{kPinProtocolOne, PinSubCommand::kChangePin, &platformKey};
  request.pinUvAuthParam = {pinAuth, kPinAuthSize};
  request.newPinEnc = {newPinEnc, kNewPinBlockSize};
  request.pinHashEnc = {pinHashEnc, kPinHashSize};
  return WriteClientPinRequest(request, buffer, capacity);
}

std::uint32_t WriteGetPinTokenRequest(const PlatformPublicKey& platformKey,
                                      const std::uint8_t* pinHashEnc, std::uint8_t* buffer,
                                      std::uint32_t capacity) {
  ClientPinRequest request{kPinProtocolOne, PinSubCommand::kGetPinToken, &platformKey};
  request.pinHashEnc = {pinHashEnc, kPinHashSize};
  return WriteClientPinRequest(request, buffer, capacity);
}

}  // namespace pinvale
