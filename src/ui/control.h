#pragma once

// The base of every control: geometry properties, look, state, attributes and events.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/attribute_values.h"
#include "ui/notify.h"
#include "ui/render.h"
#include "ui/win_types.h"

namespace pinvale::ui {

class CPaintManagerUI;

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  // The layout element name: "Control", "Label", "Button", ...
  virtual std::u16string_view GetClass() const { return u"Control"; }

  const std::u16string& GetName() const { return m_name; }
  void SetName(std::u16string_view name) { m_name = name; }
  virtual std::u16string GetText() const { return m_text; }
  virtual void SetText(std::u16string_view text);
  const std::u16string& GetToolTip() const { return m_tooltip; }
  void SetToolTip(std::u16string_view tip) { m_tooltip = tip; }
  std::uintptr_t GetTag() const { return m_tag; }
  void SetTag(std::uintptr_t tag) { m_tag = tag; }

  // Geometry properties (what the attributes set).
  SIZE GetFixedXY() const { return m_fixedXY; }
  void SetFixedXY(SIZE xy);
  int GetFixedWidth() const { return m_fixedWidth; }
  void SetFixedWidth(int width);
  int GetFixedHeight() const { return m_fixedHeight; }
  void SetFixedHeight(int height);
  int GetMinWidth() const { return m_minWidth; }
  void SetMinWidth(int v);
  int GetMaxWidth() const { return m_maxWidth; }
  void SetMaxWidth(int v);
  int GetMinHeight() const { return m_minHeight; }
  void SetMinHeight(int v);
  int GetMaxHeight() const { return m_maxHeight; }
  void SetMaxHeight(int v);
  RECT GetPadding() const { return m_padding; }
  void SetPadding(RECT padding);
  bool IsFloat() const { return m_float; }
  void SetFloat(bool isFloat);

  // Placement: the rectangle the parent gave, in window client coordinates.
  const RECT& GetPos() const { return m_pos; }
  virtual void SetPos(RECT pos);
  int GetX() const { return m_pos.left; }
  int GetY() const { return m_pos.top; }
  int GetWidth() const { return Width(m_pos); }
  int GetHeight() const { return Height(m_pos); }
  // The size this control asks for when a container offers `available`.
  virtual SIZE EstimateSize(SIZE available);

  // Look.
  DWORD GetBkColor() const { return m_bkColor; }
  void SetBkColor(DWORD argb);
  DWORD GetBkColor2() const { return m_bkColor2; }
  void SetBkColor2(DWORD argb);
  DWORD GetBorderColor() const { return m_borderColor; }
  void SetBorderColor(DWORD argb);
  DWORD GetFocusBorderColor() const { return m_focusBorderColor; }
  void SetFocusBorderColor(DWORD argb);
  int GetBorderSize() const { return m_borderSize; }
  void SetBorderSize(int size);
  SIZE GetBorderRound() const { return m_borderRound; }
  void SetBorderRound(SIZE round);  // accepted; corners are drawn square
  const std::u16string& GetBkImage() const { return m_bkImage; }
  // An image descriptor ("file='a.png' source='0,0,16,16'") or a bare entry name.
  void SetBkImage(std::u16string_view image);

  // State.
  bool IsVisible() const { return m_visible && m_internVisible; }
  virtual void SetVisible(bool visible = true);
  // Hidden by its container (tab pages) regardless of its own flag.
  virtual void SetInternVisible(bool visible = true);
  bool IsEnabled() const { return m_enabled; }
  virtual void SetEnabled(bool enabled = true);
  bool IsFocused() const { return m_focused; }
  // Takes the keyboard focus through the paint manager ("setfocus" follows).
  void SetFocus();
  // Takes part in Tab cycling and keyboard focus.
  virtual bool IsFocusable() const { return false; }
  // Takes the mouse wheel (kScrollWheel) for what lies under the pointer.
  virtual bool IsScrollable() const { return false; }
  bool IsMouseEnabled() const { return m_mouseEnabled; }
  void SetMouseEnabled(bool enabled) { m_mouseEnabled = enabled; }

  // Attributes, applied in the order given; a later one overrides an earlier one.
  virtual void SetAttribute(std::u16string_view name, std::u16string_view value);
  // A list in the form: name="value" name2="value2".
  void ApplyAttributeList(std::u16string_view list);

  // Tree.
  CControlUI* GetParent() const { return m_parent; }
  CPaintManagerUI* GetManager() const { return m_manager; }
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);
  // Depth-first search of this subtree.
  virtual CControlUI* FindByName(std::u16string_view name);
  // The innermost visible control under pt that takes the mouse, or nullptr.
  virtual CControlUI* FindAt(POINT pt);
  // Visits this subtree in document order.
  virtual void ForEach(const std::function<void(CControlUI&)>& visit);

  // Events and painting.
  virtual void DoEvent(TEventUI& event);
  virtual void DoPaint(IRenderTarget& target, const RECT& paint);
  void Invalidate();
  // Asks for a new layout of the parent (size properties changed).
  void NeedParentUpdate();
  void NeedUpdate();

 protected:
  virtual void PaintBkColor(IRenderTarget& target);
  virtual void PaintBkImage(IRenderTarget& target);
  virtual void PaintStatusImage(IRenderTarget& target);
  virtual void PaintText(IRenderTarget& target);
  virtual void PaintBorder(IRenderTarget& target);
  // Draws an image attribute value into this control; false when nothing was drawn.
  bool DrawImage(IRenderTarget& target, std::u16string_view image);

  CPaintManagerUI* m_manager = nullptr;
  CControlUI* m_parent = nullptr;
  std::u16string m_name;
  std::u16string m_text;
  std::u16string m_tooltip;
  std::uintptr_t m_tag = 0;
  RECT m_pos{};
  SIZE m_fixedXY{};
  int m_fixedWidth = 0;
  int m_fixedHeight = 0;
  int m_minWidth = 0;
  int m_maxWidth = 9999;
  int m_minHeight = 0;
  int m_maxHeight = 9999;
  RECT m_padding{};
  bool m_float = false;
  DWORD m_bkColor = 0;
  DWORD m_bkColor2 = 0;
  DWORD m_borderColor = 0;
  DWORD m_focusBorderColor = 0;
  int m_borderSize = 0;
  SIZE m_borderRound{};
  std::u16string m_bkImage;
  bool m_visible = true;
  bool m_internVisible = true;
  bool m_enabled = true;
  bool m_focused = false;
  bool m_mouseEnabled = true;
};

}  // namespace pinvale::ui
