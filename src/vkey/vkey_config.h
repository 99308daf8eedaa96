#pragma once

// How a virtual security key behaves: its USB ids, how the user "touches" it, its
// timers, its first PIN and the faults it can be told to show. Every duration is
// configurable so tests can run the same behaviour in milliseconds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/maker_ids.h"

namespace pinvale::vkey {

struct KeyState;
struct StoredCredential;

enum class TouchMode {
  kAutomatic,  // the user touches the key touchDelayMs after it starts waiting
  kOnDemand,   // only VirtualKey::Touch() counts as a touch
  kNever,      // nobody ever touches it; requests needing presence time out
};

// Which CTAP version the key plays. 2.0: PIN protocol 1, one PIN token per power
// cycle that authorises everything. 2.1: PIN/UV auth protocols 2 and 1, tokens with
// permissions (getPinUvAuthTokenUsingPinWithPermissions), its own minimum PIN length
// and a forced PIN change.
// 2.1-pre: a key of the CTAP 2.1 drafts: PIN protocol 1 with the 2.0 rules (a getPINToken
// token authorises everything), and passkey and fingerprint management by the prototype
// commands 0x41 and 0x40. A 2.1 key answers those too, beside the final 0x0A and 0x09, as
// real keys with a sensor do. Both have the fingerprint sensor; a 2.0 key has none.
enum class CtapProfile {
  kCtap20,
  kCtap21Pre,
  kCtap21,
};

enum class FaultKind {
  kNoAnswer,         // swallow matching messages (all, without a filter) and answer nothing
  kGarbage,          // answer a matching request with one report of random bytes
  kPullOut,          // pull the key out when it has received `count` packets since power-up
  kZeroLength,       // `count` packets with a zero length field before every answer
  kKeepaliveStorm,   // `count` back-to-back keepalives before every answer
  kStrayPackets,     // another program's traffic: `count` packets on other channels before
                     // every answer (INIT's too), and one between each two of its packets
  kForcedStatus,     // answer a matching CTAP2 request with `status` alone; with a `count`,
                     // only the first `count` matching requests
  kKeyAgreementNoY,  // getKeyAgreement answers a COSE key without -3
};

// A fault and its arguments. `command` and `subCommand` filter the CTAP2 requests it
// applies to: -1 matches any.
struct VirtualKeyFault {
  FaultKind kind = FaultKind::kNoAnswer;
  std::uint32_t count = 0;
  int command = -1;
  int subCommand = -1;
  std::uint8_t status = 0;
};

struct VirtualKeyConfig {
  std::uint16_t vendorId = kMakerVendorId;
  std::uint16_t productId = kMakerProductIds[0];

  TouchMode touchMode = TouchMode::kAutomatic;
  int touchDelayMs = 300;
  // A request needing user presence fails when no touch comes in this time: reset
  // with 0x2F, getAssertion with 0x27.
  int userPresenceTimeoutMs = 30000;
  // Reset is allowed only this long after power-up.
  int resetWindowMs = 10000;
  // A keepalive goes out this often while the key waits; hosts expect one every 100 ms.
  int keepaliveIntervalMs = 75;
  // A message whose continuation packets stop arriving for this long is dropped with
  // ERR_MSG_TIMEOUT.
  int messageTimeoutMs = 500;
  // A slow key: every CTAP2 answer but those that wait for a touch (reset's, and
  // getAssertion's) comes this long after the request, with "processing" keepalives
  // meanwhile. 0: at once.
  int processingDelayMs = 0;
  // Without the timer thread nothing happens on a timer until the owner calls
  // VirtualKey::RunDueTimers: the key is then driven step by step, on one thread (the
  // fuzz target drives it so, since starting and joining a thread per key costs more
  // than the rest of an input).
  bool timerThread = true;

  CtapProfile profile = CtapProfile::kCtap20;
  // The PIN/UV auth protocols in the key's order of preference, as getInfo lists them.
  // Empty: the profile's own, [1] for 2.0 and 2.1-pre, [2, 1] for 2.1. Only a 2.1 key
  // speaks protocol 2.
  std::vector<std::uint8_t> pinProtocols;
  // The shortest new PIN setPIN and changePIN take, in Unicode code points (a PIN is
  // always 4 to 63 UTF-8 bytes besides). 0: the profile's own, none for 2.0 (its floor
  // is the 4 bytes), 4 for 2.1, which shows it in getInfo.
  int minPinLength = 0;
  // 2.1 only: the key asks for a new PIN (getInfo's forcePINChange) and hands out no
  // token until a changePIN succeeds. Needs a PIN.
  bool forcePinChange = false;

  std::string initialPin;  // empty: no PIN at first power-up
  // A 2.0 key only: advertise "uv": true in getInfo and take the option as if it
  // verified the user (the key has no sensor). Keys with the sensor say "uv" as their
  // enrolled fingerprints allow.
  bool uv = false;

  // The passkeys (discoverable credentials) the key can store.
  int capacity = 25;
  // The fingerprint sensor of 2.1 and 2.1-pre keys: the templates it stores, the good
  // samples one enrolment takes and the longest friendly name, in UTF-8 bytes.
  int fingerprintCapacity = 5;
  int samplesPerEnrollment = 4;
  int maxFriendlyNameBytes = 15;
  std::array<std::uint8_t, 16> aaguid = {0x50, 0x69, 0x6e, 0x76, 0x61, 0x6c, 0x65, 0x2d,
                                         0x76, 0x6b, 0x65, 0x79, 0x00, 0x00, 0x00, 0x01};
  std::uint16_t maxMsgSize = 1200;

  std::vector<VirtualKeyFault> faults;

  // The demo key's examples: put into the store when a PIN is set on a key that holds
  // no passkeys, so the passkey list has something to show. Empty: none.
  std::vector<std::shared_ptr<const StoredCredential>> passkeysWithNewPin;
  // With the automatic touch, the first sample of each fingerprint enrolment is this bad
  // sample (0x01 too high, ...), the others good; 0: every sample good.
  std::uint8_t automaticBadFirstSample = 0;

  // The state the key starts with, as a state file kept it (key_state_codec.h); null:
  // a factory-fresh key, with initialPin if one is given. With a state, initialPin and
  // forcePinChange do not apply: the state has its own PIN. The key keeps a copy and
  // drops this pointer.
  std::shared_ptr<const KeyState> initialState;
  // Told the state's encoded bytes (EncodeKeyState) when the key is made and after
  // every request or reset that changed them, before the answer goes out, as a real
  // key writes its flash before it answers. Called with the key's lock held: the
  // writes come in the order of the changes, and no request sees a state that is not
  // yet kept.
  std::function<void(const std::uint8_t* data, std::size_t length)> stateListener;
};

// The protocols and the minimum PIN length in force, the profile's defaults filled in.
std::vector<std::uint8_t> EffectivePinProtocols(const VirtualKeyConfig& config);
int EffectiveMinPinLength(const VirtualKeyConfig& config);

// Parses one fault as pinvale-vkey's --fault takes it, NAME[=ARG]:
//   no-answer[=CMD[/SUB]]   garbage[=CMD[/SUB]]   status=CMD[/SUB]:CODE
//   pull-out=N   zero-length[=N]   keepalive-storm[=N]   stray[=N]   no-y
// CMD, SUB and CODE are hexadecimal (an optional 0x prefix), N decimal.
// Returns false for an unknown name or a malformed argument.
bool ParseFault(const std::string& text, VirtualKeyFault& fault);

}  // namespace pinvale::vkey
