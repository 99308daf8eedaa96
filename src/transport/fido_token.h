#pragma once

// The program's one device object. Every CTAP2 message reaches the key through
// SendCborCommand. A lock inside serialises exchanges, enumeration and selection,
// so a reconnection on the UI thread never interleaves with the reset command
// running on its worker thread.

#include <cstdint>
#include <memory>
#include <mutex>

#include "transport/hid_device_list.h"

namespace pinvale {

// Results of SendCborCommand besides the key's own CTAP status byte.
constexpr std::uint16_t kExchangeFailed = 0xABCD;  // the HID exchange failed
constexpr std::uint16_t kEmptyAnswer = 0xFF;       // the key answered with no byte
constexpr std::uint16_t kAnswerTooLarge = 3;       // payload does not fit the buffer

constexpr std::uint32_t kTransportUsbHid = 1;
constexpr std::uint32_t kTransportOther = 2;  // accepted, but has no exchange

constexpr std::uint32_t kReceiveBufferSize = 4096;

class CFidoToken {
 public:
  explicit CFidoToken(std::shared_ptr<HidPlatform> platform);

  int SetTransport(std::uint32_t type);
  int EnumerateDevices();
  int SelectDevice(std::uint32_t vendorId, std::uint32_t productId);

  // `message` is the command byte followed by its CBOR parameters. On entry
  // *responseLength is the capacity of `response`; on success it holds the bytes
  // stored. Returns the CTAP status or one of the codes above.
  std::uint16_t SendCborCommand(const std::uint8_t* message, std::uint32_t length,
                                std::uint8_t* response, std::uint32_t* responseLength);

  // Cancels the exchange that waits for the user (see CHidDeviceList::RequestCancel).
  // Takes no lock: another thread or a signal handler calls it while an exchange
  // holds the token.
  void RequestCancel() { devices_.RequestCancel(); }

  CHidDeviceList& DeviceList() { return devices_; }

 private:
  std::uint32_t transportType_ = 0;
  CHidDeviceList devices_;
  std::recursive_mutex exchangeLock_;
};

}  // namespace pinvale
