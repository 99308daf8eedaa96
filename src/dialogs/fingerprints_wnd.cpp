#include "dialogs/fingerprints_wnd.h"

namespace pinvale {

CFingerprintsWnd::CFingerprintsWnd(std::u16string layout, CFidoToken* device,
                                   std::unique_ptr<ManagementAccess> access)
    : CManagementWndBase(std::move(layout), device, std::move(access)) {}

CFingerprintsWnd::~CFingerprintsWnd() = default;

}  // namespace pinvale
