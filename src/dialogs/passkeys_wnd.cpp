#include "dialogs/passkeys_wnd.h"

namespace pinvale {

CPasskeysWnd::CPasskeysWnd(std::u16string layout, CFidoToken* device,
                           std::unique_ptr<ManagementAccess> access)
    : CManagementWndBase(std::move(layout), device, std::move(access)) {}

CPasskeysWnd::~CPasskeysWnd() = default;

}  // namespace pinvale
