#pragma once

// One native top-level window. The skin draws the whole window, caption included,
// so the system's frame is switched off (WM_NCCALCSIZE gives the client the whole
// window) while the style bits stay as the program asked: caption, system menu and
// minimise box keep their taskbar and keyboard behaviour.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ui/native_window.h"

namespace pinvale::ui::win32 {

class Win32Window : public INativeWindow {
 public:
  // nullptr when the window cannot be created.
  static std::unique_ptr<Win32Window> Create(const NativeWindowParams& params, WNDPROC procedure);
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  std::uint32_t Id() const override;
  void SetTitle(const std::string& utf8) override;
  void Show(bool visible) override;
  void Minimize() override;
  void Maximize() override;
  void Restore() override;
  void Raise() override;
  RECT Frame() const override;
  void SetFrame(const RECT& frame) override;
  void Present(IRenderTarget& frame) override;
  void CaptureMouse(bool capture) override;
  ScaleFactor Scale() const override;

  HWND Handle() const { return m_hwnd; }
  // Draws the last presented frame (WM_PAINT).
  void Paint();
  // The system is destroying the window: forget the handle so that the destructor
  // does not destroy it a second time.
  void Detach();
  // The DPI WM_DPICHANGED announced: Scale() follows it from then on.
  void SetDpi(UINT dpi) { m_dpi = dpi; }

  // Mouse-leave tracking and a pending high surrogate of typed text.
  bool trackingMouse = false;
  wchar_t pendingHighSurrogate = 0;

  static Win32Window* FromHandle(HWND hwnd);

 private:
  Win32Window() = default;
  void Blit(HDC dc) const;

  HWND m_hwnd = nullptr;
  UINT m_dpi = 0;  // 0 until WM_DPICHANGED: then the system's answer for the window
  int m_frameWidth = 0;
  int m_frameHeight = 0;
  std::vector<std::uint32_t> m_framePixels;
};

}  // namespace pinvale::ui::win32
