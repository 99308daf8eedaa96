#include "dialogs/pin_outcome.h"

#include <cstdio>

#include "ctap/pin_protocol.h"
#include "dialogs/message_box.h"
#include "dialogs/pin_dialog_texts.h"
#include "transport/fido_token.h"

namespace pinvale {

bool IsExchangeFailure(int code) {
  return code == kExchangeFailed || code == kEmptyAnswer || code == kAnswerTooLarge;
}

PinRetriesAnswer AskPinRetries(CFidoToken& device) {
  PinRetriesAnswer answer;
  answer.read = ReadPinRetries(device, answer.retries);
  return answer;
}

std::u16string RequestRefusedText(int status) {
  constexpr std::u16string_view kMarker = u"%02X";
  std::u16string text(kRequestRefusedFormat);
  char digits[16];
  const int length = std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(status));
  const std::size_t at = text.find(kMarker);
  if (at != std::u16string::npos) {
    text.replace(at, kMarker.size(), std::u16string(digits, digits + (length > 0 ? length : 0)));
  }
  return text;
}

void ShowRequestRefused(HWND owner, int status) {
  ShowMessageBox(owner, kDialogCaption, RequestRefusedText(status), kMessageBoxIconError);
}

void ShowCommunicationFailure(HWND owner) {
  ShowMessageBox(owner, kDialogCaption, kCommunicationFailedText, kMessageBoxIconError);
}

}  // namespace pinvale
