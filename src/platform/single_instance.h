#pragma once

// One running copy per user session. The claim is held for the life of the
// returned object (in practice the process) and leaves nothing on disk.

#include <memory>
#include <string_view>

namespace pinvale {

// The name every copy of Pinvale claims.
inline constexpr std::string_view kSingleInstanceName =
    "3F8C2D71-64A9-4b0e-B5D2-9E07A1C4F683_Fingerprint_TactovaFIDO_instance";

class SingleInstanceClaim {
 public:
  virtual ~SingleInstanceClaim() = default;
};

// Null when another process of this user already holds `name` (or the claim
// cannot be made at all, which is treated the same way).
std::unique_ptr<SingleInstanceClaim> ClaimSingleInstance(std::string_view name);

}  // namespace pinvale
