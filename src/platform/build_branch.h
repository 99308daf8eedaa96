#pragma once

// The Windows build branch ("BuildBranch" under
// HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion). Some pre-release Windows
// builds need administrator rights to open security keys; the main window warns
// about that.

#include <optional>
#include <string>

namespace pinvale {

// The branch name, or nothing when the value cannot be read. Linux has no such
// value and always answers nothing.
std::optional<std::u16string> ReadBuildBranch();

}  // namespace pinvale
