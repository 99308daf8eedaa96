// Every window of the skin at the display scales users run: the layout in 96-DPI units stays
// the same, the pixels follow the scale with the edge rounding ScaleFactor states, input
// lands on the control drawn under it, and the pictures drawn at twice the size are used.
//
// PINVALE_SCALE_SHOTS=DIR also writes every window at 1.25, 1.5 and 2 into DIR as PNG, for a
// person to look at (the message box tests in tests/app write the access advice box the same way).

#include <SDL_image.h>

#include <cstdlib>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "skin_window.h"
#include "ui/message_hub.h"
#include "ui/message_loop.h"
#include "ui/scale_factor.h"
#include "ui/window_record.h"

namespace pinvale::skin_test {
namespace {

using ui::ScaleFactor;

std::string Describe(const RECT& r) {
  std::ostringstream text;
  text << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
  return text.str();
}

// ---- the rounding rule ----

TEST(ScaleRounding, DesktopDpiToTheNearestQuarter) {
  const std::vector<std::pair<double, double>> cases = {
      {96, 1},     {100, 1}, {107, 1}, {108, 1.25}, {110, 1.25}, {120, 1.25}, {144, 1.5},
      {168, 1.75}, {192, 2}, {288, 3}, {72, 1},     {1000, 4},   {0, 1},      {-5, 1}};
  for (const auto& [dpi, factor] : cases) {
    EXPECT_EQ(ScaleFactor::FromDpi(dpi).Value(), factor) << dpi << " dpi";
  }
}

TEST(ScaleRounding, SettingIsANumberRoundedToAQuarter) {
  EXPECT_EQ(ScaleFactor::Parse("2")->Value(), 2);
  EXPECT_EQ(ScaleFactor::Parse(" 1.5 ")->Value(), 1.5);
  EXPECT_EQ(ScaleFactor::Parse("1.3")->Value(), 1.25);
  EXPECT_EQ(ScaleFactor::Parse("1.375")->Value(), 1.5);  // ties go up
  EXPECT_EQ(ScaleFactor::Parse("0.5")->Value(), 1);      // never below 1
  for (const char* bad : {"", "abc", "2x", "0", "-1", "nan", "inf"}) {
    EXPECT_FALSE(ScaleFactor::Parse(bad).has_value()) << bad;
  }
}

// Edges are scaled on their own, half up: at 1.25 the units 0..4 start at pixels 0 1 3 4 5.
TEST(ScaleRounding, EdgesRoundHalfUp) {
  const ScaleFactor s = ScaleFactor::FromQuarters(5);
  const std::vector<std::pair<long, long>> edges = {{0, 0}, {1, 1},   {2, 3},   {3, 4},
                                                    {4, 5}, {-1, -1}, {-2, -2}, {-3, -4}};
  for (const auto& [units, pixels] : edges) EXPECT_EQ(s.ToPixels(units), pixels) << units;
  EXPECT_EQ(Describe(ScaleFactor::FromQuarters(6).ToPixels(RECT{1, 1, 3, 450})),
            Describe(RECT{2, 2, 5, 675}));
}

TEST(ScaleRounding, PixelsMapBackToTheirUnit) {
  for (int q = ScaleFactor::kMinQuarters; q <= ScaleFactor::kMaxQuarters; ++q) {
    const ScaleFactor s = ScaleFactor::FromQuarters(q);
    for (long u = -40; u <= 1000; ++u) {
      // Every pixel of unit u, and only those, is read as u.
      for (long p = s.ToPixels(u); p < s.ToPixels(u + 1); ++p) {
        ASSERT_EQ(s.UnitAt(p), u) << q;
      }
      if (u >= 0) {
        ASSERT_EQ(s.ToUnits(s.ToPixels(u)), u) << q;
      }
    }
    if (q % 4 == 0) {
      EXPECT_EQ(s.ToPixels(450), 450 * q / 4);
    }
  }
}

// ---- windows ----

struct ScaleCase {
  const char* name;
  const char16_t* layout;
  int tabPage;  // page of "switch" to show, -1 for none
};
// Page 1 as a key that manages fingerprints and passkeys shows it: their buttons in the
// logo's place.
constexpr int kPageManagedKey = 101;

void PrintTo(const ScaleCase& c, std::ostream* os) {
  *os << c.name;
}

const std::vector<ScaleCase>& Cases() {
  static const std::vector<ScaleCase> cases = {
      {"main_no_key", u"main.xml", -1},
      {"main_key", u"main.xml", 1},
      {"main_key_managed", u"main.xml", kPageManagedKey},
      {"set_pin", u"SetPIN.xml", -1},
      {"change_pin", u"ChangePIN.xml", -1},
      {"verify_pin", u"verifyPIN.xml", -1},
      {"reset_device", u"resetDevice.xml", -1},
      {"message_box_frame", u"MsgBox.xml", -1},
      {"management_pin", u"ManagementPIN.xml", -1},
      {"fingerprints", u"Fingerprints.xml", -1},
      {"passkeys", u"Passkeys.xml", -1},
  };
  return cases;
}

struct Snapshot {
  SIZE clientUnits{};
  SIZE framePixels{};
  std::map<const ui::CControlUI*, RECT> units;   // every control's rectangle in units
  std::map<const ui::CControlUI*, RECT> pixels;  // and in pixels
};

Snapshot Take(HWND hwnd) {
  Snapshot s;
  int w = 0;
  int h = 0;
  ui::testing::RenderWindowPixels(hwnd, &w, &h);
  s.framePixels = SIZE{w, h};
  auto* window = ui::WindowFromHandle(hwnd);
  ui::CPaintManagerUI& pm = window->GetPaintManager();
  s.clientUnits = pm.GetClientSize();
  pm.GetRoot()->ForEach([&](ui::CControlUI& c) {
    if (!c.IsVisible()) return;
    s.units[&c] = c.GetPos();
    s.pixels[&c] = pm.GetScale().ToPixels(c.GetPos());
  });
  return s;
}

class WindowAtScale : public SkinWindowTest, public ::testing::WithParamInterface<ScaleCase> {
 protected:
  std::unique_ptr<LayoutWindow> OpenCase() {
    auto window = Open(GetParam().layout);
    if (window && GetParam().tabPage >= 0) {
      auto* tab =
          dynamic_cast<ui::CTabLayoutUI*>(ui::testing::FindControl(window->GetHWND(), u"switch"));
      const bool managed = GetParam().tabPage == kPageManagedKey;
      if (tab) tab->SelectItem(managed ? 1 : GetParam().tabPage);
      if (managed) {
        ui::testing::FindControl(window->GetHWND(), u"content_row")->SetVisible(true);
        ui::testing::FindControl(window->GetHWND(), u"logo_row")->SetVisible(false);
      }
      ui::testing::PumpUntilIdle();
    }
    return window;
  }
};

TEST_P(WindowAtScale, TwiceTheScaleIsExactlyTwiceEveryRectangle) {
  auto window = OpenCase();
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  const Snapshot one = Take(hwnd);
  ui::testing::SetScale(hwnd, 2);
  const Snapshot two = Take(hwnd);
  EXPECT_EQ(two.framePixels, (SIZE{one.framePixels.cx * 2, one.framePixels.cy * 2}));
  RECT windowRect{};
  GetWindowRect(hwnd, &windowRect);
  EXPECT_EQ(ui::Width(windowRect), one.framePixels.cx * 2);
  ASSERT_EQ(one.pixels.size(), two.pixels.size());
  for (const auto& [control, r] : one.pixels) {
    const RECT doubled{r.left * 2, r.top * 2, r.right * 2, r.bottom * 2};
    EXPECT_EQ(Describe(two.pixels.at(control)), Describe(doubled))
        << ui::Utf16ToUtf8(control->GetName()) << " (" << ui::Utf16ToUtf8(control->GetClass())
        << ")";
  }
}

// Text is measured at its 96-DPI size, so nothing moves or wraps differently in units.
TEST_P(WindowAtScale, LayoutInUnitsIsTheSameAtEveryScale) {
  auto window = OpenCase();
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  const Snapshot one = Take(hwnd);
  for (double factor : {1.25, 1.5, 1.75, 2.0, 1.0}) {
    ui::testing::SetScale(hwnd, factor);
    const Snapshot s = Take(hwnd);
    const ScaleFactor scale = ScaleFactor::FromDpi(factor * 96);
    EXPECT_EQ(s.clientUnits, one.clientUnits) << factor;
    EXPECT_EQ(s.framePixels, scale.ToPixels(one.clientUnits)) << factor;
    for (const auto& [control, r] : one.units) {
      EXPECT_EQ(Describe(s.units.at(control)), Describe(r))
          << ui::Utf16ToUtf8(control->GetName()) << " at " << factor;
    }
  }
}

TEST_P(WindowAtScale, ScreenshotsForReview) {
  const char* dir = std::getenv("PINVALE_SCALE_SHOTS");
  if (!dir) GTEST_SKIP() << "set PINVALE_SCALE_SHOTS=DIR to write them";
  auto window = OpenCase();
  ASSERT_NE(window, nullptr);
  for (const char* factor : {"1", "1.25", "1.5", "2"}) {
    ui::testing::SetScale(window->GetHWND(), std::atof(factor));
    const std::string path = std::string(dir) + "/" + GetParam().name + "@" + factor + ".png";
    EXPECT_TRUE(ui::testing::RenderWindowToPng(window->GetHWND(), path)) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, WindowAtScale, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A press on a control's last pixel at 1.5 reaches that control, the next pixel does not.
TEST_F(SkinWindowTest, MouseHitsWhatIsDrawnUnderIt) {
  auto window = Open(u"main.xml");
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  ui::testing::SetScale(hwnd, 1.5);
  ui::testing::PumpUntilIdle();
  ui::CPaintManagerUI& pm = window->GetPaintManager();
  ui::CControlUI* close = pm.FindControl(u"closebtn");
  ui::CControlUI* minimize = pm.FindControl(u"minbtn");
  ASSERT_NE(close, nullptr);
  ASSERT_NE(minimize, nullptr);
  const RECT minPixels = pm.GetScale().ToPixels(minimize->GetPos());
  auto hotAt = [&](long x, long y) {
    ui::NativeEvent move;
    move.kind = ui::NativeEvent::Kind::kMouseMove;
    move.window = ui::detail::MessageHub::Get().Lookup(hwnd)->native->Id();
    move.x = static_cast<int>(x);
    move.y = static_cast<int>(y);
    ui::detail::HandleNativeEvent(move);
    return pm.GetHot();
  };
  EXPECT_EQ(hotAt(minPixels.right - 1, minPixels.top + 3), minimize);
  EXPECT_EQ(hotAt(minPixels.right, minPixels.top + 3), close);
  EXPECT_EQ(hotAt(minPixels.left, minPixels.bottom - 1), minimize);
}

// Above 1 the pictures drawn at twice the size are used: at 2 the close button shows the
// pixels of Close_1@2x.png one for one.
TEST_F(SkinWindowTest, TwiceSizedPicturesAreDrawnAboveOne) {
  auto window = Open(u"main.xml");
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  ui::testing::SetScale(hwnd, 2);
  int width = 0;
  int height = 0;
  const auto frame = ui::testing::RenderWindowPixels(hwnd, &width, &height);
  std::vector<std::uint8_t> png;
  ASSERT_TRUE(ui::CPaintManagerUI::LoadResource(u"Close_1@2x.png", png));
  SDL_Surface* loaded =
      IMG_Load_RW(SDL_RWFromConstMem(png.data(), static_cast<int>(png.size())), 1);
  ASSERT_NE(loaded, nullptr);
  SDL_Surface* twice = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  ASSERT_NE(twice, nullptr);
  const RECT close = window->GetPaintManager().GetScale().ToPixels(
      window->GetPaintManager().FindControl(u"closebtn")->GetPos());
  ASSERT_EQ(ui::Width(close), twice->w);
  ASSERT_EQ(ui::Height(close), twice->h);
  // The window's 1-unit border lies over the button's top and right edge: 2 pixels at 2.
  constexpr int kBorder = 2;
  int compared = 0;
  int same = 0;
  for (int y = kBorder; y < twice->h; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        static_cast<const std::uint8_t*>(twice->pixels) + y * twice->pitch);
    for (int x = 0; x < twice->w - kBorder; ++x) {
      if ((row[x] >> 24) != 255) continue;  // blended over the title bar: not compared
      ++compared;
      if (frame[static_cast<std::size_t>(close.top + y) * width + close.left + x] == row[x]) ++same;
    }
  }
  SDL_FreeSurface(twice);
  EXPECT_GT(compared, ui::Width(close) * ui::Height(close) / 2);
  EXPECT_EQ(same, compared);
}

// A long PIN at 2: the caret stands alone after the last bullet, where it is measured to be.
TEST_F(SkinWindowTest, CaretStaysAfterTheLastBullet) {
  auto window = Open(u"SetPIN.xml");
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  ui::testing::SetScale(hwnd, 2);
  ui::CControlUI* edit = ui::testing::FindControl(hwnd, u"edit_pin");
  ASSERT_NE(edit, nullptr);
  edit->SetFocus();
  ui::testing::TypeText(hwnd, "12345678901234567890");
  int width = 0;
  int height = 0;
  const std::vector<std::uint32_t> frame = ui::testing::RenderWindowPixels(hwnd, &width, &height);
  // Black runs along the box's middle row (its blue focus frame is not black).
  const RECT box = ScaleFactor::FromQuarters(8).ToPixels(edit->GetPos());
  const long y = (box.top + box.bottom) / 2;
  std::vector<std::pair<long, long>> runs;
  for (long x = box.left; x < box.right; ++x) {
    const std::uint32_t p = frame[static_cast<std::size_t>(y * width + x)];
    if (((p >> 16) & 0xFF) >= 128 || ((p >> 8) & 0xFF) >= 128 || (p & 0xFF) >= 128) continue;
    if (runs.empty() || runs.back().second != x - 1) runs.emplace_back(x, x);
    runs.back().second = x;
  }
  ASSERT_EQ(runs.size(), 21u) << "twenty bullets and the caret";
  EXPECT_LE(runs.back().second - runs.back().first + 1, 2) << "the last run is the caret";
}

}  // namespace
}  // namespace pinvale::skin_test
