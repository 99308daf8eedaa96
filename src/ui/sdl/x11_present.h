#pragma once

// Frames shown on an X11 window with XPutImage straight from the off-screen frame. SDL's
// window surface would keep a second copy of every frame (a shared-memory segment as
// large as the window) and copy each frame into it before the server reads it.

#include <SDL.h>

#include <memory>

namespace pinvale::ui::sdl {

class X11Presenter {
 public:
  // nullptr when the window is not an X11 window of a 24-bit true-colour visual with
  // 32-bit pixels laid out as ARGB8888 (the caller then uses SDL's window surface).
  static std::unique_ptr<X11Presenter> For(SDL_Window* window);
  ~X11Presenter();
  X11Presenter(const X11Presenter&) = delete;
  X11Presenter& operator=(const X11Presenter&) = delete;

  // `frame` is ARGB8888, the window's size or smaller; false when it could not be sent.
  bool Put(SDL_Surface* frame);

 private:
  struct State;
  explicit X11Presenter(std::unique_ptr<State> state);
  std::unique_ptr<State> m_state;
};

}  // namespace pinvale::ui::sdl
