#pragma once

// libfido2's device I/O over a virtual key's UNIX socket (fido_dev_set_io_functions),
// counting the reports each way like CountingHidPlatform does for Pinvale.

#include <fido.h>

#include <cstdint>

namespace pinvale::bench {

struct Fido2SocketCounts {
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
};

// The I/O functions; counts go to the returned structure, one for the process.
const fido_dev_io_t& Fido2SocketIo();
Fido2SocketCounts& Fido2Counts();

}  // namespace pinvale::bench
