#include "ui/list.h"

#include <algorithm>

#include "ui/paint_manager.h"

namespace pinvale::ui {
namespace {

// Two presses on one row within this time activate it, as a double click does.
constexpr DWORD kDoublePressMs = 500;
// Rows the wheel moves per notch, as text scrolls by three lines.
constexpr int kRowsPerNotch = 3;
constexpr DWORD kDisabledTextColor = 0xFFA0A0A0;
constexpr char16_t kEllipsis = u'\u2026';

RECT Deflate(const RECT& r, const RECT& by) {
  return RECT{r.left + by.left, r.top + by.top, r.right - by.right, r.bottom - by.bottom};
}

bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

CListUI::CListUI() = default;

// ---------------- rows ----------------

void CListUI::SetItems(std::vector<ListItem> items) {
  m_items = std::move(items);
  m_curSel = -1;
  m_hotItem = -1;
  m_lastPressItem = -1;
  m_scroll.SetOffset(0);
  UpdateScrollBar();
  Invalidate();
}

int CListUI::AddItem(ListItem item) {
  m_items.push_back(std::move(item));
  UpdateScrollBar();
  Invalidate();
  return GetCount() - 1;
}

const ListItem* CListUI::GetItem(int index) const {
  return index >= 0 && index < GetCount() ? &m_items[static_cast<size_t>(index)] : nullptr;
}

// ---------------- selection ----------------

bool CListUI::SelectItem(int index) {
  if (index < -1 || index >= GetCount()) return false;
  if (index >= 0) EnsureVisible(index);
  if (index == m_curSel) return true;
  const int old = m_curSel;
  m_curSel = index;
  Invalidate();
  if (m_manager) {
    m_manager->SendNotify(this, u"itemselect", static_cast<WPARAM>(index),
                          static_cast<LPARAM>(old));
  }
  return true;
}

bool CListUI::ActivateSelected() {
  if (m_curSel < 0 || !IsEnabled()) return false;
  if (m_manager) m_manager->SendNotify(this, u"itemactivate", static_cast<WPARAM>(m_curSel));
  return true;
}

void CListUI::MoveSelection(int index) {
  if (m_items.empty()) return;
  SelectItem(std::clamp(index, 0, GetCount() - 1));
}

// ---------------- scrolling ----------------

void CListUI::EnsureVisible(int index) {
  if (index < 0 || index >= GetCount()) return;
  const int h = GetItemHeight();
  const int top = index * h;
  const int view = m_scroll.ViewHeight();
  if (top < m_scroll.Offset()) {
    SetScrollPos(top);
  } else if (top + h > m_scroll.Offset() + view) {
    SetScrollPos(top + h - view);
  }
}

void CListUI::SetScrollPos(int offset) {
  if (m_scroll.SetOffset(offset)) Invalidate();
}

RECT CListUI::InnerRect() const {
  const int b = std::max(0, m_borderSize);
  return RECT{m_pos.left + b, m_pos.top + b, m_pos.right - b, m_pos.bottom - b};
}

RECT CListUI::ViewRect() const {
  RECT view = InnerRect();
  if (m_scroll.IsNeeded()) view.right = std::max(view.left, view.right - m_scrollBarWidth);
  return view;
}

void CListUI::UpdateScrollBar() {
  const RECT inner = InnerRect();
  const RECT track{std::max(inner.left, inner.right - m_scrollBarWidth), inner.top, inner.right,
                   inner.bottom};
  m_scroll.SetGeometry(track, GetCount() * GetItemHeight(), static_cast<int>(Height(inner)));
}

int CListUI::RowsPerPage() const {
  // A page keeps one row of the last one in view, so the eye finds its place.
  return std::max(1, m_scroll.ViewHeight() / GetItemHeight() - 1);
}

RECT CListUI::GetItemRect(int index) const {
  const RECT view = ViewRect();
  const int h = GetItemHeight();
  const long top = view.top + static_cast<long>(index) * h - m_scroll.Offset();
  return RECT{view.left, top, view.right, top + h};
}

int CListUI::ItemAt(POINT pt) const {
  const RECT view = ViewRect();
  if (!Contains(view, pt)) return -1;
  const long index = (pt.y - view.top + m_scroll.Offset()) / GetItemHeight();
  return index < GetCount() ? static_cast<int>(index) : -1;
}

// ---------------- look ----------------

int CListUI::FontHeight(int font) const {
  if (!m_manager) return 14;
  TextStyle style;
  style.font = font;
  return m_manager->Measurer().FontHeight(style);
}

int CListUI::GetItemHeight() const {
  if (m_itemHeight > 0) return m_itemHeight;
  const bool twoLines = std::any_of(m_items.begin(), m_items.end(),
                                    [](const ListItem& item) { return !item.detail.empty(); });
  const int text = FontHeight(m_itemFont) + (twoLines ? FontHeight(m_itemDetailFont) : 0);
  return std::max(1, text + static_cast<int>(m_itemTextPadding.top + m_itemTextPadding.bottom));
}

void CListUI::SetItemHeight(int height) {
  m_itemHeight = std::max(0, height);
  UpdateScrollBar();
  Invalidate();
}

void CListUI::SetEmptyText(std::u16string_view text) {
  m_emptyText = text;
  Invalidate();
}

void CListUI::SetPos(RECT pos) {
  CControlUI::SetPos(pos);
  UpdateScrollBar();
}

void CListUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  auto color = [&](DWORD& field) {
    if (auto c = ParseColor(value)) field = *c;
    Invalidate();
  };
  if (name == u"itemheight") {
    SetItemHeight(ParseInt(value));
  } else if (name == u"itemfont") {
    m_itemFont = ParseInt(value);
    UpdateScrollBar();
  } else if (name == u"itemdetailfont") {
    m_itemDetailFont = ParseInt(value);
    UpdateScrollBar();
  } else if (name == u"itemtextpadding") {
    m_itemTextPadding = ParseRect(value);
    UpdateScrollBar();
  } else if (name == u"itemtextcolor") {
    color(m_itemTextColor);
  } else if (name == u"itemdetailtextcolor") {
    color(m_itemDetailTextColor);
  } else if (name == u"selectedbkcolor") {
    color(m_selectedBkColor);
  } else if (name == u"selectedtextcolor") {
    color(m_selectedTextColor);
  } else if (name == u"hotbkcolor") {
    color(m_hotBkColor);
  } else if (name == u"linecolor") {
    color(m_lineColor);
  } else if (name == u"emptytext") {
    SetEmptyText(value);
  } else if (name == u"emptytextcolor") {
    color(m_emptyTextColor);
  } else if (name == u"scrollbarwidth") {
    m_scrollBarWidth = std::max(0, ParseInt(value));
    UpdateScrollBar();
  } else if (name == u"scrollbartrackcolor") {
    color(m_scrollTrackColor);
  } else if (name == u"scrollbarthumbcolor") {
    color(m_scrollThumbColor);
  } else if (name == u"scrollbarthumbhotcolor") {
    color(m_scrollThumbHotColor);
  } else {
    CControlUI::SetAttribute(name, value);
    if (name == u"bordersize") UpdateScrollBar();
  }
}

// ---------------- input ----------------

void CListUI::DoEvent(TEventUI& event) {
  const POINT pt = event.ptMouse;
  switch (event.Type) {
    case UIEvent::kButtonDown: {
      if (!IsEnabled()) return;
      if (m_scroll.IsNeeded() && Contains(m_scroll.Track(), pt)) {
        m_scroll.Press(static_cast<int>(pt.y));
        Invalidate();
        return;
      }
      const int item = ItemAt(pt);
      if (item < 0) return;
      const bool again =
          item == m_lastPressItem && event.dwTimestamp - m_lastPressTime <= kDoublePressMs;
      SelectItem(item);
      m_lastPressItem = again ? -1 : item;
      m_lastPressTime = event.dwTimestamp;
      if (again) ActivateSelected();
      return;
    }
    case UIEvent::kButtonUp:
      if (m_scroll.IsDragging()) {
        m_scroll.EndDrag();
        Invalidate();
      }
      return;
    case UIEvent::kMouseMove: {
      if (m_scroll.IsDragging()) {
        if (m_scroll.DragTo(static_cast<int>(pt.y))) Invalidate();
        return;
      }
      const int hot = ItemAt(pt);
      const bool thumbHot = Contains(m_scroll.Thumb(), pt);
      if (hot != m_hotItem || thumbHot != m_thumbHot) {
        m_hotItem = hot;
        m_thumbHot = thumbHot;
        Invalidate();
      }
      return;
    }
    case UIEvent::kMouseLeave:
      m_hotItem = -1;
      m_thumbHot = false;
      Invalidate();
      return;
    case UIEvent::kScrollWheel: {
      const int turn = GET_WHEEL_DELTA_WPARAM(event.wParam);
      if (m_scroll.ScrollBy(-turn * kRowsPerNotch * GetItemHeight() / WHEEL_DELTA)) {
        m_hotItem = ItemAt(pt);  // another row is under the pointer now
        Invalidate();
      }
      return;
    }
    case UIEvent::kKeyDown:
      if (!IsEnabled() || m_items.empty()) return;
      switch (event.chKey) {
        case VK_UP:
          MoveSelection(m_curSel < 0 ? 0 : m_curSel - 1);
          return;
        case VK_DOWN:
          MoveSelection(m_curSel + 1);
          return;
        case VK_PRIOR:
          MoveSelection(m_curSel - RowsPerPage());
          return;
        case VK_NEXT:
          MoveSelection(m_curSel < 0 ? RowsPerPage() : m_curSel + RowsPerPage());
          return;
        case VK_HOME:
          MoveSelection(0);
          return;
        case VK_END:
          MoveSelection(GetCount() - 1);
          return;
        case VK_RETURN:
          ActivateSelected();
          return;
        default:
          return;
      }
    default:
      CControlUI::DoEvent(event);
      return;
  }
}

// ---------------- painting ----------------

void CListUI::PaintText(IRenderTarget& target) {
  if (!m_manager) return;
  const RECT saved = target.Clip();
  const RECT view = ViewRect();
  target.SetClip(Intersect(saved, view));
  if (m_items.empty()) {
    if (!m_emptyText.empty()) {
      TextStyle style;
      style.font = m_itemFont;
      const int width = m_manager->Measurer().TextWidth(style, m_emptyText);
      const int height = FontHeight(m_itemFont);
      const long left =
          std::max(view.left + m_itemTextPadding.left, view.left + (Width(view) - width) / 2);
      const long top = view.top + (Height(view) - height) / 2;
      PaintLine(target, m_emptyText, m_itemFont,
                RECT{left, top, view.right - m_itemTextPadding.right, top + height},
                m_emptyTextColor);
    }
  } else {
    const int h = GetItemHeight();
    const int first = m_scroll.Offset() / h;
    const int last = std::min(GetCount() - 1, (m_scroll.Offset() + m_scroll.ViewHeight()) / h);
    for (int i = first; i <= last; ++i) PaintRow(target, i, GetItemRect(i));
  }
  target.SetClip(saved);
  PaintScrollBar(target);
}

void CListUI::PaintRow(IRenderTarget& target, int index, const RECT& row) {
  const ListItem& item = m_items[static_cast<size_t>(index)];
  const bool selected = index == m_curSel;
  if (selected && m_selectedBkColor != 0) {
    target.FillRect(row, m_selectedBkColor);
  } else if (index == m_hotItem && m_hotBkColor != 0 && IsEnabled()) {
    target.FillRect(row, m_hotBkColor);
  }
  if (m_lineColor != 0)
    target.FillRect(RECT{row.left, row.bottom - 1, row.right, row.bottom}, m_lineColor);
  DWORD titleColor = m_itemTextColor;
  DWORD detailColor = m_itemDetailTextColor;
  if (!IsEnabled()) {
    titleColor = detailColor = kDisabledTextColor;
  } else if (selected && m_selectedTextColor != 0) {
    titleColor = detailColor = m_selectedTextColor;
  }
  const RECT box = Deflate(row, m_itemTextPadding);
  const int titleHeight = FontHeight(m_itemFont);
  const int detailHeight = item.detail.empty() ? 0 : FontHeight(m_itemDetailFont);
  const long top = box.top + (Height(box) - titleHeight - detailHeight) / 2;
  PaintLine(target, item.title, m_itemFont, RECT{box.left, top, box.right, top + titleHeight},
            titleColor);
  if (!item.detail.empty()) {
    const long detailTop = top + titleHeight;
    PaintLine(target, item.detail, m_itemDetailFont,
              RECT{box.left, detailTop, box.right, detailTop + detailHeight}, detailColor);
  }
}

void CListUI::PaintLine(IRenderTarget& target, std::u16string_view text, int font, const RECT& box,
                        DWORD color) {
  TextStyle style;
  style.font = font;
  IFont* face = m_manager->FontForStyle(style);
  if (!face || text.empty() || Width(box) <= 0) return;
  ITextMeasurer& measurer = m_manager->Measurer();
  std::u16string shown(text);
  std::replace(shown.begin(), shown.end(), u'\t', u' ');
  std::replace(shown.begin(), shown.end(), u'\n', u' ');
  if (measurer.TextWidth(style, shown) > Width(box)) {
    // The longest start of the text that fits with an ellipsis after it.
    size_t fits = 0;
    size_t low = 0;
    size_t high = shown.size();
    while (low <= high) {
      size_t mid = (low + high) / 2;
      if (mid > 0 && mid < shown.size() && IsLowSurrogate(shown[mid])) --mid;
      std::u16string candidate = shown.substr(0, mid);
      candidate.push_back(kEllipsis);
      if (measurer.TextWidth(style, candidate) <= Width(box)) {
        fits = mid;
        low = mid + 1;
      } else {
        if (mid == 0) break;
        high = mid - 1;
      }
    }
    shown.resize(fits);
    shown.push_back(kEllipsis);
  }
  // The clip keeps even the ellipsis itself inside the row when the box is very narrow.
  const RECT saved = target.Clip();
  target.SetClip(Intersect(saved, box));
  target.DrawTextRun(*face, box.left, box.top, shown, color);
  target.SetClip(saved);
}

void CListUI::PaintScrollBar(IRenderTarget& target) {
  if (!m_scroll.IsNeeded()) return;
  if (m_scrollTrackColor != 0) target.FillRect(m_scroll.Track(), m_scrollTrackColor);
  const DWORD thumb =
      (m_thumbHot || m_scroll.IsDragging()) ? m_scrollThumbHotColor : m_scrollThumbColor;
  if (thumb == 0) return;
  // The thumb stands a unit in from the track's sides, so that it reads as a handle.
  RECT r = m_scroll.Thumb();
  if (Width(r) > 4) {
    r.left += 1;
    r.right -= 1;
  }
  target.FillRect(r, thumb);
}

}  // namespace pinvale::ui
