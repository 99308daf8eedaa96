#include "dialogs/passkey_rows.h"

#include "dialogs/text_fill.h"

#include <algorithm>
#include <span>

#include "ctap/management_request.h"
#include "ctap/pin_text.h"
#include "dialogs/passkeys_texts.h"
#include "dialogs/pin_outcome.h"
#include "ui/ui_text.h"

namespace pinvale {
namespace {

// Bytes of the rp id hash a row shows for a site without an id.
constexpr std::size_t kShownHashBytes = 4;

std::u16string Shown(const std::optional<std::string>& text) {
  return text && !text->empty() ? ui::Utf8ToUtf16(PrintableText(*text)) : std::u16string();
}

}  // namespace

std::u16string SiteText(const RelyingPartyEntry& rp) {
  if (!rp.id.empty()) return ui::Utf8ToUtf16(PrintableText(rp.id));
  const std::string hex = HexText(std::span(rp.idHash).first(kShownHashBytes));
  return FillText(kSiteHashFormat, {ui::Utf8ToUtf16(hex)});
}

std::u16string UserLineText(const PasskeyUser& user) {
  const std::u16string name = Shown(user.name);
  const std::u16string display = Shown(user.displayName);
  if (!name.empty() && !display.empty() && name != display) {
    std::u16string line = name;
    line.append(u" · ");
    line.append(display);
    return line;
  }
  if (!name.empty()) return name;
  if (!display.empty()) return display;
  return std::u16string(kNoUserNameText);
}

std::u16string UserShortText(const PasskeyUser& user) {
  std::u16string text = Shown(user.name);
  if (text.empty()) text = Shown(user.displayName);
  if (text.empty()) text = kNoUserNameText;
  return text;
}

void SortPasskeys(std::vector<ListedPasskey>& passkeys) {
  std::stable_sort(passkeys.begin(), passkeys.end(),
                   [](const ListedPasskey& a, const ListedPasskey& b) {
                     if (a.rp.id != b.rp.id) return a.rp.id < b.rp.id;
                     if (a.rp.id.empty() && a.rp.idHash != b.rp.idHash) {
                       return a.rp.idHash < b.rp.idHash;
                     }
                     return a.passkey.user.name.value_or("") < b.passkey.user.name.value_or("");
                   });
}

std::u16string CountText(std::size_t stored, std::optional<std::uint32_t> remaining) {
  if (remaining) {
    return FillText(stored == 1 ? kPasskeyCountOneFormat : kPasskeysCountFormat,
                    {DecimalText(stored), DecimalText(*remaining)});
  }
  if (stored == 1) return std::u16string(kPasskeyCountOnlyOneText);
  return FillText(kPasskeysCountOnlyFormat, {DecimalText(stored)});
}

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size());
  std::size_t end = 0;
  while (end < bytes.size()) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceAt(bytes, end, code);
    if (length == 0 || end + length > maxBytes) break;
    end += length;
  }
  return std::string(text.substr(0, end));
}

std::u16string CutToUtf8Bytes(std::u16string_view text, std::size_t maxBytes) {
  std::size_t bytes = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    std::size_t units = 1;
    std::size_t length = 3;
    if (c < 0x80) {
      length = 1;
    } else if (c < 0x800) {
      length = 2;
    } else if (ui::IsHighSurrogate(c) && i + 1 < text.size() && ui::IsLowSurrogate(text[i + 1])) {
      units = 2;
      length = 4;
    }
    if (bytes + length > maxBytes) break;
    bytes += length;
    i += units;
  }
  return std::u16string(text.substr(0, i));
}

std::u16string PasskeyFailureText(std::u16string_view what, int status) {
  // An answer not understood (0xFF) shares its code with an empty answer: both read as a
  // failed exchange.
  if (IsExchangeFailure(status)) return FillText(kPasskeyCommunicationFormat, {what});
  if (status == 0x31 || status == 0x32 || status == 0x34) {
    return FillText(kPasskeyPinChangedFormat, {what});
  }
  if (status == kManagementRequestUnbuildable) {
    return FillText(kPasskeyUnsentFormat, {what});
  }
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  const std::u16string hex{kHex[(status >> 4) & 0xF], kHex[status & 0xF]};
  return FillText(kPasskeyRefusedFormat, {what, hex});
}

}  // namespace pinvale
