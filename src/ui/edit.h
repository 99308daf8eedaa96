#pragma once

// Single-line text entry. Text is held as UTF-16: a character outside the BMP takes two
// units, and Backspace, Delete and the arrow keys treat such a pair as one character.
//
// In password mode the text is a secret. It lives in storage reserved once for the
// maximum length (GetMaxChar), so it never moves while the user types, and the units that
// leave it (deleted, replaced, cleared, and all of it when the control goes) are wiped.
// Read it with GetSecretText, which hands out a wiped copy.

#include <string>

#include "secret/wiping_text.h"
#include "ui/label.h"

namespace pinvale::ui {

class CEditUI : public CLabelUI {
 public:
  CEditUI();
  std::u16string_view GetClass() const override { return u"Edit"; }
  bool IsFocusable() const override { return true; }

  // Replaces the text and puts the caret at its end. Only user edits send "textchanged".
  void SetText(std::u16string_view text) override;
  // A plain copy, also of a password; code that reads a password uses GetSecretText.
  std::u16string GetText() const override;
  // A copy in storage that is wiped when it goes.
  WipingU16Text GetSecretText() const;
  long GetTextLength() const { return static_cast<long>(Text().size()); }
  bool IsPasswordMode() const { return m_password; }
  void SetPasswordMode(bool password);
  char16_t GetPasswordChar() const { return m_passwordChar; }
  void SetPasswordChar(char16_t c);
  bool IsReadOnly() const { return m_readOnly; }
  void SetReadOnly(bool readOnly);
  int GetMaxChar() const { return m_maxChar; }
  void SetMaxChar(int units);  // limit in UTF-16 units; typing beyond it is refused

  // For tests: where a password's units are kept (null outside password mode).
  const char16_t* PasswordStorageForTesting() const { return m_secret.data(); }
  std::size_t PasswordCapacityForTesting() const { return m_secret.capacity(); }

  // Selection in UTF-16 units, start <= end; the caret sits at the end. -1 for end means the
  // end of the text. Positions are moved off the middle of a surrogate pair.
  void SetSel(long start, long end);
  void SetSelAll();
  void SetSelNone();
  long GetSelStart() const { return m_selStart; }
  long GetSelEnd() const { return m_selEnd; }
  long GetCaret() const { return m_caret; }

  // Inserts typed text at the caret, replacing the selection; sends "textchanged".
  void InsertText(std::u16string_view text);

  SIZE EstimateSize(SIZE available) override;
  void SetAttribute(std::u16string_view name, std::u16string_view value) override;
  void DoEvent(TEventUI& event) override;

 protected:
  int EstimateExtraHeight() const override { return 6; }
  void PaintText(IRenderTarget& target) override;
  void PaintBorder(IRenderTarget& target) override;

 private:
  // The text in use: the wiped storage in password mode, m_text otherwise.
  std::u16string_view Text() const;
  // The one way the text changes: `count` units at `at` give way to `with`.
  void ReplaceUnits(long at, long count, std::u16string_view with);
  void ReserveSecret();
  std::u16string DisplayText() const;  // bullets in password mode, one per character
  long DisplayIndex(long unitIndex) const;
  long UnitIndexFromX(int x) const;
  void DeleteSelection();
  void TextChanged();
  long PrevCharStart(long pos) const;
  long NextCharEnd(long pos) const;

  bool m_password = false;
  char16_t m_passwordChar = u'\u25CF';
  bool m_readOnly = false;
  int m_maxChar = 255;
  long m_selStart = 0;
  long m_selEnd = 0;
  long m_caret = 0;
  long m_anchor = 0;
  bool m_selecting = false;
  int m_scrollX = 0;
  char16_t m_pendingHigh = 0;  // a typed high surrogate waiting for its low half
  WipingU16Text m_secret;      // the text in password mode (m_text stays empty)
};

}  // namespace pinvale::ui
