#include "ui/sdl/sdl_font.h"

#include <algorithm>

#include "ui/sdl/sdl_surface.h"
#include "ui/ui_text.h"

namespace pinvale::ui::sdl {
namespace {

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct CharSetDeleter {
  void operator()(FcCharSet* c) const { FcCharSetDestroy(c); }
};

// Enough candidates for any script the UI shows; the rest of the sorted list is never needed.
constexpr int kMaxCandidates = 12;

}  // namespace

struct FaceCandidates {
  std::vector<FaceFile> files;
  std::vector<std::unique_ptr<FcCharSet, CharSetDeleter>> charsets;
};

struct SdlFont::Face {
  TTF_Font* font = nullptr;
  ~Face() {
    if (font) TTF_CloseFont(font);
  }
};

std::unique_ptr<SdlFont> SdlFont::Open(const FontSpec& spec) {
  auto result = std::unique_ptr<SdlFont>(new SdlFont());
  result->m_spec = spec;
  result->m_candidates = std::make_unique<FaceCandidates>();

  std::unique_ptr<FcPattern, PatternDeleter> pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(spec.family.c_str()));
  FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, spec.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, spec.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddDouble(pattern.get(), FC_PIXEL_SIZE, spec.size);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());

  FcResult res = FcResultNoMatch;
  std::unique_ptr<FcFontSet, FontSetDeleter> sorted(
      FcFontSort(nullptr, pattern.get(), FcTrue, nullptr, &res));
  if (!sorted) return nullptr;
  for (int i = 0;
       i < sorted->nfont && static_cast<int>(result->m_candidates->files.size()) < kMaxCandidates;
       ++i) {
    FcPattern* font = sorted->fonts[i];
    FcChar8* file = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) continue;
    std::string path(reinterpret_cast<const char*>(file));
    // SDL_ttf reads TrueType and OpenType only.
    const auto dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : path.substr(dot);
    if (ext != ".ttf" && ext != ".ttc" && ext != ".otf" && ext != ".TTF" && ext != ".OTF") {
      continue;
    }
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    int weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
    int slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(font, FC_SLANT, 0, &slant);
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch || !charset) continue;

    FaceFile face;
    face.path = path;
    face.index = index;
    face.syntheticBold = spec.bold && weight < FC_WEIGHT_DEMIBOLD;
    face.syntheticItalic = spec.italic && slant == FC_SLANT_ROMAN;
    result->m_candidates->files.push_back(face);
    result->m_candidates->charsets.emplace_back(FcCharSetCopy(charset));
  }
  if (result->m_candidates->files.empty()) return nullptr;
  result->m_faces.resize(result->m_candidates->files.size());
  if (!result->OpenFace(0)) return nullptr;
  return result;
}

SdlFont::~SdlFont() = default;

SdlFont::Face* SdlFont::OpenFace(size_t candidate) const {
  if (candidate >= m_faces.size()) return nullptr;
  if (m_faces[candidate]) return m_faces[candidate]->font ? m_faces[candidate].get() : nullptr;
  auto face = std::make_unique<Face>();
  const FaceFile& file = m_candidates->files[candidate];
  face->font = TTF_OpenFontIndex(file.path.c_str(), m_spec.size, file.index);
  if (face->font) {
    int style = TTF_STYLE_NORMAL;
    if (file.syntheticBold) style |= TTF_STYLE_BOLD;
    if (file.syntheticItalic) style |= TTF_STYLE_ITALIC;
    TTF_SetFontStyle(face->font, style);
    TTF_SetFontHinting(face->font, TTF_HINTING_LIGHT);
  }
  m_faces[candidate] = std::move(face);
  return m_faces[candidate]->font ? m_faces[candidate].get() : nullptr;
}

const FaceFile& SdlFont::PrimaryFace() const {
  return m_candidates->files.front();
}

int SdlFont::Height() const {
  return TTF_FontHeight(m_faces[0]->font);
}

size_t SdlFont::FaceFor(char32_t c) const {
  if (c < 0x20) return 0;
  for (size_t i = 0; i < m_candidates->files.size(); ++i) {
    if (FcCharSetHasChar(m_candidates->charsets[i].get(), c) && OpenFace(i)) return i;
  }
  return 0;  // nobody has it: the primary face draws its missing-glyph box
}

std::vector<SdlFont::Segment> SdlFont::Segments(std::u16string_view text) const {
  std::vector<Segment> segments;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    size_t units = 1;
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      units = 2;
    }
    const size_t face = FaceFor(c);
    const std::string utf8 = Utf16ToUtf8(text.substr(i, units));
    if (segments.empty() || segments.back().face != face) {
      segments.push_back(Segment{utf8, face});
    } else {
      segments.back().utf8 += utf8;
    }
    i += units - 1;
  }
  return segments;
}

// The pen advance of a run: what the next run's origin must be. TTF_SizeUTF8 gives the ink
// box instead, which drops the advance of trailing blanks and so does not add up word by word.
int SdlFont::Advance(const Segment& segment) const {
  Face* face = OpenFace(segment.face);
  if (!face) return 0;
  const std::u16string text = Utf8ToUtf16(segment.utf8);
  int width = 0;
  char32_t previous = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    int minx = 0, maxx = 0, miny = 0, maxy = 0, advance = 0;
    if (TTF_GlyphMetrics32(face->font, c, &minx, &maxx, &miny, &maxy, &advance) == 0) {
      width += advance;
    }
    if (previous != 0) width += TTF_GetFontKerningSizeGlyphs32(face->font, previous, c);
    previous = c;
  }
  return width;
}

SIZE SdlFont::Measure(std::u16string_view text) const {
  SIZE size{0, Height()};
  for (const Segment& segment : Segments(text)) size.cx += Advance(segment);
  return size;
}

void SdlFont::Draw(SurfaceTarget& target, int x, int y, std::u16string_view text,
                   DWORD argb) const {
  const SDL_Color color{static_cast<Uint8>(argb >> 16), static_cast<Uint8>(argb >> 8),
                        static_cast<Uint8>(argb), static_cast<Uint8>(argb >> 24)};
  const int ascent = TTF_FontAscent(m_faces[0]->font);
  for (const Segment& segment : Segments(text)) {
    Face* face = OpenFace(segment.face);
    if (!face) continue;
    SurfacePtr rendered(TTF_RenderUTF8_Blended(face->font, segment.utf8.c_str(), color));
    const int w = Advance(segment);
    if (rendered) {
      // Faces share the primary face's baseline.
      target.BlendSurface(rendered.get(), x, y + ascent - TTF_FontAscent(face->font));
    }
    x += w;
  }
}

}  // namespace pinvale::ui::sdl
