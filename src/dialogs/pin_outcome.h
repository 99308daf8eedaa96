#pragma once

// How the PIN dialogs tell a key's own answer from a failed exchange. Only a
// status the key chose may be read as a verdict on the PIN; the exchange's own
// codes say that nothing usable came back, so the dialogs tell the user that
// communication failed instead of calling a PIN incorrect or a key locked.

#include "ui/ui.h"

namespace pinvale {

// The codes of CFidoToken::SendCborCommand that are not the key's status: the
// HID exchange failed, the key answered with no byte, or its answer did not fit.
bool IsExchangeFailure(int code);

// The error box that says communication with the key failed; the dialog stays open.
void ShowCommunicationFailure(HWND owner);

}  // namespace pinvale
