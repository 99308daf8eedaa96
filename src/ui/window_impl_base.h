#pragma once

// The base of every skinned window. A derived window names its layout through the hooks
// (class name, skin folder and file, resource kind and id, archive name), receives
// notifications in Notify, filters queued and input messages in MessageHandler and handles
// messages in HandleMessage.
//
// Default behaviours:
// - "click" from "closebtn" closes with code 1; "minbtn", "maxbtn" and "restorebtn" send the
//   matching system command. Other clicks do nothing.
// - WM_KEYDOWN with Escape or Enter goes to MessageHandler, which hands it to
//   ResponseDefaultKeyEvent (Escape closes with code 1, Enter does nothing) without marking
//   it handled, so it still reaches HandleMessage afterwards.
// - A system close (the window manager's close, WM_SYSCOMMAND SC_CLOSE, or a sent WM_CLOSE)
//   reaches the window directly and destroys it unless HandleMessage intercepts it.
// - "windowinit" is sent once, at the first layout (during the first paint).
//
// The object must outlive its native window; destroying the object destroys the window.

#include <memory>
#include <string>
#include <string_view>

#include "ui/dialog_builder.h"
#include "ui/notify.h"
#include "ui/paint_manager.h"
#include "ui/skin_resources.h"
#include "ui/win_types.h"
#include "ui/window_messages.h"

namespace pinvale::ui {

class WindowRecord;

class WindowImplBase : public INotifyUI, public IMessageFilterUI, public IDialogBuilderCallback {
 public:
  WindowImplBase();
  ~WindowImplBase() override;
  WindowImplBase(const WindowImplBase&) = delete;
  WindowImplBase& operator=(const WindowImplBase&) = delete;

  // ---- per-class hooks ----
  virtual std::u16string_view GetWindowClassName() const = 0;
  virtual std::u16string_view GetSuperClassName() const { return {}; }
  virtual UINT GetClassStyle() const { return 8; }
  virtual std::u16string GetSkinFolder() = 0;
  virtual std::u16string GetSkinFile() = 0;
  virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_FILE; }
  virtual std::u16string GetZIPFileName() const { return {}; }
  virtual int GetResourceID() const { return 0; }

  // ---- messages and notifications ----
  virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void Notify(TNotifyUI& msg) override;
  std::unique_ptr<CControlUI> CreateControl(std::u16string_view className) override;
  virtual void InitWindow() {}
  virtual void OnFinalMessage(HWND hWnd);
  virtual void OnClick(TNotifyUI& msg);
  virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);

  // Per-message handlers of the base HandleMessage; set bHandled to stop there.
  virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnChar(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnSetFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnLButtonUp(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LONG GetStyle();

  // ---- window operations ----
  // Builds the native window (borderless; the skin draws the frame). The layout is read and
  // its controls built while the window is created; InitWindow runs at the end. Position and
  // size may be CW_USEDEFAULT: the layout's size is used and the window placed by the system.
  // Returns nullptr when the layout cannot be built.
  HWND Create(HWND hwndParent, std::u16string_view caption, DWORD style, DWORD exStyle,
              int x = CW_USEDEFAULT, int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT,
              int cy = CW_USEDEFAULT);
  // Centres over the owner, or on the screen without one.
  void CenterWindow();
  // Shows the window, disables its owner and runs a message loop for all windows until this
  // one is gone; then re-enables and focuses the owner. Returns the wParam of the last
  // WM_CLOSE posted to the window, 0 when none was posted. WM_QUIT ends the loop early and is
  // posted again.
  UINT ShowModal();
  // Posts WM_CLOSE carrying `code`.
  void Close(UINT code = 0);
  void ShowWindow(bool show = true, bool takeFocus = true);
  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  void SetWindowText(std::u16string_view caption);
  std::u16string GetWindowText() const;
  // Resizes keeping the top-left corner; the layout follows.
  void ResizeClient(int width, int height);
  LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);

  CPaintManagerUI& GetPaintManager() { return m_pm; }

 protected:
  CPaintManagerUI m_pm;
  HWND m_hWnd = nullptr;

 private:
  friend class WindowRecord;
  bool LoadSkin();
  std::shared_ptr<WindowRecord> m_record;
};

// The window object behind a handle, or nullptr (UI thread only).
WindowImplBase* WindowFromHandle(HWND hwnd);

// Initialises the platform backend on the calling thread, which becomes the UI thread.
// Create does this on first use; tests call it early. Returns false without a display.
bool UiInitialize();
// Destroys every remaining window and shuts the backend down.
void UiShutdown();

}  // namespace pinvale::ui
