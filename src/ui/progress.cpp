#include "ui/progress.h"

#include <algorithm>
#include <cstdint>

namespace pinvale::ui {

CProgressUI::CProgressUI() {
  m_textStyle = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  m_bkColor = 0xFFE6E6E6;
  m_textColor = 0xFF202020;
}

void CProgressUI::SetValue(int value) {
  value = std::clamp(value, 0, m_max);
  if (value == m_value) return;
  m_value = value;
  Invalidate();
}

void CProgressUI::SetMaxValue(int max) {
  m_max = std::max(1, max);
  m_value = std::min(m_value, m_max);
  Invalidate();
}

void CProgressUI::SetForeColor(DWORD argb) {
  m_foreColor = argb;
  Invalidate();
}

void CProgressUI::SetForeTextColor(DWORD argb) {
  m_foreTextColor = argb;
  Invalidate();
}

RECT CProgressUI::InnerRect() const {
  const int b = std::max(0, m_borderSize);
  return RECT{m_pos.left + b, m_pos.top + b, m_pos.right - b, m_pos.bottom - b};
}

RECT CProgressUI::GetFillRect() const {
  RECT fill = InnerRect();
  const long width = std::max<long>(0, Width(fill));
  // Rounded to the nearest unit: 1 of 3 on 100 units fills 33, 2 of 3 fills 67.
  const std::int64_t filled = (static_cast<std::int64_t>(width) * m_value * 2 + m_max) /
                              (static_cast<std::int64_t>(m_max) * 2);
  fill.right = fill.left + static_cast<long>(filled);
  return fill;
}

void CProgressUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"value") {
    SetValue(ParseInt(value));
  } else if (name == u"max") {
    SetMaxValue(ParseInt(value));
  } else if (name == u"forecolor") {
    if (auto c = ParseColor(value)) SetForeColor(*c);
  } else if (name == u"foretextcolor") {
    if (auto c = ParseColor(value)) SetForeTextColor(*c);
  } else if (name == u"foreimage") {
    m_foreImage = value;
    Invalidate();
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

void CProgressUI::PaintStatusImage(IRenderTarget& target) {
  CLabelUI::PaintStatusImage(target);
  const RECT fill = GetFillRect();
  if (IsEmpty(fill)) return;
  const RECT saved = target.Clip();
  target.SetClip(Intersect(saved, fill));
  // An image fills the whole bar and shows as far as the value goes; else the fore colour.
  if (m_foreImage.empty() || !DrawImage(target, m_foreImage)) {
    if (m_foreColor != 0) target.FillRect(fill, m_foreColor);
  }
  target.SetClip(saved);
}

void CProgressUI::PaintText(IRenderTarget& target) {
  if (m_text.empty()) return;
  const RECT saved = target.Clip();
  const RECT fill = GetFillRect();
  const RECT rest{fill.right, m_pos.top, m_pos.right, m_pos.bottom};
  target.SetClip(Intersect(saved, rest));
  CLabelUI::PaintText(target);
  if (!IsEmpty(fill)) {
    const DWORD plain = m_textColor;
    m_textColor = m_foreTextColor;
    target.SetClip(Intersect(saved, fill));
    CLabelUI::PaintText(target);
    m_textColor = plain;
  }
  target.SetClip(saved);
}

}  // namespace pinvale::ui
