// The state reader on any bytes: it never crashes or reads outside the input, refuses
// or accepts the whole file, and what it accepts encodes to bytes it reads back as the
// same state.
//
// Input: [mode] then the rest. Mode bits 0-1 pick the reading key's profile (2.0,
// 2.1-pre, 2.1), bit 2 small capacities (2 passkeys, 1 fingerprint, names of 4 bytes).
// Bit 7: the rest is the whole file. Otherwise the rest is a body, put behind the magic,
// the version and its length, and sealed with its SHA-256, as a faulty writer would.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <mbedtls/sha256.h>

#include "vkey/key_state_codec.h"

namespace {

using namespace pinvale::vkey;

void Check(bool ok) {
  if (!ok) std::abort();
}

VirtualKeyConfig ConfigOf(std::uint8_t mode) {
  VirtualKeyConfig config;
  static const CtapProfile kProfiles[] = {CtapProfile::kCtap20, CtapProfile::kCtap21Pre,
                                          CtapProfile::kCtap21, CtapProfile::kCtap21};
  config.profile = kProfiles[mode & 3];
  if (mode & 4) {
    config.capacity = 2;
    config.fingerprintCapacity = 1;
    config.maxFriendlyNameBytes = 4;
  }
  return config;
}

StateBytes Sealed(const std::uint8_t* body, std::size_t length) {
  StateBytes file(kStateMagic, kStateMagic + kStateMagicLength);
  const auto n = static_cast<std::uint32_t>(length);
  const std::uint8_t head[] = {0,
                               kStateFormatVersion,
                               static_cast<std::uint8_t>(n >> 24),
                               static_cast<std::uint8_t>(n >> 16),
                               static_cast<std::uint8_t>(n >> 8),
                               static_cast<std::uint8_t>(n)};
  file.insert(file.end(), head, head + sizeof head);
  file.insert(file.end(), body, body + length);
  std::uint8_t digest[32];
  mbedtls_sha256_ret(file.data(), file.size(), digest, 0);
  file.insert(file.end(), digest, digest + sizeof digest);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  const VirtualKeyConfig config = ConfigOf(mode);
  // An exact copy, so reads past the input's end show.
  StateBytes file = (mode & 0x80) ? StateBytes(data + 1, data + size) : Sealed(data + 1, size - 1);

  KeyState state;
  state.signCount = 0x5A5A5A5A;
  const StateReadResult result = DecodeKeyState(file.data(), file.size(), config, state);
  Check(!DescribeStateFault(result).empty());
  if (!result.ok()) {
    Check(state.signCount == 0x5A5A5A5A && state.credentials.empty());  // left as it was
    return 0;
  }
  Check(state.credentials.size() <= static_cast<std::size_t>(config.capacity));
  Check(state.pinRetries <= kMaxPinRetries && state.uvRetries <= kMaxUvRetries);

  const StateBytes again = EncodeKeyState(state, config.profile);
  KeyState reread;
  Check(DecodeKeyState(again.data(), again.size(), config, reread).ok());
  Check(EncodeKeyState(reread, config.profile) == again);
  Check(reread.pinSet == state.pinSet && reread.signCount == state.signCount &&
        reread.credentials.size() == state.credentials.size() &&
        reread.fingerprints.size() == state.fingerprints.size());
  return 0;
}
