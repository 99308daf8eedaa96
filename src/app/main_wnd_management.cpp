// Fingerprints and Passkeys from the main window: the two buttons in the logo's place
// on keys that manage them, and what a click runs. Before any PIN is asked for the key
// is checked, in this order: no PIN (offer Set PIN), a PIN change it wants (offer
// Change PIN), a blocked PIN (only a reset helps). Then one PIN entry, and the window
// with the access the entry opened.

#include "app/app_texts.h"
#include "app/main_wnd.h"
#include "dialogs/device_absent.h"
#include "dialogs/fingerprints_wnd.h"
#include "dialogs/management_pin_wnd.h"
#include "dialogs/management_texts.h"
#include "dialogs/message_box.h"
#include "dialogs/passkeys_wnd.h"
#include "dialogs/pin_outcome.h"
#include "platform/debug_log.h"

namespace pinvale {

void CMainWnd::ShowContentActions(const TokenInfo* info) {
  const bool fingerprints = info && info->managesFingerprints;
  const bool passkeys = info && info->managesPasskeys;
  if (btnFingerprints_) btnFingerprints_->SetVisible(fingerprints);
  if (btnPasskeys_) btnPasskeys_->SetVisible(passkeys);
  if (contentRow_) contentRow_->SetVisible(fingerprints || passkeys);
  if (logoRow_) logoRow_->SetVisible(!fingerprints && !passkeys);
}

void CMainWnd::OnManagementClicked(ManagementKind kind, bool offerSetPin) {
  ManagementPrecheckResult check;
  RunExchange([&] { check = CheckBeforeManagement(token_, kind); });
  if (!::IsWindow(GetHWND()) || DeviceAbsent) return;
  const ManagementTexts& texts = TextsFor(kind);
  switch (check.outcome) {
    case ManagementPrecheck::kExchangeFailed:
      DebugLog("Management check failed: 0x%04X", static_cast<unsigned>(check.code));
      ShowCommunicationFailure(GetHWND());
      return;
    case ManagementPrecheck::kNotSupported:
      ShowMessageBox(GetHWND(), kProgramCaption, texts.notOffered, kMessageBoxIconError);
      ShowDeviceState(true);
      return;
    case ManagementPrecheck::kNoPin:
      if (!offerSetPin) return;
      if (ShowMessageBox(GetHWND(), kProgramCaption, texts.needPin,
                         kMessageBoxOkCancel | kMessageBoxIconWarning) != kMessageBoxResultOk) {
        return;
      }
      // With the PIN set the user goes on to what they came for.
      if (OnSetPinClicked() && ::IsWindow(GetHWND())) OnManagementClicked(kind, false);
      return;
    case ManagementPrecheck::kPinChangeWanted:
      if (ShowMessageBox(GetHWND(), kProgramCaption, kManagementPinChangeText,
                         kMessageBoxOkCancel | kMessageBoxIconWarning) != kMessageBoxResultOk) {
        return;
      }
      if (OnChangePinClicked() && ::IsWindow(GetHWND())) OnManagementClicked(kind, false);
      return;
    case ManagementPrecheck::kPinBlocked:
      ShowMessageBox(GetHWND(), kProgramCaption, kManagementPinBlockedText, kMessageBoxIconError);
      return;
    case ManagementPrecheck::kReady:
      break;
  }
  std::unique_ptr<ManagementAccess> access = OpenManagementPinDialog(kind, check);
  if (!access || !::IsWindow(GetHWND()) || DeviceAbsent) return;
  if (kind == ManagementKind::kFingerprints) {
    OpenFingerprintsDialog(std::move(access));
  } else {
    OpenPasskeysDialog(std::move(access));
  }
  // An enrolled or removed fingerprint changes the key's "uv": the buttons follow it.
  if (::IsWindow(GetHWND()) && !DeviceAbsent) ShowDeviceState(true);
}

std::unique_ptr<ManagementAccess> CMainWnd::OpenManagementPinDialog(
    ManagementKind kind, const ManagementPrecheckResult& precheck) {
  CManagementPinWnd dialog(u"ManagementPIN.xml", &token_, kind, precheck);
  if (RunModalDialog(dialog) != 1) return nullptr;
  return dialog.TakeAccess();
}

int CMainWnd::OpenFingerprintsDialog(std::unique_ptr<ManagementAccess> access) {
  CFingerprintsWnd dialog(u"Fingerprints.xml", &token_, std::move(access));
  return RunModalDialog(dialog);
}

int CMainWnd::OpenPasskeysDialog(std::unique_ptr<ManagementAccess> access) {
  CPasskeysWnd dialog(u"Passkeys.xml", &token_, std::move(access));
  return RunModalDialog(dialog);
}

}  // namespace pinvale
