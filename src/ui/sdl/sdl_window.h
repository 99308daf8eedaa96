#pragma once

// A borderless SDL window showing frames drawn in software (window surface, no renderer,
// no OpenGL). The SDL window itself is made when first shown, at the frame it has then.

#include <SDL.h>

#include <memory>

#include "ui/native_window.h"

namespace pinvale::ui::sdl {

class X11Presenter;

class SdlWindow : public INativeWindow {
 public:
  // `windowManager`: one runs and can move windows for us (SDL_SetWindowHitTest).
  static std::unique_ptr<SdlWindow> Create(const NativeWindowParams& params, ScaleFactor scale,
                                           bool windowManager);
  ~SdlWindow() override;

  // SDL's id once the window is made; an id of its own before.
  std::uint32_t Id() const override;
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
  ScaleFactor Scale() const override { return m_scale; }
  bool LetWindowManagerMove(std::function<bool(POINT)> isCaption) override;

 private:
  SdlWindow(const NativeWindowParams& params, ScaleFactor scale, bool windowManager);
  bool Realize();
  static SDL_HitTestResult HitTest(SDL_Window* window, const SDL_Point* point, void* self);
  std::uint32_t m_provisionalId;
  NativeWindowParams m_params;
  RECT m_frame;
  SDL_Window* m_window = nullptr;
  ScaleFactor m_scale;
  bool m_windowManager;
  std::function<bool(POINT)> m_isCaption;
  std::unique_ptr<X11Presenter> m_x11;  // X11 only: frames go out without SDL's copy
};

}  // namespace pinvale::ui::sdl
