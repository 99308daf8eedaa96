#include "ui/container.h"

#include <algorithm>
#include <climits>

#include "ui/paint_manager.h"

namespace pinvale::ui {
namespace {

int Clamp(int v, int lo, int hi) {
  return std::max(lo, std::min(v, std::max(lo, hi)));
}

// A layout may give any size, padding and child padding up to nine digits, and a
// container may hold thousands of children, so the sums of a layout pass are taken in 64
// bits; each size and position handed on is cut to the int range.
using Sum = long long;

int ToInt(Sum v) {
  return static_cast<int>(std::clamp<Sum>(v, INT_MIN, INT_MAX));
}

}  // namespace

CControlUI* CContainerUI::Add(std::unique_ptr<CControlUI> control) {
  return AddAt(std::move(control), GetCount());
}

CControlUI* CContainerUI::AddAt(std::unique_ptr<CControlUI> control, int index) {
  if (!control) return nullptr;
  index = std::clamp(index, 0, GetCount());
  CControlUI* raw = control.get();
  raw->SetManager(m_manager, this);
  if (!IsVisible()) raw->SetInternVisible(false);
  m_items.insert(m_items.begin() + index, std::move(control));
  NeedUpdate();
  return raw;
}

bool CContainerUI::Remove(CControlUI* control) {
  for (auto it = m_items.begin(); it != m_items.end(); ++it) {
    if (it->get() == control) {
      m_items.erase(it);  // the control's destructor tells the manager
      NeedUpdate();
      return true;
    }
  }
  return false;
}

void CContainerUI::RemoveAll() {
  m_items.clear();
  NeedUpdate();
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(index)].get();
}

int CContainerUI::GetItemIndex(const CControlUI* control) const {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i].get() == control) return static_cast<int>(i);
  }
  return -1;
}

void CContainerUI::SetInset(RECT inset) {
  m_inset = inset;
  NeedUpdate();
}

void CContainerUI::SetChildPadding(int padding) {
  m_childPadding = padding;
  NeedUpdate();
}

void CContainerUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"inset") {
    SetInset(ParseRect(value));
  } else if (name == u"childpadding") {
    SetChildPadding(ParseInt(value));
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (auto& item : m_items) item->SetManager(manager, this);
}

CControlUI* CContainerUI::FindByName(std::u16string_view name) {
  if (m_name == name) return this;
  for (auto& item : m_items) {
    if (CControlUI* found = item->FindByName(name)) return found;
  }
  return nullptr;
}

CControlUI* CContainerUI::FindAt(POINT pt) {
  if (!IsVisible() || !Contains(m_pos, pt)) return nullptr;
  // Later children are drawn on top, so they are hit first.
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (CControlUI* hit = (*it)->FindAt(pt)) return hit;
  }
  return nullptr;  // a container itself takes no clicks
}

void CContainerUI::ForEach(const std::function<void(CControlUI&)>& visit) {
  visit(*this);
  for (auto& item : m_items) item->ForEach(visit);
}

void CContainerUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::DoPaint(IRenderTarget& target, const RECT& paint) {
  const RECT area = Intersect(paint, m_pos);
  if (IsEmpty(area)) return;
  const RECT saved = target.Clip();
  target.SetClip(Intersect(saved, area));
  PaintBkColor(target);
  PaintBkImage(target);
  PaintStatusImage(target);
  PaintText(target);
  for (auto& item : m_items) {
    if (item->IsVisible()) item->DoPaint(target, area);
  }
  target.SetClip(Intersect(saved, area));
  PaintBorder(target);
  target.SetClip(saved);
}

RECT CContainerUI::InnerRect() const {
  return RECT{m_pos.left + m_inset.left, m_pos.top + m_inset.top, m_pos.right - m_inset.right,
              m_pos.bottom - m_inset.bottom};
}

void CContainerUI::PlaceFloat(CControlUI& child) {
  const RECT& c = m_pos;
  const SIZE xy = child.GetFixedXY();
  const int w = child.GetFixedWidth();
  const int h = child.GetFixedHeight();
  RECT r;
  if (xy.cx >= 0) {
    r.left = c.left + xy.cx;
    r.right = r.left + w;
  } else {
    r.right = c.right + xy.cx;
    r.left = r.right - w;
  }
  if (xy.cy >= 0) {
    r.top = c.top + xy.cy;
    r.bottom = r.top + h;
  } else {
    r.bottom = c.bottom + xy.cy;
    r.top = r.bottom - h;
  }
  child.SetPos(r);
}

void CContainerUI::SetPos(RECT pos) {
  CControlUI::SetPos(pos);
  const RECT inner = InnerRect();
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      PlaceFloat(*item);
      continue;
    }
    const RECT pad = item->GetPadding();
    const RECT box{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right,
                   inner.bottom - pad.bottom};
    SIZE sz = item->EstimateSize(SIZE{Width(box), Height(box)});
    if (sz.cx == 0) sz.cx = Width(box);
    if (sz.cy == 0) sz.cy = Height(box);
    sz.cx = Clamp(sz.cx, item->GetMinWidth(), item->GetMaxWidth());
    sz.cy = Clamp(sz.cy, item->GetMinHeight(), item->GetMaxHeight());
    item->SetPos(RECT{box.left, box.top, box.left + sz.cx, box.top + sz.cy});
  }
}

void CVerticalLayoutUI::SetPos(RECT pos) {
  CControlUI::SetPos(pos);
  const RECT r = InnerRect();
  const Sum available = std::max<Sum>(0, Height(r));

  // First pass: the fixed total and the number of adjustable children.
  int adjustables = 0;
  Sum fixedTotal = 0;
  int counted = 0;
  for (auto& item : m_items) {
    if (!item->IsVisible() || item->IsFloat()) continue;
    SIZE sz = item->EstimateSize(SIZE{Width(r), Height(r)});
    if (sz.cy == 0) {
      ++adjustables;
    } else {
      sz.cy = Clamp(ToInt(sz.cy), item->GetMinHeight(), item->GetMaxHeight());
    }
    const RECT pad = item->GetPadding();
    fixedTotal += Sum{sz.cy} + pad.top + pad.bottom;
    ++counted;
  }
  if (counted > 0) fixedTotal += Sum{counted - 1} * m_childPadding;
  const Sum share = adjustables > 0 ? std::max<Sum>(0, (available - fixedTotal) / adjustables) : 0;

  // Second pass, in document order.
  Sum y = r.top;
  Sum remaining = available;
  int adjustableSeen = 0;
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      PlaceFloat(*item);
      continue;
    }
    const RECT pad = item->GetPadding();
    remaining -= pad.top;
    SIZE sz = item->EstimateSize(SIZE{Width(r), static_cast<long>(ToInt(remaining))});
    int height;
    if (sz.cy != 0) {
      height = Clamp(ToInt(sz.cy), item->GetMinHeight(), item->GetMaxHeight());
      fixedTotal -= height;
    } else {
      ++adjustableSeen;
      height = ToInt(share);
      if (adjustableSeen == adjustables) {
        height = ToInt(std::max<Sum>(0, remaining - pad.bottom - fixedTotal));
      }
      height = Clamp(height, item->GetMinHeight(), item->GetMaxHeight());
    }
    int width = item->GetFixedWidth();
    if (width == 0) width = ToInt(std::max<Sum>(0, Sum{Width(r)} - pad.left - pad.right));
    width = Clamp(width, item->GetMinWidth(), item->GetMaxWidth());

    const Sum left = Sum{r.left} + pad.left;
    const Sum top = y + pad.top;
    item->SetPos(
        RECT{ToInt(left), ToInt(top), ToInt(left + width), ToInt(top + height + pad.bottom)});
    y += Sum{pad.top} + height + pad.bottom + m_childPadding;
    remaining -= Sum{height} + m_childPadding + pad.bottom;
  }
}

void CHorizontalLayoutUI::SetPos(RECT pos) {
  CControlUI::SetPos(pos);
  const RECT r = InnerRect();
  const Sum available = std::max<Sum>(0, Width(r));

  int adjustables = 0;
  Sum fixedTotal = 0;
  int counted = 0;
  for (auto& item : m_items) {
    if (!item->IsVisible() || item->IsFloat()) continue;
    SIZE sz = item->EstimateSize(SIZE{Width(r), Height(r)});
    if (sz.cx == 0) {
      ++adjustables;
    } else {
      sz.cx = Clamp(ToInt(sz.cx), item->GetMinWidth(), item->GetMaxWidth());
    }
    const RECT pad = item->GetPadding();
    fixedTotal += Sum{sz.cx} + pad.left + pad.right;
    ++counted;
  }
  if (counted > 0) fixedTotal += Sum{counted - 1} * m_childPadding;
  const Sum share = adjustables > 0 ? std::max<Sum>(0, (available - fixedTotal) / adjustables) : 0;

  Sum x = r.left;
  Sum remaining = available;
  int adjustableSeen = 0;
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      PlaceFloat(*item);
      continue;
    }
    const RECT pad = item->GetPadding();
    remaining -= pad.left;
    SIZE sz = item->EstimateSize(SIZE{static_cast<long>(ToInt(remaining)), Height(r)});
    int width;
    if (sz.cx != 0) {
      width = Clamp(ToInt(sz.cx), item->GetMinWidth(), item->GetMaxWidth());
      fixedTotal -= width;
    } else {
      ++adjustableSeen;
      width = ToInt(share);
      if (adjustableSeen == adjustables) {
        width = ToInt(std::max<Sum>(0, remaining - pad.right - fixedTotal));
      }
      width = Clamp(width, item->GetMinWidth(), item->GetMaxWidth());
    }
    int height = item->GetFixedHeight();
    if (height == 0) height = ToInt(std::max<Sum>(0, Sum{Height(r)} - pad.top - pad.bottom));
    height = Clamp(height, item->GetMinHeight(), item->GetMaxHeight());

    const Sum top = Sum{r.top} + pad.top;
    const Sum left = x + pad.left;
    item->SetPos(
        RECT{ToInt(left), ToInt(top), ToInt(left + width + pad.right), ToInt(top + height)});
    x += Sum{pad.left} + width + pad.right + m_childPadding;
    remaining -= Sum{width} + m_childPadding + pad.right;
  }
}

CControlUI* CTabLayoutUI::AddAt(std::unique_ptr<CControlUI> control, int index) {
  if (!control) return nullptr;
  index = std::clamp(index, 0, GetCount());
  if (m_curSel >= 0 && index <= m_curSel) ++m_curSel;
  if (m_curSel < 0 && control->IsVisible()) {
    m_curSel = index;
  } else {
    control->SetVisible(false);
  }
  return CContainerUI::AddAt(std::move(control), index);
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  if (index == m_curSel) return true;
  const int old = m_curSel;
  m_curSel = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == index);
  NeedUpdate();
  if (m_manager) m_manager->SendNotify(this, u"tabselect", static_cast<WPARAM>(index), old);
  return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* control) {
  return SelectItem(GetItemIndex(control));
}

void CTabLayoutUI::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"selectedid") {
    SelectItem(ParseInt(value));
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

void CTabLayoutUI::SetPos(RECT pos) {
  CControlUI::SetPos(pos);
  const RECT inner = InnerRect();
  CControlUI* child = GetItemAt(m_curSel);
  if (!child || !child->IsVisible()) return;
  const RECT pad = child->GetPadding();
  const RECT box{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right,
                 inner.bottom - pad.bottom};
  SIZE sz = child->EstimateSize(SIZE{Width(box), Height(box)});
  if (sz.cx == 0) sz.cx = Width(box);
  if (sz.cy == 0) sz.cy = Height(box);
  sz.cx = Clamp(sz.cx, child->GetMinWidth(), child->GetMaxWidth());
  sz.cy = Clamp(sz.cy, child->GetMinHeight(), child->GetMaxHeight());
  child->SetPos(RECT{box.left, box.top, box.left + sz.cx, box.top + sz.cy});
}

}  // namespace pinvale::ui
