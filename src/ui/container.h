#pragma once

// Containers own their children and place them: vertical and horizontal stacking, and the
// tab layout that shows one child at a time.

#include <memory>
#include <vector>

#include "ui/control.h"

namespace pinvale::ui {

class CContainerUI : public CControlUI {
 public:
  std::u16string_view GetClass() const override { return u"Container"; }

  // Takes ownership; returns the control for further set-up.
  CControlUI* Add(std::unique_ptr<CControlUI> control);
  template <class T>
  T* Add(std::unique_ptr<T> control) {
    T* raw = control.get();
    Add(std::unique_ptr<CControlUI>(std::move(control)));
    return raw;
  }
  virtual CControlUI* AddAt(std::unique_ptr<CControlUI> control, int index);
  bool Remove(CControlUI* control);
  void RemoveAll();
  int GetCount() const { return static_cast<int>(m_items.size()); }
  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(const CControlUI* control) const;

  // Search within this subtree only.
  CControlUI* FindSubControl(std::u16string_view name) { return FindByName(name); }

  RECT GetInset() const { return m_inset; }
  void SetInset(RECT inset);
  int GetChildPadding() const { return m_childPadding; }
  void SetChildPadding(int padding);

  void SetAttribute(std::u16string_view name, std::u16string_view value) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
  CControlUI* FindByName(std::u16string_view name) override;
  CControlUI* FindAt(POINT pt) override;
  void ForEach(const std::function<void(CControlUI&)>& visit) override;
  void SetInternVisible(bool visible = true) override;
  void SetVisible(bool visible = true) override;
  void DoPaint(IRenderTarget& target, const RECT& paint) override;
  // A plain container places its children one on top of the other in its inner rectangle.
  void SetPos(RECT pos) override;

 protected:
  // The floating rule: pos measured from the left/top, or from the right/bottom when negative.
  void PlaceFloat(CControlUI& child);
  RECT InnerRect() const;

  std::vector<std::unique_ptr<CControlUI>> m_items;
  RECT m_inset{};
  int m_childPadding = 0;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  std::u16string_view GetClass() const override { return u"VerticalLayout"; }
  void SetPos(RECT pos) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  std::u16string_view GetClass() const override { return u"HorizontalLayout"; }
  void SetPos(RECT pos) override;
};

// One row of a list: a vertical layout under another name.
class CListContainerElementUI : public CVerticalLayoutUI {
 public:
  std::u16string_view GetClass() const override { return u"ListContainerElement"; }
};

class CTabLayoutUI : public CContainerUI {
 public:
  std::u16string_view GetClass() const override { return u"TabLayout"; }
  CControlUI* AddAt(std::unique_ptr<CControlUI> control, int index) override;
  int GetCurSel() const { return m_curSel; }
  // False for an index outside the children; selecting the current index changes nothing.
  // Otherwise shows child `index`, hides the others, lays out again and sends "tabselect"
  // (wParam new index, lParam old index).
  bool SelectItem(int index);
  bool SelectItem(CControlUI* control);
  void SetAttribute(std::u16string_view name, std::u16string_view value) override;
  void SetPos(RECT pos) override;

 private:
  int m_curSel = -1;
};

}  // namespace pinvale::ui
