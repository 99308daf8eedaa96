#include "ui/edit.h"

#include <algorithm>

#include "ui/paint_manager.h"
#include "ui/ui_text.h"

namespace pinvale::ui {

constexpr DWORD kEditBorderColor = 0xFFABADB3;
constexpr DWORD kSelectionColor = 0x663399FF;

namespace {

// Zeroes a string's whole storage, not only the units in use, and lets it go.
void WipeString(std::u16string& text) {
  text.resize(text.capacity());
  WipeMemory(text.data(), text.size() * sizeof(char16_t));
  text.clear();
  text.shrink_to_fit();
}

}  // namespace

CEditUI::CEditUI() {
  m_textStyle = DT_VCENTER | DT_SINGLELINE;
  m_textPadding = RECT{4, 3, 4, 3};
  m_borderColor = kEditBorderColor;
  m_borderSize = 1;
}

std::u16string_view CEditUI::Text() const {
  return m_password ? m_secret.view() : std::u16string_view(m_text);
}

void CEditUI::ReplaceUnits(long at, long count, std::u16string_view with) {
  const auto from = static_cast<size_t>(at);
  const auto units = static_cast<size_t>(count);
  if (m_password) {
    // Within the reserved capacity (the callers keep to GetMaxChar): nothing moves.
    m_secret.Erase(from, units);
    m_secret.Insert(from, with);
  } else {
    m_text.replace(from, units, with);
  }
}

void CEditUI::ReserveSecret() {
  m_secret.Reserve(std::max(static_cast<size_t>(m_maxChar), m_secret.size()));
}

void CEditUI::SetText(std::u16string_view text) {
  std::u16string_view accepted = text.substr(0, static_cast<size_t>(m_maxChar));
  if (!accepted.empty() && IsHighSurrogate(accepted.back())) accepted.remove_suffix(1);
  if (m_password) {
    m_secret.Assign(accepted);
  } else {
    m_text = accepted;
  }
  m_caret = m_selStart = m_selEnd = m_anchor = GetTextLength();
  Invalidate();
}

std::u16string CEditUI::GetText() const {
  return std::u16string(Text());
}

WipingU16Text CEditUI::GetSecretText() const {
  return WipingU16Text(Text());
}

void CEditUI::SetPasswordMode(bool password) {
  if (password && !m_password) {
    ReserveSecret();
    m_secret.Reserve(m_text.size());
    m_secret.Assign(m_text);
    WipeString(m_text);
  } else if (!password && m_password) {
    m_text = m_secret.view();
    m_secret = WipingU16Text();
  }
  m_password = password;
  Invalidate();
}
void CEditUI::SetPasswordChar(char16_t c) {
  m_passwordChar = c;
  Invalidate();
}
void CEditUI::SetReadOnly(bool readOnly) {
  m_readOnly = readOnly;
  Invalidate();
}
void CEditUI::SetMaxChar(int units) {
  m_maxChar = std::max(0, units);
  // Set while the layout is read, before anything is typed.
  if (m_password) ReserveSecret();
}

void CEditUI::SetSel(long start, long end) {
  const std::u16string_view text = Text();
  const long size = static_cast<long>(text.size());
  if (end < 0 || end > size) end = size;
  start = std::clamp(start, 0L, size);
  if (start > end) std::swap(start, end);
  // Never split a surrogate pair.
  if (start > 0 && start < size && IsLowSurrogate(text[static_cast<size_t>(start)])) --start;
  if (end > 0 && end < size && IsLowSurrogate(text[static_cast<size_t>(end)])) ++end;
  m_selStart = start;
  m_selEnd = end;
  m_anchor = start;
  m_caret = end;
  Invalidate();
}

void CEditUI::SetSelAll() {
  SetSel(0, -1);
}
void CEditUI::SetSelNone() {
  SetSel(m_caret, m_caret);
}

long CEditUI::PrevCharStart(long pos) const {
  if (pos <= 0) return 0;
  const std::u16string_view text = Text();
  --pos;
  if (pos > 0 && IsLowSurrogate(text[static_cast<size_t>(pos)]) &&
      IsHighSurrogate(text[static_cast<size_t>(pos - 1)])) {
    --pos;
  }
  return pos;
}

long CEditUI::NextCharEnd(long pos) const {
  const std::u16string_view text = Text();
  const long size = static_cast<long>(text.size());
  if (pos >= size) return size;
  ++pos;
  if (pos < size && IsLowSurrogate(text[static_cast<size_t>(pos)]) &&
      IsHighSurrogate(text[static_cast<size_t>(pos - 1)])) {
    ++pos;
  }
  return pos;
}

void CEditUI::DeleteSelection() {
  if (m_selEnd <= m_selStart) return;
  ReplaceUnits(m_selStart, m_selEnd - m_selStart, {});
  m_caret = m_anchor = m_selEnd = m_selStart;
}

void CEditUI::TextChanged() {
  Invalidate();
  if (m_manager) m_manager->SendNotify(this, u"textchanged");
}

void CEditUI::InsertText(std::u16string_view text) {
  if (m_readOnly || !IsEnabled()) return;
  const bool hadSelection = m_selEnd > m_selStart;
  DeleteSelection();
  const long room = std::max<long>(0, m_maxChar - GetTextLength());
  std::u16string_view accepted = text.substr(0, static_cast<size_t>(room));
  if (!accepted.empty() && IsHighSurrogate(accepted.back())) accepted.remove_suffix(1);
  if (accepted.empty() && !hadSelection) return;
  ReplaceUnits(m_caret, 0, accepted);
  m_caret += static_cast<long>(accepted.size());
  m_selStart = m_selEnd = m_anchor = m_caret;
  TextChanged();
}

std::u16string CEditUI::DisplayText() const {
  if (!m_password) return m_text;
  // Bullets only: the characters themselves are never copied for drawing.
  const std::u16string_view text = Text();
  std::u16string bullets;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsLowSurrogate(text[i]) && i > 0 && IsHighSurrogate(text[i - 1])) continue;
    bullets.push_back(m_passwordChar);
  }
  return bullets;
}

long CEditUI::DisplayIndex(long unitIndex) const {
  if (!m_password) return unitIndex;
  const std::u16string_view text = Text();
  long shown = 0;
  for (long i = 0; i < unitIndex && i < static_cast<long>(text.size()); ++i) {
    if (IsLowSurrogate(text[static_cast<size_t>(i)]) && i > 0 &&
        IsHighSurrogate(text[static_cast<size_t>(i - 1)])) {
      continue;
    }
    ++shown;
  }
  return shown;
}

long CEditUI::UnitIndexFromX(int x) const {
  if (!m_manager) return 0;
  const std::u16string shown = DisplayText();
  TextStyle style;
  style.font = m_font;
  const int origin = m_pos.left + m_textPadding.left - m_scrollX;
  // Walk character boundaries and take the nearest.
  long best = 0;
  int bestDistance = std::abs(x - origin);
  long unit = 0;
  while (unit < GetTextLength()) {
    unit = NextCharEnd(unit);
    const long shownEnd = DisplayIndex(unit);
    const int w = m_manager->Measurer().TextWidth(
        style, std::u16string_view(shown).substr(0, static_cast<size_t>(shownEnd)));
    const int distance = std::abs(x - (origin + w));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = unit;
    }
  }
  return best;
}

SIZE CEditUI::EstimateSize(SIZE available) {
  return CLabelUI::EstimateSize(available);
}

void CEditUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"password") {
    SetPasswordMode(ParseBool(value));
  } else if (name == u"passwordchar") {
    if (!value.empty()) SetPasswordChar(value.front());
  } else if (name == u"readonly") {
    SetReadOnly(ParseBool(value));
  } else if (name == u"maxchar") {
    SetMaxChar(ParseInt(value));
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

void CEditUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEvent::kButtonDown:
      if (IsEnabled()) {
        m_caret = m_anchor = m_selStart = m_selEnd = UnitIndexFromX(event.ptMouse.x);
        m_selecting = true;
        Invalidate();
      }
      break;
    case UIEvent::kMouseMove:
      if (m_selecting) {
        m_caret = UnitIndexFromX(event.ptMouse.x);
        m_selStart = std::min(m_anchor, m_caret);
        m_selEnd = std::max(m_anchor, m_caret);
        Invalidate();
      }
      break;
    case UIEvent::kButtonUp:
      m_selecting = false;
      break;
    case UIEvent::kKillFocus:
      m_selecting = false;
      m_pendingHigh = 0;
      break;
    case UIEvent::kChar: {
      const char16_t c = event.chKey;
      if (c < 0x20 || c == 0x7F) break;  // control keys come as key-downs
      if (IsHighSurrogate(c)) {
        m_pendingHigh = c;
        break;
      }
      if (IsLowSurrogate(c)) {
        if (m_pendingHigh != 0) {
          char16_t pair[2] = {m_pendingHigh, c};
          m_pendingHigh = 0;
          InsertText(std::u16string_view(pair, 2));
          WipeMemory(pair, sizeof pair);
        }
        break;
      }
      m_pendingHigh = 0;
      InsertText(std::u16string_view(&c, 1));
      break;
    }
    case UIEvent::kKeyDown: {
      const UINT key = event.chKey;
      const long size = GetTextLength();
      auto moveCaret = [&](long to) {
        m_caret = std::clamp(to, 0L, size);
        if (event.shift) {
          m_selStart = std::min(m_anchor, m_caret);
          m_selEnd = std::max(m_anchor, m_caret);
        } else {
          m_anchor = m_selStart = m_selEnd = m_caret;
        }
        Invalidate();
      };
      if (key == VK_BACK || key == VK_DELETE) {
        if (m_readOnly || !IsEnabled()) break;
        if (m_selEnd > m_selStart) {
          DeleteSelection();
        } else if (key == VK_BACK && m_caret > 0) {
          // A character outside the BMP goes as a whole, both halves of its pair.
          const long from = PrevCharStart(m_caret);
          ReplaceUnits(from, m_caret - from, {});
          m_caret = m_anchor = m_selStart = m_selEnd = from;
        } else if (key == VK_DELETE && m_caret < size) {
          const long to = NextCharEnd(m_caret);
          ReplaceUnits(m_caret, to - m_caret, {});
          m_anchor = m_selStart = m_selEnd = m_caret;
        } else {
          break;
        }
        TextChanged();
      } else if (key == VK_LEFT) {
        moveCaret(PrevCharStart(m_caret));
      } else if (key == VK_RIGHT) {
        moveCaret(NextCharEnd(m_caret));
      } else if (key == VK_HOME) {
        moveCaret(0);
      } else if (key == VK_END) {
        moveCaret(size);
      } else if (event.control && (key == 'A' || key == 'a')) {
        SetSelAll();
      }
      break;
    }
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CEditUI::PaintText(IRenderTarget& target) {
  if (!m_manager) return;
  IFont* font = m_manager->GetFont(m_font);
  const RECT box{m_pos.left + m_textPadding.left, m_pos.top + m_textPadding.top,
                 m_pos.right - m_textPadding.right, m_pos.bottom - m_textPadding.bottom};
  TextStyle style;
  style.font = m_font;
  ITextMeasurer& measurer = m_manager->Measurer();
  const std::u16string shown = DisplayText();
  auto widthTo = [&](long unit) {
    const long shownIndex = DisplayIndex(unit);
    return measurer.TextWidth(
        style, std::u16string_view(shown).substr(0, static_cast<size_t>(shownIndex)));
  };
  // Keep the caret inside the box.
  const int caretX = widthTo(m_caret);
  const int boxWidth = std::max<int>(1, Width(box));
  if (caretX - m_scrollX > boxWidth - 1) m_scrollX = caretX - boxWidth + 1;
  if (caretX - m_scrollX < 0) m_scrollX = caretX;

  const int lineHeight = measurer.FontHeight(style);
  int y = box.top;
  if (m_textStyle & DT_VCENTER) y = box.top + (Height(box) - lineHeight) / 2;
  const int x = box.left - m_scrollX;

  const RECT saved = target.Clip();
  target.SetClip(Intersect(saved, box));
  if (m_selEnd > m_selStart && m_focused) {
    target.FillRect(RECT{x + widthTo(m_selStart), y, x + widthTo(m_selEnd), y + lineHeight},
                    kSelectionColor);
  }
  if (font && m_password) {
    // Each bullet where the caret and the selection measure it. At a display scale the
    // bullets are drawn with the face at another size than the one they are measured
    // with, whose advance rounds to other pixels: in one run they would drift away from
    // the caret, by a bullet over twenty of them at 2.
    for (size_t i = 0; i < shown.size(); ++i) {
      const std::u16string_view before = std::u16string_view(shown).substr(0, i);
      target.DrawTextRun(*font, x + measurer.TextWidth(style, before), y,
                         std::u16string_view(shown).substr(i, 1), CurrentTextColor());
    }
  } else if (font && !shown.empty()) {
    target.DrawTextRun(*font, x, y, shown, CurrentTextColor());
  }
  if (m_focused && !m_readOnly) {
    target.FillRect(RECT{x + caretX, y, x + caretX + 1, y + lineHeight}, CurrentTextColor());
  }
  target.SetClip(saved);
}

void CEditUI::PaintBorder(IRenderTarget& target) {
  CLabelUI::PaintBorder(target);
}

}  // namespace pinvale::ui
