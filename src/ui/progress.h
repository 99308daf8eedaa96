#pragma once

// A progress bar: `value` of `max` filled from the left in the fore colour over the
// background, with an optional text on it (centred; "3 of 5 touches"). Where the text lies
// over the filled part it takes the fore text colour, so it stays readable on both.

#include "ui/label.h"

namespace pinvale::ui {

class CProgressUI : public CLabelUI {
 public:
  CProgressUI();
  std::u16string_view GetClass() const override { return u"Progress"; }

  int GetValue() const { return m_value; }
  // Clamped to 0..max.
  void SetValue(int value);
  int GetMaxValue() const { return m_max; }
  // At least 1; the value is clamped to the new maximum.
  void SetMaxValue(int max);
  DWORD GetForeColor() const { return m_foreColor; }
  void SetForeColor(DWORD argb);
  DWORD GetForeTextColor() const { return m_foreTextColor; }
  void SetForeTextColor(DWORD argb);
  // The filled part, in window coordinates.
  RECT GetFillRect() const;

  void SetAttribute(std::u16string_view name, std::u16string_view value) override;

 protected:
  void PaintStatusImage(IRenderTarget& target) override;
  void PaintText(IRenderTarget& target) override;

 private:
  RECT InnerRect() const;

  int m_value = 0;
  int m_max = 100;
  DWORD m_foreColor = 0xFF0168B7;
  DWORD m_foreTextColor = 0xFFFFFFFF;
  std::u16string m_foreImage;
};

}  // namespace pinvale::ui
