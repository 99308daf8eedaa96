#pragma once

// The program's only top-level window. It owns the device object, connects to a
// key of the maker at start and whenever one is plugged in, shows whether a key is
// present and offers the four actions (set PIN, change PIN, verify PIN, reset), on keys
// that manage them Fingerprints and Passkeys, the help text and the About box. Which actions are
// enabled follows the key's answer to getInfo, asked afresh before every decision.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "ctap/get_info.h"
#include "dialogs/device_notification.h"
#include "dialogs/management_access.h"
#include "transport/fido_token.h"
#include "ui/ui.h"

namespace pinvale {

// Set by the option "-E": once the window has connected for the first time it
// runs the reset action (confirmation first) and clears the flag.
inline std::atomic<bool> ResetOnStart{false};

// What a device-change message carries: lParam points at one of these while the
// message is handled. The same notice reaches the dialogs that watch for removal.
using DeviceChangeNotice = DeviceInterfaceNotice;

// The main window's skin: a ZIP archive registered as program resource "ZIPRES" 109.
inline constexpr int kSkinResourceId = 109;
inline constexpr std::u16string_view kSkinResourceKind = u"ZIPRES";
inline constexpr std::u16string_view kSkinArchiveName = u"Skins.zip";

class CMainWnd : public ui::WindowImplBase {
 public:
  explicit CMainWnd(std::shared_ptr<HidPlatform> platform);
  ~CMainWnd() override;

  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return u"Skins"; }
  std::u16string GetSkinFile() override { return u"main.xml"; }
  ui::UILIB_RESOURCETYPE GetResourceType() const override { return ui::UILIB_ZIPRESOURCE; }
  int GetResourceID() const override { return kSkinResourceId; }
  std::u16string GetZIPFileName() const override { return std::u16string(kSkinArchiveName); }

  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

  // The connection step: enumerate, select the first product id of the maker's
  // ordered list that is present, ask it getInfo, and show the outcome. The exchanges
  // run off the UI thread (the window keeps painting, takes no click meanwhile and says
  // "Please wait..." when the key is slow).
  void ConnectToken();
  // The first connection runs on a worker once the first frame is on the screen, so
  // a key that is slow to open neither holds back nor freezes the window. Until it
  // ends the status row is blank and the four buttons are disabled.
  bool FirstConnectionPending() const { return firstConnectionPending_; }
  // Runs on the UI thread once the first frame is shown, just before the first
  // connection starts (start-up starts the device watcher there).
  void SetAfterFirstFrame(std::function<void()> task) { afterFirstFrame_ = std::move(task); }
  // Refreshes the status row, the page and the buttons; for a present key after asking
  // it getInfo (off the UI thread).
  void ShowDeviceState(bool present);
  // Arrival (0x8000) and removal (0x8004) of a device interface whose path carries
  // one of the maker's product ids; `notice` points at a DeviceChangeNotice.
  void OnDeviceChange(WPARAM event, LPARAM notice);
  // getInfo on this window's key; `info` is filled, not cleared.
  std::uint16_t GetInfo(TokenInfo& info);
  // True from a device notice until the connection it asks for has been made (or handed
  // to the first connection or to the end of the reset).
  bool ConnectionScheduled() const { return connectionScheduled_; }

  CFidoToken& Token() { return token_; }

  // The waits before connecting again after an arrival or a removal (another of the
  // maker's keys may still be there). The key needs a moment after it appears; tests
  // shorten them. The window waits on a timer, not by sleeping.
  void SetDeviceChangeWaits(std::chrono::milliseconds arrival, std::chrono::milliseconds removal);

 protected:
  // ---- the four action dialogs ----
  // Each creates its dialog with this window as parent and the device object, runs
  // it modally and returns its modal result (the reset one returns the dialog's
  // ResetOutcome). They live in main_wnd_dialogs.cpp; until a dialog class exists
  // its function opens nothing and returns 0 (nullopt for the reset).
  virtual int OpenSetPinDialog();
  virtual int OpenChangePinDialog();
  virtual int OpenVerifyPinDialog();
  virtual std::optional<std::uint16_t> OpenResetDialog();
  // The PIN entry before the Fingerprints or Passkeys window (layout "ManagementPIN.xml"):
  // the access it opened, or nullptr when it was closed without one.
  virtual std::unique_ptr<ManagementAccess> OpenManagementPinDialog(
      ManagementKind kind, const ManagementPrecheckResult& precheck);
  // The two windows ("Fingerprints.xml", "Passkeys.xml"); each owns the access it is given.
  virtual int OpenFingerprintsDialog(std::unique_ptr<ManagementAccess> access);
  virtual int OpenPasskeysDialog(std::unique_ptr<ManagementAccess> access);

  // Creates `dialog` as every dialog of the program is created (owned by this
  // window, caption "Pinvale", style 0x10CA0000), centres it and runs it modally.
  int RunModalDialog(ui::WindowImplBase& dialog);

 private:
  // What one connection attempt found; gathered off the UI thread, shown on it.
  struct KeyState {
    bool selected = false;  // one of the maker's keys was found and opened
    bool answered = false;  // and it answered getInfo (a key may be listed but silent)
    TokenInfo info{};
  };
  KeyState FindKey();      // off the UI thread: token_ only
  KeyState AskKeyState();  // off the UI thread: getInfo on the selected key
  // Runs `work` (an exchange on token_) off the UI thread with the status row's busy cue.
  void RunExchange(std::function<void()> work);
  void ShowBusyCue(bool busy);
  void ShowKeyState(const KeyState& state);
  // Connects again once `wait` has passed, or as soon as no other exchange runs.
  void ScheduleConnection(std::chrono::milliseconds wait);
  void OnConnectionTimer();
  void OnVerifyClicked();
  // True when the dialog set or changed the PIN.
  bool OnSetPinClicked();
  bool OnChangePinClicked();
  // Fingerprints or Passkeys: the checks before the PIN, the PIN entry, then the window.
  // `offerSetPin` is false on the second round after Set PIN was taken from the offer.
  void OnManagementClicked(ManagementKind kind, bool offerSetPin = true);
  // The Fingerprints and Passkeys buttons in the logo's place, for a key that manages either.
  void ShowContentActions(const TokenInfo* info);
  void RunResetAction();
  // The connection step in two halves: finding and selecting the key (the worker's
  // part for the first connection), and showing the outcome on the UI thread.
  bool SelectMakerKey();
  void ShowConnectionOutcome(const KeyState& state);
  void ShowConnecting();
  void StartFirstConnection();
  void EndFirstConnection();
  void WarnAboutAccess();
  // Windows 10 1903 and later, not elevated: offers to start again as administrator.
  void OfferStartAsAdministrator();
  void EnableForPinState(bool pinSet);

  ui::CButtonUI* btnVerify_ = nullptr;
  ui::CButtonUI* btnEnroll_ = nullptr;
  ui::CButtonUI* btnFormat_ = nullptr;
  ui::CButtonUI* btnChangePin_ = nullptr;
  ui::CButtonUI* btnHelp_ = nullptr;
  ui::CButtonUI* btnFingerprints_ = nullptr;
  ui::CButtonUI* btnPasskeys_ = nullptr;
  ui::CControlUI* contentRow_ = nullptr;
  ui::CControlUI* logoRow_ = nullptr;
  ui::CLabelUI* labelStatus_ = nullptr;
  ui::CLabelUI* labelIconKeyStatus_ = nullptr;
  ui::CTextUI* labelHelp_ = nullptr;
  ui::CTabLayoutUI* switch_ = nullptr;
  ui::CControlUI* switchFp_ = nullptr;  // not in the layout; stays empty

  CFidoToken token_;

  std::chrono::milliseconds arrivalWait_{300};
  std::chrono::milliseconds removalWait_{100};
  // A key plugged in while the reset dialog runs is connected once the dialog has
  // closed, so no enumeration or getInfo runs beside the reset request.
  bool resetRunning_ = false;
  bool reconnectAfterReset_ = false;

  // The first connection: the worker touches token_ only while it is pending; a
  // device notice meanwhile makes the window connect again once it has ended.
  std::thread firstConnectionWorker_;
  bool firstConnectionPending_ = true;  // from creation until the first attempt ends
  KeyState firstConnection_;            // the worker's finding, read once it has posted
  bool connectAgain_ = false;
  bool removalSeen_ = false;
  bool connectionScheduled_ = false;  // a removal notice came since the last connection attempt
  std::u16string statusBeforeCue_;    // the status row's text while it says "Please wait..."
  std::function<void()> afterFirstFrame_;
  bool elevationOffered_ = false;
};

}  // namespace pinvale
