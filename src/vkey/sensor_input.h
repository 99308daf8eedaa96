#pragma once

// What the user does at the key: a touch, or what its fingerprint sensor reads.

#include <cstdint>

namespace pinvale::vkey {

// What the user does at the key while a request waits for them. The key's sensor
// is its touch: a good sample or an enrolled finger is also a touch.
enum class UserAction {
  kTouch,        // a touch, a good sample, a finger that matches
  kBadSample,    // a sample the sensor could not use; `sampleStatus` says why
  kOtherFinger,  // a finger that is not enrolled
  kNoFinger,     // nobody came: the wait's time-out, or the sensor told so
};

struct SensorInput {
  UserAction action = UserAction::kTouch;
  std::uint8_t sampleStatus = 0;  // kBadSample: the enrolment feedback (0x01 too high, ...)
};

}  // namespace pinvale::vkey
