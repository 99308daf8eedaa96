#include "dialogs/message_box.h"

#include "dialogs/message_box_layout.h"

namespace pinvale {

namespace {

constexpr DWORD kMessageBoxStyle = 0x96C80000;  // popup, visible, caption, system menu

// The box that is open now. Only the UI thread reads or writes it.
CDuiMessageBox* CurrentMessageBox = nullptr;

std::u16string IconForFlags(int flags) {
  switch (flags & 0xF0) {
    case kMessageBoxIconError:
      return u"Png_Msg_error.png";
    case kMessageBoxIconWarning:
      return u"Png_Msg_warning.png";
    default:
      // The plain kind names a logo the skin does not carry, so no icon is drawn.
      return u"logo_32.png";
  }
}

}  // namespace

CDuiMessageBox::CDuiMessageBox(std::u16string skinFile, std::u16string caption, std::u16string text,
                               int flags)
    : text_(std::move(text)),
      caption_(std::move(caption)),
      flags_(flags),
      skinFile_(std::move(skinFile)) {}

CDuiMessageBox::~CDuiMessageBox() {
  if (CurrentMessageBox == this) CurrentMessageBox = nullptr;
}

void CDuiMessageBox::InitWindow() {
  SetWindowText(caption_);
  if (auto* title = m_pm.FindControl(u"FSTitle")) title->SetText(caption_);
  if (auto* titleBar = m_pm.FindControl(u"MsgTitle")) titleHeight_ = titleBar->GetFixedHeight();
  auto* content = dynamic_cast<ui::CContainerUI*>(m_pm.FindControl(u"MsgBox"));
  if (!content) return;  // a layout without the content area shows the title bar only

  std::vector<int> lineWidths;
  for (std::u16string_view line : SplitMessageLines(text_)) {
    lineWidths.push_back(line.empty() ? 0 : static_cast<int>(m_pm.MeasureText(0, line).cx));
  }
  // The line height is the height of the whole text's extent: one line of font 0.
  int lineHeight = static_cast<int>(m_pm.MeasureText(0, text_).cy);
  if (lineHeight <= 0) {
    if (const ui::TFontInfo* info = m_pm.GetFontInfo(0)) lineHeight = info->tmHeight;
  }
  MessageTextSize size = MeasureMessageText(lineWidths, lineHeight);
  ui::CTextUI* text = AddText(size.width);
  int drawnHeight = static_cast<int>(text->EstimateSize({0, 0}).cy);

  MessageBoxGeometry geometry = PlaceMessageBox(
      size, titleHeight_, (flags_ & 0xF) == kMessageBoxOkCancel ? 2 : 1, drawnHeight);
  text->SetFixedHeight(geometry.textBoxHeight);
  ResizeClient(geometry.windowWidth, geometry.windowHeight);

  AddButtons();
  iconImage_ = IconForFlags(flags_);
  auto* icon = content->Add(std::make_unique<ui::CLabelUI>());
  icon->SetFloat(true);
  icon->SetFixedXY({25, 25});
  icon->SetFixedWidth(32);
  icon->SetFixedHeight(32);
  icon->SetBkImage(iconImage_);

  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const auto& box = geometry.buttons[i];
    buttons_[i]->SetFixedXY({box.left, box.top});
    buttons_[i]->SetFixedWidth(box.right - box.left);
    buttons_[i]->SetFixedHeight(box.bottom - box.top);
  }
}

ui::CTextUI* CDuiMessageBox::AddText(int textWidth) {
  auto* content = dynamic_cast<ui::CContainerUI*>(m_pm.FindControl(u"MsgBox"));
  auto* text = content->Add(std::make_unique<ui::CTextUI>());
  text->SetFloat(true);
  text->SetFixedXY({kMessageTextX, kMessageTextY});
  text->SetFixedWidth(textWidth + 10);
  text->SetText(text_);
  text->SetFont(0);
  text->SetTextColor(0xFF000000);
  text->SetShowHtml(true);
  return text;
}

void CDuiMessageBox::AddButtons() {
  auto* content = dynamic_cast<ui::CContainerUI*>(m_pm.FindControl(u"MsgBox"));
  if (!content) return;
  std::vector<std::u16string_view> labels = {u"OK"};
  if ((flags_ & 0xF) == kMessageBoxOkCancel) labels.push_back(u"Cancel");
  for (std::u16string_view label : labels) {
    auto* button = content->Add(std::make_unique<ui::CButtonUI>());
    button->SetFloat(true);
    button->SetName(label);
    button->SetText(label);
    button->SetBkColor(0xFFCCCCCC);
    button->SetBkColor2(0xFFCCCCCC);
    button->SetTextColor(0xFF000000);
    button->SetBorderColor(0xFFD7D7D7);
    button->SetFocusBorderColor(0xFF0078D7);
    button->SetBorderSize(1);
    button->SetBorderRound({0, 0});
    button->SetFont(0);
    buttons_.push_back(button);
  }
}

void CDuiMessageBox::Notify(ui::TNotifyUI& msg) {
  if (msg.sType != u"click" || !msg.pSender) return;  // "link" and the rest: nothing
  const std::u16string& name = msg.pSender->GetName();
  if (name == u"closebtn" || name == u"Cancel") {
    result_ = kMessageBoxResultCancel;
  } else if (name == u"OK") {
    result_ = kMessageBoxResultOk;
  }
  Close(static_cast<UINT>(result_));
}

LRESULT CDuiMessageBox::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_KEYDOWN && wParam == VK_RETURN) {
    result_ = kMessageBoxResultOk;
    Close(static_cast<UINT>(result_));
    return 0;
  }
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    result_ = kMessageBoxResultCancel;
    Close(static_cast<UINT>(result_));
    return 0;
  }
  return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

int ShowMessageBox(HWND parent, std::u16string_view caption, std::u16string_view text, int flags) {
  CDuiMessageBox box(u"MsgBox.xml", std::u16string(caption), std::u16string(text), flags);
  // One box is registered at a time: a box opened over another takes the slot and
  // gives it back when it closes.
  CDuiMessageBox* previous = CurrentMessageBox;
  CurrentMessageBox = &box;
  if (!box.Create(parent, u"Test", kMessageBoxStyle, 0)) {
    CurrentMessageBox = previous;
    return kMessageBoxResultNone;
  }
  box.CenterWindow();
  box.ShowModal();
  if (CurrentMessageBox == &box) CurrentMessageBox = previous;
  return box.Result();
}

void CloseCurrentMessageBox() {
  if (!CurrentMessageBox) return;
  CurrentMessageBox->PostMessage(WM_CLOSE, 0, 0);
  CurrentMessageBox = nullptr;
}

}  // namespace pinvale
