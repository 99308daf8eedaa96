#pragma once

// A borderless SDL window showing frames drawn in software (window surface, no renderer,
// no OpenGL).

#include <SDL.h>

#include "ui/native_window.h"

namespace pinvale::ui::sdl {

class SdlWindow : public INativeWindow {
 public:
  static std::unique_ptr<SdlWindow> Create(const NativeWindowParams& params);
  ~SdlWindow() override;

  std::uint32_t Id() const override { return SDL_GetWindowID(m_window); }
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

 private:
  explicit SdlWindow(SDL_Window* window) : m_window(window) {}
  SDL_Window* m_window;
};

}  // namespace pinvale::ui::sdl
