#include "ui/label.h"

#include <algorithm>

#include "ui/paint_manager.h"

namespace pinvale::ui {

constexpr DWORD kDefaultTextColor = 0xFF000000;

CLabelUI::CLabelUI() = default;

void CLabelUI::SetTextColor(DWORD argb) {
  m_textColor = argb;
  Invalidate();
}
void CLabelUI::SetDisabledTextColor(DWORD argb) {
  m_disabledTextColor = argb;
  Invalidate();
}
void CLabelUI::SetFont(int index) {
  ForgetLayout();
  m_font = index;
  NeedParentUpdate();
}
void CLabelUI::SetTextStyle(UINT dtFlags) {
  ForgetLayout();
  m_textStyle = dtFlags;
  NeedParentUpdate();
}
void CLabelUI::SetTextPadding(RECT padding) {
  ForgetLayout();
  m_textPadding = padding;
  NeedParentUpdate();
}
void CLabelUI::SetShowHtml(bool show) {
  ForgetLayout();
  m_showHtml = show;
  NeedParentUpdate();
}
void CLabelUI::SetNormalImage(std::u16string_view image) {
  m_normalImage = image;
  Invalidate();
}

SIZE CLabelUI::EstimateSize(SIZE /*available*/) {
  if (m_fixedHeight > 0) return SIZE{m_fixedWidth, m_fixedHeight};
  int textHeight = 0;
  if (m_manager) {
    TextStyle style;
    style.font = m_font;
    textHeight = m_manager->Measurer().FontHeight(style);
  }
  return SIZE{m_fixedWidth, textHeight + EstimateExtraHeight()};
}

void CLabelUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"textcolor") {
    if (auto c = ParseColor(value)) SetTextColor(*c);
  } else if (name == u"disabledtextcolor") {
    if (auto c = ParseColor(value)) SetDisabledTextColor(*c);
  } else if (name == u"font") {
    SetFont(ParseInt(value));
  } else if (name == u"align") {
    UINT style = m_textStyle & ~(DT_CENTER | DT_RIGHT);
    if (value == u"center") style |= DT_CENTER;
    if (value == u"right") style |= DT_RIGHT;
    SetTextStyle(style);
  } else if (name == u"valign") {
    UINT style = m_textStyle & ~(DT_VCENTER | DT_BOTTOM);
    if (value == u"center" || value == u"vcenter") style |= DT_VCENTER;
    if (value == u"bottom") style |= DT_BOTTOM;
    SetTextStyle(style);
  } else if (name == u"wordbreak" || name == u"multiline") {
    if (ParseBool(value)) {
      SetTextStyle((m_textStyle & ~DT_SINGLELINE) | DT_WORDBREAK);
    } else {
      SetTextStyle((m_textStyle & ~DT_WORDBREAK) | DT_SINGLELINE);
    }
  } else if (name == u"endellipsis") {
    SetTextStyle(ParseBool(value) ? (m_textStyle | DT_END_ELLIPSIS)
                                  : (m_textStyle & ~DT_END_ELLIPSIS));
  } else if (name == u"textpadding") {
    SetTextPadding(ParseRect(value));
  } else if (name == u"showhtml") {
    SetShowHtml(ParseBool(value));
  } else if (name == u"normalimage") {
    SetNormalImage(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

DWORD CLabelUI::CurrentTextColor() const {
  if (!IsEnabled() && m_disabledTextColor != 0) return m_disabledTextColor;
  return m_textColor != 0 ? m_textColor : kDefaultTextColor;
}

void CLabelUI::SetText(std::u16string_view text) {
  ForgetLayout();
  CControlUI::SetText(text);
}

void CLabelUI::ForgetLayout() {
  if (m_manager) m_manager->ForgetPassLayout(this);
}

CLabelUI::PlacedText CLabelUI::LayoutText(const RECT& box) const {
  // The height places lines only when the text is aligned to the middle or the bottom.
  const bool aligned = (m_textStyle & (DT_VCENTER | DT_BOTTOM)) != 0;
  const SIZE size{box.right - box.left, aligned ? box.bottom - box.top : 0};
  const TextLayout* layout = m_manager->PassLayout(this, size);
  if (!layout) {
    const std::vector<TextRun> runs =
        m_showHtml ? ParseMarkup(m_text, m_font, nullptr) : PlainRuns(m_text, m_font);
    layout =
        &m_manager->KeepPassLayout(this, size,
                                   pinvale::ui::LayoutText(runs, RECT{0, 0, size.cx, size.cy},
                                                           m_textStyle, m_manager->Measurer()));
  }
  return PlacedText{*layout, box.left, box.top};
}

namespace {

RECT Moved(const RECT& r, long dx, long dy) {
  return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

void DrawRuns(IRenderTarget& target, CPaintManagerUI& manager, const TextLayout& layout, long dx,
              long dy, DWORD color, DWORD linkColor) {
  for (const PlacedRun& run : layout.runs) {
    IFont* font = manager.FontForStyle(run.style);
    if (!font) continue;
    const RECT rect = Moved(run.rect, dx, dy);
    DWORD c = run.style.color.value_or(run.style.link >= 0 ? linkColor : color);
    target.DrawTextRun(*font, rect.left, rect.top, run.text, c);
    if (run.style.underline || run.style.link >= 0) {
      target.FillRect(RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom}, c);
    }
  }
}

constexpr DWORD kLinkColor = 0xFF0168B7;

}  // namespace

void CLabelUI::PaintText(IRenderTarget& target) {
  if (m_text.empty() || !m_manager) return;
  const RECT box{m_pos.left + m_textPadding.left, m_pos.top + m_textPadding.top,
                 m_pos.right - m_textPadding.right, m_pos.bottom - m_textPadding.bottom};
  const PlacedText placed = LayoutText(box);
  DrawRuns(target, *m_manager, placed.layout, placed.dx, placed.dy, CurrentTextColor(), kLinkColor);
}

void CLabelUI::PaintStatusImage(IRenderTarget& target) {
  if (!m_normalImage.empty()) DrawImage(target, m_normalImage);
}

// ---- CTextUI ----

CTextUI::CTextUI() {
  m_textStyle = DT_WORDBREAK;
}

void CTextUI::ForgetLayout() {
  m_linksRead = false;
  CLabelUI::ForgetLayout();
}

const std::vector<std::u16string>& CTextUI::Links() const {
  if (!m_linksRead) {
    m_links.clear();
    ParseMarkup(m_text, m_font, &m_links);
    m_linksRead = true;
  }
  return m_links;
}

std::u16string CTextUI::GetLinkContent(int index) const {
  const std::vector<std::u16string>& links = Links();
  if (!m_showHtml || index < 0 || index >= static_cast<int>(links.size())) return {};
  return links[static_cast<size_t>(index)];
}

int CTextUI::GetLinkCount() const {
  return m_showHtml ? static_cast<int>(Links().size()) : 0;
}

SIZE CTextUI::EstimateSize(SIZE available) {
  if (!m_manager) return SIZE{m_fixedWidth, m_fixedHeight};
  // The text wraps in the width it will be given: the offered width less its own margins
  // (measuring against the full offered width would cut the last line off).
  const long offered = std::max<long>(0, available.cx - m_padding.left - m_padding.right);
  const long width = std::max<long>(m_fixedWidth, offered);
  const RECT box{0, 0, std::max<long>(0, width - m_textPadding.left - m_textPadding.right), 9999};
  const TextLayout& layout = LayoutText(box).layout;
  SIZE size{m_fixedWidth != 0 ? m_fixedWidth
                              : layout.extent.cx + m_textPadding.left + m_textPadding.right,
            layout.extent.cy + m_textPadding.top + m_textPadding.bottom};
  if (m_fixedHeight > 0) size.cy = m_fixedHeight;
  return size;
}

void CTextUI::SetPos(RECT pos) {
  CLabelUI::SetPos(pos);
  m_linkRects.clear();
  m_linkIndexOfRect.clear();
  if (!m_showHtml || !m_manager) return;
  const RECT box{m_pos.left + m_textPadding.left, m_pos.top + m_textPadding.top,
                 m_pos.right - m_textPadding.right, m_pos.bottom - m_textPadding.bottom};
  const PlacedText placed = LayoutText(box);
  for (const PlacedRun& run : placed.layout.runs) {
    if (run.style.link < 0) continue;
    m_linkRects.push_back(Moved(run.rect, placed.dx, placed.dy));
    m_linkIndexOfRect.push_back(run.style.link);
  }
}

void CTextUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEvent::kButtonUp && IsEnabled() && m_manager) {
    for (size_t i = 0; i < m_linkRects.size(); ++i) {
      if (Contains(m_linkRects[i], event.ptMouse)) {
        m_manager->SendNotify(this, u"link", static_cast<WPARAM>(m_linkIndexOfRect[i]));
        return;
      }
    }
  }
  if (event.Type == UIEvent::kMouseMove) {
    int hot = -1;
    for (size_t i = 0; i < m_linkRects.size(); ++i) {
      if (Contains(m_linkRects[i], event.ptMouse)) hot = m_linkIndexOfRect[i];
    }
    if (hot != m_hotLink) {
      m_hotLink = hot;
      Invalidate();
    }
  }
  if (event.Type == UIEvent::kMouseLeave) m_hotLink = -1;
  CLabelUI::DoEvent(event);
}

void CTextUI::PaintText(IRenderTarget& target) {
  CLabelUI::PaintText(target);
}

// ---- CButtonUI ----

CButtonUI::CButtonUI() {
  m_textStyle = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
}

bool CButtonUI::Activate() {
  if (!IsEnabled() || !IsVisible() || !m_manager) return false;
  m_manager->SendNotify(this, u"click");
  return true;
}

void CButtonUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"hotimage") {
    SetHotImage(value);
  } else if (name == u"pushedimage") {
    SetPushedImage(value);
  } else if (name == u"disabledimage") {
    SetDisabledImage(value);
  } else if (name == u"focusedimage") {
    SetFocusedImage(value);
  } else if (name == u"hottextcolor") {
    if (auto c = ParseColor(value)) SetHotTextColor(*c);
  } else if (name == u"pushedtextcolor") {
    if (auto c = ParseColor(value)) SetPushedTextColor(*c);
  } else if (name == u"hotbkcolor") {
    if (auto c = ParseColor(value)) SetHotBkColor(*c);
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

void CButtonUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEvent::kMouseEnter:
      m_hot = true;
      Invalidate();
      break;
    case UIEvent::kMouseLeave:
      m_hot = false;
      Invalidate();
      break;
    case UIEvent::kButtonDown:
      if (IsEnabled()) {
        m_captured = true;
        m_pushed = true;
        Invalidate();
      }
      break;
    case UIEvent::kMouseMove:
      if (m_captured) {
        const bool inside = Contains(m_pos, event.ptMouse);
        if (inside != m_pushed) {
          m_pushed = inside;
          Invalidate();
        }
      }
      break;
    case UIEvent::kButtonUp:
      if (m_captured) {
        m_captured = false;
        const bool fire = m_pushed && Contains(m_pos, event.ptMouse);
        m_pushed = false;
        Invalidate();
        if (fire) Activate();
      }
      break;
    case UIEvent::kKeyDown:
      if (event.chKey == VK_SPACE) Activate();
      break;
    case UIEvent::kKillFocus:
      m_pushed = false;
      m_captured = false;
      break;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CButtonUI::PaintBkColor(IRenderTarget& target) {
  if (m_hot && IsEnabled() && m_hotBkColor != 0) {
    target.FillRect(m_pos, m_hotBkColor);
    return;
  }
  CLabelUI::PaintBkColor(target);
}

void CButtonUI::PaintStatusImage(IRenderTarget& target) {
  auto tryDraw = [&](const std::u16string& image) {
    return !image.empty() && DrawImage(target, image);
  };
  if (!IsEnabled()) {
    if (tryDraw(m_disabledImage)) return;
  } else if (m_pushed) {
    if (tryDraw(m_pushedImage)) return;
  } else if (m_hot) {
    if (tryDraw(m_hotImage)) return;
  } else if (m_focused) {
    if (tryDraw(m_focusedImage)) return;
  }
  tryDraw(m_normalImage);
}

DWORD CButtonUI::CurrentTextColor() const {
  if (IsEnabled()) {
    if (m_pushed && m_pushedTextColor != 0) return m_pushedTextColor;
    if (m_hot && m_hotTextColor != 0) return m_hotTextColor;
  }
  return CLabelUI::CurrentTextColor();
}

}  // namespace pinvale::ui
