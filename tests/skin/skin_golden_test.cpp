// Every window of the skin, rendered headless with the software renderer, against a golden
// picture that a person has looked at. A small tolerance absorbs text landing a pixel or two
// aside; a missing picture, a wrong colour or missing text does not pass.
//
// To renew the goldens after an intended change of the skin (and look at each one before
// committing it):
//   PINVALE_UPDATE_GOLDENS=1 build/dev/tests/skin/skin_golden_test

#include <SDL_image.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "skin_window.h"

namespace pinvale::skin_test {
namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
};

bool LoadPng(const std::string& path, Picture& out) {
  SDL_Surface* loaded = IMG_Load(path.c_str());
  if (loaded == nullptr) return false;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  if (argb == nullptr) return false;
  out.width = argb->w;
  out.height = argb->h;
  out.argb.resize(static_cast<std::size_t>(argb->w) * argb->h);
  for (int y = 0; y < argb->h; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        static_cast<const std::uint8_t*>(argb->pixels) + y * argb->pitch);
    std::copy(row, row + argb->w, out.argb.begin() + static_cast<std::ptrdiff_t>(y) * argb->w);
  }
  SDL_FreeSurface(argb);
  return true;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int d =
        std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    worst = std::max(worst, d);
  }
  return worst;
}

struct GoldenCase {
  const char* name;  // golden file name without ".png"
  const char16_t* layout;
  std::function<void(HWND)> prepare;  // puts the window into the state to show
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << c.name;
}

void SelectPage(HWND hwnd, int page) {
  auto* tab = dynamic_cast<ui::CTabLayoutUI*>(ui::testing::FindControl(hwnd, u"switch"));
  ASSERT_NE(tab, nullptr);
  tab->SelectItem(page);
}

void Centre(HWND hwnd, const char16_t* name, POINT& pt) {
  auto* control = ui::testing::FindControl(hwnd, name);
  ASSERT_NE(control, nullptr);
  const RECT r = control->GetPos();
  pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

const std::vector<GoldenCase>& Cases() {
  static const std::vector<GoldenCase> cases = {
      {"main_no_key", u"main.xml", nullptr},
      // A key with a PIN: set-PIN disabled, the mouse over verify-PIN.
      {"main_key_with_pin", u"main.xml",
       [](HWND hwnd) {
         SelectPage(hwnd, 1);
         ui::testing::FindControl(hwnd, u"btn_Enroll")->SetEnabled(false);
         ui::testing::FindControl(hwnd, u"label_icon_key_status")
             ->SetBkImage(u"Tactova-FIDO-UI-Elements-14.png");
         ui::testing::FindControl(hwnd, u"label_status")->SetText(u"Device Inserted");
         ui::testing::PumpUntilIdle();
         POINT pt;
         Centre(hwnd, u"btn_Verify", pt);
         ui::testing::MoveMouse(hwnd, pt);
       }},
      {"set_pin", u"SetPIN.xml",
       [](HWND hwnd) {
         ui::testing::FindControl(hwnd, u"edit_pin")->SetFocus();
         ui::testing::TypeText(hwnd, "1234");
         ui::testing::FindControl(hwnd, u"label_pin2")->SetText(u"The provided PINs do not match.");
       }},
      {"change_pin", u"ChangePIN.xml",
       [](HWND hwnd) {
         ui::testing::FindControl(hwnd, u"label_old_pin")
             ->SetText(u"The PIN is incorrect. You have 5 times left.");
       }},
      {"verify_pin", u"verifyPIN.xml", nullptr},
      {"reset_device", u"resetDevice.xml", nullptr},
      {"reset_device_pass", u"resetDevice.xml",
       [](HWND hwnd) {
         ui::testing::FindControl(hwnd, u"image_show")->SetBkImage(u"Pass.png");
         ui::testing::FindControl(hwnd, u"txt_show")->SetText(u"Pass");
       }},
      {"message_box_frame", u"MsgBox.xml", nullptr},
  };
  return cases;
}

class Golden : public SkinWindowTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(Golden, LooksAsApproved) {
  const auto& c = GetParam();
  auto window = Open(c.layout);
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  if (c.prepare) c.prepare(hwnd);
  ui::testing::PumpUntilIdle();

  Picture actual;
  auto pixels = ui::testing::RenderWindowPixels(hwnd, &actual.width, &actual.height);
  actual.argb = std::move(pixels);
  ASSERT_EQ(actual.argb.size(), static_cast<std::size_t>(actual.width) * actual.height);

  const std::string golden = std::string(PINVALE_GOLDEN_DIR) + "/" + c.name + ".png";
  if (std::getenv("PINVALE_UPDATE_GOLDENS") != nullptr) {
    ASSERT_TRUE(ui::testing::RenderWindowToPng(hwnd, golden));
    GTEST_SKIP() << "wrote " << golden;
  }

  Picture expected;
  ASSERT_TRUE(LoadPng(golden, expected)) << golden << ": " << IMG_GetError();
  const std::string failed = std::string(c.name) + ".actual.png";
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);

  // Text may land a pixel or two aside when the font engine measures a little differently,
  // so a pixel counts as matching when the golden has a near colour within two pixels of
  // it. Rectangles are checked exactly elsewhere; what fails here is a missing or wrong
  // picture, a wrong colour or missing text.
  constexpr int kNear = 40;
  constexpr int kReach = 2;
  constexpr double kAllowedShare = 0.0005;
  auto matches = [&](int x, int y) {
    const std::uint32_t a = actual.argb[static_cast<std::size_t>(y) * actual.width + x];
    for (int dy = -kReach; dy <= kReach; ++dy) {
      for (int dx = -kReach; dx <= kReach; ++dx) {
        const int gx = x + dx;
        const int gy = y + dy;
        if (gx < 0 || gy < 0 || gx >= expected.width || gy >= expected.height) continue;
        if (ChannelDistance(a, expected.argb[static_cast<std::size_t>(gy) * expected.width + gx]) <=
            kNear)
          return true;
      }
    }
    return false;
  };
  std::size_t off = 0;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      if (!matches(x, y)) ++off;
    }
  }
  const double share = static_cast<double>(off) / static_cast<double>(actual.argb.size());
  if (share > kAllowedShare) ui::testing::RenderWindowToPng(hwnd, failed);
  EXPECT_LE(share, kAllowedShare) << off << " pixels differ from " << golden
                                  << "; this rendering was written to " << failed;
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, Golden, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::skin_test
