// Hover and tooltips end as soon as the control can no longer be under the pointer, and a
// modal window gives its owner back before it hides, so a click right after is not lost.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "test_skin.h"
#include "ui/ui_testing.h"

namespace pinvale::ui {
namespace {

using test::RecordingWindow;
namespace t = ui::testing;

constexpr std::uint32_t kCloseHot = 0xFFE81123;     // closebtn's hotbkcolor in dialog.xml
constexpr std::uint32_t kToolTipBack = 0xFFFFFFE1;  // the framework's tooltip

POINT CentreOf(HWND hwnd, std::u16string_view name) {
  const RECT& r = t::FindControl(hwnd, name)->GetPos();
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

CButtonUI* Button(HWND hwnd, std::u16string_view name) {
  return dynamic_cast<CButtonUI*>(t::FindControl(hwnd, name));
}

struct Frame {
  std::vector<std::uint32_t> pixels;
  int width = 0;
  int height = 0;
  std::uint32_t At(POINT p) const { return pixels[static_cast<size_t>(p.y * width + p.x)]; }
  long Count(std::uint32_t argb) const { return std::count(pixels.begin(), pixels.end(), argb); }
};

Frame Render(HWND hwnd) {
  Frame frame;
  frame.pixels = t::RenderWindowPixels(hwnd, &frame.width, &frame.height);
  return frame;
}

// One way for the hovered close button to stop being under the pointer, and its undoing.
struct HoverEnd {
  const char* name;
  std::function<void(HWND, bool)> apply;  // true: end the hover; false: undo
};

void PrintTo(const HoverEnd& end, std::ostream* os) {
  *os << end.name;
}

class HoverEndTest : public ::testing::TestWithParam<HoverEnd> {
 protected:
  void SetUp() override { test::UseTestSkin(); }
};

TEST_P(HoverEndTest, TheHoverAndTheTooltipGoAtOnceAndDoNotComeBackWithoutTheMouse) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  ASSERT_NE(hwnd, nullptr);
  t::PumpUntilIdle();
  CPaintManagerUI& pm = window.GetPaintManager();
  CButtonUI* close = Button(hwnd, u"closebtn");
  const POINT centre = CentreOf(hwnd, u"closebtn");

  t::MoveMouse(hwnd, centre);
  ASSERT_EQ(pm.GetHot(), close);
  ASSERT_TRUE(pm.HoverTimerDue(pm.HoverDeadline()));
  ASSERT_TRUE(pm.IsToolTipShown());
  Frame lit = Render(hwnd);
  ASSERT_EQ(lit.At(centre), kCloseHot);
  ASSERT_GT(lit.Count(kToolTipBack), 0);

  GetParam().apply(hwnd, true);
  EXPECT_EQ(pm.GetHot(), nullptr);
  EXPECT_FALSE(close->IsHot());
  EXPECT_FALSE(pm.IsToolTipShown());
  EXPECT_EQ(pm.HoverDeadline(), 0u);
  EXPECT_EQ(Render(hwnd).Count(kToolTipBack), 0);
  // The pointer stays where it was: that is no hover of it either (a hidden button's
  // neighbour may have moved under the pointer).
  t::MoveMouse(hwnd, centre);
  EXPECT_NE(pm.GetHot(), close);
  EXPECT_FALSE(close->IsHot());

  // Back (the key plugged in again, the dialog gone) with the pointer elsewhere by now.
  GetParam().apply(hwnd, false);
  EXPECT_FALSE(close->IsHot());
  Frame after = Render(hwnd);
  EXPECT_NE(after.At(centre), kCloseHot);
  EXPECT_EQ(after.Count(kToolTipBack), 0);
  t::MoveMouse(hwnd, centre);  // and the mouse brings it back
  EXPECT_EQ(pm.GetHot(), close);
  DestroyWindow(hwnd);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, HoverEndTest,
    ::testing::Values(
        HoverEnd{"its_container_hidden",
                 [](HWND hwnd, bool end) { t::FindControl(hwnd, u"title")->SetVisible(!end); }},
        HoverEnd{"itself_hidden",
                 [](HWND hwnd, bool end) { t::FindControl(hwnd, u"closebtn")->SetVisible(!end); }},
        HoverEnd{"disabled",
                 [](HWND hwnd, bool end) { t::FindControl(hwnd, u"closebtn")->SetEnabled(!end); }},
        HoverEnd{"window_disabled",
                 [](HWND hwnd, bool end) { EnableWindow(hwnd, end ? FALSE : TRUE); }}),
    [](const ::testing::TestParamInfo<HoverEnd>& info) { return std::string(info.param.name); });

class ModalOwnerTest : public ::testing::Test {
 protected:
  void SetUp() override { test::UseTestSkin(); }
  void TearDown() override { EXPECT_EQ(t::PendingModalTasks(), 0); }
};

// Opens a child dialog from its OK button, as the main window opens the action dialogs.
class OpeningWindow : public RecordingWindow {
 public:
  void Notify(TNotifyUI& msg) override {
    RecordingWindow::Notify(msg);
    if (msg.sType == u"click" && msg.pSender->GetName() == u"btn_ok" && openChild) {
      openChild = false;
      RecordingWindow child(u"child.xml");
      ASSERT_NE(child.Create(GetHWND(), u"Child", UI_WNDSTYLE_DIALOG, 0), nullptr);
      child.CenterWindow();
      child.ShowModal();
    }
  }
  bool openChild = true;
};

TEST_F(ModalOwnerTest, TheButtonThatOpenedADialogIsNotHotAfterItCloses) {
  OpeningWindow main;
  const HWND mainHwnd = test::CreateTestWindow(main);
  t::PumpUntilIdle();
  t::RunWhenModal([&](HWND child) {
    EXPECT_FALSE(Button(mainHwnd, u"btn_ok")->IsHot());  // covered by the dialog
    t::Click(child, u"closebtn");
  });
  ASSERT_TRUE(t::Click(mainHwnd, u"btn_ok"));
  EXPECT_EQ(main.Count("click:btn_ok"), 1);
  EXPECT_FALSE(Button(mainHwnd, u"btn_ok")->IsHot());
  EXPECT_EQ(main.GetPaintManager().GetHot(), nullptr);

  // The pointer, where the dialog's button was, now rests on another button: one hover.
  t::MoveMouse(mainHwnd, CentreOf(mainHwnd, u"closebtn"));
  EXPECT_TRUE(Button(mainHwnd, u"closebtn")->IsHot());
  EXPECT_FALSE(Button(mainHwnd, u"btn_ok")->IsHot());
  DestroyWindow(mainHwnd);
}

// A dialog that notes how its owner stands while it goes, and is clicked past at its very end.
class WatchedChild : public RecordingWindow {
 public:
  explicit WatchedChild(HWND owner) : RecordingWindow(u"child.xml"), m_owner(owner) {}
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg == WM_DESTROY) ownerEnabledAtDestroy = IsWindowEnabled(m_owner) != 0;
    return RecordingWindow::HandleMessage(uMsg, wParam, lParam);
  }
  // Hidden and gone, its modal loop not yet over: the user clicks the owner now.
  void OnFinalMessage(HWND) override { t::Click(m_owner, u"btn_ok"); }
  bool ownerEnabledAtDestroy = false;

 private:
  HWND m_owner;
};

TEST_F(ModalOwnerTest, AClickOnTheOwnerRightAfterItsDialogClosesIsNotLost) {
  RecordingWindow main;
  const HWND mainHwnd = test::CreateTestWindow(main);
  t::PumpUntilIdle();
  WatchedChild child(mainHwnd);
  ASSERT_NE(child.Create(mainHwnd, u"Child", UI_WNDSTYLE_DIALOG, 0), nullptr);
  t::RunWhenModal([&](HWND childHwnd) {
    EXPECT_FALSE(IsWindowEnabled(mainHwnd));
    t::Click(mainHwnd, u"btn_ok");  // still covered: ignored
    t::Click(childHwnd, u"btn_ok");
    child.Close(5);
  });
  EXPECT_EQ(child.ShowModal(), 5u);
  EXPECT_TRUE(child.ownerEnabledAtDestroy);
  EXPECT_EQ(main.Count("click:btn_ok"), 1);
  EXPECT_TRUE(IsWindowEnabled(mainHwnd));
  DestroyWindow(mainHwnd);
}

TEST_F(ModalOwnerTest, AHiddenModalWindowLetsItsOwnerGoAndTakesItBackWhenShown) {
  RecordingWindow main;
  const HWND mainHwnd = test::CreateTestWindow(main);
  RecordingWindow child(u"child.xml");
  ASSERT_NE(child.Create(mainHwnd, u"Child", UI_WNDSTYLE_DIALOG, 0), nullptr);
  bool enabledWhileHidden = false;
  bool enabledWhenShownAgain = true;
  t::RunWhenModal([&](HWND) {
    child.ShowWindow(false);
    enabledWhileHidden = IsWindowEnabled(mainHwnd) != 0;
    child.ShowWindow(true);
    enabledWhenShownAgain = IsWindowEnabled(mainHwnd) != 0;
    child.Close(2);
  });
  EXPECT_EQ(child.ShowModal(), 2u);
  EXPECT_TRUE(enabledWhileHidden);
  EXPECT_FALSE(enabledWhenShownAgain);
  EXPECT_TRUE(IsWindowEnabled(mainHwnd));
  DestroyWindow(mainHwnd);
}

TEST_F(ModalOwnerTest, AnOwnerHeldByTwoModalWindowsComesBackWithTheLastOfThem) {
  // A message box of the main window opened while one of its dialogs is up (a key event):
  // the box closing first must not free the main window under the dialog, nor the dialog
  // closing first free it under the box.
  for (const bool boxClosesFirst : {true, false}) {
    SCOPED_TRACE(boxClosesFirst ? "box closes first" : "dialog closes first");
    RecordingWindow main;
    const HWND mainHwnd = test::CreateTestWindow(main);
    RecordingWindow dialog(u"child.xml");
    ASSERT_NE(dialog.Create(mainHwnd, u"Dialog", UI_WNDSTYLE_DIALOG, 0), nullptr);
    std::vector<bool> enabled;
    t::RunWhenModal([&](HWND dialogHwnd) {
      RecordingWindow box(u"child.xml");
      ASSERT_NE(box.Create(mainHwnd, u"Box", UI_WNDSTYLE_DIALOG, 0), nullptr);
      t::RunWhenModal([&](HWND boxHwnd) {
        if (boxClosesFirst) {
          PostMessage(boxHwnd, WM_CLOSE, 1, 0);
        } else {
          DestroyWindow(dialogHwnd);
          enabled.push_back(IsWindowEnabled(mainHwnd) != 0);
          PostMessage(boxHwnd, WM_CLOSE, 1, 0);
        }
      });
      box.ShowModal();
      enabled.push_back(IsWindowEnabled(mainHwnd) != 0);
      if (IsWindow(dialogHwnd)) dialog.Close(1);
    });
    dialog.ShowModal();
    enabled.push_back(IsWindowEnabled(mainHwnd) != 0);
    if (boxClosesFirst) {
      EXPECT_EQ(enabled, (std::vector<bool>{false, true}));
    } else {
      EXPECT_EQ(enabled, (std::vector<bool>{false, true, true}));
    }
    DestroyWindow(mainHwnd);
  }
}

}  // namespace
}  // namespace pinvale::ui
