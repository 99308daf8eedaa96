#pragma once

// SDL surfaces as render targets and images: everything is drawn in software into 32-bit
// ARGB surfaces.

#include <SDL.h>

#include <memory>
#include <vector>

#include "ui/render.h"

namespace pinvale::ui::sdl {

struct SurfaceDeleter {
  void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

class SdlImage : public IImage {
 public:
  explicit SdlImage(SurfacePtr surface) : m_surface(std::move(surface)) {}
  int Width() const override { return m_surface->w; }
  int Height() const override { return m_surface->h; }
  SDL_Surface* Surface() const { return m_surface.get(); }

 private:
  SurfacePtr m_surface;
};

class SurfaceTarget : public IRenderTarget {
 public:
  // nullptr when the surface cannot be made.
  static std::unique_ptr<SurfaceTarget> Create(int width, int height);
  SIZE Size() const override;
  void SetClip(const RECT& clip) override;
  RECT Clip() const override { return m_clip; }
  void FillRect(const RECT& rect, DWORD argb) override;
  void FillGradientV(const RECT& rect, DWORD topArgb, DWORD bottomArgb) override;
  void DrawTextRun(const IFont& font, int x, int y, std::u16string_view text, DWORD argb) override;
  void DrawImage(const IImage& image, const RECT& source, const RECT& dest, int fade) override;
  void DrawImageSmooth(const IImage& image, const RECT& source, const RECT& dest,
                       int fade) override;
  std::vector<std::uint32_t> ReadPixels() const override;

  SDL_Surface* Surface() const { return m_surface.get(); }
  // Blits `surface` (ARGB with alpha) at (x, y), blended, inside the clip.
  void BlendSurface(SDL_Surface* surface, int x, int y);

 private:
  explicit SurfaceTarget(SurfacePtr surface);
  SurfacePtr m_surface;
  RECT m_clip{};
};

}  // namespace pinvale::ui::sdl
