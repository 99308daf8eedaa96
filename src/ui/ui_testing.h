#pragma once

// Driving windows from tests, headless (SDL's dummy video driver, software drawing).
//
// Everything here runs on the UI thread, which in a test is the test's own thread. The
// input helpers go the same way real input goes: key-downs pass the window's message
// filters (MessageHandler) before HandleMessage, clicks are a press and a release at the
// control's centre, typed text arrives as UTF-8 like SDL_TEXTINPUT.
//
// Typical dialog test:
//
//   ASSERT_TRUE(ui::testing::InitHeadless());
//   ui::testing::UseSkinArchive(bytes);                 // or CPaintManagerUI::SetResourceZip
//   ui::testing::RunWhenModal([](HWND box) {            // runs once the next modal loop
//     ui::testing::Click(box, u"OK");                   // has shown and laid out its window
//   });
//   int result = ShowMessageBox(nullptr, u"Pinvale", u"Done", 0);   // returns 1
//
// A callback may queue the next RunWhenModal before it opens a nested dialog, so nested
// modal loops can be driven in order.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win_types.h"

namespace pinvale::ui {
class CControlUI;
class WindowImplBase;
}  // namespace pinvale::ui

namespace pinvale::ui::testing {

// Selects SDL's dummy video driver (unless SDL_VIDEODRIVER is set) and initialises the UI
// on the calling thread.
bool InitHeadless();

// Loads a skin archive from memory for every later window (the bytes must stay alive).
bool UseSkinArchive(std::span<const std::uint8_t> zipBytes);

// Lays out and draws the window as it would appear now and writes it as PNG.
bool RenderWindowToPng(HWND hwnd, const std::string& path);
// The window's current frame as 0xAARRGGBB pixels, row by row (width x height).
std::vector<std::uint32_t> RenderWindowPixels(HWND hwnd, int* width, int* height);

// Shows the window at another display scale, as a move to such a monitor would: its size in
// units stays, its pixels, fonts and images follow the scale. Points the other helpers take
// and give stay in units; RenderWindowPixels gives real pixels.
void SetScale(HWND hwnd, double factor);

// Presses and releases the left button at the centre of the named, visible control. False
// when there is no such visible control. A disabled control gets the clicks but ignores them,
// as on screen.
bool Click(HWND hwnd, std::u16string_view controlName);
bool ClickAt(HWND hwnd, POINT clientPoint);
// Moves the mouse to a client point (hover states, tooltips).
void MoveMouse(HWND hwnd, POINT clientPoint);
// Turns the mouse wheel at a client point: notches away from the user (up) when positive.
void Wheel(HWND hwnd, POINT clientPoint, int notches);
// Presses the left button at `from`, moves to `to` and releases there.
void Drag(HWND hwnd, POINT from, POINT to);
// Types UTF-8 text into the focused control, as typed text arrives from the keyboard.
void TypeText(HWND hwnd, std::string_view utf8);
// A key-down (and key-up) of a virtual key (VK_RETURN, VK_ESCAPE, VK_TAB, VK_BACK...):
// through the message filters, then HandleMessage, then the focused control.
void KeyDown(HWND hwnd, UINT vk, bool shift = false, bool control = false);
// The close a window manager sends (the title bar's X, Alt+F4): WM_SYSCOMMAND SC_CLOSE.
void SystemClose(HWND hwnd);

// Runs `task` once, inside the next modal loop to start, after its window was shown and laid
// out ("windowinit" delivered). The task gets the modal window's handle. Tasks are used in
// the order they were queued, one per modal loop.
void RunWhenModal(std::function<void(HWND)> task);
// Number of RunWhenModal tasks still waiting (a test can assert it reached 0).
int PendingModalTasks();
// Runs `task` on the UI thread the next time it takes messages (callable from any thread).
void PostTask(std::function<void()> task);

// Handles queued messages, input, due timers and paints until nothing is left, without
// waiting. Returns the number of steps taken. Stops after maxSteps.
int PumpUntilIdle(int maxSteps = 10000);
// Pumps, waiting for messages, until `done` is true or timeoutMs has passed.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 2000);

// Windows that exist now, in creation order.
std::vector<HWND> ListWindows();
// The first window whose caption equals `caption` (and whose class name equals
// `className` when given), or nullptr.
HWND FindWindowByCaption(std::u16string_view caption, std::u16string_view className = {});
// The control with that name in the window's tree, or nullptr.
CControlUI* FindControl(HWND hwnd, std::u16string_view name);
// The window currently running the innermost modal loop, or nullptr.
HWND CurrentModalWindow();

}  // namespace pinvale::ui::testing
