#include "transport/fido_token.h"

#include <array>
#include <cstring>

#include <mbedtls/platform_util.h>

namespace pinvale {

CFidoToken::CFidoToken(std::shared_ptr<HidPlatform> platform) : devices_(std::move(platform)) {}

int CFidoToken::SetTransport(std::uint32_t type) {
  std::lock_guard<std::recursive_mutex> lock(exchangeLock_);
  if (type != kTransportUsbHid && type != kTransportOther) return 0;
  transportType_ = type;
  return 1;
}

int CFidoToken::EnumerateDevices() {
  std::lock_guard<std::recursive_mutex> lock(exchangeLock_);
  if (transportType_ != kTransportUsbHid) return 0;
  return devices_.Enumerate();
}

int CFidoToken::SelectDevice(std::uint32_t vendorId, std::uint32_t productId) {
  std::lock_guard<std::recursive_mutex> lock(exchangeLock_);
  if (transportType_ != kTransportUsbHid) return 0;
  return devices_.Select(vendorId, productId);
}

std::uint16_t CFidoToken::SendCborCommand(const std::uint8_t* message, std::uint32_t length,
                                          std::uint8_t* response, std::uint32_t* responseLength) {
  std::lock_guard<std::recursive_mutex> lock(exchangeLock_);
  // Only USB HID has an exchange; any other transport fails like a USB failure.
  if (transportType_ != kTransportUsbHid) return kExchangeFailed;

  // Answers carry PIN tokens; the buffer is wiped whatever the outcome.
  struct ReceiveBuffer {
    std::array<std::uint8_t, kReceiveBufferSize> bytes{};
    ~ReceiveBuffer() { mbedtls_platform_zeroize(bytes.data(), bytes.size()); }
  } buffer;
  auto& received = buffer.bytes;
  std::uint32_t receivedLength = kReceiveBufferSize;
  if (devices_.Transceive(message, length, received.data(), &receivedLength) != 0) {
    return kExchangeFailed;
  }
  if (receivedLength == 0) return kEmptyAnswer;
  const std::uint8_t status = received[0];
  if (receivedLength == 1) return status;

  const std::uint32_t payloadLength = receivedLength - 1;
  if (!response || !responseLength || *responseLength < payloadLength) return kAnswerTooLarge;
  std::memcpy(response, received.data() + 1, payloadLength);
  *responseLength = payloadLength;
  return status;
}

}  // namespace pinvale
