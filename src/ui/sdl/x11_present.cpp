#include "ui/sdl/x11_present.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace pinvale::ui::sdl {

struct X11Presenter::State {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  int depth = 0;
};

std::unique_ptr<X11Presenter> X11Presenter::For(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
  auto state = std::make_unique<State>();
  state->display = info.info.x11.display;
  state->window = info.info.x11.window;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(state->display, state->window, &attributes) || !attributes.visual) {
    return nullptr;
  }
  const Visual* visual = attributes.visual;
  if ((attributes.depth != 24 && attributes.depth != 32) || visual->red_mask != 0xFF0000 ||
      visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF ||
      ImageByteOrder(state->display) != LSBFirst) {
    return nullptr;
  }
  state->depth = attributes.depth;
  state->gc = XCreateGC(state->display, state->window, 0, nullptr);
  if (!state->gc) return nullptr;
  return std::unique_ptr<X11Presenter>(new X11Presenter(std::move(state)));
}

X11Presenter::X11Presenter(std::unique_ptr<State> state) : m_state(std::move(state)) {}

X11Presenter::~X11Presenter() {
  XFreeGC(m_state->display, m_state->gc);
}

bool X11Presenter::Put(SDL_Surface* frame) {
  if (!frame || frame->format->format != SDL_PIXELFORMAT_ARGB8888) return false;
  if (SDL_MUSTLOCK(frame) && SDL_LockSurface(frame) != 0) return false;
  XImage image{};
  image.width = frame->w;
  image.height = frame->h;
  image.format = ZPixmap;
  image.data = static_cast<char*>(frame->pixels);
  image.byte_order = LSBFirst;
  image.bitmap_unit = 32;
  image.bitmap_bit_order = LSBFirst;
  image.bitmap_pad = 32;
  image.depth = m_state->depth;
  image.bytes_per_line = frame->pitch;
  image.bits_per_pixel = 32;
  image.red_mask = 0xFF0000;
  image.green_mask = 0xFF00;
  image.blue_mask = 0xFF;
  bool sent = false;
  if (XInitImage(&image)) {
    // Xlib splits an image larger than one request allows; the pixels are copied out before
    // the call returns, so the frame may change at once.
    XPutImage(m_state->display, m_state->window, m_state->gc, &image, 0, 0, 0, 0,
              static_cast<unsigned>(frame->w), static_cast<unsigned>(frame->h));
    XFlush(m_state->display);
    sent = true;
  }
  if (SDL_MUSTLOCK(frame)) SDL_UnlockSurface(frame);
  return sent;
}

}  // namespace pinvale::ui::sdl
