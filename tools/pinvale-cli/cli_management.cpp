#include "cli_management.h"

#include "ctap/management_request.h"
#include "ctap/pin_token.h"

namespace pinvale::cli {

bool CheckPinBeforeManagement(Console& console, Key& key, const KeySetup& setup,
                              std::string_view what, int& exitCode) {
  exitCode = kExitInputRefused;
  if (!setup.PinSet()) {
    console.Err(std::string(what) + " need a PIN on the key first; use set-pin.\n");
    return false;
  }
  if (setup.info.forcePinChange) {
    console.Err("The key wants its PIN changed before it is used; use change-pin first.\n");
    return false;
  }
  const PinRetriesReading retries = ReadPinRetriesAnswer(key.token, *setup.protocol);
  const int status = key.Checked(retries.status);
  if (status == 0 && retries.countRead && retries.retries == 0) {
    console.Err(
        "The key's PIN is blocked after too many wrong PINs. Only a reset makes the key usable "
        "again, and it erases its fingerprints and passkeys.\n");
    exitCode = kExitPinBlocked;
    return false;
  }
  if (status == kPulledOut || (status != 0 && IsExchangeFailure(status))) {
    console.Err(ExchangeFailureText(status) + "\n");
    exitCode = ExitFor(status);
    return false;
  }
  return true;
}

bool OpenManagementSession(Console& console, const Options& options, Key& key,
                           const KeySetup& setup, ManagementSession& session, int& exitCode) {
  SecretBytes pin;
  if (!ReadPin(console, "PIN: ", NoPinText(options), pin, false)) {
    exitCode = kExitInputRefused;
    return false;
  }
  const PinRequestResult opened = session.Open(pin);
  const int code = key.Checked(opened.code);
  if (opened.requestSent && code == 0) return true;
  if (!opened.requestSent) {
    if (code == kNoPermissionSupported) {
      console.Err("The key grants no token for this work (status " + StatusText(code) + ").\n");
      exitCode = kExitKeyRefused;
      return false;
    }
    exitCode = ReportKeyAgreementFailure(console, code);
    return false;
  }
  if (code == kPinAnswerNotUnderstood) {
    console.Err("The key's answer was not understood: it held no PIN token (status " +
                StatusText(code) + ").\n");
    exitCode = kExitExchangeFailed;
    return false;
  }
  exitCode = ReportPinFailure(console, key, setup, "Getting a PIN token", code);
  return false;
}

bool ConfirmDelete(Console& console, const Options& options, const std::string& question,
                   int& exitCode) {
  if (options.yes) return true;
  exitCode = kExitInputRefused;
  if (!console.InputIsTerminal()) {
    console.Err(
        "Nothing was deleted: standard input is not a terminal to confirm on. Use --yes to "
        "delete without asking.\n");
    return false;
  }
  console.Err(question + "\n");
  std::string answer;
  if (!console.ReadAnswer("Type \"yes\" to delete: ", answer) || answer != "yes") {
    console.Err("Nothing was deleted.\n");
    return false;
  }
  return true;
}

bool OnlyCtap20(const AuthenticatorInfo& info) {
  return !info.HasVersion("FIDO_2_1") && !info.HasVersion("FIDO_2_1_PRE");
}

int ReportManagementFailure(Console& console, Key& key, const KeySetup& setup, const char* what,
                            int code) {
  code = key.Checked(code);
  if (code == kManagementAnswerNotUnderstood) {
    console.Err(std::string("The key's answer to ") + what + " was not understood (status " +
                StatusText(code) + ").\n");
    return kExitExchangeFailed;
  }
  if (code == kManagementRequestUnbuildable) {
    console.Err(std::string(what) + ": the request could not be made (status " + StatusText(code) +
                ").\n");
    return kExitInputRefused;
  }
  return ReportPinFailure(console, key, setup, what, code);
}

}  // namespace pinvale::cli
