#pragma once

// The Fingerprints window ("Fingerprints.xml"): the key's enrolled fingerprints by name, Add
// (samples, directions after a bad sample, Cancel, a name), Rename and Delete.

#include "dialogs/management_wnd_base.h"

namespace pinvale {

class CFingerprintsWnd : public CManagementWndBase {
 public:
  CFingerprintsWnd(std::u16string layout, CFidoToken* device,
                   std::unique_ptr<ManagementAccess> access);
  ~CFingerprintsWnd() override;
};

}  // namespace pinvale
