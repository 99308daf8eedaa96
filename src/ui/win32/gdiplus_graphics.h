#pragma once

// Drawing on Windows with GDI+: off-screen frames, fonts and PNG images. Frames and
// images keep their pixels in memory of their own as 0xAARRGGBB (not premultiplied),
// the same layout the SDL backend uses, so ReadPixels and the golden-image helpers
// read the same on both platforms.

#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/render.h"

namespace pinvale::ui::win32 {

// GDI+ is started once per process and left running: fonts and images cached by the
// framework may outlive the backend.
bool StartGdiplus();

class GdiplusImage : public IImage {
 public:
  // nullptr when GDI+ cannot decode the bytes.
  static std::shared_ptr<GdiplusImage> Decode(std::span<const std::uint8_t> bytes,
                                              std::optional<DWORD> mask);
  int Width() const override { return m_width; }
  int Height() const override { return m_height; }
  Gdiplus::Bitmap& Bitmap() const { return *m_bitmap; }

 private:
  GdiplusImage(int width, int height, std::vector<std::uint32_t> pixels);
  int m_width;
  int m_height;
  std::vector<std::uint32_t> m_pixels;
  std::unique_ptr<Gdiplus::Bitmap> m_bitmap;  // over m_pixels
};

class GdiplusFont : public IFont {
 public:
  // Opens the face through GDI, so that the system's font substitutes apply (a
  // layout's "微软雅黑" finds the face installed in its place). nullptr on failure.
  static std::unique_ptr<GdiplusFont> Open(const FontSpec& spec);
  ~GdiplusFont() override;

  int Height() const override { return m_height; }
  SIZE Measure(std::u16string_view text) const override;
  const Gdiplus::Font& Font() const { return *m_font; }
  // The face GDI chose (tests and diagnostics).
  const std::wstring& FaceName() const { return m_faceName; }

 private:
  GdiplusFont() = default;
  HFONT m_hfont = nullptr;
  std::unique_ptr<Gdiplus::Font> m_font;
  std::wstring m_faceName;
  int m_height = 0;
  // Measuring needs a Graphics; a 1x1 bitmap serves.
  std::unique_ptr<Gdiplus::Bitmap> m_measureBitmap;
  std::unique_ptr<Gdiplus::Graphics> m_measure;
};

class GdiplusTarget : public IRenderTarget {
 public:
  static std::unique_ptr<GdiplusTarget> Create(int width, int height);

  SIZE Size() const override { return SIZE{m_width, m_height}; }
  void SetClip(const RECT& clip) override;
  RECT Clip() const override { return m_clip; }
  void FillRect(const RECT& rect, DWORD argb) override;
  void FillGradientV(const RECT& rect, DWORD topArgb, DWORD bottomArgb) override;
  void DrawTextRun(const IFont& font, int x, int y, std::u16string_view text, DWORD argb) override;
  void DrawImage(const IImage& image, const RECT& source, const RECT& dest, int fade) override;
  // GDI+ filters every stretch already (high-quality bilinear).
  void DrawImageSmooth(const IImage& image, const RECT& source, const RECT& dest,
                       int fade) override {
    DrawImage(image, source, dest, fade);
  }
  std::vector<std::uint32_t> ReadPixels() const override;

  // The finished pixels, row by row (for showing the frame and saving it).
  const std::vector<std::uint32_t>& Pixels() const;
  Gdiplus::Bitmap& Bitmap() { return *m_bitmap; }

 private:
  GdiplusTarget(int width, int height);
  int m_width;
  int m_height;
  RECT m_clip;
  std::vector<std::uint32_t> m_pixels;
  std::unique_ptr<Gdiplus::Bitmap> m_bitmap;  // over m_pixels
  std::unique_ptr<Gdiplus::Graphics> m_graphics;
};

bool SaveTargetAsPng(GdiplusTarget& target, const std::string& pathUtf8);

}  // namespace pinvale::ui::win32
