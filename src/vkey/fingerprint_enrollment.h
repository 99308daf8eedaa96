#pragma once

// The fingerprint enrolment in progress: the template it makes and the good samples it
// still needs. It lives until the template is stored, the platform cancels it or starts
// another, the sensor's wait for a sample is cancelled, or the key loses power.

#include <cstdint>
#include <vector>

namespace pinvale::vkey {

struct FingerprintEnrollment {
  std::vector<std::uint8_t> templateId;
  int remainingSamples = 0;
  bool capturing = false;  // the sensor waits for this enrolment's next sample
};

}  // namespace pinvale::vkey
