#include "ui/control.h"

#include <algorithm>

#include "ui/image_drawing.h"
#include "ui/paint_manager.h"

namespace pinvale::ui {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (m_manager) m_manager->ReapControl(this);
}

void CControlUI::SetText(std::u16string_view text) {
  if (m_text == text) return;
  m_text = text;
  NeedParentUpdate();
}

void CControlUI::SetFixedXY(SIZE xy) {
  m_fixedXY = xy;
  NeedParentUpdate();
}
void CControlUI::SetFixedWidth(int width) {
  m_fixedWidth = std::max(0, width);
  NeedParentUpdate();
}
void CControlUI::SetFixedHeight(int height) {
  m_fixedHeight = std::max(0, height);
  NeedParentUpdate();
}
void CControlUI::SetMinWidth(int v) {
  m_minWidth = std::max(0, v);
  NeedParentUpdate();
}
void CControlUI::SetMaxWidth(int v) {
  m_maxWidth = std::max(0, v);
  NeedParentUpdate();
}
void CControlUI::SetMinHeight(int v) {
  m_minHeight = std::max(0, v);
  NeedParentUpdate();
}
void CControlUI::SetMaxHeight(int v) {
  m_maxHeight = std::max(0, v);
  NeedParentUpdate();
}
void CControlUI::SetPadding(RECT padding) {
  m_padding = padding;
  NeedParentUpdate();
}
void CControlUI::SetFloat(bool isFloat) {
  m_float = isFloat;
  NeedParentUpdate();
}

void CControlUI::SetPos(RECT pos) {
  if (pos.right < pos.left) pos.right = pos.left;
  if (pos.bottom < pos.top) pos.bottom = pos.top;
  m_pos = pos;
  Invalidate();
}

SIZE CControlUI::EstimateSize(SIZE /*available*/) {
  return SIZE{m_fixedWidth, m_fixedHeight};
}

void CControlUI::SetBkColor(DWORD argb) {
  m_bkColor = argb;
  Invalidate();
}
void CControlUI::SetBkColor2(DWORD argb) {
  m_bkColor2 = argb;
  Invalidate();
}
void CControlUI::SetBorderColor(DWORD argb) {
  m_borderColor = argb;
  Invalidate();
}
void CControlUI::SetFocusBorderColor(DWORD argb) {
  m_focusBorderColor = argb;
  Invalidate();
}
void CControlUI::SetBorderSize(int size) {
  m_borderSize = std::max(0, size);
  Invalidate();
}
void CControlUI::SetBorderRound(SIZE round) {
  m_borderRound = round;
  Invalidate();
}
void CControlUI::SetBkImage(std::u16string_view image) {
  m_bkImage = image;
  Invalidate();
}

void CControlUI::SetVisible(bool visible) {
  if (m_visible == visible) return;
  const bool wasVisible = IsVisible();
  m_visible = visible;
  if (wasVisible && !IsVisible() && m_manager) {
    m_manager->StopHovering(this);
    m_manager->ReapControl(this);
  }
  NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool visible) {
  const bool wasVisible = IsVisible();
  m_internVisible = visible;
  if (wasVisible && !IsVisible() && m_manager) {
    m_manager->StopHovering(this);
    m_manager->ReapControl(this);
  }
}

void CControlUI::SetEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  if (!enabled && m_manager) {
    m_manager->StopHovering(this);
    if (m_focused) m_manager->SetFocus(nullptr);
  }
  Invalidate();
}

void CControlUI::SetFocus() {
  if (m_manager) m_manager->SetFocus(this);
}

void CControlUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"pos") {
    const RECT r = ParseRect(value);
    m_fixedXY.cx = r.left >= 0 ? r.left : r.right;
    m_fixedXY.cy = r.top >= 0 ? r.top : r.bottom;
    // A pos that only places ("35,0,0,0") leaves the size to later attributes instead of
    // fixing a negative one.
    SetFixedWidth(static_cast<int>(r.right - r.left));
    SetFixedHeight(static_cast<int>(r.bottom - r.top));
  } else if (name == u"padding") {
    SetPadding(ParseRect(value));
  } else if (name == u"width") {
    SetFixedWidth(ParseInt(value));
  } else if (name == u"height") {
    SetFixedHeight(ParseInt(value));
  } else if (name == u"minwidth") {
    SetMinWidth(ParseInt(value));
  } else if (name == u"minheight") {
    SetMinHeight(ParseInt(value));
  } else if (name == u"maxwidth") {
    SetMaxWidth(ParseInt(value));
  } else if (name == u"maxheight") {
    SetMaxHeight(ParseInt(value));
  } else if (name == u"float") {
    SetFloat(ParseBool(value));
  } else if (name == u"name") {
    SetName(value);
  } else if (name == u"text") {
    SetText(value);
  } else if (name == u"tooltip") {
    SetToolTip(value);
  } else if (name == u"bkcolor" || name == u"bkcolor1") {
    if (auto c = ParseColor(value)) SetBkColor(*c);
  } else if (name == u"bkcolor2") {
    if (auto c = ParseColor(value)) SetBkColor2(*c);
  } else if (name == u"bordercolor") {
    if (auto c = ParseColor(value)) SetBorderColor(*c);
  } else if (name == u"focusbordercolor") {
    if (auto c = ParseColor(value)) SetFocusBorderColor(*c);
  } else if (name == u"bordersize") {
    SetBorderSize(ParseInt(value));
  } else if (name == u"borderround") {
    SetBorderRound(ParseSize(value));
  } else if (name == u"bkimage") {
    SetBkImage(value);
  } else if (name == u"visible") {
    SetVisible(ParseBool(value));
  } else if (name == u"enabled") {
    SetEnabled(ParseBool(value));
  } else if (name == u"mouse") {
    SetMouseEnabled(ParseBool(value));
  }
  // Unknown attributes are ignored, as the skins carry some for other toolkits.
}

void CControlUI::ApplyAttributeList(std::u16string_view list) {
  size_t pos = 0;
  while (pos < list.size()) {
    while (pos < list.size() &&
           (list[pos] == u' ' || list[pos] == u'\t' || list[pos] == u'\n' || list[pos] == u'\r')) {
      ++pos;
    }
    const size_t nameStart = pos;
    while (pos < list.size() && list[pos] != u'=' && list[pos] != u' ') ++pos;
    const std::u16string_view name = list.substr(nameStart, pos - nameStart);
    while (pos < list.size() && list[pos] == u' ') ++pos;
    if (pos >= list.size() || list[pos] != u'=') return;
    ++pos;
    while (pos < list.size() && list[pos] == u' ') ++pos;
    if (pos >= list.size() || (list[pos] != u'"' && list[pos] != u'\'')) return;
    const char16_t quote = list[pos++];
    const size_t valueStart = pos;
    while (pos < list.size() && list[pos] != quote) ++pos;
    if (pos >= list.size()) return;
    SetAttribute(name, list.substr(valueStart, pos - valueStart));
    ++pos;
  }
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  m_manager = manager;
  m_parent = parent;
}

CControlUI* CControlUI::FindByName(std::u16string_view name) {
  return m_name == name ? this : nullptr;
}

CControlUI* CControlUI::FindAt(POINT pt) {
  if (!IsVisible() || !Contains(m_pos, pt)) return nullptr;
  return m_mouseEnabled ? this : nullptr;
}

void CControlUI::ForEach(const std::function<void(CControlUI&)>& visit) {
  visit(*this);
}

void CControlUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEvent::kSetFocus:
      m_focused = true;
      Invalidate();
      break;
    case UIEvent::kKillFocus:
      m_focused = false;
      Invalidate();
      break;
    case UIEvent::kMouseEnter:
    case UIEvent::kMouseLeave:
      Invalidate();
      break;
    default:
      break;
  }
}

void CControlUI::DoPaint(IRenderTarget& target, const RECT& paint) {
  const RECT area = Intersect(paint, m_pos);
  if (IsEmpty(area)) return;
  const RECT saved = target.Clip();
  target.SetClip(Intersect(saved, area));
  PaintBkColor(target);
  PaintBkImage(target);
  PaintStatusImage(target);
  PaintText(target);
  PaintBorder(target);
  target.SetClip(saved);
}

void CControlUI::Invalidate() {
  if (m_manager) m_manager->Invalidate();
}
void CControlUI::NeedParentUpdate() {
  if (m_manager) m_manager->NeedUpdate();
}
void CControlUI::NeedUpdate() {
  if (m_manager) m_manager->NeedUpdate();
}

void CControlUI::PaintBkColor(IRenderTarget& target) {
  if (m_bkColor == 0) return;
  if (m_bkColor2 != 0) {
    target.FillGradientV(m_pos, m_bkColor, m_bkColor2);
  } else {
    target.FillRect(m_pos, m_bkColor);
  }
}

void CControlUI::PaintBkImage(IRenderTarget& target) {
  if (!m_bkImage.empty()) DrawImage(target, m_bkImage);
}

void CControlUI::PaintStatusImage(IRenderTarget& /*target*/) {}
void CControlUI::PaintText(IRenderTarget& /*target*/) {}

void CControlUI::PaintBorder(IRenderTarget& target) {
  if (m_borderSize <= 0) return;
  DWORD color = m_borderColor;
  if (m_focused && m_focusBorderColor != 0) color = m_focusBorderColor;
  if (color == 0) return;
  DrawFrame(target, m_pos, m_borderSize, color);
}

bool CControlUI::DrawImage(IRenderTarget& target, std::u16string_view image) {
  if (!m_manager) return false;
  bool drawn = false;
  for (const ImageDescriptor& d : ParseImageDescriptor(image)) {
    drawn |= DrawImageDescriptor(target, *m_manager, m_pos, d);
  }
  return drawn;
}

}  // namespace pinvale::ui
