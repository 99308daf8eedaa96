#pragma once

// The operating-system seam for windows and input. The portable message loop turns native
// events into Win32-numbered window messages; a backend only creates borderless top-level
// windows, shows a finished frame and reports raw input.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "secret/wiping_text.h"
#include "ui/render.h"
#include "ui/scale_factor.h"
#include "ui/win_types.h"

namespace pinvale::ui {

struct NativeEvent {
  enum class Kind {
    kNone,
    kMouseMove,
    kMouseDown,  // left button
    kMouseUp,
    kMouseLeave,
    kMouseWheel,  // wheel: notches away from the user (up) x 120, negative towards
    kKeyDown,     // vk holds a VK_ code
    kKeyUp,
    kText,          // text holds UTF-8 typed text (wiped: it may be a password)
    kCloseRequest,  // the window manager's close (system close)
    kExposed,       // contents must be shown again (also after a restore)
    kMoved,         // the window manager moved the window to (screenX, screenY)
    kScaleChanged,  // now on a display of another scale; suggested frame: screenX, screenY,
                    // width x, height y (pixels)
    kFocusGained,
    kFocusLost,
    kWake,  // a posted message or task is waiting in the queue
    kQuit,  // the session ends (all windows asked to close)
  };
  Kind kind = Kind::kNone;
  std::uint32_t window = 0;  // NativeWindow::Id(), 0 when not window-bound
  int x = 0;                 // client coordinates for mouse events, in pixels
  int y = 0;
  int screenX = 0;  // desktop coordinates for mouse events (caption dragging)
  int screenY = 0;
  UINT vk = 0;
  int wheel = 0;
  bool shift = false;
  bool control = false;
  bool alt = false;
  WipingU8Text text;
};

// Sizes and positions of native windows are in pixels.
struct NativeWindowParams {
  std::string titleUtf8;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool popup = false;
  std::uint32_t ownerId = 0;  // native id of the owner window, 0 for none
  DWORD style = 0;            // the window's Win32 style bits (native windows on Windows)
  std::string classNameUtf8;  // the window class name ("DUIMainFrame")
};

class INativeWindow {
 public:
  virtual ~INativeWindow() = default;
  virtual std::uint32_t Id() const = 0;
  virtual void SetTitle(const std::string& utf8) = 0;
  virtual void Show(bool visible) = 0;
  virtual void Minimize() = 0;
  virtual void Maximize() = 0;
  virtual void Restore() = 0;
  virtual void Raise() = 0;        // bring to front and take the keyboard focus
  virtual RECT Frame() const = 0;  // desktop rectangle
  virtual void SetFrame(const RECT& frame) = 0;
  // Shows a finished frame drawn off-screen (same size as the window).
  virtual void Present(IRenderTarget& frame) = 0;
  virtual void CaptureMouse(bool capture) = 0;
  // The display scale of the window (where it is now).
  virtual ScaleFactor Scale() const = 0;
  // Asks the window manager to move the window when the left button goes down where
  // `isCaption` (client pixels) says so: the move then snaps and behaves like every other
  // window's. False when no window manager can do it; the framework then drags the window
  // itself. A press the window manager takes never arrives as a mouse event.
  virtual bool LetWindowManagerMove(std::function<bool(POINT)> /*isCaption*/) { return false; }
};

class IUiBackend : public IGraphics {
 public:
  virtual std::unique_ptr<INativeWindow> CreateNativeWindow(const NativeWindowParams& params) = 0;
  // Non-blocking.
  virtual bool PollEvent(NativeEvent& event) = 0;
  // Blocks until an event or Wake() arrives, or timeoutMs passes (-1: no time-out).
  virtual void WaitEvent(int timeoutMs) = 0;
  // Any thread: makes a pending WaitEvent return.
  virtual void Wake() = 0;
  virtual std::uint64_t NowMs() const = 0;
  virtual RECT WorkArea() const = 0;
  // The scale new windows start with (PINVALE_SCALE, else the desktop's setting).
  virtual ScaleFactor DisplayScale() const = 0;
};

// The process-wide backend; set by UiInitialize (any thread may read it).
IUiBackend* Backend();
void SetBackend(std::unique_ptr<IUiBackend> backend);
// The platform's backend (SDL on Linux); nullptr when no display can be opened.
std::unique_ptr<IUiBackend> CreatePlatformBackend();
// The signal (SIGINT, SIGTERM) that made the platform's event loop quit, 0 when none did;
// it stays known after UiShutdown, so the program can end by it once it has cleaned up.
int QuitSignal();

#ifdef _WIN32
namespace detail {
// The folder of the running program, ending in a separator (ui/win32).
std::u16string ExecutableDirectory();
}  // namespace detail
#endif

}  // namespace pinvale::ui
