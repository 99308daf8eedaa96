#include "ui/sdl/sdl_window.h"

#include <atomic>

#include "ui/sdl/sdl_surface.h"
#include "ui/sdl/x11_present.h"

namespace pinvale::ui::sdl {

std::unique_ptr<SdlWindow> SdlWindow::Create(const NativeWindowParams& params, ScaleFactor scale,
                                             bool windowManager) {
  return std::unique_ptr<SdlWindow>(new SdlWindow(params, scale, windowManager));
}

namespace {
// Ids for windows not made yet, from a range SDL's counter never reaches: input a test
// injects still finds its window, and no SDL event names one of them.
std::uint32_t NextProvisionalId() {
  static std::atomic<std::uint32_t> next{0x80000000u};
  return next++;
}
}  // namespace

SdlWindow::SdlWindow(const NativeWindowParams& params, ScaleFactor scale, bool windowManager)
    : m_provisionalId(NextProvisionalId()),
      m_params(params),
      m_frame{params.x, params.y, params.x + params.width, params.y + params.height},
      m_scale(scale),
      m_windowManager(windowManager) {}

// The window is made where and as large as it is when first needed (mostly: shown), so
// that the skin's size and the centring cost nothing: SDL waits for the X server after
// every move or resize.
bool SdlWindow::Realize() {
  if (m_window) return true;
  Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
  if (m_params.popup) flags |= SDL_WINDOW_SKIP_TASKBAR;
  m_window = SDL_CreateWindow(m_params.titleUtf8.c_str(), static_cast<int>(m_frame.left),
                              static_cast<int>(m_frame.top),
                              static_cast<int>(m_frame.right - m_frame.left),
                              static_cast<int>(m_frame.bottom - m_frame.top), flags);
  if (!m_window) return false;
  if (m_params.ownerId != 0) {
    // Keeps a dialog above its owner where the window manager supports it (X11).
    if (SDL_Window* owner = SDL_GetWindowFromID(m_params.ownerId)) {
      SDL_SetWindowModalFor(m_window, owner);
    }
  }
  if (m_isCaption) SDL_SetWindowHitTest(m_window, &SdlWindow::HitTest, this);
  m_x11 = X11Presenter::For(m_window);
  return true;
}

bool SdlWindow::LetWindowManagerMove(std::function<bool(POINT)> isCaption) {
  // Without a window manager nobody would act on the request, and the press would be lost.
  if (!m_windowManager) return false;
  m_isCaption = std::move(isCaption);
  if (m_window && SDL_SetWindowHitTest(m_window, &SdlWindow::HitTest, this) != 0) {
    m_isCaption = nullptr;
    return false;
  }
  return true;
}

SDL_HitTestResult SdlWindow::HitTest(SDL_Window* /*window*/, const SDL_Point* point, void* self) {
  const auto* me = static_cast<const SdlWindow*>(self);
  if (me->m_isCaption && me->m_isCaption(POINT{point->x, point->y})) return SDL_HITTEST_DRAGGABLE;
  return SDL_HITTEST_NORMAL;
}

SdlWindow::~SdlWindow() {
  m_x11.reset();
  if (!m_window) return;
  SDL_SetWindowHitTest(m_window, nullptr, nullptr);
  SDL_DestroyWindow(m_window);
}

std::uint32_t SdlWindow::Id() const {
  return m_window ? SDL_GetWindowID(m_window) : m_provisionalId;
}

void SdlWindow::SetTitle(const std::string& utf8) {
  m_params.titleUtf8 = utf8;
  if (m_window) SDL_SetWindowTitle(m_window, utf8.c_str());
}

void SdlWindow::Show(bool visible) {
  if (visible) {
    if (Realize()) SDL_ShowWindow(m_window);
  } else if (m_window) {
    SDL_HideWindow(m_window);
  }
}

void SdlWindow::Minimize() {
  if (Realize()) SDL_MinimizeWindow(m_window);
}
void SdlWindow::Maximize() {
  if (Realize()) SDL_MaximizeWindow(m_window);
}
void SdlWindow::Restore() {
  if (Realize()) SDL_RestoreWindow(m_window);
}

void SdlWindow::Raise() {
  if (!Realize()) return;
  SDL_RaiseWindow(m_window);
  SDL_SetWindowInputFocus(m_window);
}

RECT SdlWindow::Frame() const {
  if (!m_window) return m_frame;
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  SDL_GetWindowPosition(m_window, &x, &y);
  SDL_GetWindowSize(m_window, &w, &h);
  return RECT{x, y, x + w, y + h};
}

void SdlWindow::SetFrame(const RECT& frame) {
  m_frame = frame;
  if (!m_window) return;
  int w = 0;
  int h = 0;
  SDL_GetWindowSize(m_window, &w, &h);
  const int nw = static_cast<int>(frame.right - frame.left);
  const int nh = static_cast<int>(frame.bottom - frame.top);
  if (w != nw || h != nh) SDL_SetWindowSize(m_window, nw, nh);
  SDL_SetWindowPosition(m_window, static_cast<int>(frame.left), static_cast<int>(frame.top));
}

void SdlWindow::Present(IRenderTarget& frame) {
  // An unmapped X window keeps nothing of what it is sent: the frame shown after mapping
  // (and after every exposure) is the one that counts.
  if (!m_window || (SDL_GetWindowFlags(m_window) & SDL_WINDOW_HIDDEN) != 0) return;
  auto* target = dynamic_cast<SurfaceTarget*>(&frame);
  if (!target) return;
  if (m_x11 && m_x11->Put(target->Surface())) return;
  SDL_Surface* surface = SDL_GetWindowSurface(m_window);
  if (!surface) return;
  SDL_Surface* source = target->Surface();
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  SDL_BlitSurface(source, nullptr, surface, nullptr);
  SDL_UpdateWindowSurface(m_window);
}

void SdlWindow::CaptureMouse(bool capture) {
  SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
}

}  // namespace pinvale::ui::sdl
