#pragma once

// What the fingerprint and passkey commands share: the checks made before a PIN
// is asked for, the session with its token, the confirmation of a delete, and
// the words for what the key answered.

#include <string_view>

#include "cli_shared.h"
#include "ctap/management_session.h"

namespace pinvale::cli {

// Before a PIN is asked for: a key without a PIN, one that wants its PIN
// changed, and one whose PIN is blocked each get their way out (set-pin,
// change-pin, reset) and no PIN prompt. `what` is "Fingerprints" or "Passkeys".
bool CheckPinBeforeManagement(Console& console, Key& key, const KeySetup& setup,
                              std::string_view what, int& exitCode);

// Reads the PIN and opens the session; false with the outcome reported.
bool OpenManagementSession(Console& console, const Options& options, Key& key,
                           const KeySetup& setup, ManagementSession& session, int& exitCode);

// The delete confirmation: true with --yes or a "yes" typed on the terminal;
// without a terminal and without --yes nothing is deleted (exit 3).
bool ConfirmDelete(Console& console, const Options& options, const std::string& question,
                   int& exitCode);

// A key that lists no CTAP 2.1 version (final or draft): one without fingerprint
// or passkey management by its nature, not by a fault.
bool OnlyCtap20(const AuthenticatorInfo& info);

// A command the key did not carry out: words and exit code.
int ReportManagementFailure(Console& console, Key& key, const KeySetup& setup, const char* what,
                            int code);

}  // namespace pinvale::cli
