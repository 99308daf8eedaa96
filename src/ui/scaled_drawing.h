#pragma once

// Drawing a window laid out in 96-DPI units onto a target of real pixels.
//
// Controls lay out, measure and draw in units; ScaledTarget turns every rectangle into
// pixels (ScaleFactor's edge rounding). Text is not stretched: a ScaledFont measures with
// the face at its 96-DPI size, so a layout and its line breaks are the same at every scale,
// and draws with the same face opened at the scaled size. A ScaledImage carries the picture
// drawn at twice its size when the skin has one ("Name@2x.png"), and is drawn smoothly
// (filtered) down or up to the scale; without one the 1x picture is filtered up.

#include <memory>

#include "ui/render.h"
#include "ui/scale_factor.h"

namespace pinvale::ui {

class ScaledFont : public IFont {
 public:
  ScaledFont(std::shared_ptr<IFont> units, std::shared_ptr<IFont> pixels)
      : m_units(std::move(units)), m_pixels(std::move(pixels)) {}
  int Height() const override { return m_units->Height(); }
  SIZE Measure(std::u16string_view text) const override { return m_units->Measure(text); }
  const IFont& Pixels() const { return *m_pixels; }

 private:
  std::shared_ptr<IFont> m_units;
  std::shared_ptr<IFont> m_pixels;
};

class ScaledImage : public IImage {
 public:
  // `single` is the 1x picture (its size is the image's size in units), `twice` the 2x one
  // or nullptr; one of them may be missing, not both.
  ScaledImage(std::shared_ptr<IImage> single, std::shared_ptr<IImage> twice);
  int Width() const override { return m_width; }
  int Height() const override { return m_height; }
  // The picture to draw and how many of its pixels make one unit (1 or 2).
  const IImage& Best() const { return m_twice ? *m_twice : *m_single; }
  int PixelsPerUnit() const { return m_twice ? 2 : 1; }

 private:
  std::shared_ptr<IImage> m_single;
  std::shared_ptr<IImage> m_twice;
  int m_width = 0;
  int m_height = 0;
};

class ScaledTarget : public IRenderTarget {
 public:
  ScaledTarget(IRenderTarget& pixels, ScaleFactor scale);
  SIZE Size() const override;
  void SetClip(const RECT& clip) override;
  RECT Clip() const override { return m_clip; }
  void FillRect(const RECT& rect, DWORD argb) override;
  void FillGradientV(const RECT& rect, DWORD topArgb, DWORD bottomArgb) override;
  // The outer edges follow the scale like every rectangle; the thickness is rounded once.
  void DrawFrame(const RECT& rect, int size, DWORD argb) override;
  void DrawTextRun(const IFont& font, int x, int y, std::u16string_view text, DWORD argb) override;
  void DrawImage(const IImage& image, const RECT& source, const RECT& dest, int fade) override;
  void DrawImageSmooth(const IImage& image, const RECT& source, const RECT& dest,
                       int fade) override;
  std::vector<std::uint32_t> ReadPixels() const override { return m_pixels.ReadPixels(); }

 private:
  IRenderTarget& m_pixels;
  ScaleFactor m_scale;
  RECT m_clip{};
};

}  // namespace pinvale::ui
