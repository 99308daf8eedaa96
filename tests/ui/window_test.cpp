// Windows built from the skin: notifications, the base window's default behaviours and
// nested modal loops.

#include <SDL.h>
#include <gtest/gtest.h>

#include "test_skin.h"
#include "ui/message_hub.h"
#include "ui/message_loop.h"
#include "ui/ui_testing.h"
#include "ui/window_record.h"

namespace pinvale::ui {
namespace {

using test::RecordingWindow;
namespace t = ui::testing;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { test::UseTestSkin(); }
  void TearDown() override { EXPECT_EQ(t::PendingModalTasks(), 0); }
};

TEST_F(WindowTest, ControlsAreFoundByNameAndWindowinitComesOnceAtTheFirstLayout) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(window.initWindowCalls, 1);
  EXPECT_EQ(window.Count("windowinit:root"), 0);  // not before the first paint
  EXPECT_NE(window.GetPaintManager().FindControl(u"btn_ok"), nullptr);
  EXPECT_EQ(window.GetPaintManager().FindControl(u"nothing"), nullptr);
  auto* title = static_cast<CContainerUI*>(window.GetPaintManager().FindControl(u"title"));
  EXPECT_NE(title->FindSubControl(u"closebtn"), nullptr);
  EXPECT_EQ(title->FindSubControl(u"btn_ok"), nullptr);

  t::PumpUntilIdle();
  EXPECT_EQ(window.Count("windowinit:root"), 1);
  window.GetPaintManager().NeedUpdate();
  t::PumpUntilIdle();
  EXPECT_EQ(window.Count("windowinit:root"), 1);

  RECT rect;
  ASSERT_TRUE(GetWindowRect(hwnd, &rect));
  EXPECT_EQ(Width(rect), 300);  // the layout's size
  EXPECT_EQ(Height(rect), 280);
  DestroyWindow(hwnd);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(window.GetHWND(), nullptr);
}

TEST_F(WindowTest, ClosebtnClosesWithCodeOne) {
  RecordingWindow window;
  test::CreateTestWindow(window);
  t::RunWhenModal([](HWND hwnd) { EXPECT_TRUE(t::Click(hwnd, u"closebtn")); });
  EXPECT_EQ(window.ShowModal(), 1u);
  EXPECT_EQ(window.Count("click:closebtn"), 1);
}

TEST_F(WindowTest, CloseCarriesItsCodeToShowModal) {
  RecordingWindow window;
  test::CreateTestWindow(window);
  t::RunWhenModal([&](HWND) { window.Close(7); });
  EXPECT_EQ(window.ShowModal(), 7u);
}

TEST_F(WindowTest, EscapeClosesWithOneAndStillReachesHandleMessage) {
  RecordingWindow window;
  test::CreateTestWindow(window);
  t::RunWhenModal([](HWND hwnd) { t::KeyDown(hwnd, VK_ESCAPE); });
  EXPECT_EQ(window.ShowModal(), 1u);
  EXPECT_EQ(window.keyDownsSeen, std::vector<UINT>{VK_ESCAPE});
}

TEST_F(WindowTest, EnterDoesNothingButReachesHandleMessage) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  t::KeyDown(hwnd, VK_RETURN);
  t::PumpUntilIdle();
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(window.keyDownsSeen, std::vector<UINT>{VK_RETURN});
}

TEST_F(WindowTest, AMessageHandlerThatConsumesEscapeKeepsTheWindowOpen) {
  RecordingWindow window;
  window.consumeEscape = true;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  t::KeyDown(hwnd, VK_ESCAPE);
  t::PumpUntilIdle();
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(window.keyDownsSeen.empty());
}

TEST_F(WindowTest, SystemCloseBypassesTheLoopAndReturnsZero) {
  RecordingWindow window;
  test::CreateTestWindow(window);
  t::RunWhenModal([](HWND hwnd) { t::SystemClose(hwnd); });
  EXPECT_EQ(window.ShowModal(), 0u);
}

TEST_F(WindowTest, SystemCloseCanBeInterceptedByHandleMessage) {
  RecordingWindow window;
  window.refuseClose = true;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  t::SystemClose(hwnd);
  t::PumpUntilIdle();
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(WindowTest, SentCloseEndsTheLoopWithZeroUnlessACloseWasPostedBefore) {
  RecordingWindow window;
  test::CreateTestWindow(window);
  t::RunWhenModal([](HWND hwnd) { SendMessage(hwnd, WM_CLOSE, 5, 0); });
  EXPECT_EQ(window.ShowModal(), 0u);
}

TEST_F(WindowTest, MinbtnMinimises) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  EXPECT_TRUE(t::Click(hwnd, u"minbtn"));
  EXPECT_EQ(window.Count("click:minbtn"), 1);
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(WindowTest, DisabledButtonSendsNoClick) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  window.GetPaintManager().FindControl(u"btn_ok")->SetEnabled(false);
  EXPECT_TRUE(t::Click(hwnd, u"btn_ok"));
  EXPECT_EQ(window.Count("click:btn_ok"), 0);
  window.GetPaintManager().FindControl(u"btn_ok")->SetEnabled(true);
  EXPECT_TRUE(t::Click(hwnd, u"btn_ok"));
  EXPECT_EQ(window.Count("click:btn_ok"), 1);
}

TEST_F(WindowTest, APressThatLeavesTheButtonIsNoClick) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  const RECT ok = window.GetPaintManager().FindControl(u"btn_ok")->GetPos();
  const int x = (ok.left + ok.right) / 2;
  detail::DeliverInput(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, (ok.top + ok.bottom) / 2));
  detail::DeliverInput(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, 5));
  detail::DeliverInput(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, 5));  // released over the title
  EXPECT_EQ(window.Count("click:btn_ok"), 0);
}

TEST_F(WindowTest, LinkClickSendsLinkWithItsIndex) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  auto* text = static_cast<CTextUI*>(window.GetPaintManager().FindControl(u"txt"));
  ASSERT_EQ(text->GetLinkCount(), 2);
  EXPECT_EQ(text->GetLinkContent(1), u"second");
  EXPECT_EQ(text->GetLinkContent(2), u"");
  // "see here and there": the second link is the last word.
  const RECT pos = text->GetPos();
  const SIZE before = window.GetPaintManager().MeasureText(-1, u"see here and ");
  const SIZE word = window.GetPaintManager().MeasureText(-1, u"there");
  t::ClickAt(hwnd, POINT{pos.left + before.cx + word.cx / 2, pos.top + word.cy / 2});
  EXPECT_EQ(window.Count("link:txt"), 1);
  t::ClickAt(hwnd, POINT{pos.left + 2, pos.top + word.cy / 2});  // "see" is no link
  EXPECT_EQ(window.Count("link:txt"), 1);

  // New text, new links.
  text->SetText(u"{a only}one{/a} link");
  ASSERT_EQ(text->GetLinkCount(), 1);
  EXPECT_EQ(text->GetLinkContent(0), u"only");
  text->SetShowHtml(false);
  EXPECT_EQ(text->GetLinkCount(), 0);
}

TEST_F(WindowTest, NestedModalLoopsReturnTheirOwnCodesAndTheOwnerIsDisabledMeanwhile) {
  RecordingWindow main;
  const HWND mainHwnd = test::CreateTestWindow(main);
  UINT childResult = 99;
  bool ownerEnabledDuringChild = true;
  t::RunWhenModal([&](HWND) {
    RecordingWindow child(u"child.xml");
    ASSERT_NE(child.Create(mainHwnd, u"Child", UI_WNDSTYLE_DIALOG, 0), nullptr);
    child.CenterWindow();
    t::RunWhenModal([&](HWND childHwnd) {
      ownerEnabledDuringChild = IsWindowEnabled(mainHwnd) != 0;
      // Clicks on the disabled owner are ignored.
      t::Click(mainHwnd, u"closebtn");
      t::Click(childHwnd, u"closebtn");
    });
    childResult = child.ShowModal();
    EXPECT_TRUE(IsWindowEnabled(mainHwnd));
    main.Close(9);
  });
  EXPECT_EQ(main.ShowModal(), 9u);
  EXPECT_EQ(childResult, 1u);
  EXPECT_FALSE(ownerEnabledDuringChild);
  EXPECT_EQ(main.Count("click:closebtn"), 0);
}

TEST_F(WindowTest, ClosingTheOwnerWhileAChildIsModalEndsBothLoops) {
  RecordingWindow main;
  const HWND mainHwnd = test::CreateTestWindow(main);
  UINT childResult = 99;
  t::RunWhenModal([&](HWND) {
    RecordingWindow child(u"child.xml");
    child.Create(mainHwnd, u"Child", UI_WNDSTYLE_DIALOG, 0);
    t::RunWhenModal([&](HWND) { PostMessage(mainHwnd, WM_CLOSE, 4, 0); });
    childResult = child.ShowModal();
    EXPECT_FALSE(IsWindow(mainHwnd));
  });
  EXPECT_EQ(main.ShowModal(), 4u);
  EXPECT_EQ(childResult, 0u);
}

TEST_F(WindowTest, QuitEndsEveryLoopAndIsPostedAgain) {
  RecordingWindow main;
  const HWND mainHwnd = test::CreateTestWindow(main);
  RecordingWindow child(u"child.xml");
  bool childReturned = false;
  t::RunWhenModal([&](HWND) {
    child.Create(mainHwnd, u"Child", UI_WNDSTYLE_DIALOG, 0);
    t::RunWhenModal([&](HWND) { PostQuitMessage(3); });
    EXPECT_EQ(child.ShowModal(), 0u);
    childReturned = true;
  });
  EXPECT_EQ(main.ShowModal(), 0u);
  EXPECT_TRUE(childReturned);
  EXPECT_TRUE(IsWindow(mainHwnd));  // a quit ends loops, not windows
  // The quit is posted again for whoever runs the next loop; take it here.
  int quitCode = 0;
  EXPECT_EQ(detail::Step(&quitCode), detail::StepResult::kQuit);
  EXPECT_EQ(quitCode, 3);
}

TEST_F(WindowTest, TabAndShiftTabCycleTheFocus) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  CPaintManagerUI& pm = window.GetPaintManager();
  std::vector<std::u16string> order;
  for (int i = 0; i < 6; ++i) {
    t::KeyDown(hwnd, VK_TAB);
    order.push_back(pm.GetFocus()->GetName());
  }
  EXPECT_EQ(order, (std::vector<std::u16string>{u"minbtn", u"closebtn", u"edit_pin", u"edit_two",
                                                u"btn_ok", u"minbtn"}));
  t::KeyDown(hwnd, VK_TAB, /*shift=*/true);
  EXPECT_EQ(pm.GetFocus()->GetName(), u"btn_ok");
  EXPECT_EQ(window.Count("setfocus:edit_pin"), 1);
}

TEST_F(WindowTest, FindWindowByCaptionAndClass) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  EXPECT_EQ(t::FindWindowByCaption(u"Pinvale", u"DUIMainFrame"), hwnd);
  EXPECT_EQ(t::FindWindowByCaption(u"Pinvale", u"Other"), nullptr);
  window.SetWindowText(u"Renamed");
  EXPECT_EQ(t::FindWindowByCaption(u"Renamed"), hwnd);
  EXPECT_EQ(t::FindControl(hwnd, u"btn_ok"), window.GetPaintManager().FindControl(u"btn_ok"));
}

TEST_F(WindowTest, DraggingTheCaptionMovesTheWindow) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  t::PumpUntilIdle();
  CPaintManagerUI& pm = window.GetPaintManager();
  EXPECT_TRUE(pm.IsCaptionHit(POINT{20, 10}));    // the caption label
  EXPECT_FALSE(pm.IsCaptionHit(POINT{280, 10}));  // the close button takes clicks
  EXPECT_FALSE(pm.IsCaptionHit(POINT{20, 60}));   // below the band

  RECT before;
  GetWindowRect(hwnd, &before);
  auto record = detail::MessageHub::Get().Lookup(hwnd);
  ASSERT_TRUE(record && record->native);
  NativeEvent e;
  e.window = record->native->Id();
  e.kind = NativeEvent::Kind::kMouseDown;
  e.x = 20;
  e.y = 10;
  e.screenX = before.left + 20;
  e.screenY = before.top + 10;
  detail::HandleNativeEvent(e);
  e.kind = NativeEvent::Kind::kMouseMove;
  e.screenX += 30;
  e.screenY += 20;
  detail::HandleNativeEvent(e);
  e.kind = NativeEvent::Kind::kMouseUp;
  detail::HandleNativeEvent(e);
  RECT after;
  GetWindowRect(hwnd, &after);
  EXPECT_EQ(after,
            (RECT{before.left + 30, before.top + 20, before.right + 30, before.bottom + 20}));
  EXPECT_TRUE(window.notes.size() >= 1);
  EXPECT_EQ(window.Count("click:caption"), 0);
}

// Made once, where it is first shown and at the skin's size: SDL waits for the X server after
// each move or resize, and a window made early would need both before its first frame.
TEST_F(WindowTest, TheNativeWindowIsMadeAtItsFinalFrameWhenFirstShown) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  window.CenterWindow();
  auto record = detail::MessageHub::Get().Lookup(hwnd);
  ASSERT_TRUE(record && record->native);
  EXPECT_EQ(SDL_GetWindowFromID(record->native->Id()), nullptr);
  EXPECT_EQ(record->native->Frame(), record->rect);

  window.ShowWindow(true, false);
  t::PumpUntilIdle();
  SDL_Window* made = SDL_GetWindowFromID(record->native->Id());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(SDL_GetWindowFlags(made) & SDL_WINDOW_HIDDEN, 0u);
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(made, &x, &y);
  SDL_GetWindowSize(made, &w, &h);
  EXPECT_EQ((RECT{x, y, x + w, y + h}), record->rect);
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 280);
}

}  // namespace
}  // namespace pinvale::ui
