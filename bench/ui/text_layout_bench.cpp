// A window's text laid out and drawn with the real fonts: a help text of several paragraphs
// with mark-up and a link, Latin and CJK, in a wrapping Text control and a one-line label.
// A layout pass places the controls (a Text is asked for its size and then placed); a paint
// pass lays out as needed and draws.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "ui/dialog_builder.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"
#include "ui/ui_testing.h"

namespace {

using namespace pinvale::ui;

constexpr char kLayout[] = R"(<Window size="450,300">
  <Font name="微软雅黑" size="14" default="true" />
  <Font name="微软雅黑" size="12" bold="true" />
  <VerticalLayout bkcolor="#FFFFFFFF" inset="20,20,20,20">
    <Text name="text" showhtml="true" wordbreak="true" />
    <Label name="label" height="24" showhtml="true" />
    <Control />
  </VerticalLayout>
</Window>)";

std::u16string HelpText() {
  std::u16string text;
  for (int i = 0; i < 4; ++i) {
    text +=
        u"Your security key keeps a PIN of its own: {b}set it once{/b}, then change or "
        u"verify it here. After eight wrong tries the key locks and only a reset, which "
        u"deletes every credential, opens it again. {a help}Read more{/a}{n}"
        u"请插入您的安全密钥，然后设置 PIN。{n}";
  }
  return text;
}

struct Window {
  CPaintManagerUI manager;
  std::unique_ptr<IRenderTarget> target;
};

Window& TheWindow() {
  // The backend first, so that the window goes before it at exit.
  if (!pinvale::ui::testing::InitHeadless()) std::abort();
  static Window window;
  static const bool ready = [] {
    CDialogBuilder builder;
    if (!window.manager.AttachDialog(builder.CreateFromXml(kLayout, nullptr, &window.manager))) {
      return false;
    }
    window.manager.FindControl(u"text")->SetText(HelpText());
    window.manager.FindControl(u"label")->SetText(u"{b}Device Inserted{/b} 已插入设备");
    window.manager.SetClientSize(SIZE{450, 300});
    window.target = Backend()->CreateOffscreen(450, 300);
    return window.target != nullptr;
  }();
  if (!ready) std::abort();
  return window;
}

void BM_LayoutPass(benchmark::State& state) {
  Window& w = TheWindow();
  for (auto _ : state) {
    w.manager.NeedUpdate();
    w.manager.DoLayout();
  }
}
BENCHMARK(BM_LayoutPass);

void BM_PaintPass(benchmark::State& state) {
  Window& w = TheWindow();
  for (auto _ : state) {
    w.manager.NeedUpdate();
    w.manager.Paint(*w.target);
  }
}
BENCHMARK(BM_PaintPass);

}  // namespace

BENCHMARK_MAIN();
