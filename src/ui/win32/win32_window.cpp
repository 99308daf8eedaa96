#include "ui/win32/win32_window.h"

#include <set>
#include <string>

#include "ui/ui_text.h"
#include "ui/win32/gdiplus_graphics.h"

namespace pinvale::ui::win32 {
namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

// Each window class is registered once, on first use; every window of the program
// uses "DUIMainFrame".
bool EnsureClass(const std::wstring& name, WNDPROC procedure) {
  static std::set<std::wstring> registered;
  if (registered.count(name)) return true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;  // the framework's class style 8
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = name.c_str();
  if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  registered.insert(name);
  return true;
}

}  // namespace

std::unique_ptr<Win32Window> Win32Window::Create(const NativeWindowParams& params,
                                                 WNDPROC procedure) {
  const std::wstring className =
      Wide(params.classNameUtf8.empty() ? std::string("DUIMainFrame") : params.classNameUtf8);
  if (!EnsureClass(className, procedure)) return nullptr;
  // Shown only once its first frame exists (Show), so no empty window flashes up.
  DWORD style = params.style & ~static_cast<DWORD>(WS_VISIBLE);
  if (style == 0) style = params.popup ? WS_POPUP : WS_OVERLAPPED;
  HWND owner = params.ownerId ? reinterpret_cast<HWND>(static_cast<std::intptr_t>(
                                    static_cast<std::int32_t>(params.ownerId)))
                              : nullptr;
  std::unique_ptr<Win32Window> window(new Win32Window());
  const std::wstring title = Wide(params.titleUtf8);
  HWND hwnd = ::CreateWindowExW(0, className.c_str(), title.c_str(), style, params.x, params.y,
                                params.width, params.height, owner, nullptr,
                                ::GetModuleHandleW(nullptr), window.get());
  if (!hwnd) return nullptr;
  window->m_hwnd = hwnd;
  return window;
}

Win32Window::~Win32Window() {
  if (!m_hwnd) return;
  ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
  ::DestroyWindow(m_hwnd);
}

Win32Window* Win32Window::FromHandle(HWND hwnd) {
  return reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void Win32Window::Detach() {
  if (m_hwnd) ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
  m_hwnd = nullptr;
}

std::uint32_t Win32Window::Id() const {
  // Window handles carry 32 significant bits, even in 64-bit processes.
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(m_hwnd));
}

void Win32Window::SetTitle(const std::string& utf8) {
  ::SetWindowTextW(m_hwnd, Wide(utf8).c_str());
}

void Win32Window::Show(bool visible) {
  ::ShowWindow(m_hwnd, visible ? SW_SHOW : SW_HIDE);
}

void Win32Window::Minimize() {
  ::ShowWindow(m_hwnd, SW_MINIMIZE);
}

void Win32Window::Maximize() {
  ::ShowWindow(m_hwnd, SW_MAXIMIZE);
}

void Win32Window::Restore() {
  ::ShowWindow(m_hwnd, SW_RESTORE);
}

void Win32Window::Raise() {
  ::SetWindowPos(m_hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetForegroundWindow(m_hwnd);
  ::SetFocus(m_hwnd);
}

RECT Win32Window::Frame() const {
  RECT r{};
  ::GetWindowRect(m_hwnd, &r);
  return r;
}

void Win32Window::SetFrame(const RECT& frame) {
  ::SetWindowPos(m_hwnd, nullptr, static_cast<int>(frame.left), static_cast<int>(frame.top),
                 static_cast<int>(frame.right - frame.left),
                 static_cast<int>(frame.bottom - frame.top), SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::Present(IRenderTarget& frame) {
  auto* target = dynamic_cast<GdiplusTarget*>(&frame);
  if (!target) return;
  // A copy of its own: WM_PAINT must redraw after the framework has replaced or
  // dropped its frame.
  const SIZE size = target->Size();
  m_frameWidth = static_cast<int>(size.cx);
  m_frameHeight = static_cast<int>(size.cy);
  m_framePixels = target->Pixels();
  HDC dc = ::GetDC(m_hwnd);
  if (!dc) return;
  Blit(dc);
  ::ReleaseDC(m_hwnd, dc);
  ::ValidateRect(m_hwnd, nullptr);
}

void Win32Window::Paint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hwnd, &paint);
  if (dc) Blit(dc);
  ::EndPaint(m_hwnd, &paint);
}

void Win32Window::Blit(HDC dc) const {
  if (m_framePixels.empty()) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = m_frameWidth;
  info.bmiHeader.biHeight = -m_frameHeight;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(m_frameWidth), static_cast<DWORD>(m_frameHeight),
                      0, 0, 0, static_cast<UINT>(m_frameHeight), m_framePixels.data(), &info,
                      DIB_RGB_COLORS);
}

void Win32Window::CaptureMouse(bool capture) {
  if (capture) {
    ::SetCapture(m_hwnd);
  } else if (::GetCapture() == m_hwnd) {
    ::ReleaseCapture();
  }
}

ScaleFactor Win32Window::Scale() const {
  // From the first WM_DPICHANGED on, the DPI it carried: the system sends the message on
  // every change of the window's DPI, so that value is never stale.
  if (m_dpi != 0) return ScaleFactor::FromDpi(m_dpi);
  // GetDpiForWindow exists from Windows 10 1607 on; older systems have one DPI for all.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  UINT dpi = getDpi && m_hwnd ? getDpi(m_hwnd) : 0;
  if (dpi == 0) {
    HDC screen = ::GetDC(nullptr);
    dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
    ::ReleaseDC(nullptr, screen);
  }
  return ScaleFactor::FromDpi(dpi);
}

}  // namespace pinvale::ui::win32
