#include "ui/sdl/sdl_font.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <map>
#include <mutex>

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

// A font file opened once for all the faces cut from it (every size and weight of the
// skin's one family). FreeType seeks before nearly every read; through a stdio stream each
// seek costs a system call and a 4 KiB refill, so the faces read with pread at their own
// offsets instead, and no mapping of the file adds to the resident memory.
class FontFile {
 public:
  static std::shared_ptr<FontFile> Open(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<FontFile>> open;
    std::lock_guard lock(mutex);
    if (auto file = open[path].lock()) return file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      ::close(fd);
      return nullptr;
    }
    auto file = std::shared_ptr<FontFile>(new FontFile(fd, info.st_size));
    open[path] = file;
    return file;
  }
  ~FontFile() { ::close(m_fd); }
  FontFile(const FontFile&) = delete;
  FontFile& operator=(const FontFile&) = delete;

  // A stream of its own for one face; SDL_ttf closes it with the face.
  SDL_RWops* NewStream(const std::shared_ptr<FontFile>& self) const {
    SDL_RWops* rw = SDL_AllocRW();
    if (!rw) return nullptr;
    rw->type = SDL_RWOPS_UNKNOWN;
    rw->size = &Size;
    rw->seek = &Seek;
    rw->read = &Read;
    rw->write = &Write;
    rw->close = &Close;
    rw->hidden.unknown.data1 = std::make_unique<Stream>(Stream{self, 0}).release();
    return rw;
  }

 private:
  struct Stream {
    std::shared_ptr<FontFile> file;
    Sint64 offset;
  };
  FontFile(int fd, Sint64 size) : m_fd(fd), m_size(size) {}
  static Stream& Of(SDL_RWops* rw) { return *static_cast<Stream*>(rw->hidden.unknown.data1); }

  static Sint64 SDLCALL Size(SDL_RWops* rw) { return Of(rw).file->m_size; }
  static Sint64 SDLCALL Seek(SDL_RWops* rw, Sint64 offset, int whence) {
    Stream& s = Of(rw);
    const Sint64 base = whence == RW_SEEK_SET   ? 0
                        : whence == RW_SEEK_CUR ? s.offset
                                                : s.file->m_size;
    if (base + offset < 0) return -1;
    s.offset = base + offset;
    return s.offset;
  }
  static size_t SDLCALL Read(SDL_RWops* rw, void* ptr, size_t size, size_t count) {
    Stream& s = Of(rw);
    if (size == 0 || count == 0) return 0;
    size_t done = 0;
    const size_t want = size * count;
    while (done < want) {
      const ssize_t n = pread(s.file->m_fd, static_cast<char*>(ptr) + done, want - done,
                              static_cast<off_t>(s.offset + static_cast<Sint64>(done)));
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    s.offset += static_cast<Sint64>(done);
    return done / size;
  }
  static size_t SDLCALL Write(SDL_RWops*, const void*, size_t, size_t) { return 0; }
  static int SDLCALL Close(SDL_RWops* rw) {
    std::unique_ptr<Stream> owned(static_cast<Stream*>(rw->hidden.unknown.data1));
    SDL_FreeRW(rw);
    return 0;
  }

  int m_fd;
  Sint64 m_size;
};

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

  // Glyph metrics and kerning come from SDL_ttf's small glyph cache, which loads a glyph
  // from the font file again whenever two characters share a slot, and loads both glyphs of
  // every pair asked for its kerning. A line is measured several times per layout pass, so
  // the face remembers the answers in tables of fixed size: any text may name any
  // character, and a table that never grows needs no bound.
  int AdvanceOf(char32_t c) {
    CachedAdvance& slot = advances[c % advances.size()];
    if (slot.c != c) {
      int minx = 0, maxx = 0, miny = 0, maxy = 0, advance = 0;
      if (TTF_GlyphMetrics32(font, c, &minx, &maxx, &miny, &maxy, &advance) != 0) advance = 0;
      slot = CachedAdvance{c, advance};
    }
    return slot.advance;
  }
  int KerningOf(char32_t previous, char32_t c) {
    CachedKerning& slot = kernings[(previous * 31 + c) % kernings.size()];
    if (slot.previous != previous || slot.c != c) {
      slot = CachedKerning{previous, c, TTF_GetFontKerningSizeGlyphs32(font, previous, c)};
    }
    return slot.kerning;
  }

 private:
  static constexpr char32_t kNoCharacter = 0xFFFFFFFF;
  struct CachedAdvance {
    char32_t c = kNoCharacter;
    int advance = 0;
  };
  struct CachedKerning {
    char32_t previous = kNoCharacter;
    char32_t c = kNoCharacter;
    int kerning = 0;
  };
  // 8 KiB a face: every face a window opens keeps them for its life.
  std::array<CachedAdvance, 256> advances{};
  std::array<CachedKerning, 512> kernings{};
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
  if (std::shared_ptr<FontFile> source = FontFile::Open(file.path)) {
    if (SDL_RWops* stream = source->NewStream(source)) {
      face->font = TTF_OpenFontIndexRW(stream, 1, m_spec.size, file.index);
    }
  }
  if (face->font) {
    int style = TTF_STYLE_NORMAL;
    if (file.syntheticBold) style |= TTF_STYLE_BOLD;
    if (file.syntheticItalic) style |= TTF_STYLE_ITALIC;
    TTF_SetFontStyle(face->font, style);
    // The font's own hinting instructions where it has them: as sharp as the light mode,
    // which always runs FreeType's auto-hinter, whose set-up for a CJK face of tens of
    // thousands of glyphs costs milliseconds on the first glyphs of every face. But a
    // font's instructions widen glyphs by different amounts at different sizes, and text
    // laid out at 96 DPI and drawn at a display scale would then run past its box (a line's
    // last character cut off at 1.25): a face drawing another size's layout keeps the light
    // mode, which leaves the proportions of the advances alone.
    TTF_SetFontHinting(face->font,
                       m_spec.drawsAnotherSizesLayout ? TTF_HINTING_LIGHT : TTF_HINTING_NORMAL);
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

namespace {

// The character at text[i] and the number of UTF-16 units it takes. A lone half of a
// surrogate pair is no character: it is drawn as U+FFFD, as its UTF-8 form reads.
char32_t CharacterAt(std::u16string_view text, size_t i, size_t& units) {
  units = 1;
  const char16_t c = text[i];
  if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
    units = 2;
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  return c;
}

char32_t Drawable(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : c;
}

}  // namespace

template <typename Visit>
void SdlFont::ForEachSegment(std::u16string_view text, Visit&& visit) const {
  size_t start = 0;
  size_t face = 0;
  size_t units = 1;
  for (size_t i = 0; i < text.size(); i += units) {
    const size_t next = FaceFor(CharacterAt(text, i, units));
    if (i > start && next != face) {
      visit(Segment{text.substr(start, i - start), face});
      start = i;
    }
    face = next;
  }
  if (start < text.size()) visit(Segment{text.substr(start), face});
}

// The pen advance of a run: what the next run's origin must be. TTF_SizeUTF8 gives the ink
// box instead, which drops the advance of trailing blanks and so does not add up word by word.
// With `before`, it also tells how many UTF-16 units come ahead of the first character the
// pen reaches at `limit`, so one walk gives both the advance and where to cut the run.
int SdlFont::Advance(const Segment& segment, int limit, size_t* before) const {
  if (before) *before = segment.text.size();
  Face* face = OpenFace(segment.face);
  if (!face) return 0;
  int pen = 0;
  char32_t previous = 0;
  size_t units = 1;
  for (size_t i = 0; i < segment.text.size(); i += units) {
    const char32_t c = Drawable(CharacterAt(segment.text, i, units));
    if (previous != 0) pen += face->KerningOf(previous, c);
    if (before && pen >= limit && *before == segment.text.size()) *before = i;
    pen += face->AdvanceOf(c);
    previous = c;
  }
  return pen;
}

SIZE SdlFont::Measure(std::u16string_view text) const {
  SIZE size{0, Height()};
  ForEachSegment(text, [&](const Segment& segment) { size.cx += Advance(segment); });
  return size;
}

void SdlFont::Draw(SurfaceTarget& target, int x, int y, std::u16string_view text,
                   DWORD argb) const {
  const SDL_Color color{static_cast<Uint8>(argb >> 16), static_cast<Uint8>(argb >> 8),
                        static_cast<Uint8>(argb), static_cast<Uint8>(argb >> 24)};
  const int ascent = TTF_FontAscent(m_faces[0]->font);
  // Text outside the clip is only measured, not rendered: rendering a run makes a surface
  // as large as the run, and a long line of a small window is mostly out of sight. Ink may
  // reach past the pen advance (italics, a fallback face's taller glyphs): a margin of a
  // line height on every side keeps it.
  const RECT clip = target.Clip();
  const int margin = Height();
  if (y - margin >= clip.bottom || y + 2 * margin <= clip.top) return;
  ForEachSegment(text, [&](const Segment& segment) {
    // A run reaching far past the right edge is cut there; what stays keeps its place.
    size_t shown = 0;
    const int w = Advance(segment, clip.right + margin - x, &shown);
    Face* face = OpenFace(segment.face);
    if (face && x + w + margin > clip.left && x - margin < clip.right) {
      const std::string utf8 = Utf16ToUtf8(segment.text.substr(0, shown));
      SurfacePtr rendered(TTF_RenderUTF8_Blended(face->font, utf8.c_str(), color));
      if (rendered) {
        // Faces share the primary face's baseline.
        target.BlendSurface(rendered.get(), x, y + ascent - TTF_FontAscent(face->font));
      }
    }
    x += w;
  });
}

}  // namespace pinvale::ui::sdl
