// The Set PIN layout in a real Win32 window under Wine, told by the system that it now shows
// on a monitor of another DPI: it takes the suggested frame, draws at the new scale and reads
// mouse positions in the new pixels, also in the middle of a drag by its caption. (Wine keeps
// a window within the screen's height, 768 in the test run: at 2 this layout fits.)

#include <windows.h>

#include "skin/skin_window.h"
#include "ui/control.h"

namespace pinvale::skin_test {
namespace {

constexpr UINT kGetDpiScaledSize = 0x02E4;

RECT FrameOf(HWND hwnd) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  return r;
}

void ExpectFrame(HWND hwnd, RECT expected) {
  const RECT r = FrameOf(hwnd);
  EXPECT_EQ(r.left, expected.left);
  EXPECT_EQ(r.top, expected.top);
  EXPECT_EQ(r.right, expected.right);
  EXPECT_EQ(r.bottom, expected.bottom);
}

// The system's message: the new DPI in both words, the frame it suggests on that monitor.
void DpiChanged(HWND hwnd, UINT dpi, RECT suggested) {
  ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  ui::testing::PumpUntilIdle();
}

// Mouse input at a desktop point, in the client pixels of where the window is now. The
// pointer goes there too, or the window's leave tracking would end the hover at once.
void Mouse(HWND hwnd, UINT message, POINT screen) {
  ::SetCursorPos(static_cast<int>(screen.x), static_cast<int>(screen.y));
  const RECT r = FrameOf(hwnd);
  ::SendMessageW(hwnd, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                 MAKELPARAM(screen.x - r.left, screen.y - r.top));
  ui::testing::PumpUntilIdle();
}

class DpiChangedTest : public SkinWindowTest {
 protected:
  void SetUp() override {
    window_ = Open(u"SetPIN.xml");
    ASSERT_NE(window_, nullptr) << "no window (no display?)";
    hwnd_ = window_->GetHWND();
    // Wine's default prefix has one monitor at 96 DPI.
    if (!window_->GetPaintManager().GetScale().IsOne())
      GTEST_SKIP() << "the desktop is not at 96 DPI";
    DpiChanged(hwnd_, 96, RECT{40, 30, 390, 330});
  }
  double Scale() const { return window_->GetPaintManager().GetScale().Value(); }

  std::unique_ptr<LayoutWindow> window_;
  HWND hwnd_ = nullptr;
};

TEST_F(DpiChangedTest, TakesTheSuggestedFrameAndDrawsAtTheNewScale) {
  DpiChanged(hwnd_, 192, RECT{40, 30, 740, 630});
  ExpectFrame(hwnd_, RECT{40, 30, 740, 630});
  EXPECT_EQ(Scale(), 2);
  const SIZE units = window_->GetPaintManager().GetClientSize();
  EXPECT_EQ(units.cx, 350);
  EXPECT_EQ(units.cy, 300);
  int width = 0;
  int height = 0;
  ui::testing::RenderWindowPixels(hwnd_, &width, &height);
  EXPECT_EQ(width, 700);
  EXPECT_EQ(height, 600);

  // A mouse position in the new pixels finds the control drawn there.
  ui::CControlUI* ok = window_->GetPaintManager().FindControl(u"btn_ok");
  ASSERT_NE(ok, nullptr);
  const RECT pos = ok->GetPos();
  Mouse(hwnd_, WM_MOUSEMOVE, POINT{40 + pos.left + pos.right, 30 + pos.top + pos.bottom});
  EXPECT_EQ(window_->GetPaintManager().GetHot(), ok);

  DpiChanged(hwnd_, 96, RECT{60, 50, 410, 350});
  ExpectFrame(hwnd_, RECT{60, 50, 410, 350});
  EXPECT_EQ(Scale(), 1);
}

// Asked for its size at a DPI between quarter steps, the window answers with its layout at
// that DPI's scale (110 DPI draws at 1.25), not the DPI ratio.
TEST_F(DpiChangedTest, SizeAtANewDpiIsTheLayoutAtItsScale) {
  SIZE size{};
  EXPECT_EQ(::SendMessageW(hwnd_, kGetDpiScaledSize, 110, reinterpret_cast<LPARAM>(&size)), TRUE);
  EXPECT_EQ(size.cx, 438);
  EXPECT_EQ(size.cy, 375);
}

// Dragged by its caption onto a monitor of another scale, the window keeps its new size for
// the rest of the drag and goes on moving from the suggested frame.
TEST_F(DpiChangedTest, DragGoesOnAtTheNewSize) {
  Mouse(hwnd_, WM_LBUTTONDOWN, POINT{140, 40});
  Mouse(hwnd_, WM_MOUSEMOVE, POINT{150, 40});
  ExpectFrame(hwnd_, RECT{50, 30, 400, 330});
  DpiChanged(hwnd_, 192, RECT{45, 25, 745, 625});
  Mouse(hwnd_, WM_MOUSEMOVE, POINT{170, 45});
  ExpectFrame(hwnd_, RECT{65, 30, 765, 630});
  Mouse(hwnd_, WM_LBUTTONUP, POINT{170, 45});
  EXPECT_EQ(Scale(), 2);
}

}  // namespace
}  // namespace pinvale::skin_test
