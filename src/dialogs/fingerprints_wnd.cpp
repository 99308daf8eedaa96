#include "dialogs/fingerprints_wnd.h"

#include <cstdio>

#include "ctap/management_request.h"
#include "dialogs/device_absent.h"
#include "dialogs/fingerprints_texts.h"
#include "dialogs/message_box.h"
#include "dialogs/text_fill.h"

namespace pinvale {
namespace {

constexpr int kPinInvalid = 0x31;
constexpr int kPinAuthBlocked = 0x34;
constexpr int kUvBlocked = 0x3C;

std::u16string StatusHex(int status) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(status) & 0xFFu);
  return ui::Utf8ToUtf16(digits);
}

// A status the key sent, rather than a failed exchange or an answer not understood.
bool KeyStatus(int status) {
  return status > 0 && status < kManagementAnswerNotUnderstood;
}

// UTF-8 bytes of `name`; false for a lone surrogate, which has no UTF-8 form.
bool Utf8Length(std::u16string_view name, std::size_t& bytes) {
  bytes = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
      bytes += 4;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    } else {
      bytes += 3;
    }
  }
  return true;
}

}  // namespace

CFingerprintsWnd::CFingerprintsWnd(std::u16string layout, CFidoToken* device,
                                   std::unique_ptr<ManagementAccess> access)
    : CManagementWndBase(std::move(layout), device, std::move(access)) {}

CFingerprintsWnd::~CFingerprintsWnd() = default;

BioEnrollment CFingerprintsWnd::Bio() const {
  return BioEnrollment(access_->device, access_->command);
}

ui::CControlUI* CFingerprintsWnd::Find(std::u16string_view name) {
  return m_pm.FindControl(name);
}

int CFingerprintsWnd::CurrentPage() const {
  auto* tabs = dynamic_cast<ui::CTabLayoutUI*>(
      const_cast<ui::CPaintManagerUI&>(m_pm).FindControl(u"tab_pages"));
  return tabs ? tabs->GetCurSel() : -1;
}

void CFingerprintsWnd::ShowPage(Page page) {
  if (auto* tabs = dynamic_cast<ui::CTabLayoutUI*>(Find(u"tab_pages"))) tabs->SelectItem(page);
  // While the key waits for a finger the page's own cue speaks; "Please wait..." would not
  // be true.
  if (ui::CControlUI* busy = Find(u"label_busy")) busy->SetVisible(page != kAddPage);
  const std::u16string_view focus = page == kListPage  ? u"list_fingerprints"
                                    : page == kAddPage ? u"btn_enrol_cancel"
                                                       : u"edit_name";
  if (ui::CControlUI* control = Find(focus)) control->SetFocus();
}

std::u16string CFingerprintsWnd::ShownName(const FingerprintEnrollment& enrollment,
                                           std::size_t index) {
  if (enrollment.friendlyName && !enrollment.friendlyName->empty()) {
    return ui::Utf8ToUtf16(PrintableText(*enrollment.friendlyName));
  }
  return FillText(kUnnamedFingerprintFormat, {DecimalText(index + 1)});
}

std::u16string CFingerprintsWnd::NameCountText(std::u16string_view name, std::uint32_t limit,
                                               bool& acceptable) {
  std::size_t bytes = 0;
  if (!Utf8Length(name, bytes)) {
    acceptable = false;
    return std::u16string(kNameInvalidText);
  }
  acceptable = bytes <= limit;
  return FillText(acceptable ? kNameBytesFormat : kNameTooLongFormat,
                  {DecimalText(bytes), DecimalText(limit)});
}

void CFingerprintsWnd::OnWindowShown() {
  if (!access_) return;
  SetTextOf(Find(u"label_count"), kFingerprintsReadingText);
  FingerprintSensorInfo info;
  BioEnrollment bio = Bio();
  const int status = RunExchange([&] { return bio.GetSensorInfo(info); });
  if (!WindowAlive()) return;
  // A key that does not tell its limits gets the defaults: names of the shortest limit
  // keys are known to have, and the samples counted as they come.
  if (status == 0) sensor_ = info;
  ReadList();
  listRead_ = true;
}

bool CFingerprintsWnd::ReadList() {
  std::vector<FingerprintEnrollment> list;
  BioEnrollment bio = Bio();
  const int status = RunSessionCommand(
      [&](const PinUvToken& token) { return bio.EnumerateEnrollments(token, list); });
  if (!WindowAlive()) return false;
  if (status != 0) {
    list_.clear();
    ShowList();
    ShowFailure(status, kListFailedFormat);
    return false;
  }
  list_ = std::move(list);
  ShowList();
  return true;
}

void CFingerprintsWnd::ShowList() {
  auto* list = dynamic_cast<ui::CListUI*>(Find(u"list_fingerprints"));
  if (list) {
    std::vector<ui::ListItem> items;
    for (std::size_t i = 0; i < list_.size(); ++i) {
      ui::ListItem item;
      item.title = ShownName(list_[i], i);
      item.detail = FillText(kFingerprintIdFormat, {ui::Utf8ToUtf16(HexText(list_[i].templateId))});
      item.tag = i;
      items.push_back(std::move(item));
    }
    list->SetItems(std::move(items));
    list->SetEmptyText(kFingerprintsEmptyText);
  }
  const std::u16string count = DecimalText(list_.size());
  std::u16string countText;
  if (list_.size() == 1) {
    countText = kOneFingerprintText;
  } else if (!list_.empty()) {
    countText = FillText(kFingerprintsCountOpenFormat, {count});
  }
  SetTextOf(Find(u"label_count"), countText);
  UpdateListButtons();
}

void CFingerprintsWnd::UpdateListButtons() {
  auto* list = dynamic_cast<ui::CListUI*>(Find(u"list_fingerprints"));
  const bool selected = list && list->GetCurSel() >= 0;
  if (ui::CControlUI* rename = Find(u"btn_rename")) rename->SetEnabled(selected);
  if (ui::CControlUI* remove = Find(u"btn_delete")) remove->SetEnabled(selected);
}

void CFingerprintsWnd::ShowFailure(int status, std::u16string_view format) {
  if (!WindowAlive()) return;
  if (!KeyStatus(status) && status != kManagementAnswerNotUnderstood && DeviceAbsent.load()) {
    // The key went: the watchdog closes the window; nothing is left to tell.
    Close(0);
    return;
  }
  std::u16string text;
  if (status == kPinInvalid) {
    text = kPinChangedText;
  } else if (status == kUvBlocked || status == kPinAuthBlocked) {
    text = kSensorBlockedText;
  } else if (!KeyStatus(status)) {
    text = kExchangeFailedText;
  } else {
    text = FillText(format, {StatusHex(status)});
  }
  ShowMessageBox(GetHWND(), kFingerprintsBoxCaption, text, kMessageBoxIconError);
}

void CFingerprintsWnd::ConfirmDelete() {
  auto* list = dynamic_cast<ui::CListUI*>(Find(u"list_fingerprints"));
  const int row = list ? list->GetCurSel() : -1;
  if (row < 0 || static_cast<std::size_t>(row) >= list_.size()) return;
  const FingerprintEnrollment chosen = list_[row];
  const std::u16string question =
      FillText(kFingerprintDeleteConfirmFormat, {ShownName(chosen, static_cast<std::size_t>(row))});
  if (ShowMessageBox(GetHWND(), kFingerprintsBoxCaption, question,
                     kMessageBoxOkCancel | kMessageBoxIconWarning) != kMessageBoxResultOk) {
    return;
  }
  if (!WindowAlive()) return;
  BioEnrollment bio = Bio();
  const int status = RunSessionCommand(
      [&](const PinUvToken& token) { return bio.RemoveEnrollment(token, chosen.templateId); });
  if (!WindowAlive()) return;
  if (status != 0) ShowFailure(status, kDeleteFailedFormat);
  if (WindowAlive()) ReadList();
}

void CFingerprintsWnd::ShowNamePage(const std::vector<std::uint8_t>& templateId,
                                    std::u16string title, bool fresh, std::u16string current) {
  namingId_ = templateId;
  namingFresh_ = fresh;
  SetTextOf(Find(u"label_name_title"), title);
  SetTextOf(Find(u"label_name_hint"), fresh ? kNameEmptyHint : std::u16string_view());
  SetTextOf(Find(u"btn_name_cancel"), fresh ? kSkipText : kCancelText);
  SetTextOf(Find(u"edit_name"), current);
  UpdateNameCount();
  ShowPage(kNamePage);
  if (!current.empty()) SelectAll(Find(u"edit_name"));
}

void CFingerprintsWnd::UpdateNameCount() {
  ui::CControlUI* edit = Find(u"edit_name");
  const std::u16string name = edit ? std::u16string(edit->GetText()) : std::u16string();
  bool acceptable = false;
  const std::u16string text = NameCountText(name, sensor_.FriendlyNameLimit(), acceptable);
  if (ui::CControlUI* count = Find(u"label_name_count")) {
    SetTextOf(count, text);
    if (auto* label = dynamic_cast<ui::CLabelUI*>(count)) {
      label->SetTextColor(acceptable ? 0xFF5F6B7A : 0xFFC0392B);
    }
  }
  // An empty name keeps the key's own: OK is refused only for a name the key would refuse.
  if (ui::CControlUI* ok = Find(u"btn_name_ok")) ok->SetEnabled(acceptable);
}

void CFingerprintsWnd::SaveName() {
  ui::CControlUI* edit = Find(u"edit_name");
  const std::u16string name = edit ? std::u16string(edit->GetText()) : std::u16string();
  bool acceptable = false;
  NameCountText(name, sensor_.FriendlyNameLimit(), acceptable);
  if (!acceptable) return;
  if (name.empty() && namingFresh_) {
    BackToList();
    return;
  }
  const std::string utf8 = ui::Utf16ToUtf8(name);
  const std::vector<std::uint8_t> id = namingId_;
  BioEnrollment bio = Bio();
  const int status = RunSessionCommand(
      [&](const PinUvToken& token) { return bio.SetFriendlyName(token, id, utf8); });
  if (!WindowAlive()) return;
  if (status != 0) {
    ShowFailure(status, kRenameFailedFormat);
    if (!WindowAlive()) return;
  }
  BackToList();
}

void CFingerprintsWnd::BackToList() {
  const std::vector<std::uint8_t> named = std::move(namingId_);
  namingId_.clear();
  ShowPage(kListPage);
  if (ReadList() && !named.empty()) SelectTemplate(named);
}

void CFingerprintsWnd::SelectTemplate(const std::vector<std::uint8_t>& templateId) {
  auto* list = dynamic_cast<ui::CListUI*>(Find(u"list_fingerprints"));
  for (std::size_t i = 0; list && i < list_.size(); ++i) {
    if (list_[i].templateId == templateId) list->SelectItem(static_cast<int>(i));
  }
}

LRESULT CFingerprintsWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // The frame's close while the key waits for a finger: the capture is cancelled first,
  // and the window goes once it has ended.
  if (uMsg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE && capturing_) {
    closeAfterCapture_ = true;
    RequestEnrolCancel();
    return 0;
  }
  return CManagementWndBase::HandleMessage(uMsg, wParam, lParam);
}

bool CFingerprintsWnd::OnEnterKey() {
  switch (CurrentPage()) {
    case kListPage:
      if (ui::CControlUI* focus = m_pm.GetFocus()) {
        if (focus->GetName() == u"btn_rename" || focus->GetName() == u"btn_delete" ||
            focus->GetName() == u"closebtn") {
          return false;  // the focused button takes it
        }
      }
      Enrol();
      return true;
    case kAddPage:
      return true;  // nothing to confirm while the key waits
    case kNamePage:
      if (ui::CControlUI* focus = m_pm.GetFocus();
          focus && focus->GetName() == u"btn_name_cancel") {
        return false;
      }
      SaveName();
      return true;
    default:
      return false;
  }
}

bool CFingerprintsWnd::OnEscapeKey() {
  switch (CurrentPage()) {
    case kAddPage:
      RequestEnrolCancel();
      return true;
    case kNamePage:
      BackToList();
      return true;
    default:
      return CManagementWndBase::OnEscapeKey();
  }
}

void CFingerprintsWnd::Notify(ui::TNotifyUI& msg) {
  const std::u16string name =
      msg.pSender ? std::u16string(msg.pSender->GetName()) : std::u16string();
  if (msg.sType == u"click") {
    if (name == u"closebtn" && capturing_) {
      closeAfterCapture_ = true;
      RequestEnrolCancel();
      return;
    }
    if (name == u"btn_add") return Enrol();
    if (name == u"btn_enrol_cancel") return RequestEnrolCancel();
    if (name == u"btn_delete") return ConfirmDelete();
    if (name == u"btn_name_ok") return SaveName();
    if (name == u"btn_name_cancel") return BackToList();
    if (name == u"btn_rename") {
      auto* list = dynamic_cast<ui::CListUI*>(Find(u"list_fingerprints"));
      const int row = list ? list->GetCurSel() : -1;
      if (row < 0 || static_cast<std::size_t>(row) >= list_.size()) return;
      const std::u16string title =
          FillText(kRenameTitle, {ShownName(list_[row], static_cast<std::size_t>(row))});
      // A name the key keeps as printable text starts the edit; another is typed anew.
      const std::optional<std::string>& kept = list_[row].friendlyName;
      std::u16string current;
      if (kept && PrintableText(*kept) == *kept) current = ui::Utf8ToUtf16(*kept);
      ShowNamePage(list_[row].templateId, title, false, current);
      return;
    }
  } else if (msg.sType == u"itemactivate" && name == u"list_fingerprints") {
    // A double click (or Enter on the list) on a row names it anew.
    ui::TNotifyUI rename = msg;
    rename.sType = u"click";
    rename.pSender = Find(u"btn_rename");
    if (rename.pSender) Notify(rename);
    return;
  } else if (msg.sType == u"itemselect" && name == u"list_fingerprints") {
    UpdateListButtons();
    return;
  } else if (msg.sType == u"textchanged" && name == u"edit_name") {
    UpdateNameCount();
    return;
  }
  CManagementWndBase::Notify(msg);
}

}  // namespace pinvale
