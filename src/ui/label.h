#pragma once

// Text-bearing controls: the label, the text control with mark-up and links, and the button.

#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/text_markup.h"

namespace pinvale::ui {

class CLabelUI : public CControlUI {
 public:
  CLabelUI();
  std::u16string_view GetClass() const override { return u"Label"; }

  DWORD GetTextColor() const { return m_textColor; }
  void SetTextColor(DWORD argb);
  DWORD GetDisabledTextColor() const { return m_disabledTextColor; }
  void SetDisabledTextColor(DWORD argb);
  int GetFont() const { return m_font; }
  void SetFont(int index);  // index into the window's font table; -1 is the default font
  UINT GetTextStyle() const { return m_textStyle; }
  void SetTextStyle(UINT dtFlags);  // DT_LEFT/DT_CENTER/DT_RIGHT, DT_VCENTER, DT_WORDBREAK...
  RECT GetTextPadding() const { return m_textPadding; }
  void SetTextPadding(RECT padding);
  bool IsShowHtml() const { return m_showHtml; }
  void SetShowHtml(bool show = true);
  const std::u16string& GetNormalImage() const { return m_normalImage; }
  void SetNormalImage(std::u16string_view image);

  // A fixed height wins; otherwise the font's text height plus the control's extra (4).
  SIZE EstimateSize(SIZE available) override;
  void SetAttribute(std::u16string_view name, std::u16string_view value) override;
  void SetText(std::u16string_view text) override;

 protected:
  virtual int EstimateExtraHeight() const { return 4; }
  void PaintText(IRenderTarget& target) override;
  void PaintStatusImage(IRenderTarget& target) override;
  virtual DWORD CurrentTextColor() const;
  // The text (mark-up or plain) laid out into `box`: a layout made at the origin in a box of
  // the same size, and the offset that moves it into `box` (a layout depends on the box's
  // size alone). The layout stays valid until the next call.
  struct PlacedText {
    const TextLayout& layout;
    long dx;
    long dy;
  };
  PlacedText LayoutText(const RECT& box) const;

  DWORD m_textColor = 0;
  DWORD m_disabledTextColor = 0;
  int m_font = -1;
  UINT m_textStyle = DT_VCENTER | DT_SINGLELINE;
  RECT m_textPadding{};
  bool m_showHtml = false;
  std::u16string m_normalImage;

  // The text, its style or its box changed: the manager's layout of it no longer holds.
  virtual void ForgetLayout();
};

// A label whose text may wrap and carry mark-up with links; a click on a link sends "link".
class CTextUI : public CLabelUI {
 public:
  CTextUI();
  std::u16string_view GetClass() const override { return u"Text"; }
  // The target of link `index` in document order ({a target}...{/a}); empty when none.
  std::u16string GetLinkContent(int index) const;
  int GetLinkCount() const;
  // The size the text needs drawn into max(fixed width, offered width), text padding
  // included; a fixed height replaces the height.
  SIZE EstimateSize(SIZE available) override;
  void DoEvent(TEventUI& event) override;
  void SetPos(RECT pos) override;

 protected:
  void PaintText(IRenderTarget& target) override;

 private:
  void ForgetLayout() override;
  // The link targets of the text, read from it when first asked for after a change.
  const std::vector<std::u16string>& Links() const;

  mutable std::vector<std::u16string> m_links;
  mutable bool m_linksRead = false;
  std::vector<RECT> m_linkRects;  // per link, in client coordinates, from the last layout
  std::vector<int> m_linkIndexOfRect;
  int m_hotLink = -1;
};

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  std::u16string_view GetClass() const override { return u"Button"; }
  bool IsFocusable() const override { return true; }

  void SetHotImage(std::u16string_view image) {
    m_hotImage = image;
    Invalidate();
  }
  void SetPushedImage(std::u16string_view image) {
    m_pushedImage = image;
    Invalidate();
  }
  void SetDisabledImage(std::u16string_view image) {
    m_disabledImage = image;
    Invalidate();
  }
  void SetFocusedImage(std::u16string_view image) {
    m_focusedImage = image;
    Invalidate();
  }
  void SetHotTextColor(DWORD argb) {
    m_hotTextColor = argb;
    Invalidate();
  }
  void SetPushedTextColor(DWORD argb) {
    m_pushedTextColor = argb;
    Invalidate();
  }
  void SetHotBkColor(DWORD argb) {
    m_hotBkColor = argb;
    Invalidate();
  }
  bool IsHot() const { return m_hot; }
  bool IsPushed() const { return m_pushed; }
  // Sends "click" as a mouse click would (nothing when disabled or invisible).
  bool Activate();

  void SetAttribute(std::u16string_view name, std::u16string_view value) override;
  void DoEvent(TEventUI& event) override;

 protected:
  int EstimateExtraHeight() const override { return 8; }
  void PaintStatusImage(IRenderTarget& target) override;
  void PaintBkColor(IRenderTarget& target) override;
  DWORD CurrentTextColor() const override;

  std::u16string m_hotImage;
  std::u16string m_pushedImage;
  std::u16string m_disabledImage;
  std::u16string m_focusedImage;
  DWORD m_hotTextColor = 0;
  DWORD m_pushedTextColor = 0;
  DWORD m_hotBkColor = 0;
  bool m_hot = false;
  bool m_pushed = false;
  bool m_captured = false;
};

}  // namespace pinvale::ui
