#pragma once

// Posting and sending window messages, callable from any thread.
//
// A window handle is an id that is never reused, so a message for a window that has gone is
// dropped instead of reaching freed memory. All window work runs on the UI thread, the
// thread that called UiInitialize; other threads only post and send.
//
// - PostMessage queues the message and wakes the UI thread's wait.
// - SendMessage on the UI thread calls the window at once; from any other thread it queues
//   the message and blocks until the UI thread has handled it. When the window is destroyed
//   first (or does not exist) the send returns 0 at once, so a worker that sends to a closing
//   dialog never hangs.

#include <cstdint>
#include <memory>

#include "ui/win_types.h"

#ifndef _WIN32
// Returns 1 when the message was queued, 0 for an unknown window.
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues WM_QUIT: the innermost modal loop ends and posts it again, and so on outward.
void PostQuitMessage(int exitCode);
BOOL IsWindow(HWND hwnd);
BOOL IsWindowEnabled(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
// Sends WM_DESTROY, destroys the windows it owns first, then calls OnFinalMessage.
BOOL DestroyWindow(HWND hwnd);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
HWND GetParent(HWND hwnd);
// High bit set while the key is down (VK_SHIFT, VK_CONTROL, VK_MENU), as last reported by
// the input the UI thread has handled.
short GetKeyState(int vk);
// WM_TIMER with wParam = id every `elapseMs` until KillTimer. Returns id, 0 on failure.
std::uintptr_t SetTimer(HWND hwnd, std::uintptr_t id, UINT elapseMs, void* unused = nullptr);
BOOL KillTimer(HWND hwnd, std::uintptr_t id);
#endif

// A posted message that carries data: the queue owns `payload` until the message has been
// handled, and during dispatch lParam points at the payload's object. The main window's
// device notices travel this way (lParam points at the notice).
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, std::shared_ptr<const void> payload);
