#pragma once

// The Win32 vocabulary of window messages, kept on every platform so that window code reads
// the same on Linux and Windows. On Windows the real <windows.h> definitions are used.

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#ifndef GET_X_LPARAM  // windowsx.h, without the rest of its macros
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<short>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<short>(HIWORD(lp))))
#endif
constexpr DWORD UI_WNDSTYLE_DIALOG = 0x96C80000;  // popup, visible, caption, system menu
constexpr DWORD UI_WNDSTYLE_FRAME = 0x10CA0000;   // visible, caption, system menu, minimise box
#else

struct HWND__;
using HWND = HWND__*;  // opaque: an id, never a pointer to live memory
using UINT = unsigned int;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using BOOL = int;
using LONG = long;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct RECT {
  long left = 0;
  long top = 0;
  long right = 0;
  long bottom = 0;
};
struct POINT {
  long x = 0;
  long y = 0;
};
struct SIZE {
  long cx = 0;
  long cy = 0;
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_USER = 0x0400;

constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_DELETE = 0x2E;
constexpr UINT VK_F4 = 0x73;

// Window styles. Only a few bits are looked at: visible, popup, caption, minimise box.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD UI_WNDSTYLE_DIALOG = 0x96C80000;  // popup, visible, caption, system menu
constexpr DWORD UI_WNDSTYLE_FRAME = 0x10CA0000;   // visible, caption, system menu, minimise box

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

constexpr int MK_LBUTTON = 0x0001;
constexpr int MK_SHIFT = 0x0004;
constexpr int MK_CONTROL = 0x0008;

inline constexpr LPARAM MAKELPARAM(int lo, int hi) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(hi & 0xFFFF) << 16) |
                             static_cast<std::uint32_t>(lo & 0xFFFF));
}
inline constexpr int GET_X_LPARAM(LPARAM lp) {
  return static_cast<short>(static_cast<std::uint32_t>(lp) & 0xFFFF);
}
inline constexpr int GET_Y_LPARAM(LPARAM lp) {
  return static_cast<short>((static_cast<std::uint32_t>(lp) >> 16) & 0xFFFF);
}
// One notch of the mouse wheel; WM_MOUSEWHEEL carries the signed turn in wParam's high word.
constexpr int WHEEL_DELTA = 120;
inline constexpr int GET_WHEEL_DELTA_WPARAM(WPARAM wp) {
  return static_cast<short>((static_cast<std::uint64_t>(wp) >> 16) & 0xFFFF);
}

#endif  // _WIN32

#ifndef _WIN32
// DrawText flags: text style of labels, buttons and text controls.
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_END_ELLIPSIS = 0x8000;
#endif
