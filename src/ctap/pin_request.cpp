#include "ctap/pin_request.h"

#include "cbor/cbor_writer.h"

namespace pinvale {

namespace {

// Starts a request: the command byte, then a map of `pairs` opening with the
// protocol and the subcommand.
CborWriter BeginRequest(PinSubCommand subCommand, std::uint32_t pairs, std::uint8_t* buffer,
                        std::uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return CborWriter();
  buffer[0] = kClientPinCommand;
  CborWriter writer(buffer + 1, capacity - 1);
  writer.beginMap(pairs);
  writer.putInt(kKeyPinProtocol).putInt(kPinProtocolOne);
  writer.putInt(kKeySubCommand).putInt(static_cast<std::int32_t>(subCommand));
  return writer;
}

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

std::uint32_t Finish(const CborWriter& writer, std::uint8_t* buffer) {
  return buffer == nullptr ? 0 : writer.length() + 1;
}

}  // namespace

std::uint32_t WriteShortPinRequest(PinSubCommand subCommand, std::uint8_t* buffer,
                                   std::uint32_t capacity) {
  const CborWriter writer = BeginRequest(subCommand, 2, buffer, capacity);
  return Finish(writer, buffer);
}

std::uint32_t WriteSetPinRequest(const PlatformPublicKey& platformKey, const std::uint8_t* pinAuth,
                                 const std::uint8_t* newPinEnc, std::uint8_t* buffer,
                                 std::uint32_t capacity) {
  CborWriter writer = BeginRequest(PinSubCommand::kSetPin, 5, buffer, capacity);
  PutCoseKey(writer, platformKey);
  writer.putInt(kKeyPinAuth).putBytes(pinAuth, kPinAuthSize);
  writer.putInt(kKeyNewPinEnc).putBytes(newPinEnc, kNewPinBlockSize);
  return Finish(writer, buffer);
}

std::uint32_t WriteChangePinRequest(const PlatformPublicKey& platformKey,
                                    const std::uint8_t* pinAuth, const std::uint8_t* newPinEnc,
                                    const std::uint8_t* pinHashEnc, std::uint8_t* buffer,
                                    std::uint32_t capacity) {
  CborWriter writer = BeginRequest(PinSubCommand::kChangePin, 6, buffer, capacity);
  PutCoseKey(writer, platformKey);
  writer.putInt(kKeyPinAuth).putBytes(pinAuth, kPinAuthSize);
  writer.putInt(kKeyNewPinEnc).putBytes(newPinEnc, kNewPinBlockSize);
  writer.putInt(kKeyPinHashEnc).putBytes(pinHashEnc, kPinHashSize);
  return Finish(writer, buffer);
}

std::uint32_t WriteGetPinTokenRequest(const PlatformPublicKey& platformKey,
                                      const std::uint8_t* pinHashEnc, std::uint8_t* buffer,
                                      std::uint32_t capacity) {
  CborWriter writer = BeginRequest(PinSubCommand::kGetPinToken, 4, buffer, capacity);
  PutCoseKey(writer, platformKey);
  writer.putInt(kKeyPinHashEnc).putBytes(pinHashEnc, kPinHashSize);
  return Finish(writer, buffer);
}

}  // namespace pinvale
