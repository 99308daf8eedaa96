#pragma once

// A list of rows the user picks from: each row a title and, when given, a smaller second
// line under it ("example.com" / "alice · Alice Example"). One row at a time is selected and
// drawn in the selection colour. The rows are set from code; the list shows its empty text
// when there are none.
//
// Mouse: a press selects the row under it, a second press on the same row soon after
// activates it; the wheel scrolls; the scroll bar (shown when the rows do not fit) pages on
// a press on its track and follows a drag of its thumb. Keys, once focused: Up and Down move
// by a row, PageUp and PageDown by a page, Home and End to the ends, Enter activates, Tab
// moves on as everywhere. The keys bring the selected row into view; the wheel and the scroll
// bar leave the selection where it is.
//
// Notifications: "itemselect" (wParam the new row or -1, lParam the old one) when the
// selection changes, by the user or by SelectItem; "itemactivate" (wParam the row).

#include <cstdint>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/scroll_bar.h"

namespace pinvale::ui {

struct ListItem {
  std::u16string title;
  std::u16string detail;  // the second line; none when empty
  std::uintptr_t tag = 0;
};

class CListUI : public CControlUI {
 public:
  CListUI();
  std::u16string_view GetClass() const override { return u"List"; }
  bool IsFocusable() const override { return true; }
  bool IsScrollable() const override { return true; }

  // ---- rows ----
  // Replaces the rows: the selection goes (without a notification) and the list shows its top.
  void SetItems(std::vector<ListItem> items);
  int AddItem(ListItem item);
  void RemoveAll() { SetItems({}); }
  int GetCount() const { return static_cast<int>(m_items.size()); }
  // Row `index`, or nullptr when there is none.
  const ListItem* GetItem(int index) const;

  // ---- selection ----
  int GetCurSel() const { return m_curSel; }
  // Selects row `index` (-1: none), brings it into view and sends "itemselect" when the
  // selection changed. False when the index is out of range.
  bool SelectItem(int index);
  // Sends "itemactivate" for the selected row; false when none is selected.
  bool ActivateSelected();

  // ---- scrolling (units) ----
  void EnsureVisible(int index);
  int GetScrollPos() const { return m_scroll.Offset(); }
  void SetScrollPos(int offset);
  int GetScrollRange() const { return m_scroll.MaxOffset(); }
  bool IsScrollBarVisible() const { return m_scroll.IsNeeded(); }
  RECT GetScrollBarRect() const { return m_scroll.IsNeeded() ? m_scroll.Track() : RECT{}; }
  RECT GetThumbRect() const { return m_scroll.Thumb(); }
  // Where row `index` stands now, in window coordinates (it may be out of view).
  RECT GetItemRect(int index) const;
  // The row under pt, or -1.
  int ItemAt(POINT pt) const;

  // ---- look ----
  // Height of every row; 0 (the default) fits the fonts: the title and, when any row has
  // one, the second line.
  int GetItemHeight() const;
  void SetItemHeight(int height);
  const std::u16string& GetEmptyText() const { return m_emptyText; }
  void SetEmptyText(std::u16string_view text);

  void SetPos(RECT pos) override;
  void SetAttribute(std::u16string_view name, std::u16string_view value) override;
  void DoEvent(TEventUI& event) override;

 protected:
  void PaintText(IRenderTarget& target) override;

 private:
  // The rows' part of the control: inside the border, left of the scroll bar.
  RECT ViewRect() const;
  RECT InnerRect() const;
  void UpdateScrollBar();
  int RowsPerPage() const;
  void MoveSelection(int index);
  void PaintRow(IRenderTarget& target, int index, const RECT& row);
  void PaintLine(IRenderTarget& target, std::u16string_view text, int font, const RECT& box,
                 DWORD color);
  void PaintScrollBar(IRenderTarget& target);
  int FontHeight(int font) const;

  std::vector<ListItem> m_items;
  int m_curSel = -1;
  int m_hotItem = -1;
  VerticalScrollBar m_scroll;
  bool m_thumbHot = false;
  int m_lastPressItem = -1;
  DWORD m_lastPressTime = 0;

  int m_itemHeight = 0;
  int m_itemFont = -1;
  int m_itemDetailFont = -1;
  RECT m_itemTextPadding{8, 4, 8, 4};
  DWORD m_itemTextColor = 0xFF202020;
  DWORD m_itemDetailTextColor = 0xFF6A6A6A;
  DWORD m_selectedBkColor = 0xFFCCE4F7;
  DWORD m_selectedTextColor = 0;  // the row's own colours when 0
  DWORD m_hotBkColor = 0;
  DWORD m_lineColor = 0;  // a rule under each row when set
  std::u16string m_emptyText;
  DWORD m_emptyTextColor = 0xFF8A8A8A;
  int m_scrollBarWidth = 10;
  DWORD m_scrollTrackColor = 0xFFF0F0F0;
  DWORD m_scrollThumbColor = 0xFFC2C2C2;
  DWORD m_scrollThumbHotColor = 0xFFA0A0A0;
};

}  // namespace pinvale::ui
