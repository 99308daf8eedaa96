// The message box driven headless through the framework with the real skin.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/app_texts.h"
#include "dialogs/message_box.h"
#include "dialogs/message_box_layout.h"
#include "embedded_skin.h"
#include "platform/device_access_help.h"
#include "ui/ui_testing.h"

namespace pinvale {
namespace {

namespace uit = ui::testing;

class MessageBoxTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(uit::InitHeadless());
    ASSERT_TRUE(uit::UseSkinArchive(EmbeddedSkinArchive()));
  }
  static void TearDownTestSuite() { ui::UiShutdown(); }
  void TearDown() override { EXPECT_EQ(uit::PendingModalTasks(), 0); }

  static CDuiMessageBox& Box(HWND hwnd) {
    auto* box = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(hwnd));
    EXPECT_NE(box, nullptr);
    return *box;
  }
  static RECT ClientRect(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
  }
  static bool HasControl(HWND hwnd, std::u16string_view name) {
    return uit::FindControl(hwnd, name) != nullptr;
  }
};

// How each way of closing the box answers.
struct CloseCase {
  const char* name;
  int flags;
  std::function<void(HWND)> close;
  int result;
};

class MessageBoxResultTest : public MessageBoxTest,
                             public ::testing::WithParamInterface<CloseCase> {};

TEST_P(MessageBoxResultTest, ReturnsTheResultOfHowItWasClosed) {
  uit::RunWhenModal(GetParam().close);
  EXPECT_EQ(ShowMessageBox(nullptr, u"Pinvale", u"Done", GetParam().flags), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Closes, MessageBoxResultTest,
    ::testing::Values(
        CloseCase{"OkButton", 0, [](HWND b) { EXPECT_TRUE(uit::Click(b, u"OK")); }, 1},
        CloseCase{"OkOfOkCancel", 0x31, [](HWND b) { EXPECT_TRUE(uit::Click(b, u"OK")); }, 1},
        CloseCase{"CancelButton", 0x31, [](HWND b) { EXPECT_TRUE(uit::Click(b, u"Cancel")); }, 2},
        CloseCase{"CloseButton", 0, [](HWND b) { EXPECT_TRUE(uit::Click(b, u"closebtn")); }, 2},
        CloseCase{"EnterKey", 0x31, [](HWND b) { uit::KeyDown(b, VK_RETURN); }, 1},
        CloseCase{"EscapeKey", 0, [](HWND b) { uit::KeyDown(b, VK_ESCAPE); }, 2},
        CloseCase{"SystemClose", 0x31, [](HWND b) { uit::SystemClose(b); }, 0},
        CloseCase{"CloseCurrentMessageBox", 0x31, [](HWND) { CloseCurrentMessageBox(); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct KindCase {
  const char* name;
  int flags;
  bool cancel;
  const char16_t* icon;
};

class MessageBoxKindTest : public MessageBoxTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(MessageBoxKindTest, ButtonsAndIconFollowTheFlags) {
  const KindCase& c = GetParam();
  uit::RunWhenModal([&](HWND hwnd) {
    CDuiMessageBox& box = Box(hwnd);
    EXPECT_EQ(box.IconImage(), c.icon);
    EXPECT_TRUE(HasControl(hwnd, u"OK"));
    EXPECT_EQ(HasControl(hwnd, u"Cancel"), c.cancel);

    // Right-aligned at the bottom: the last button 18 pixels off both edges, 90 x 28,
    // an earlier one 108 pixels further left.
    RECT client = ClientRect(hwnd);
    const RECT& last = uit::FindControl(hwnd, c.cancel ? u"Cancel" : u"OK")->GetPos();
    EXPECT_EQ(last.right, client.right - 18);
    EXPECT_EQ(last.bottom, client.bottom - 18);
    EXPECT_EQ(ui::Width(last), 90);
    EXPECT_EQ(ui::Height(last), 28);
    if (c.cancel) {
      const RECT& ok = uit::FindControl(hwnd, u"OK")->GetPos();
      EXPECT_EQ(ok.left, last.left - 108);
      EXPECT_EQ(ok.top, last.top);
    }
    uit::KeyDown(hwnd, VK_ESCAPE);
  });
  ShowMessageBox(nullptr, u"Pinvale", u"Some text", c.flags);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MessageBoxKindTest,
                         ::testing::Values(KindCase{"Plain", 0, false, u"logo_32.png"},
                                           KindCase{"Error", 0x10, false, u"Png_Msg_error.png"},
                                           KindCase{"Warning", 0x31, true, u"Png_Msg_warning.png"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageBoxTest, CaptionGoesToTitleAndWindow) {
  uit::RunWhenModal([](HWND hwnd) {
    EXPECT_EQ(uit::FindControl(hwnd, u"FSTitle")->GetText(), u"About Pinvale");
    EXPECT_EQ(Box(hwnd).GetWindowText(), u"About Pinvale");
    EXPECT_EQ(Box(hwnd).TitleHeight(), 40);
    uit::KeyDown(hwnd, VK_RETURN);
  });
  ShowMessageBox(nullptr, u"About Pinvale", u"x", 0);
}

// The window is sized from the text measured in layout font 0.
TEST_F(MessageBoxTest, ShortTextGivesTheNarrowestBox) {
  uit::RunWhenModal([](HWND hwnd) {
    CDuiMessageBox& box = Box(hwnd);
    int lineHeight = static_cast<int>(box.GetPaintManager().MeasureText(0, u"Done").cy);
    ASSERT_LT(box.GetPaintManager().MeasureText(0, u"Done").cx, 250);
    RECT client = ClientRect(hwnd);
    EXPECT_EQ(ui::Width(client), 350);
    EXPECT_EQ(ui::Height(client), lineHeight + 40 + 114);
    uit::KeyDown(hwnd, VK_RETURN);
  });
  ShowMessageBox(nullptr, u"Pinvale", u"Done", 0);
}

TEST_F(MessageBoxTest, LongLineWrapsAtTheCapAndAddsRows) {
  std::u16string line(120, u'W');  // far wider than 350 pixels in any face
  uit::RunWhenModal([&](HWND hwnd) {
    CDuiMessageBox& box = Box(hwnd);
    SIZE extent = box.GetPaintManager().MeasureText(0, line);
    ASSERT_GT(extent.cx, 700);
    int rows = static_cast<int>(extent.cx / 350 + (extent.cx % 350 ? 1 : 0));
    RECT client = ClientRect(hwnd);
    EXPECT_EQ(ui::Width(client), 450);
    EXPECT_EQ(ui::Height(client), rows * extent.cy + 40 + 114);
    uit::KeyDown(hwnd, VK_RETURN);
  });
  ShowMessageBox(nullptr, u"Pinvale", line, 0);
}

TEST_F(MessageBoxTest, EmptyMiddleLineAddsNoHeight) {
  int twoLines = 0, withGap = 0;
  uit::RunWhenModal([&](HWND hwnd) {
    twoLines = ui::Height(ClientRect(hwnd));
    uit::KeyDown(hwnd, VK_RETURN);
  });
  ShowMessageBox(nullptr, u"Pinvale", u"one\ntwo", 0);
  uit::RunWhenModal([&](HWND hwnd) {
    withGap = ui::Height(ClientRect(hwnd));
    uit::KeyDown(hwnd, VK_RETURN);
  });
  ShowMessageBox(nullptr, u"Pinvale", u"one\n\ntwo", 0);
  EXPECT_GT(twoLines, 0);
  EXPECT_EQ(withGap, twoLines);
}

// Empty lines and word wraps take rows the sizing rule does not count; the text
// must still be shown whole, above the buttons.
TEST_F(MessageBoxTest, TextIsNeverCutOff) {
  const std::u16string texts[] = {
      u"Reset device.\nThe device will be reset to factory settings.\nAll data will be "
      u"cleared.\n\nNote\uFF1A Some devices can only be reset in the first 10s in a power "
      u"cycle. \nIf reset fails, pelase re-plug and try again. ",
      u"a\n\n\n\n\n\n\n\nb"};
  for (const std::u16string& message : texts) {
    uit::RunWhenModal([&](HWND hwnd) {
      ui::CTextUI* text = nullptr;
      Box(hwnd).GetPaintManager().GetRoot()->ForEach([&](ui::CControlUI& c) {
        if (!text) text = dynamic_cast<ui::CTextUI*>(&c);
      });
      ASSERT_NE(text, nullptr);
      int shown = text->GetFixedHeight();
      text->SetFixedHeight(0);
      int needed = static_cast<int>(text->EstimateSize({0, 0}).cy);
      text->SetFixedHeight(shown);
      EXPECT_LE(needed, shown);
      EXPECT_LE(text->GetPos().bottom, uit::FindControl(hwnd, u"OK")->GetPos().top);
      uit::KeyDown(hwnd, VK_ESCAPE);
    });
    ShowMessageBox(nullptr, u"Warning", message, 0x31);
  }
}

TEST_F(MessageBoxTest, CloseCurrentMessageBoxWithoutABoxDoesNothing) {
  CloseCurrentMessageBox();
  uit::RunWhenModal([](HWND hwnd) { uit::Click(hwnd, u"OK"); });
  EXPECT_EQ(ShowMessageBox(nullptr, u"Pinvale", u"still works", 0), 1);
}

// PINVALE_SCALE_SHOTS=DIR writes the Linux access advice box at 1.25, 1.5 and 2 into DIR, for
// a person to look at (doc/review/scale/); the box is the one the main window shows when a
// key may not be opened.
TEST_F(MessageBoxTest, AccessAdviceScreenshotsForReview) {
  const char* dir = std::getenv("PINVALE_SCALE_SHOTS");
  if (!dir) GTEST_SKIP() << "set PINVALE_SCALE_SHOTS=DIR to write them";
  uit::RunWhenModal([&](HWND hwnd) {
    for (const char* factor : {"1.25", "1.5", "2"}) {
      uit::SetScale(hwnd, std::atof(factor));
      const std::string path = std::string(dir) + "/access_advice_box@" + factor + ".png";
      EXPECT_TRUE(uit::RenderWindowToPng(hwnd, path)) << path;
    }
    uit::Click(hwnd, u"OK");
  });
  ShowMessageBox(nullptr, kWarningCaption, DeviceAccessHelpText(),
                 kMessageBoxOk | kMessageBoxIconWarning);
}

}  // namespace
}  // namespace pinvale
