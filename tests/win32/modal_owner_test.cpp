// A modal window of the real Win32 backend under Wine: its owner, disabled meanwhile, drops
// the hover it had, and takes input again before the system hides the modal window, so a
// click on the owner in the moment between the hide and the end of the modal loop (the
// dialog's own end runs then) is not lost.

#include <windows.h>

#include <string>
#include <vector>

#include "skin/skin_window.h"
#include "ui/label.h"

namespace pinvale::skin_test {
namespace {

// Input at a client point of the window, the pointer moved there first (the window's leave
// tracking would end a hover at once otherwise).
void Mouse(HWND hwnd, UINT message, POINT client) {
  POINT screen = client;
  ::ClientToScreen(hwnd, &screen);
  ::SetCursorPos(static_cast<int>(screen.x), static_cast<int>(screen.y));
  ::SendMessageW(hwnd, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                 MAKELPARAM(client.x, client.y));
}

POINT CentreOf(ui::CControlUI* control) {
  const RECT& r = control->GetPos();
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class OwnerWindow : public LayoutWindow {
 public:
  OwnerWindow() : LayoutWindow(u"main.xml") {}
  void Notify(ui::TNotifyUI& msg) override {
    if (msg.sType == u"click" && msg.pSender) clicks.push_back(msg.pSender->GetName());
    LayoutWindow::Notify(msg);
  }
  std::vector<std::u16string> clicks;
};

// Clicks the owner's About button from its own end, when the system has hidden it.
class DyingDialog : public LayoutWindow {
 public:
  explicit DyingDialog(OwnerWindow& owner) : LayoutWindow(u"MsgBox.xml"), m_owner(owner) {}
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg == WM_DESTROY) {
      hiddenAtDestroy = !::IsWindowVisible(GetHWND());
      ownerEnabledAtDestroy = ::IsWindowEnabled(m_owner.GetHWND()) != FALSE;
      const HWND owner = m_owner.GetHWND();
      const POINT about = CentreOf(m_owner.GetPaintManager().FindControl(u"btn_about"));
      Mouse(owner, WM_MOUSEMOVE, about);
      Mouse(owner, WM_LBUTTONDOWN, about);
      Mouse(owner, WM_LBUTTONUP, about);
      ui::testing::PumpUntilIdle();
    }
    return LayoutWindow::HandleMessage(uMsg, wParam, lParam);
  }
  bool hiddenAtDestroy = false;
  bool ownerEnabledAtDestroy = false;

 private:
  OwnerWindow& m_owner;
};

class ModalOwnerTest : public SkinWindowTest {};

TEST_F(ModalOwnerTest, TheOwnerDropsItsHoverAndTakesAClickRightAfterTheDialogIsHidden) {
  OwnerWindow owner;
  ASSERT_NE(owner.Create(nullptr, u"Pinvale", 0x10CA0000, 0), nullptr) << "no display?";
  owner.ShowWindow(true);
  ui::testing::PumpUntilIdle();
  const HWND ownerHwnd = owner.GetHWND();
  auto* help = dynamic_cast<ui::CButtonUI*>(owner.GetPaintManager().FindControl(u"btn_help"));
  ASSERT_NE(help, nullptr);
  Mouse(ownerHwnd, WM_MOUSEMOVE, CentreOf(help));
  ui::testing::PumpUntilIdle();
  ASSERT_TRUE(help->IsHot());

  DyingDialog dialog(owner);
  ASSERT_NE(dialog.Create(ownerHwnd, u"Pinvale", 0x10CA0000, 0), nullptr);
  dialog.CenterWindow();
  bool ownerEnabledMeanwhile = true;
  bool helpHotMeanwhile = true;
  ui::testing::RunWhenModal([&](HWND) {
    ownerEnabledMeanwhile = ::IsWindowEnabled(ownerHwnd) != FALSE;
    helpHotMeanwhile = help->IsHot() || owner.GetPaintManager().GetHot() != nullptr;
    dialog.Close(1);
  });
  EXPECT_EQ(dialog.ShowModal(), 1u);
  EXPECT_FALSE(ownerEnabledMeanwhile);
  EXPECT_FALSE(helpHotMeanwhile);
  EXPECT_TRUE(dialog.hiddenAtDestroy);
  EXPECT_TRUE(dialog.ownerEnabledAtDestroy);
  EXPECT_EQ(owner.clicks, std::vector<std::u16string>{u"btn_about"});
  EXPECT_TRUE(::IsWindowEnabled(ownerHwnd));
  EXPECT_EQ(ui::testing::PendingModalTasks(), 0);
}

}  // namespace
}  // namespace pinvale::skin_test
