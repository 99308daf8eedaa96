#include "ui/sdl/sdl_surface.h"

#include <algorithm>

#include "ui/attribute_values.h"
#include "ui/sdl/sdl_font.h"

namespace pinvale::ui::sdl {
namespace {

SDL_Rect ToSdl(const RECT& r) {
  return SDL_Rect{static_cast<int>(r.left), static_cast<int>(r.top),
                  static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top)};
}

Uint32 Blend(Uint32 dst, DWORD src) {
  const Uint32 a = src >> 24;
  if (a == 255) return src;
  const Uint32 inv = 255 - a;
  auto channel = [&](int shift) {
    const Uint32 s = (src >> shift) & 0xFF;
    const Uint32 d = (dst >> shift) & 0xFF;
    return ((s * a + d * inv + 127) / 255) << shift;
  };
  const Uint32 da = dst >> 24;
  const Uint32 outA = a + (da * inv + 127) / 255;
  return (outA << 24) | channel(16) | channel(8) | channel(0);
}

}  // namespace

std::unique_ptr<SurfaceTarget> SurfaceTarget::Create(int width, int height) {
  SurfacePtr surface(
      SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888));
  if (!surface) return nullptr;
  SDL_SetSurfaceBlendMode(surface.get(), SDL_BLENDMODE_NONE);
  return std::unique_ptr<SurfaceTarget>(new SurfaceTarget(std::move(surface)));
}

SurfaceTarget::SurfaceTarget(SurfacePtr surface) : m_surface(std::move(surface)) {
  m_clip = RECT{0, 0, m_surface->w, m_surface->h};
}

SIZE SurfaceTarget::Size() const {
  return SIZE{m_surface->w, m_surface->h};
}

void SurfaceTarget::SetClip(const RECT& clip) {
  m_clip = Intersect(clip, RECT{0, 0, m_surface->w, m_surface->h});
  const SDL_Rect r = ToSdl(m_clip);
  SDL_SetClipRect(m_surface.get(), &r);
}

void SurfaceTarget::FillRect(const RECT& rect, DWORD argb) {
  const RECT r = Intersect(rect, m_clip);
  if (IsEmpty(r) || (argb >> 24) == 0) return;
  if ((argb >> 24) == 255) {
    const SDL_Rect sr = ToSdl(r);
    SDL_FillRect(m_surface.get(), &sr, argb);
    return;
  }
  SDL_LockSurface(m_surface.get());
  for (long y = r.top; y < r.bottom; ++y) {
    auto* row =
        reinterpret_cast<Uint32*>(static_cast<Uint8*>(m_surface->pixels) + y * m_surface->pitch);
    for (long x = r.left; x < r.right; ++x) row[x] = Blend(row[x], argb);
  }
  SDL_UnlockSurface(m_surface.get());
}

void SurfaceTarget::FillGradientV(const RECT& rect, DWORD top, DWORD bottom) {
  const long h = rect.bottom - rect.top;
  if (h <= 0) return;
  // The gradient spans the whole rectangle, but only the rows inside the clip are drawn: a
  // control may be far taller than the window.
  const long first = std::max(0L, m_clip.top - rect.top);
  const long end = std::min(h, m_clip.bottom - rect.top);
  for (long i = first; i < end; ++i) {
    auto mix = [&](int shift) {
      const long a = (top >> shift) & 0xFF;
      const long b = (bottom >> shift) & 0xFF;
      const long v = h > 1 ? a + (b - a) * i / (h - 1) : a;
      return static_cast<DWORD>(v) << shift;
    };
    const DWORD color = mix(24) | mix(16) | mix(8) | mix(0);
    FillRect(RECT{rect.left, rect.top + i, rect.right, rect.top + i + 1}, color);
  }
}

void SurfaceTarget::BlendSurface(SDL_Surface* surface, int x, int y) {
  SDL_Rect dst{x, y, surface->w, surface->h};
  SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_BLEND);
  SDL_BlitSurface(surface, nullptr, m_surface.get(), &dst);
}

void SurfaceTarget::DrawTextRun(const IFont& font, int x, int y, std::u16string_view text,
                                DWORD argb) {
  const auto* sdlFont = dynamic_cast<const SdlFont*>(&font);
  if (!sdlFont || text.empty()) return;
  sdlFont->Draw(*this, x, y, text, argb);
}

void SurfaceTarget::DrawImage(const IImage& image, const RECT& source, const RECT& dest, int fade) {
  const auto* sdlImage = dynamic_cast<const SdlImage*>(&image);
  if (!sdlImage) return;
  SDL_Surface* src = sdlImage->Surface();
  SDL_Rect s = ToSdl(source);
  SDL_Rect d = ToSdl(dest);
  SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND);
  SDL_SetSurfaceAlphaMod(src, static_cast<Uint8>(std::clamp(fade, 0, 255)));
  if (s.w == d.w && s.h == d.h) {
    SDL_BlitSurface(src, &s, m_surface.get(), &d);
  } else {
    SDL_BlitScaled(src, &s, m_surface.get(), &d);
  }
  SDL_SetSurfaceAlphaMod(src, 255);
}

void SurfaceTarget::DrawImageSmooth(const IImage& image, const RECT& source, const RECT& dest,
                                    int fade) {
  const auto* sdlImage = dynamic_cast<const SdlImage*>(&image);
  if (!sdlImage || IsEmpty(source) || IsEmpty(dest)) return;
  SDL_Surface* src = sdlImage->Surface();
  SDL_Rect s = ToSdl(source);
  if (s.w == dest.right - dest.left && s.h == dest.bottom - dest.top) {
    DrawImage(image, source, dest, fade);
    return;
  }
  // Bilinear stretching is a copy, not a blend: stretch into a picture of the destination's
  // size, then blend that. Only the source rectangle is sampled, so the cells of a
  // nine-grid picture do not bleed into each other.
  SurfacePtr stretched(SDL_CreateRGBSurfaceWithFormat(
      0, static_cast<int>(dest.right - dest.left), static_cast<int>(dest.bottom - dest.top), 32,
      SDL_PIXELFORMAT_ARGB8888));
  if (!stretched) return;
  SDL_Rect all{0, 0, stretched->w, stretched->h};
  SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
  const int ok = SDL_SoftStretchLinear(src, &s, stretched.get(), &all);
  SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND);
  if (ok != 0) {
    DrawImage(image, source, dest, fade);
    return;
  }
  SDL_Rect d = ToSdl(dest);
  SDL_SetSurfaceBlendMode(stretched.get(), SDL_BLENDMODE_BLEND);
  SDL_SetSurfaceAlphaMod(stretched.get(), static_cast<Uint8>(std::clamp(fade, 0, 255)));
  SDL_BlitSurface(stretched.get(), nullptr, m_surface.get(), &d);
}

std::vector<std::uint32_t> SurfaceTarget::ReadPixels() const {
  std::vector<std::uint32_t> pixels(static_cast<size_t>(m_surface->w) * m_surface->h);
  SDL_LockSurface(m_surface.get());
  for (int y = 0; y < m_surface->h; ++y) {
    const auto* row = reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(m_surface->pixels) +
                                                      y * m_surface->pitch);
    std::copy(row, row + m_surface->w, pixels.begin() + static_cast<long>(y) * m_surface->w);
  }
  SDL_UnlockSurface(m_surface.get());
  return pixels;
}

}  // namespace pinvale::ui::sdl
