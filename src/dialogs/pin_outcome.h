#pragma once

// How the PIN dialogs tell a key's own answer from a failed exchange. Only a
// status the key chose may be read as a verdict on the PIN; the exchange's own
// codes say that nothing usable came back, so the dialogs tell the user that
// communication failed instead of calling a PIN incorrect or a key locked.

#include <cstdint>
#include <string>

#include "transport/fido_token.h"
#include "ui/ui.h"

namespace pinvale {

// The codes of CFidoToken::SendCborCommand that are not the key's status: the
// HID exchange failed, the key answered with no byte, or its answer did not fit.
bool IsExchangeFailure(int code);

// "The device refused the request (status 0x%02X)." with the status in place.
std::u16string RequestRefusedText(int status);

// getRetries as one value, for an exchange run off the UI thread: `read` only when the
// key answered with an unsigned count.
struct PinRetriesAnswer {
  bool read = false;
  std::uint32_t retries = 0;
};
PinRetriesAnswer AskPinRetries(CFidoToken& device);

// The error box that says communication with the key failed; the dialog stays open.
void ShowCommunicationFailure(HWND owner);

// The error box for a refusal that is no verdict on the PIN, with the key's status; the
// dialog stays open.
void ShowRequestRefused(HWND owner, int status);

}  // namespace pinvale
