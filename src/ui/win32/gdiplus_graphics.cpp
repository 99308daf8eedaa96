#include "ui/win32/gdiplus_graphics.h"

#include <shlwapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "ui/attribute_values.h"
#include "ui/ui_text.h"

namespace pinvale::ui::win32 {
namespace {

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

Gdiplus::Rect ToGdiplus(const RECT& r) {
  return Gdiplus::Rect(static_cast<INT>(r.left), static_cast<INT>(r.top),
                       static_cast<INT>(r.right - r.left), static_cast<INT>(r.bottom - r.top));
}

// Every run is laid out the same way: no padding around it, no wrapping, trailing
// blanks counted, so measured widths and drawn text agree.
const Gdiplus::StringFormat& RunFormat() {
  static const std::unique_ptr<Gdiplus::StringFormat> format = [] {
    auto f = std::make_unique<Gdiplus::StringFormat>(Gdiplus::StringFormat::GenericTypographic());
    f->SetFormatFlags(f->GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces |
                      Gdiplus::StringFormatFlagsNoWrap);
    return f;
  }();
  return *format;
}

struct ComRelease {
  void operator()(IUnknown* object) const {
    if (object) object->Release();
  }
};

bool PngEncoder(CLSID& clsid) {
  UINT count = 0;
  UINT size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<std::uint8_t> buffer(size);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, size, encoders) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring_view(encoders[i].MimeType) == L"image/png") {
      clsid = encoders[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

bool StartGdiplus() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  });
  return started;
}

// ---------------- images ----------------

GdiplusImage::GdiplusImage(int width, int height, std::vector<std::uint32_t> pixels)
    : m_width(width), m_height(height), m_pixels(std::move(pixels)) {
  m_bitmap = std::make_unique<Gdiplus::Bitmap>(m_width, m_height, m_width * 4, PixelFormat32bppARGB,
                                               reinterpret_cast<BYTE*>(m_pixels.data()));
}

std::shared_ptr<GdiplusImage> GdiplusImage::Decode(std::span<const std::uint8_t> bytes,
                                                   std::optional<DWORD> mask) {
  if (bytes.empty() || bytes.size() > 64u * 1024 * 1024) return nullptr;
  std::unique_ptr<IStream, ComRelease> stream(
      ::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
  if (!stream) return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.get()));
  if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok) return nullptr;
  const int width = static_cast<int>(decoded->GetWidth());
  const int height = static_cast<int>(decoded->GetHeight());
  if (width <= 0 || height <= 0) return nullptr;

  // The pixels are copied out, so the image no longer needs the stream.
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  Gdiplus::BitmapData data{};
  data.Width = static_cast<UINT>(width);
  data.Height = static_cast<UINT>(height);
  data.Stride = width * 4;
  data.PixelFormat = PixelFormat32bppARGB;
  data.Scan0 = pixels.data();
  Gdiplus::Rect all(0, 0, width, height);
  if (decoded->LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                        PixelFormat32bppARGB, &data) != Gdiplus::Ok) {
    return nullptr;
  }
  decoded->UnlockBits(&data);
  if (mask) {
    // Pixels of the mask colour are drawn as transparent.
    const std::uint32_t rgb = *mask & 0x00FFFFFF;
    for (std::uint32_t& pixel : pixels) {
      if ((pixel & 0x00FFFFFF) == rgb) pixel = 0;
    }
  }
  return std::shared_ptr<GdiplusImage>(new GdiplusImage(width, height, std::move(pixels)));
}

// ---------------- fonts ----------------

std::unique_ptr<GdiplusFont> GdiplusFont::Open(const FontSpec& spec) {
  const std::wstring family = Wide(Utf8ToUtf16(spec.family));
  LOGFONTW logfont{};
  // A negative height asks for the character height, which is what the layouts give.
  logfont.lfHeight = -std::max(1, spec.size);
  logfont.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  logfont.lfItalic = spec.italic ? TRUE : FALSE;
  logfont.lfUnderline = spec.underline ? TRUE : FALSE;
  logfont.lfCharSet = DEFAULT_CHARSET;
  logfont.lfQuality = ANTIALIASED_QUALITY;
  wcsncpy(logfont.lfFaceName, family.c_str(), LF_FACESIZE - 1);

  std::unique_ptr<GdiplusFont> font(new GdiplusFont());
  font->m_hfont = ::CreateFontIndirectW(&logfont);
  if (!font->m_hfont) return nullptr;

  // GDI applies the substitutes; GDI+ is then given the face GDI really chose.
  HDC dc = ::CreateCompatibleDC(nullptr);
  if (!dc) return nullptr;
  HGDIOBJ previous = ::SelectObject(dc, font->m_hfont);
  wchar_t face[LF_FACESIZE] = {};
  ::GetTextFaceW(dc, LF_FACESIZE, face);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  font->m_faceName = face;
  font->m_height = static_cast<int>(metrics.tmHeight);
  if (face[0]) wcsncpy(logfont.lfFaceName, face, LF_FACESIZE - 1);
  font->m_font = std::make_unique<Gdiplus::Font>(dc, &logfont);
  ::SelectObject(dc, previous);
  ::DeleteDC(dc);
  if (!font->m_font->IsAvailable()) {
    // A face GDI+ cannot use (not TrueType): the generic sans-serif face instead.
    font->m_font = std::make_unique<Gdiplus::Font>(
        Gdiplus::FontFamily::GenericSansSerif(), static_cast<Gdiplus::REAL>(std::max(1, spec.size)),
        (spec.bold ? Gdiplus::FontStyleBold : 0) | (spec.italic ? Gdiplus::FontStyleItalic : 0),
        Gdiplus::UnitPixel);
    if (!font->m_font->IsAvailable()) return nullptr;
  }
  if (font->m_height <= 0) font->m_height = spec.size;

  font->m_measureBitmap = std::make_unique<Gdiplus::Bitmap>(1, 1, PixelFormat32bppARGB);
  font->m_measure = std::make_unique<Gdiplus::Graphics>(font->m_measureBitmap.get());
  font->m_measure->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
  return font;
}

GdiplusFont::~GdiplusFont() {
  m_measure.reset();
  m_font.reset();
  if (m_hfont) ::DeleteObject(m_hfont);
}

SIZE GdiplusFont::Measure(std::u16string_view text) const {
  if (text.empty()) return SIZE{0, m_height};
  const std::wstring wide = Wide(text);
  Gdiplus::RectF box;
  m_measure->MeasureString(wide.c_str(), static_cast<INT>(wide.size()), m_font.get(),
                           Gdiplus::PointF(0, 0), &RunFormat(), &box);
  return SIZE{static_cast<long>(std::ceil(box.Width)), m_height};
}

// ---------------- frames ----------------

GdiplusTarget::GdiplusTarget(int width, int height)
    : m_width(width),
      m_height(height),
      m_clip{0, 0, width, height},
      m_pixels(static_cast<std::size_t>(width) * height, 0) {
  m_bitmap = std::make_unique<Gdiplus::Bitmap>(m_width, m_height, m_width * 4, PixelFormat32bppARGB,
                                               reinterpret_cast<BYTE*>(m_pixels.data()));
  m_graphics = std::make_unique<Gdiplus::Graphics>(m_bitmap.get());
  m_graphics->SetSmoothingMode(Gdiplus::SmoothingModeNone);
  m_graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  m_graphics->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
  m_graphics->SetCompositingMode(Gdiplus::CompositingModeSourceOver);
}

std::unique_ptr<GdiplusTarget> GdiplusTarget::Create(int width, int height) {
  if (width <= 0 || height <= 0 || !StartGdiplus()) return nullptr;
  std::unique_ptr<GdiplusTarget> target(new GdiplusTarget(width, height));
  if (target->m_graphics->GetLastStatus() != Gdiplus::Ok) return nullptr;
  return target;
}

void GdiplusTarget::SetClip(const RECT& clip) {
  m_clip = Intersect(clip, RECT{0, 0, m_width, m_height});
  m_graphics->SetClip(ToGdiplus(m_clip), Gdiplus::CombineModeReplace);
}

void GdiplusTarget::FillRect(const RECT& rect, DWORD argb) {
  const RECT r = Intersect(rect, m_clip);
  if (IsEmpty(r) || (argb >> 24) == 0) return;
  Gdiplus::SolidBrush brush{Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb))};
  m_graphics->FillRectangle(&brush, ToGdiplus(r));
}

void GdiplusTarget::FillGradientV(const RECT& rect, DWORD top, DWORD bottom) {
  // Row by row, as the Linux backend draws it: a gradient brush would tile its edges.
  const long h = rect.bottom - rect.top;
  for (long i = 0; i < h; ++i) {
    auto mix = [&](int shift) {
      const long a = (top >> shift) & 0xFF;
      const long b = (bottom >> shift) & 0xFF;
      const long v = h > 1 ? a + (b - a) * i / (h - 1) : a;
      return static_cast<DWORD>(v) << shift;
    };
    FillRect(RECT{rect.left, rect.top + i, rect.right, rect.top + i + 1},
             mix(24) | mix(16) | mix(8) | mix(0));
  }
}

void GdiplusTarget::DrawTextRun(const IFont& font, int x, int y, std::u16string_view text,
                                DWORD argb) {
  const auto* gdiplusFont = dynamic_cast<const GdiplusFont*>(&font);
  if (!gdiplusFont || text.empty() || (argb >> 24) == 0) return;
  const std::wstring wide = Wide(text);
  Gdiplus::SolidBrush brush{Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb))};
  m_graphics->DrawString(
      wide.c_str(), static_cast<INT>(wide.size()), &gdiplusFont->Font(),
      Gdiplus::PointF(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y)), &RunFormat(),
      &brush);
}

void GdiplusTarget::DrawImage(const IImage& image, const RECT& source, const RECT& dest, int fade) {
  const auto* gdiplusImage = dynamic_cast<const GdiplusImage*>(&image);
  if (!gdiplusImage || IsEmpty(source) || IsEmpty(dest) || fade <= 0) return;
  Gdiplus::ImageAttributes attributes;
  // Sampling beyond the source rectangle's edges mirrors it instead of pulling in
  // the neighbouring parts of the image (nine-grid pieces stay clean).
  attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  if (fade < 255) {
    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                    {0, 1, 0, 0, 0},
                                    {0, 0, 1, 0, 0},
                                    {0, 0, 0, static_cast<Gdiplus::REAL>(fade) / 255.0f, 0},
                                    {0, 0, 0, 0, 1}}};
    attributes.SetColorMatrix(&matrix);
  }
  const bool sameSize = (source.right - source.left) == (dest.right - dest.left) &&
                        (source.bottom - source.top) == (dest.bottom - dest.top);
  m_graphics->SetInterpolationMode(sameSize ? Gdiplus::InterpolationModeNearestNeighbor
                                            : Gdiplus::InterpolationModeHighQualityBilinear);
  m_graphics->DrawImage(&gdiplusImage->Bitmap(), ToGdiplus(dest), static_cast<INT>(source.left),
                        static_cast<INT>(source.top), static_cast<INT>(source.right - source.left),
                        static_cast<INT>(source.bottom - source.top), Gdiplus::UnitPixel,
                        &attributes);
}

const std::vector<std::uint32_t>& GdiplusTarget::Pixels() const {
  m_graphics->Flush(Gdiplus::FlushIntentionSync);
  return m_pixels;
}

std::vector<std::uint32_t> GdiplusTarget::ReadPixels() const {
  return Pixels();
}

bool SaveTargetAsPng(GdiplusTarget& target, const std::string& pathUtf8) {
  CLSID png;
  if (!PngEncoder(png)) return false;
  target.Pixels();  // flushed
  const std::wstring path = Wide(Utf8ToUtf16(pathUtf8));
  return target.Bitmap().Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

}  // namespace pinvale::ui::win32
