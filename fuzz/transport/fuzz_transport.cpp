// Transceive, SendCborCommand and GetInfo against a key that says whatever the
// fuzzer makes it say: stray keepalives, other programs' reports and INIT answers
// on any channel, lengths that lie, short and long reports, errors and silence in
// any place. Nothing may be stored outside the caller's buffer, and a reported
// length never exceeds the capacity.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ctap/get_info.h"
#include "fuzz_hid_platform.h"
#include "transport/fido_token.h"
#include "transport/maker_ids.h"

namespace {

using namespace pinvale;

// Report lengths worth trying: the usual 65, none, too short to hold a header,
// and the largest the report buffer takes.
constexpr std::uint16_t kLengths[] = {65, 0, 1, 7, 8, 64, 66, 100};

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const HidCaps caps{kLengths[data[0] & 7], kLengths[(data[0] >> 3) & 7]};
  const std::uint8_t operation = data[1] % 3;
  const std::uint32_t capacity = static_cast<std::uint32_t>(data[2]) * 17 + (data[3] & 0x0F);
  const std::uint32_t messageLength = 1 + (data[3] >> 4) * 13;

  auto platform = std::make_shared<fuzz::FuzzHidPlatform>(data + 4, size - 4, caps);
  CFidoToken token(platform);
  // Reads of this key never wait, so the limit only bounds how long other channels'
  // reports may keep the exchange going; generous, so that one input always takes
  // the same path however fast it runs.
  token.DeviceList().SetSilenceLimitMs(10000);
  token.DeviceList().SetPauseFunction([](int) {});
  token.SetTransport(kTransportUsbHid);
  if (token.EnumerateDevices() != 1) return 0;
  token.SelectDevice(kMakerVendorId, kMakerProductIds[0]);

  std::vector<std::uint8_t> message(messageLength, 0xA5);
  message[0] = 0x04;
  // Exactly `capacity` bytes on the heap, so that ASan catches any overrun.
  auto response = std::make_unique<std::uint8_t[]>(capacity ? capacity : 1);
  std::uint32_t length = capacity;

  switch (operation) {
    case 0:
      if (token.DeviceList().Transceive(message.data(), messageLength, response.get(), &length) ==
          0) {
        Check(length <= capacity);
      }
      break;
    case 1: {
      const std::uint16_t status =
          token.SendCborCommand(message.data(), messageLength, response.get(), &length);
      Check(length <= capacity);
      Check(status <= 0xFF || status == kExchangeFailed);
      break;
    }
    default: {
      TokenInfo info;
      GetInfo(token, info);
      Check(info.pinSet <= 1 && info.uvSet <= 1);
      break;
    }
  }
  return 0;
}
