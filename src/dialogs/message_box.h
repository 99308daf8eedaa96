#pragma once

// The program's one message box: a skinned modal window ("MsgBox.xml") that sizes
// itself to its text. Flags and results have the values of the Windows message box,
// so callers read like ordinary MessageBox calls.

#include <string>
#include <string_view>
#include <vector>

#include "ui/ui.h"

namespace pinvale {

// Flags: the button set in the low four bits, the icon in the next four.
constexpr int kMessageBoxOk = 0x00;
constexpr int kMessageBoxOkCancel = 0x01;
constexpr int kMessageBoxIconError = 0x10;
constexpr int kMessageBoxIconWarning = 0x30;

// Results.
constexpr int kMessageBoxResultNone = 0;  // closed some other way
constexpr int kMessageBoxResultOk = 1;
constexpr int kMessageBoxResultCancel = 2;

class CDuiMessageBox : public ui::WindowImplBase {
 public:
  CDuiMessageBox(std::u16string skinFile, std::u16string caption, std::u16string text, int flags);
  ~CDuiMessageBox() override;

  std::u16string_view GetWindowClassName() const override { return u"DUIMainFrame"; }
  std::u16string GetSkinFolder() override { return u""; }
  std::u16string GetSkinFile() override { return skinFile_; }

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void InitWindow() override;
  void Notify(ui::TNotifyUI& msg) override;

  int Result() const { return result_; }
  const std::u16string& Text() const { return text_; }
  const std::u16string& Caption() const { return caption_; }
  int TitleHeight() const { return titleHeight_; }
  const std::u16string& IconImage() const { return iconImage_; }

 private:
  ui::CTextUI* AddText(int textWidth);
  void AddButtons();

  std::u16string text_;
  std::u16string caption_;
  int flags_;
  std::u16string skinFile_;
  int titleHeight_ = 0;
  std::u16string iconImage_;
  std::vector<ui::CButtonUI*> buttons_;
  int result_ = kMessageBoxResultNone;
};

// Shows a modal message box owned by `parent` and returns its result.
int ShowMessageBox(HWND parent, std::u16string_view caption, std::u16string_view text, int flags);

// Closes the open message box, if any, by posting it WM_CLOSE; its result stays 0.
// The main window calls this when the key is pulled out, so that no box stays open
// over a device that has gone.
void CloseCurrentMessageBox();

}  // namespace pinvale
