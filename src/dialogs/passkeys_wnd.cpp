#include "dialogs/passkeys_wnd.h"

#include <algorithm>

#include "ctap/credential_management.h"
#include "dialogs/device_absent.h"
#include "dialogs/message_box.h"
#include "dialogs/passkeys_texts.h"
#include "dialogs/pin_outcome.h"
#include "dialogs/text_fill.h"
#include "ui/list.h"
#include "ui/progress.h"
#include "ui/ui_text.h"

namespace pinvale {
namespace {

using Clock = std::chrono::steady_clock;

// Reading shows its progress once it has taken this long.
constexpr std::chrono::milliseconds kProgressAfter{500};
// RunSessionCommand's result when the window went meanwhile: nothing more is shown.
constexpr int kWindowGone = -1;

std::optional<std::string> NameFromEdit(const std::u16string& text) {
  if (text.empty()) return std::nullopt;
  return CutUtf8(ui::Utf16ToUtf8(text), kMaxPasskeyNameBytes);
}

std::u16string EditTextFor(const std::optional<std::string>& name) {
  if (!name) return {};
  return CutToUtf8Bytes(ui::Utf8ToUtf16(*name), kMaxPasskeyNameBytes);
}

}  // namespace

CPasskeysWnd::CPasskeysWnd(std::u16string layout, CFidoToken* device,
                           std::unique_ptr<ManagementAccess> access)
    : CManagementWndBase(std::move(layout), device, std::move(access)) {}

CPasskeysWnd::~CPasskeysWnd() = default;

bool CPasskeysWnd::CanEdit() const {
  return access_ && CanUpdateUserInformation(access_->command);
}

void CPasskeysWnd::InitWindow() {
  CManagementWndBase::InitWindow();
  list_ = m_pm.FindControlAs<ui::CListUI>(u"list_passkeys");
  SetTextOf(m_pm.FindControl(u"label_note"), kPasskeysNoteText);
  SetTextOf(m_pm.FindControl(u"label_summary"), kPasskeysReadingText);
  if (list_) list_->SetEmptyText(u"");  // nothing is known until the key has answered
  ShowPage(Page::kList);
}

void CPasskeysWnd::OnWindowShown() {
  Reload();
}

// ---- reading ----

int CPasskeysWnd::ReadPasskeys(std::vector<ListedPasskey>& passkeys, bool& complete) {
  CredentialManagement cm(access_->device, access_->command);
  passkeys.clear();
  complete = true;
  slots_ = {};
  int status = RunSessionCommand(
      [&](const PinUvToken& token) { return cm.GetCredsMetadata(token, slots_); });
  if (!WindowAlive()) return kWindowGone;
  // The count is a nicety: a key that refuses it still lists its passkeys.
  if (status != 0) {
    slots_ = {};
    if (IsExchangeFailure(status)) return status;
  }
  std::vector<RelyingPartyEntry> rps;
  bool rpsComplete = true;
  status = RunSessionCommand(
      [&](const PinUvToken& token) { return cm.EnumerateRelyingParties(token, rps, rpsComplete); });
  if (!WindowAlive()) return kWindowGone;
  if (status != 0) return status;
  complete = rpsComplete;
  for (std::size_t i = 0; i < rps.size(); ++i) {
    ShowReadProgress(i, rps.size());
    std::vector<PasskeyEntry> entries;
    bool entriesComplete = true;
    status = RunSessionCommand([&](const PinUvToken& token) {
      return cm.EnumerateCredentials(token, rps[i].idHash, entries, entriesComplete);
    });
    if (!WindowAlive()) return kWindowGone;
    if (status != 0) return status;
    complete = complete && entriesComplete;
    for (PasskeyEntry& entry : entries) passkeys.push_back({rps[i], std::move(entry)});
  }
  ShowReadProgress(rps.size(), rps.size());
  // A count that disagrees with the list: something was not listed (or counted wrongly).
  if (slots_.existing && *slots_.existing != passkeys.size()) complete = false;
  SortPasskeys(passkeys);
  return 0;
}

void CPasskeysWnd::ShowReadProgress(std::size_t done, std::size_t total) {
  auto* progress = m_pm.FindControlAs<ui::CProgressUI>(u"progress_read");
  if (!progress || total == 0 || Clock::now() - readStart_ < kProgressAfter) return;
  if (!progress->IsVisible()) {
    progress->SetVisible(true);
    if (ui::CControlUI* busy = m_pm.FindControl(u"label_busy")) busy->SetVisible(false);
  }
  progress->SetMaxValue(static_cast<int>(total));
  progress->SetValue(static_cast<int>(done));
  progress->SetText(FillText(kPasskeysReadingFormat, {DecimalText(done), DecimalText(total)}));
}

int CPasskeysWnd::Reload() {
  busy_ = true;
  ++reads_;
  readStart_ = Clock::now();
  loaded_ = false;
  SetStatus(u"");
  SetTextOf(m_pm.FindControl(u"label_summary"), kPasskeysReadingText);
  UpdateButtons();
  std::vector<ListedPasskey> passkeys;
  bool complete = true;
  const int status = ReadPasskeys(passkeys, complete);
  if (status == kWindowGone) return status;
  busy_ = false;
  if (auto* progress = m_pm.FindControl(u"progress_read")) progress->SetVisible(false);
  if (ui::CControlUI* busy = m_pm.FindControl(u"label_busy")) busy->SetVisible(true);
  if (status != 0) {
    ShowUnread();
    ShowFailure(kReadingWhat, status);
    return status;
  }
  passkeys_ = std::move(passkeys);
  complete_ = complete;
  loaded_ = true;
  ShowList();
  lastReadTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - readStart_);
  return 0;
}

void CPasskeysWnd::ShowList() {
  std::vector<ui::ListItem> items;
  items.reserve(passkeys_.size());
  for (std::size_t i = 0; i < passkeys_.size(); ++i) {
    items.push_back({SiteText(passkeys_[i].rp), UserLineText(passkeys_[i].passkey.user), i});
  }
  if (list_) {
    list_->SetEmptyText(kPasskeysEmptyText);
    list_->SetItems(std::move(items));
    if (!passkeys_.empty()) list_->SelectItem(0);
  }
  // What the key counts; the list's own size where it gave no count.
  const std::size_t stored = slots_.existing.value_or(static_cast<std::uint32_t>(passkeys_.size()));
  std::optional<std::uint32_t> remaining = slots_.remaining;
  if (!remaining) remaining = access_->info.remainingDiscoverableCredentials;
  SetTextOf(m_pm.FindControl(u"label_summary"), CountText(stored, remaining));
  if (ui::CControlUI* incomplete = m_pm.FindControl(u"label_incomplete")) {
    incomplete->SetText(kPasskeysIncompleteText);
    incomplete->SetVisible(!complete_);
  }
  UpdateButtons();
}

void CPasskeysWnd::ShowUnread() {
  passkeys_.clear();
  complete_ = true;
  if (list_) {
    list_->SetEmptyText(u"");  // "no passkeys" would be untrue: they were not read
    list_->RemoveAll();
  }
  SetTextOf(m_pm.FindControl(u"label_summary"), kPasskeysUnreadText);
  if (ui::CControlUI* incomplete = m_pm.FindControl(u"label_incomplete")) {
    incomplete->SetVisible(false);
  }
  UpdateButtons();
}

// ---- pages and buttons ----

void CPasskeysWnd::ShowPage(Page page) {
  page_ = page;
  if (auto* pages = m_pm.FindControlAs<ui::CTabLayoutUI>(u"pages")) {
    pages->SelectItem(static_cast<int>(page));
  }
  const bool list = page == Page::kList;
  for (const char16_t* name : {u"btn_delete", u"btn_close"}) {
    if (ui::CControlUI* c = m_pm.FindControl(name)) c->SetVisible(list);
  }
  if (ui::CControlUI* edit = m_pm.FindControl(u"btn_edit")) edit->SetVisible(list && CanEdit());
  for (const char16_t* name : {u"btn_cancel", u"gap_save", u"btn_save"}) {
    if (ui::CControlUI* c = m_pm.FindControl(name)) c->SetVisible(!list);
  }
  UpdateButtons();
  if (list) {
    if (list_) list_->SetFocus();
  } else if (ui::CControlUI* name = m_pm.FindControl(u"edit_user_name")) {
    name->SetFocus();
    SelectAll(name);
  }
}

void CPasskeysWnd::UpdateButtons() {
  const bool usable = loaded_ && !busy_ && Selected() != nullptr;
  for (const char16_t* name : {u"btn_delete", u"btn_edit"}) {
    if (ui::CControlUI* c = m_pm.FindControl(name)) c->SetEnabled(usable);
  }
}

const ListedPasskey* CPasskeysWnd::Selected() const {
  if (!list_) return nullptr;
  const ui::ListItem* item = list_->GetItem(list_->GetCurSel());
  if (!item || item->tag >= passkeys_.size()) return nullptr;
  return &passkeys_[item->tag];
}

int CPasskeysWnd::IndexOf(const std::vector<std::uint8_t>& credentialId) const {
  for (std::size_t i = 0; i < passkeys_.size(); ++i) {
    if (passkeys_[i].passkey.credentialId == credentialId) return static_cast<int>(i);
  }
  return -1;
}

void CPasskeysWnd::SelectCredential(const std::vector<std::uint8_t>& credentialId) {
  const int index = IndexOf(credentialId);
  if (list_ && index >= 0) list_->SelectItem(index);  // rows are in passkeys_ order
}

void CPasskeysWnd::SetStatus(std::u16string_view text) {
  SetTextOf(m_pm.FindControl(u"label_busy"), text);
}

void CPasskeysWnd::ShowFailure(std::u16string_view what, int status) {
  // A key that went away closes the window through the watchdog and the device
  // notices; a box over it would tell nothing new.
  if (IsExchangeFailure(status) && DeviceAbsent) {
    Close(0);
    return;
  }
  ShowMessageBox(GetHWND(), kPasskeysCaption, PasskeyFailureText(what, status),
                 kMessageBoxIconError);
}

// ---- delete ----

void CPasskeysWnd::AskDelete() {
  const ListedPasskey* selected = Selected();
  if (!selected || busy_ || !loaded_) return;
  const ListedPasskey target = *selected;
  const std::u16string user = UserShortText(target.passkey.user);
  const std::u16string site = SiteText(target.rp);
  const int answer = ShowMessageBox(GetHWND(), kPasskeysCaption,
                                    FillText(kPasskeyDeleteConfirmFormat, {user, site}),
                                    kMessageBoxOkCancel | kMessageBoxIconWarning);
  if (!WindowAlive() || answer != kMessageBoxResultOk) return;
  busy_ = true;
  UpdateButtons();
  CredentialManagement cm(access_->device, access_->command);
  const int status = RunSessionCommand(
      [&](const PinUvToken& token) { return cm.DeleteCredential(token, target.passkey); });
  if (!WindowAlive()) return;
  busy_ = false;
  // 0x2E (no such credential): gone already, or a key that could not delete it; the
  // list read again tells which.
  if (status != 0 && status != 0x2E) {
    UpdateButtons();
    ShowFailure(kDeletingWhat, status);
    return;
  }
  if (Reload() != 0) return;
  if (IndexOf(target.passkey.credentialId) >= 0) {
    SelectCredential(target.passkey.credentialId);
    ShowMessageBox(GetHWND(), kPasskeysCaption, FillText(kNotDeletedFormat, {user, site}),
                   kMessageBoxIconError);
    return;
  }
  SetStatus(FillText(kDeletedFormat, {user, site}));
}

// ---- edit ----

void CPasskeysWnd::OpenEdit() {
  const ListedPasskey* selected = Selected();
  if (!CanEdit() || !selected || busy_ || !loaded_) return;
  editing_ = selected->passkey.credentialId;
  SetTextOf(m_pm.FindControl(u"label_edit_site"),
            FillText(kEditHeadingFormat, {SiteText(selected->rp)}));
  SetTextOf(m_pm.FindControl(u"edit_user_name"), EditTextFor(selected->passkey.user.name));
  SetTextOf(m_pm.FindControl(u"edit_display_name"),
            EditTextFor(selected->passkey.user.displayName));
  SetTextOf(m_pm.FindControl(u"label_user_name_error"), u"");
  SetTextOf(m_pm.FindControl(u"label_display_name_error"), u"");
  SetStatus(u"");
  ShowPage(Page::kEdit);
}

void CPasskeysWnd::LimitName(ui::CControlUI* edit, ui::CControlUI* error,
                             std::u16string_view tooLong) {
  if (!edit) return;
  const std::u16string text = edit->GetText();
  const std::u16string cut = CutToUtf8Bytes(text, kMaxPasskeyNameBytes);
  if (cut.size() != text.size()) {
    edit->SetText(cut);
    SetTextOf(error, tooLong);
  } else {
    SetTextOf(error, u"");
  }
}

void CPasskeysWnd::SaveEdit() {
  const int index = IndexOf(editing_);
  if (busy_ || index < 0) return;
  const ListedPasskey target = passkeys_[static_cast<std::size_t>(index)];
  PasskeyUser user;
  user.id = target.passkey.user.id;
  user.name = NameFromEdit(m_pm.FindControl(u"edit_user_name")->GetText());
  user.displayName = NameFromEdit(m_pm.FindControl(u"edit_display_name")->GetText());
  busy_ = true;
  CredentialManagement cm(access_->device, access_->command);
  const int status = RunSessionCommand([&](const PinUvToken& token) {
    return cm.UpdateUserInformation(token, target.passkey, user);
  });
  if (!WindowAlive()) return;
  busy_ = false;
  if (status != 0) {
    ShowFailure(kSavingWhat, status);  // the edit page stays, with what was typed
    return;
  }
  ShowPage(Page::kList);
  if (Reload() != 0) return;
  SelectCredential(target.passkey.credentialId);
  SetStatus(FillText(kSavedFormat, {SiteText(target.rp)}));
}

// ---- input ----

void CPasskeysWnd::Notify(ui::TNotifyUI& msg) {
  const std::u16string name = msg.pSender ? msg.pSender->GetName() : std::u16string();
  if (msg.sType == u"click") {
    if (name == u"btn_delete") {
      AskDelete();
    } else if (name == u"btn_edit") {
      OpenEdit();
    } else if (name == u"btn_save") {
      SaveEdit();
    } else if (name == u"btn_cancel") {
      ShowPage(Page::kList);
    } else if (name == u"btn_close") {
      Close(1);
    } else {
      CManagementWndBase::Notify(msg);
    }
    return;
  }
  if (msg.sType == u"itemselect" && msg.pSender == list_) {
    UpdateButtons();
  } else if (msg.sType == u"itemactivate" && msg.pSender == list_) {
    OpenEdit();
  } else if (msg.sType == u"textchanged") {
    if (name == u"edit_user_name") {
      LimitName(msg.pSender, m_pm.FindControl(u"label_user_name_error"), kUserNameTooLongText);
    } else if (name == u"edit_display_name") {
      LimitName(msg.pSender, m_pm.FindControl(u"label_display_name_error"),
                kDisplayNameTooLongText);
    }
  } else if (msg.sType == u"setfocus" &&
             (name == u"edit_user_name" || name == u"edit_display_name")) {
    SelectAll(msg.pSender);
  }
  CManagementWndBase::Notify(msg);
}

LRESULT CPasskeysWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_DELETE && page_ == Page::kList) {
    bHandled = true;
    AskDelete();
    return 0;
  }
  return CManagementWndBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

bool CPasskeysWnd::OnEnterKey() {
  ui::CControlUI* focus = m_pm.GetFocus();
  const std::u16string name = focus ? focus->GetName() : std::u16string();
  if (page_ == Page::kEdit) {
    if (name == u"btn_cancel") {
      ShowPage(Page::kList);
    } else {
      SaveEdit();  // OK is the edit page's default button
    }
    return true;
  }
  if (name == u"btn_delete") {
    AskDelete();
  } else if (name == u"btn_edit" || (focus == list_ && CanEdit() && Selected())) {
    OpenEdit();
  } else {
    Close(1);  // Close is the list page's default button
  }
  return true;
}

bool CPasskeysWnd::OnEscapeKey() {
  if (page_ == Page::kEdit) {
    ShowPage(Page::kList);
    return true;
  }
  return CManagementWndBase::OnEscapeKey();
}

}  // namespace pinvale
