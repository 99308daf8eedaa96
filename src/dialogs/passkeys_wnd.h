#pragma once

// The Passkeys window ("Passkeys.xml"): the passkeys on the key by site with their user, the used
// and remaining slots, Delete and Edit.

#include "dialogs/management_wnd_base.h"

namespace pinvale {

class CPasskeysWnd : public CManagementWndBase {
 public:
  CPasskeysWnd(std::u16string layout, CFidoToken* device, std::unique_ptr<ManagementAccess> access);
  ~CPasskeysWnd() override;
};

}  // namespace pinvale
