#include "ui/paint_manager.h"

#include <unistd.h>

#include <algorithm>

#include "ui/container.h"
#include "ui/image_drawing.h"
#include "ui/label.h"
#include "ui/native_window.h"
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

std::uint64_t NowMs() {
  IUiBackend* backend = Backend();
  return backend ? backend->NowMs() : 0;
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

// ---------------- window ----------------

CPaintManagerUI::CPaintManagerUI() {
  m_defaultFont.info.sFontName = u"微软雅黑";
  m_defaultFont.info.iSize = 12;
}

CPaintManagerUI::~CPaintManagerUI() {
  // Controls tell their manager when they die; detach them first so nothing calls back here.
  if (m_root) m_root->ForEach([](CControlUI& c) { c.SetManager(nullptr, c.GetParent()); });
  m_focus = m_hot = m_capture = m_pressed = nullptr;
  m_root.reset();
}

void CPaintManagerUI::Init(HWND hwnd) {
  m_hwnd = hwnd;
}

void CPaintManagerUI::SetInitSize(int width, int height) {
  m_initSize = SIZE{width, height};
}

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

void CPaintManagerUI::SetClientSize(SIZE size) {
  if (size == m_clientSize) return;
  m_clientSize = size;
  NeedUpdate();
}

void CPaintManagerUI::SetWindowAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"size") {
    const SIZE s = ParseSize(value);
    SetInitSize(s.cx, s.cy);
  } else if (name == u"mininfo") {
    const SIZE s = ParseSize(value);
    SetMinInfo(s.cx, s.cy);
  } else if (name == u"maxinfo") {
    const SIZE s = ParseSize(value);
    SetMaxInfo(s.cx, s.cy);
  } else if (name == u"caption") {
    SetCaptionRect(ParseRect(value));
  } else if (name == u"sizebox") {
    SetSizeBox(ParseRect(value));
  }
}

// ---------------- controls ----------------

bool CPaintManagerUI::AttachDialog(std::unique_ptr<CControlUI> root) {
  if (!root) return false;
  if (m_root) m_root->ForEach([](CControlUI& c) { c.SetManager(nullptr, c.GetParent()); });
  m_focus = m_hot = m_capture = m_pressed = nullptr;
  m_root = std::move(root);
  m_root->SetManager(this, nullptr);
  m_firstLayout = true;
  NeedUpdate();
  return true;
}

CControlUI* CPaintManagerUI::FindControl(std::u16string_view name) const {
  return m_root ? m_root->FindByName(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  return m_root ? m_root->FindAt(pt) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent,
                                                  std::u16string_view name) const {
  return parent ? parent->FindByName(name) : nullptr;
}

void CPaintManagerUI::ReapControl(CControlUI* control) {
  ForgetPassLayout(control);
  if (m_focus == control) m_focus = nullptr;
  if (m_hot == control) {
    // Going away: no mouse-leave for it, but its tooltip goes with it.
    m_hot = nullptr;
    HideToolTip();
  }
  if (m_capture == control) m_capture = nullptr;
  if (m_pressed == control) m_pressed = nullptr;
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

// ---------------- default attributes and images ----------------

void CPaintManagerUI::AddDefaultAttributeList(std::u16string_view controlClass,
                                              std::u16string_view list) {
  m_defaultAttributes[std::u16string(controlClass)] = std::u16string(list);
}

std::u16string CPaintManagerUI::GetDefaultAttributeList(std::u16string_view controlClass) const {
  auto it = m_defaultAttributes.find(controlClass);
  return it == m_defaultAttributes.end() ? std::u16string{} : it->second;
}

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

// ---------------- focus, hot, capture ----------------

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_focus) return;
  if (control && (!control->IsVisible() || !control->IsEnabled())) return;
  if (CControlUI* old = m_focus) {
    m_focus = nullptr;
    TEventUI event;
    event.Type = UIEvent::kKillFocus;
    event.pSender = old;
    old->DoEvent(event);
    SendNotify(old, u"killfocus");
  }
  if (!control) return;
  m_focus = control;
  TEventUI event;
  event.Type = UIEvent::kSetFocus;
  event.pSender = control;
  control->DoEvent(event);
  SendNotify(control, u"setfocus");
}

bool CPaintManagerUI::SetNextTabControl(bool forward) {
  if (!m_root) return false;
  std::vector<CControlUI*> order;
  m_root->ForEach([&](CControlUI& c) {
    if (c.IsFocusable() && c.IsVisible() && c.IsEnabled()) order.push_back(&c);
  });
  if (order.empty()) return false;
  auto it = std::find(order.begin(), order.end(), m_focus);
  size_t index;
  if (it == order.end()) {
    index = forward ? 0 : order.size() - 1;
  } else {
    const size_t current = static_cast<size_t>(it - order.begin());
    index = forward ? (current + 1) % order.size() : (current + order.size() - 1) % order.size();
  }
  SetFocus(order[index]);
  return true;
}

void CPaintManagerUI::SetCapture(CControlUI* control) {
  m_capture = control;
}

bool CPaintManagerUI::IsCaptionHit(POINT pt) const {
  const RECT band{m_caption.left, m_caption.top, m_clientSize.cx - m_caption.right,
                  m_caption.bottom};
  if (!Contains(band, pt)) return false;
  CControlUI* hit = FindControl(pt);
  if (!hit) return true;
  if (hit->IsFocusable()) return false;
  if (auto* text = dynamic_cast<CTextUI*>(hit); text && text->GetLinkCount() > 0) return false;
  return true;
}

// ---------------- notifications and input ----------------

void CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end()) {
    m_notifiers.push_back(notifier);
  }
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  std::erase(m_notifiers, notifier);
}

void CPaintManagerUI::SendNotify(CControlUI* sender, std::u16string_view type, WPARAM wParam,
                                 LPARAM lParam) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.ptMouse = m_lastMouse;
  msg.dwTimestamp = static_cast<DWORD>(NowMs());
  const std::vector<INotifyUI*> notifiers = m_notifiers;  // a handler may change the list
  for (INotifyUI* notifier : notifiers) notifier->Notify(msg);
}

void CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
  if (std::find(m_preFilters.begin(), m_preFilters.end(), filter) == m_preFilters.end()) {
    m_preFilters.push_back(filter);
  }
}

void CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) {
  std::erase(m_preFilters, filter);
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  const std::vector<IMessageFilterUI*> filters = m_preFilters;
  for (IMessageFilterUI* filter : filters) {
    bool handled = false;
    const LRESULT result = filter->MessageHandler(uMsg, wParam, lParam, handled);
    if (handled) {
      lRes = result;
      return true;
    }
  }
  return false;
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  lRes = 0;
  if (!m_root) return false;
  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  auto deliver = [&](CControlUI* target, UIEvent type) {
    TEventUI event;
    event.Type = type;
    event.pSender = target;
    event.ptMouse = m_lastMouse;
    event.shift = shift;
    event.control = control;
    event.wParam = wParam;
    event.lParam = lParam;
    event.chKey = static_cast<char16_t>(wParam);
    event.dwTimestamp = static_cast<DWORD>(NowMs());
    target->DoEvent(event);
  };
  switch (uMsg) {
    case WM_MOUSEMOVE: {
      m_lastMouse = pt;
      if (m_capture) {
        deliver(m_capture, UIEvent::kMouseMove);
        return true;
      }
      CControlUI* hit = FindControl(pt);
      SetHot(HoverTarget(pt), pt);
      if (hit) deliver(hit, UIEvent::kMouseMove);
      return true;
    }
    case WM_MOUSELEAVE:
      if (!m_capture) SetHot(nullptr, m_lastMouse);
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      m_lastMouse = pt;
      HideToolTip();
      CControlUI* hit = FindControl(pt);
      SetHot(HoverTarget(pt), pt);
      if (!hit) return true;
      if (hit->IsFocusable() && hit->IsEnabled()) SetFocus(hit);
      m_capture = hit;
      deliver(hit, UIEvent::kButtonDown);
      return true;
    }
    case WM_LBUTTONUP: {
      m_lastMouse = pt;
      CControlUI* target = m_capture ? m_capture : FindControl(pt);
      m_capture = nullptr;
      const std::uint64_t hoverChanges = m_hoverChanges;
      if (target) deliver(target, UIEvent::kButtonUp);
      // The pointer may have left the control while the button was held. A click that
      // opened a dialog returns only when the dialog has closed: by then the pointer is
      // elsewhere, and the moves since have set the hover already.
      if (hoverChanges == m_hoverChanges) SetHot(HoverTarget(pt), pt);
      return true;
    }
    case WM_KEYDOWN:
      if (wParam == VK_TAB) {
        SetNextTabControl(!shift);
        return true;
      }
      if (m_focus) {
        deliver(m_focus, UIEvent::kKeyDown);
        return true;
      }
      return false;
    case WM_CHAR:
      if (m_focus) {
        deliver(m_focus, UIEvent::kChar);
        return true;
      }
      return false;
    case WM_KILLFOCUS:
      m_capture = nullptr;
      return false;
    default:
      return false;
  }
}

// ---------------- layout and painting ----------------

void CPaintManagerUI::NeedUpdate() {
  m_updateNeeded = true;
  m_invalid = true;
}

void CPaintManagerUI::Invalidate() {
  m_invalid = true;
}

void CPaintManagerUI::DoLayout() {
  ForgetMeasures();
  LayOutRoot();
  ForgetMeasures();
}

void CPaintManagerUI::LayOutRoot() {
  if (!m_root) return;
  m_updateNeeded = false;
  m_root->SetPos(RECT{0, 0, m_clientSize.cx, m_clientSize.cy});
  m_invalid = true;
  if (m_firstLayout) {
    m_firstLayout = false;
    SendNotify(m_root.get(), u"windowinit");
  }
}

void CPaintManagerUI::Paint(IRenderTarget& target) {
  if (m_scale.IsOne()) {
    PaintUnits(target);
    return;
  }
  m_scaledTarget = std::make_unique<ScaledTarget>(target, m_scale);
  PaintUnits(*m_scaledTarget);
}

void CPaintManagerUI::PaintUnits(IRenderTarget& target) {
  ForgetMeasures();
  m_paintDC = &target;
  // The layout and the drawing are one pass: the drawing uses the layouts of the texts.
  if (m_updateNeeded || m_firstLayout) LayOutRoot();
  if (m_updateNeeded) {
    ForgetMeasures();  // windowinit may have changed the tree
    LayOutRoot();
  }
  const SIZE size = target.Size();
  const RECT all{0, 0, size.cx, size.cy};
  target.SetClip(all);
  target.FillRect(all, 0xFFFFFFFF);
  if (m_root && m_root->IsVisible()) m_root->DoPaint(target, all);
  target.SetClip(all);
  PaintToolTip(target);
  ForgetMeasures();
  m_invalid = false;
}

}  // namespace pinvale::ui
