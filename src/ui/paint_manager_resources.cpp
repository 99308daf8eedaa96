// The manager's resources: the process-wide skin archive and paths, the font table and
// the fonts opened from it, decoded images, and the display scale they are opened for.

#include <unistd.h>

#include <algorithm>

#include "ui/image_drawing.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"
#include "ui/scaled_drawing.h"
#include "ui/skin_resources.h"
#include "ui/ui_text.h"
#include "ui/window_messages.h"

namespace pinvale::ui {
namespace {

struct ResourceState {
  void* instance = nullptr;
  std::u16string resourcePath;
  std::u16string zipName;
  std::unique_ptr<SkinArchive> archive;
  bool zipFileTried = false;
};

ResourceState& Resources() {
  static ResourceState state;
  return state;
}

// "images/Close.png" -> "images/Close@2x.png": the picture drawn at twice the size.
std::u16string TwiceName(std::u16string_view entry) {
  std::u16string name(entry);
  const size_t slash = name.find_last_of(u"/\\");
  const size_t dot = name.rfind(u'.');
  const bool hasExtension =
      dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash);
  name.insert(hasExtension ? dot : name.size(), u"@2x");
  return name;
}

}  // namespace

// ---------------- process-wide resources ----------------

void CPaintManagerUI::SetInstance(void* instance) {
  Resources().instance = instance;
}
void* CPaintManagerUI::GetInstance() {
  return Resources().instance;
}

std::u16string CPaintManagerUI::GetInstancePath() {
#ifdef _WIN32
  return detail::ExecutableDirectory();  // ui/win32
#else
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return u"./";
  std::string path(buffer, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  path = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
  return Utf8ToUtf16(path);
#endif
}

void CPaintManagerUI::SetResourcePath(std::u16string_view path) {
  std::u16string p(path);
  if (!p.empty() && p.back() != u'/' && p.back() != u'\\') p.push_back(u'/');
  Resources().resourcePath = p;
}

std::u16string CPaintManagerUI::GetResourcePath() {
  return Resources().resourcePath;
}

void CPaintManagerUI::SetResourceZip(std::u16string_view zipName, bool /*cachePackage*/) {
  Resources().zipName = zipName;
  Resources().zipFileTried = false;
}

bool CPaintManagerUI::SetResourceZip(std::span<const std::uint8_t> zipBytes) {
  std::unique_ptr<SkinArchive> archive = SkinArchive::Open(zipBytes);
  if (!archive) return false;
  Resources().archive = std::move(archive);
  return true;
}

std::u16string CPaintManagerUI::GetResourceZip() {
  return Resources().zipName;
}

bool CPaintManagerUI::LoadResource(std::u16string_view entry, std::vector<std::uint8_t>& out) {
  ResourceState& r = Resources();
  if (!r.archive && !r.zipName.empty() && !r.zipFileTried) {
    r.zipFileTried = true;
    std::vector<std::uint8_t> bytes;
    if (ReadWholeFile(Utf16ToUtf8(r.resourcePath + r.zipName), bytes)) {
      r.archive = SkinArchive::Open(std::move(bytes));
    }
  }
  if (r.archive) return r.archive->Read(Utf16ToUtf8(entry), out);
  return ReadWholeFile(Utf16ToUtf8(r.resourcePath + std::u16string(entry)), out);
}

void CPaintManagerUI::ResetResources() {
  Resources() = ResourceState{};
}

// ---------------- scale ----------------

void CPaintManagerUI::SetScale(ScaleFactor scale) {
  if (scale == m_scale) return;
  m_scale = scale;
  m_styleFonts.clear();
  ForgetMeasures();
  m_images.clear();
  m_scaledTarget.reset();
  m_paintDC = nullptr;
  NeedUpdate();
}

// ---------------- fonts ----------------

int CPaintManagerUI::AddFont(std::u16string_view name, int size, bool bold, bool italic,
                             bool underline, bool isDefault) {
  FontEntry entry;
  entry.info.sFontName = name;
  entry.info.iSize = size > 0 ? size : 12;
  entry.info.bBold = bold;
  entry.info.bItalic = italic;
  entry.info.bUnderline = underline;
  entry.isDefault = isDefault;
  m_fonts.push_back(entry);
  const bool haveDefault = std::any_of(m_fonts.begin(), m_fonts.end() - 1,
                                       [](const FontEntry& f) { return f.isDefault; });
  if (isDefault && !haveDefault) m_defaultFont = entry;
  m_styleFonts.clear();
  ForgetMeasures();
  NeedUpdate();
  return static_cast<int>(m_fonts.size()) - 1;
}

void CPaintManagerUI::SetDefaultFont(std::u16string_view name, int size, bool bold, bool italic,
                                     bool underline) {
  m_defaultFont = FontEntry{};
  m_defaultFont.info.sFontName = name;
  m_defaultFont.info.iSize = size;
  m_defaultFont.info.bBold = bold;
  m_defaultFont.info.bItalic = italic;
  m_defaultFont.info.bUnderline = underline;
  m_styleFonts.clear();
  ForgetMeasures();
  NeedUpdate();
}

IFont* CPaintManagerUI::GetFont(int index) {
  TextStyle style;
  style.font = index;
  return FontForStyle(style);
}

IFont* CPaintManagerUI::FontForStyle(const TextStyle& style) {
  const bool inTable = style.font >= 0 && style.font < static_cast<int>(m_fonts.size());
  const TFontInfo& base =
      inTable ? m_fonts[static_cast<size_t>(style.font)].info : m_defaultFont.info;
  const bool bold = base.bBold || style.bold;
  const bool italic = base.bItalic || style.italic;
  const bool underline = base.bUnderline || style.underline;
  const size_t slot =
      static_cast<size_t>(inTable ? style.font + 1 : 0) * 8 + bold * 4 + italic * 2 + underline;
  if (slot >= m_styleFonts.size()) m_styleFonts.resize(slot + 1);
  if (m_styleFonts[slot].known) return m_styleFonts[slot].font.get();
  IUiBackend* backend = Backend();
  if (!backend) return nullptr;
  FontSpec spec;
  spec.family = Utf16ToUtf8(base.sFontName);
  spec.size = base.iSize;
  spec.bold = bold;
  spec.italic = italic;
  spec.underline = underline;
  std::shared_ptr<IFont> font = backend->OpenFont(spec);
  if (font && !m_scale.IsOne()) {
    // Measured at 96 DPI (the same layout at every scale), drawn at the scaled size.
    FontSpec scaled = spec;
    scaled.size = static_cast<int>(m_scale.ToPixels(spec.size));
    scaled.drawsAnotherSizesLayout = true;
    std::shared_ptr<IFont> pixels = backend->OpenFont(scaled);
    if (pixels) font = std::make_shared<ScaledFont>(std::move(font), std::move(pixels));
  }
  m_styleFonts[slot] = StyleFont{true, font};
  return font.get();
}

const TFontInfo* CPaintManagerUI::GetFontInfo(int index) {
  FontEntry& entry = (index >= 0 && index < static_cast<int>(m_fonts.size()))
                         ? m_fonts[static_cast<size_t>(index)]
                         : m_defaultFont;
  TextStyle style;
  style.font = index;
  entry.info.tmHeight = Measurer().FontHeight(style);
  return &entry.info;
}

SIZE CPaintManagerUI::MeasureText(int index, std::u16string_view text) {
  std::u16string clean(text);
  std::replace(clean.begin(), clean.end(), u'\t', u' ');
  TextStyle style;
  style.font = index;
  return SIZE{Measurer().TextWidth(style, clean), Measurer().FontHeight(style)};
}

const TextLayout* CPaintManagerUI::PassLayout(const CControlUI* control, SIZE size) const {
  const auto it = m_passLayouts.find(control);
  if (it == m_passLayouts.end()) return nullptr;
  const SIZE kept = it->second.size;
  return kept.cx == size.cx && kept.cy == size.cy ? &it->second.layout : nullptr;
}

const TextLayout& CPaintManagerUI::KeepPassLayout(const CControlUI* control, SIZE size,
                                                  TextLayout layout) {
  KeptLayout& kept = m_passLayouts[control];
  kept.size = size;
  kept.layout = std::move(layout);
  return kept.layout;
}

ITextMeasurer& CPaintManagerUI::Measurer() {
  return m_testMeasurer ? *m_testMeasurer : static_cast<ITextMeasurer&>(*this);
}

int CPaintManagerUI::FontHeight(const TextStyle& style) {
  if (IFont* font = FontForStyle(style)) return font->Height();
  return 0;
}

int CPaintManagerUI::TextWidth(const TextStyle& style, std::u16string_view text) {
  IFont* font = FontForStyle(style);
  if (!font) return 0;
  WordWidths& widths = m_passWidths[font];
  if (auto it = widths.find(text); it != widths.end()) return it->second;
  const int width = font->Measure(text).cx;
  widths.emplace(std::u16string(text), width);
  return width;
}

// ---------------- images ----------------

std::shared_ptr<IImage> CPaintManagerUI::GetImage(std::u16string_view entry,
                                                  std::optional<DWORD> mask) {
  // Mask 0 would be a fully transparent black, which no image needs masked: use it as "none".
  const auto key = std::make_pair(std::u16string(entry), mask.value_or(0));
  auto it = m_images.find(key);
  if (it != m_images.end()) return it->second;
  std::shared_ptr<IImage> image;
  IUiBackend* backend = Backend();
  std::vector<std::uint8_t> bytes;
  if (backend && LoadResource(entry, bytes)) image = backend->DecodeImage(bytes, mask);
  if (backend && !m_scale.IsOne()) {
    std::shared_ptr<IImage> twice;
    bytes.clear();
    if (LoadResource(TwiceName(entry), bytes)) twice = backend->DecodeImage(bytes, mask);
    if (image || twice) image = std::make_shared<ScaledImage>(std::move(image), std::move(twice));
  }
  m_images[key] = image;  // a missing image is remembered too
  return image;
}

}  // namespace pinvale::ui
