#pragma once

// The Passkeys window ("Passkeys.xml"): the passkeys on the key by site with their user, the used
// and remaining slots, Delete and Edit.
//
// Page 0 lists them: the site on a row's first line, the user on its second, the count the
// key gives above, and a note when the key listed less than it counts. Delete asks first,
// then reads the list again to see the passkey gone. Page 1 edits a passkey's user name and
// display name, on keys that take updateUserInformation (0x0A, not the draft's 0x41).
// Every exchange runs through RunSessionCommand; a walk whose token had to be renewed is
// run again from its Begin, since its GetNext commands carry no token.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "dialogs/management_wnd_base.h"
#include "dialogs/passkey_rows.h"

namespace pinvale {

namespace ui {
class CListUI;
}

class CPasskeysWnd : public CManagementWndBase {
 public:
  CPasskeysWnd(std::u16string layout, CFidoToken* device, std::unique_ptr<ManagementAccess> access);
  ~CPasskeysWnd() override;

  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // What the window shows, for tests and the status line.
  const std::vector<ListedPasskey>& Passkeys() const { return passkeys_; }
  bool Loaded() const { return loaded_; }
  bool ListComplete() const { return complete_; }
  bool CanEdit() const;
  // How long the last read took, from its start to the list on screen.
  std::chrono::milliseconds LastReadTime() const { return lastReadTime_; }
  // Reads that ran, the first included.
  int ReadCount() const { return reads_; }

 protected:
  void OnWindowShown() override;
  bool OnEnterKey() override;
  bool OnEscapeKey() override;

 private:
  enum class Page { kList = 0, kEdit = 1 };

  // Reads the slots and every passkey and shows them; the status of a failure (0 on
  // success), with its message shown. The window may have gone meanwhile.
  int Reload();
  int ReadPasskeys(std::vector<ListedPasskey>& passkeys, bool& complete);
  void ShowReadProgress(std::size_t done, std::size_t total);
  void ShowList();
  void ShowUnread();
  void UpdateButtons();
  void ShowPage(Page page);
  const ListedPasskey* Selected() const;
  int IndexOf(const std::vector<std::uint8_t>& credentialId) const;
  void SelectCredential(const std::vector<std::uint8_t>& credentialId);

  void AskDelete();
  void OpenEdit();
  void SaveEdit();
  void LimitName(ui::CControlUI* edit, ui::CControlUI* error, std::u16string_view tooLong);
  void SetStatus(std::u16string_view text);
  void ShowFailure(std::u16string_view what, int status);

  ui::CListUI* list_ = nullptr;
  Page page_ = Page::kList;
  std::vector<ListedPasskey> passkeys_;
  CredentialSlots slots_;
  bool loaded_ = false;
  bool complete_ = true;
  bool busy_ = false;
  int reads_ = 0;
  std::chrono::steady_clock::time_point readStart_;
  std::chrono::milliseconds lastReadTime_{0};
  std::vector<std::uint8_t> editing_;  // the credential id on the edit page
};

}  // namespace pinvale
