#pragma once

// Starting the program again as administrator. Windows 10 1903 and later let only
// administrators open FIDO security keys directly (other programs go through the
// system's WebAuthn service, which offers no management of a key), so when opening a
// key is refused there, the program offers to start itself again through the
// system's elevation prompt. Elsewhere there is nothing to offer.

#include <string_view>

namespace pinvale {

// True on Windows 10 build 18362 (1903) or later when this process is not elevated.
bool ElevationMightHelp();

// The Windows build number (0 where it cannot be read or is not Windows).
unsigned WindowsBuildNumber();

// Starts `program` (empty: this program) with `arguments` through the elevation
// prompt ("runas"). True once the new process runs; false when the user declined the
// prompt or the start failed. With `waitForExit`, waits for it and returns whether it
// exited with 0 (for tests).
bool StartElevated(std::u16string_view program, std::u16string_view arguments,
                   bool waitForExit = false);

// The argument a copy started this way gets: it waits a moment for the copy that
// started it to end before it claims the single running instance.
inline constexpr std::string_view kAfterElevationArgument = "--after-elevation";

}  // namespace pinvale
