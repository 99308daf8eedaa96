// Each window of the skin comes out with the rectangles its layout implies under the
// stacking rules: these are the positions a user sees the controls at, computed by hand
// from the layout files.

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "skin_window.h"

namespace pinvale::skin_test {
namespace {

struct Expected {
  const char16_t* control;
  RECT rect;
};

struct LayoutCase {
  const char16_t* layout;
  SIZE client;
  int tabPage;  // page of "switch" to select first, -1 for none
  std::vector<Expected> controls;
};

std::string Utf8(std::u16string_view s) {
  return ui::Utf16ToUtf8(s);
}

std::string Describe(const RECT& r) {
  // A stream rather than string concatenation, which GCC 12 at -O3 flags with a
  // false -Wrestrict.
  std::ostringstream text;
  text << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
  return text.str();
}

void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << Utf8(c.layout);
  if (c.tabPage >= 0) *os << " page " << c.tabPage;
}

const std::vector<LayoutCase>& Cases() {
  static const std::vector<LayoutCase> cases = {
      {u"main.xml",
       {450, 450},
       -1,
       {
           {u"title_bar", {0, 0, 450, 36}},
           {u"btn_about", {0, 0, 35, 36}},
           {u"minbtn", {354, 0, 402, 36}},
           {u"closebtn", {402, 0, 450, 36}},
           {u"label_icon_key_status", {24, 36, 87, 90}},
           {u"label_status", {87, 36, 410, 90}},
           {u"btn_help", {410, 55, 426, 71}},
           {u"switch", {0, 91, 450, 450}},
           {u"label_insert", {0, 250, 450, 290}},
       }},
      {u"main.xml",
       {450, 450},
       1,
       {
           {u"btn_Enroll", {36, 111, 207, 231}},
           {u"btn_Verify", {243, 111, 414, 231}},
           {u"btn_change_pin", {36, 247, 207, 367}},
           {u"btn_Format", {243, 247, 414, 367}},
           {u"label_logo", {155, 393, 295, 425}},
       }},
      {u"SetPIN.xml",
       {350, 300},
       -1,
       {
           {u"closebtn", {300, 0, 348, 32}},
           {u"txt_info", {20, 40, 350, 80}},
           {u"edit_pin", {88, 100, 288, 130}},
           {u"label_pin", {0, 138, 350, 158}},
           {u"edit_pin2", {88, 160, 288, 190}},
           {u"label_pin2", {0, 190, 350, 220}},
           {u"btn_ok", {165, 230, 285, 260}},
       }},
      {u"ChangePIN.xml",
       {460, 360},
       -1,
       {
           {u"closebtn", {410, 0, 458, 32}},
           {u"txt_info", {30, 40, 460, 80}},
           {u"edit_pin_old", {130, 100, 330, 130}},
           {u"label_old_pin", {0, 130, 460, 160}},
           {u"edit_pin_new", {130, 160, 330, 190}},
           {u"label_new_pin", {0, 190, 460, 220}},
           {u"edit_pin_new2", {130, 220, 330, 250}},
           {u"label_new_pin2", {0, 250, 460, 280}},
           {u"btn_ok", {340, 310, 440, 340}},
       }},
      {u"verifyPIN.xml",
       {300, 280},
       -1,
       {
           {u"closebtn", {250, 0, 298, 32}},
           {u"edit_pin", {76, 119, 276, 149}},
           {u"label_status", {0, 158, 300, 188}},
           {u"btn_ok", {155, 223, 275, 253}},
       }},
      {u"resetDevice.xml",
       {260, 280},
       -1,
       {
           {u"image_show", {70, 52, 190, 172}},
           {u"txt_show", {0, 202, 260, 262}},
       }},
      {u"MsgBox.xml",
       {500, 250},
       -1,
       {
           {u"MsgTitle", {0, 0, 500, 40}},
           {u"FSTitle", {10, 0, 452, 40}},
           {u"closebtn", {452, 0, 500, 32}},
           {u"MsgBox", {0, 40, 500, 250}},
       }},
  };
  return cases;
}

class LayoutRects : public SkinWindowTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutRects, ControlsSitWhereTheLayoutPutsThem) {
  const auto& c = GetParam();
  auto window = Open(c.layout);
  ASSERT_NE(window, nullptr) << Utf8(c.layout);
  const HWND hwnd = window->GetHWND();
  if (c.tabPage >= 0) {
    auto* tab = dynamic_cast<ui::CTabLayoutUI*>(ui::testing::FindControl(hwnd, u"switch"));
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(tab->SelectItem(c.tabPage));
    ui::testing::PumpUntilIdle();
  }
  EXPECT_EQ(window->GetPaintManager().GetClientSize().cx, c.client.cx);
  EXPECT_EQ(window->GetPaintManager().GetClientSize().cy, c.client.cy);
  for (const auto& e : c.controls) {
    auto* control = ui::testing::FindControl(hwnd, e.control);
    ASSERT_NE(control, nullptr) << Utf8(e.control);
    EXPECT_TRUE(control->IsVisible()) << Utf8(e.control);
    EXPECT_EQ(Describe(control->GetPos()), Describe(e.rect))
        << Utf8(e.control) << " in " << Utf8(c.layout);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, LayoutRects, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                           std::string name = Utf8(info.param.layout);
                           name = name.substr(0, name.find('.'));
                           if (info.param.tabPage >= 0)
                             name += "_page" + std::to_string(info.param.tabPage);
                           return name;
                         });

// The main window starts on the no-key page; the help page is never shown.
TEST_F(SkinWindowTest, MainWindowStartsWithoutKey) {
  auto window = Open(u"main.xml");
  ASSERT_NE(window, nullptr);
  const HWND hwnd = window->GetHWND();
  auto* tab = dynamic_cast<ui::CTabLayoutUI*>(ui::testing::FindControl(hwnd, u"switch"));
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(tab->GetCurSel(), 0);
  EXPECT_EQ(tab->GetCount(), 3);
  EXPECT_FALSE(ui::testing::FindControl(hwnd, u"btn_Enroll")->IsVisible());
  EXPECT_FALSE(ui::testing::FindControl(hwnd, u"label_help")->IsVisible());
  EXPECT_EQ(ui::testing::FindControl(hwnd, u"label_status")->GetText(), u"Device NOT Inserted");
  EXPECT_EQ(ui::testing::FindControl(hwnd, u"label_icon_key_status")->GetToolTip(),
            u"Device status");
}

// In the change-PIN dialog the bottom "Cancel" shares the name "closebtn" with the title
// bar's button; both must close the dialog, so both must be buttons with that name.
TEST_F(SkinWindowTest, ChangePinHasTwoCloseButtons) {
  auto window = Open(u"ChangePIN.xml");
  ASSERT_NE(window, nullptr);
  std::vector<ui::CControlUI*> closers;
  window->GetPaintManager().GetRoot()->ForEach([&](ui::CControlUI& control) {
    if (control.GetName() == u"closebtn") closers.push_back(&control);
  });
  ASSERT_EQ(closers.size(), 2u);
  EXPECT_EQ(closers[1]->GetText(), u"Cancel");
  EXPECT_EQ(Describe(closers[1]->GetPos()), Describe(RECT{210, 310, 310, 340}));
}

}  // namespace
}  // namespace pinvale::skin_test
