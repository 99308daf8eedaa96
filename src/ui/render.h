#pragma once

// The drawing seam. Everything above it (layout, text wrapping, mark-up, nine-grid images)
// is portable; a backend only fills, draws one run of text at a point and copies image
// rectangles. The SDL backend draws into a software surface; a GDI+ one can plug in later.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win_types.h"

namespace pinvale::ui {

// Family name in UTF-8 as the layout gives it ("微软雅黑"); size is the character height in
// pixels.
struct FontSpec {
  std::string family;
  int size = 12;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  // The face draws text laid out with the face of another size (a display scale): its
  // glyphs must keep that layout's proportions.
  bool drawsAnotherSizesLayout = false;
};

class IFont {
 public:
  virtual ~IFont() = default;
  // Height of the text metrics: the line height of the face at this size.
  virtual int Height() const = 0;
  // Extent of one line of text (no line breaks inside).
  virtual SIZE Measure(std::u16string_view text) const = 0;
};

class IImage {
 public:
  virtual ~IImage() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
};

class IRenderTarget {
 public:
  virtual ~IRenderTarget() = default;
  virtual SIZE Size() const = 0;
  // Every later operation is cut to this rectangle (target coordinates).
  virtual void SetClip(const RECT& clip) = 0;
  virtual RECT Clip() const = 0;
  // Colours are ARGB; alpha blends over what is there.
  virtual void FillRect(const RECT& rect, DWORD argb) = 0;
  virtual void FillGradientV(const RECT& rect, DWORD topArgb, DWORD bottomArgb) = 0;
  // A border `size` thick inside `rect`, the same thickness on all four sides.
  virtual void DrawFrame(const RECT& rect, int size, DWORD argb) {
    FillRect(RECT{rect.left, rect.top, rect.right, rect.top + size}, argb);
    FillRect(RECT{rect.left, rect.bottom - size, rect.right, rect.bottom}, argb);
    FillRect(RECT{rect.left, rect.top + size, rect.left + size, rect.bottom - size}, argb);
    FillRect(RECT{rect.right - size, rect.top + size, rect.right, rect.bottom - size}, argb);
  }
  // One line of text with its top-left corner at (x, y).
  virtual void DrawTextRun(const IFont& font, int x, int y, std::u16string_view text,
                           DWORD argb) = 0;
  // Stretches `source` of the image onto `dest`; fade is the overall opacity (255 opaque).
  virtual void DrawImage(const IImage& image, const RECT& source, const RECT& dest, int fade) = 0;
  // The same, filtered (bilinear or better) instead of repeating pixels: for pictures drawn
  // at a display scale they were not made for.
  virtual void DrawImageSmooth(const IImage& image, const RECT& source, const RECT& dest,
                               int fade) = 0;
  // The pixels as 0xAARRGGBB, row by row.
  virtual std::vector<std::uint32_t> ReadPixels() const = 0;
};

// Fonts, images and off-screen targets: what the framework needs from a graphics library.
class IGraphics {
 public:
  virtual ~IGraphics() = default;
  virtual std::shared_ptr<IFont> OpenFont(const FontSpec& spec) = 0;
  // PNG (or any format the backend reads) from memory; pixels of `mask` become transparent.
  virtual std::shared_ptr<IImage> DecodeImage(std::span<const std::uint8_t> bytes,
                                              std::optional<DWORD> mask) = 0;
  virtual std::unique_ptr<IRenderTarget> CreateOffscreen(int width, int height) = 0;
  // Writes the target as PNG (golden images, screenshots). Returns false on failure.
  virtual bool SavePng(IRenderTarget& target, const std::string& path) = 0;
};

}  // namespace pinvale::ui
