#include "ui/sdl/sdl_window.h"

#include "ui/sdl/sdl_surface.h"

namespace pinvale::ui::sdl {

std::unique_ptr<SdlWindow> SdlWindow::Create(const NativeWindowParams& params,
                                             ScaleFactor scale, bool windowManager) {
  Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
  if (params.popup) flags |= SDL_WINDOW_SKIP_TASKBAR;
  SDL_Window* window = SDL_CreateWindow(params.titleUtf8.c_str(), params.x, params.y, params.width,
                                        params.height, flags);
  if (!window) return nullptr;
  if (params.ownerId != 0) {
    // Keeps a dialog above its owner where the window manager supports it (X11).
    if (SDL_Window* owner = SDL_GetWindowFromID(params.ownerId)) {
      SDL_SetWindowModalFor(window, owner);
    }
  }
  return std::unique_ptr<SdlWindow>(new SdlWindow(window, scale, windowManager));
}

bool SdlWindow::LetWindowManagerMove(std::function<bool(POINT)> isCaption) {
  // Without a window manager nobody would act on the request, and the press would be lost.
  if (!m_windowManager) return false;
  m_isCaption = std::move(isCaption);
  if (SDL_SetWindowHitTest(m_window, &SdlWindow::HitTest, this) != 0) {
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
  SDL_SetWindowHitTest(m_window, nullptr, nullptr);
  SDL_DestroyWindow(m_window);
}

void SdlWindow::SetTitle(const std::string& utf8) {
  SDL_SetWindowTitle(m_window, utf8.c_str());
}

void SdlWindow::Show(bool visible) {
  if (visible) {
    SDL_ShowWindow(m_window);
  } else {
    SDL_HideWindow(m_window);
  }
}

void SdlWindow::Minimize() {
  SDL_MinimizeWindow(m_window);
}
void SdlWindow::Maximize() {
  SDL_MaximizeWindow(m_window);
}
void SdlWindow::Restore() {
  SDL_RestoreWindow(m_window);
}

void SdlWindow::Raise() {
  SDL_RaiseWindow(m_window);
  SDL_SetWindowInputFocus(m_window);
}

RECT SdlWindow::Frame() const {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  SDL_GetWindowPosition(m_window, &x, &y);
  SDL_GetWindowSize(m_window, &w, &h);
  return RECT{x, y, x + w, y + h};
}

void SdlWindow::SetFrame(const RECT& frame) {
  int w = 0;
  int h = 0;
  SDL_GetWindowSize(m_window, &w, &h);
  const int nw = static_cast<int>(frame.right - frame.left);
  const int nh = static_cast<int>(frame.bottom - frame.top);
  if (w != nw || h != nh) SDL_SetWindowSize(m_window, nw, nh);
  SDL_SetWindowPosition(m_window, static_cast<int>(frame.left), static_cast<int>(frame.top));
}

void SdlWindow::Present(IRenderTarget& frame) {
  auto* target = dynamic_cast<SurfaceTarget*>(&frame);
  if (!target) return;
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
