#pragma once

// The bytes a virtual key's state is kept in between runs (pinvale-vkey --state): pure
// functions, no I/O.
//
//   "PINVALE-VKEY-STATE"   18 bytes, the magic
//   version                2 bytes, big-endian (kStateFormatVersion)
//   body length            4 bytes, big-endian
//   body                   one CBOR map, canonical: integer keys in ascending order
//   checksum               SHA-256 of everything before it, 32 bytes
//
// The body: 1 profile ("2.0", "2.1-pre", "2.1"), 2 PIN hash (16 bytes, only with a
// PIN), 3 PIN retries, 4 forcePinChange, 5 UV retries, 6 signature counter, 7 the
// credential key (32 bytes), 8 the passkeys [{1 id, 2 rpId, 3 rpName, 4 userId,
// 5 userName, 6 userDisplayName, 7 private key (32 bytes), 8 credProtect}, ...],
// 9 the fingerprints [{1 templateId, 2 friendlyName}, ...]. Names that are empty are
// written empty. The same state always encodes to the same bytes, so a writer can
// skip a state that did not change.
//
// Reading checks every member's type and size against the reading key's limits and
// refuses the whole file on the first fault: a key never starts with half a state.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <mbedtls/platform_util.h>

#include "vkey/key_state.h"
#include "vkey/vkey_config.h"

namespace pinvale::vkey {

constexpr char kStateMagic[] = "PINVALE-VKEY-STATE";
constexpr std::size_t kStateMagicLength = sizeof kStateMagic - 1;
constexpr std::uint16_t kStateFormatVersion = 1;
// The longest user handle a key takes.
constexpr std::size_t kMaxUserIdLength = 64;
constexpr std::size_t kMaxTemplateIdLength = 32;

// Memory that is wiped before it is given back, reallocations included: the encoded
// state holds the PIN hash and private keys.
template <typename T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) {}
  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) {
    mbedtls_platform_zeroize(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const WipingAllocator<U>&) const {
    return true;
  }
  template <typename U>
  bool operator!=(const WipingAllocator<U>&) const {
    return false;
  }
};

using StateBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

enum class StateFault {
  kNone,
  kForeign,       // does not start with the magic: some other file
  kDamaged,       // truncated, changed (the checksum does not match) or longer than it says
  kNewerVersion,  // a format this key does not know yet
  kOtherProfile,  // made by a key of another kind (--profile)
  kInvalid,       // the checksum matches but a member is wrong: written by a faulty program
};

struct StateReadResult {
  StateFault fault = StateFault::kNone;
  std::string detail;  // which member, or which profile; empty when there is no more to say
  bool ok() const { return fault == StateFault::kNone; }
};

// "2.0", "2.1-pre", "2.1": as --profile takes them.
const char* ProfileName(CtapProfile profile);

StateBytes EncodeKeyState(const KeyState& state, CtapProfile profile);

// Reads a state made by EncodeKeyState for a key with `config`: its profile, its
// capacities and its longest names. `state` is set only when the whole file is sound.
StateReadResult DecodeKeyState(const std::uint8_t* data, std::size_t length,
                               const VirtualKeyConfig& config, KeyState& state);

// What went wrong, for a message after the file's name: "not a virtual key state
// file", "damaged (checksum)", "made by a newer version of pinvale-vkey (format 3)"...
std::string DescribeStateFault(const StateReadResult& result);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const char* text, std::size_t length);

}  // namespace pinvale::vkey
