#pragma once

// The reset dialog ("resetDevice.xml"): shown while the key is being reset. It
// runs ResetWorker on its own thread, tells the user to touch the key, shows the
// outcome ("Pass" or "Reset Device Failed!" with their pictures) for about half a
// second and closes when the worker says so, with modal result 2.
//
// The user cannot end a reset: Enter and Escape are consumed, there is no close
// button, and the system close is refused while the worker runs, so the main
// window never goes on (and talks to the key) while the reset request is still
// under way. The worker is joined when the window has gone.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ctap/reset.h"
#include "transport/fido_token.h"
#include "ui/ui.h"

namespace pinvale {

class CResetWnd : public ui::WindowImplBase {
 public:
  CResetWnd(std::u16string layout, CFidoToken* device);
  ~CResetWnd() override;

  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return u""; }
  std::u16string GetSkinFile() override { return layout_; }

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

  // The status the worker reported; 0 until it reports (0 also means "reset").
  int ResetOutcome() const { return resetOutcome_; }
  // Whether the worker was started (false when the window could not be built).
  bool WorkerStarted() const { return worker_ != nullptr; }

  // How long the outcome stays on screen before the worker closes the dialog.
  void SetResultPause(std::chrono::milliseconds pause) { resultPause_ = pause; }

 private:
  class WindowPoster;
  void ShowOutcome(std::uint16_t status);
  void StopWorker();

  ui::CTextUI* imageShow_ = nullptr;
  ui::CLabelUI* txtShow_ = nullptr;
  CFidoToken* device_;
  std::u16string layout_;
  int resetOutcome_ = 0;
  std::chrono::milliseconds resultPause_ = kResetResultPause;
  // Set when the worker asked for the close; until then every close is refused.
  bool workerClosed_ = false;
  std::unique_ptr<WindowPoster> poster_;
  std::unique_ptr<ResetWorker> worker_;
};

}  // namespace pinvale
