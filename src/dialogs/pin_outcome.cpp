#include "dialogs/pin_outcome.h"

#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "transport/fido_token.h"

namespace pinvale {

bool IsExchangeFailure(int code) {
  return code == kExchangeFailed || code == kEmptyAnswer || code == kAnswerTooLarge;
}

void ShowCommunicationFailure(HWND owner) {
  ShowMessageBox(owner, kDialogCaption, kCommunicationFailedText, kMessageBoxIconError);
}

}  // namespace pinvale
