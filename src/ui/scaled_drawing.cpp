#include "ui/scaled_drawing.h"

#include "ui/attribute_values.h"

namespace pinvale::ui {

ScaledImage::ScaledImage(std::shared_ptr<IImage> single, std::shared_ptr<IImage> twice)
    : m_single(std::move(single)), m_twice(std::move(twice)) {
  if (m_single) {
    m_width = m_single->Width();
    m_height = m_single->Height();
  } else if (m_twice) {
    m_width = (m_twice->Width() + 1) / 2;
    m_height = (m_twice->Height() + 1) / 2;
  }
}

ScaledTarget::ScaledTarget(IRenderTarget& pixels, ScaleFactor scale)
    : m_pixels(pixels), m_scale(scale) {
  const SIZE size = Size();
  m_clip = RECT{0, 0, size.cx, size.cy};
}

SIZE ScaledTarget::Size() const {
  return m_scale.ToUnits(m_pixels.Size());
}

void ScaledTarget::SetClip(const RECT& clip) {
  m_clip = clip;
  m_pixels.SetClip(m_scale.ToPixels(clip));
}

void ScaledTarget::FillRect(const RECT& rect, DWORD argb) {
  m_pixels.FillRect(m_scale.ToPixels(rect), argb);
}

void ScaledTarget::FillGradientV(const RECT& rect, DWORD topArgb, DWORD bottomArgb) {
  m_pixels.FillGradientV(m_scale.ToPixels(rect), topArgb, bottomArgb);
}

void ScaledTarget::DrawFrame(const RECT& rect, int size, DWORD argb) {
  if (size <= 0) return;
  m_pixels.DrawFrame(m_scale.ToPixels(rect), static_cast<int>(m_scale.LineWidth(size)), argb);
}

void ScaledTarget::DrawTextRun(const IFont& font, int x, int y, std::u16string_view text,
                               DWORD argb) {
  const auto* scaled = dynamic_cast<const ScaledFont*>(&font);
  const IFont& pixels = scaled ? scaled->Pixels() : font;
  m_pixels.DrawTextRun(pixels, static_cast<int>(m_scale.ToPixels(x)),
                       static_cast<int>(m_scale.ToPixels(y)), text, argb);
}

void ScaledTarget::DrawImage(const IImage& image, const RECT& source, const RECT& dest, int fade) {
  DrawImageSmooth(image, source, dest, fade);
}

void ScaledTarget::DrawImageSmooth(const IImage& image, const RECT& source, const RECT& dest,
                                   int fade) {
  const RECT pixelsDest = m_scale.ToPixels(dest);
  if (IsEmpty(pixelsDest)) return;
  const auto* scaled = dynamic_cast<const ScaledImage*>(&image);
  if (!scaled) {
    m_pixels.DrawImageSmooth(image, source, pixelsDest, fade);
    return;
  }
  const int k = scaled->PixelsPerUnit();
  const RECT pixelsSource{source.left * k, source.top * k, source.right * k, source.bottom * k};
  const IImage& best = scaled->Best();
  const bool exact =
      Width(pixelsSource) == Width(pixelsDest) && Height(pixelsSource) == Height(pixelsDest);
  // A 2x picture at factor 2 is copied pixel for pixel: sharp, and no filtering blur.
  if (exact) {
    m_pixels.DrawImage(best, pixelsSource, pixelsDest, fade);
  } else {
    m_pixels.DrawImageSmooth(best, pixelsSource, pixelsDest, fade);
  }
}

}  // namespace pinvale::ui
