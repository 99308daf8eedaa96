// The text mark-up of labels and message boxes ({b}{i}{u}{c}{f}{a}{n}, "{{"), parsed,
// laid out with every alignment and wrapping flag, and drawn: once in a Text control of
// the message box's layout (as a message box shows its text) and once in a single-line
// label.
//
// Input: [flags] then the text in UTF-8 (invalid sequences included). Measuring and
// drawing glyphs with the real fonts takes milliseconds per input, so only inputs with
// flag bit 7 do; the others are laid out with fixed metrics that depend on the style, as
// the unit tests measure.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "skin_fuzz_backend.h"
#include "ui/dialog_builder.h"
#include "ui/label.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"
#include "ui/text_markup.h"
#include "ui/ui_text.h"

namespace {

using namespace pinvale::ui;

constexpr char kLayout[] = R"(<Window size="450,200">
  <Font name="微软雅黑" size="14" default="true" />
  <Font name="Times New Roman" size="13" />
  <Font name="微软雅黑" size="12" bold="true" />
  <VerticalLayout bkcolor="#FFFFFFFF">
    <Text name="text" pos="65,25,415,120" float="true" showhtml="true" wordbreak="true" />
    <Label name="label" height="24" showhtml="true" />
  </VerticalLayout>
</Window>)";

// Widths and heights by style, so that bold, fonts and links change the layout.
class FixedMetrics : public ITextMeasurer {
 public:
  int FontHeight(const TextStyle& style) override { return 12 + (style.font & 7) + style.bold; }
  int TextWidth(const TextStyle& style, std::u16string_view text) override {
    return static_cast<int>(text.size()) * (6 + style.bold + style.italic + (style.font & 3));
  }
};

struct Window {
  CPaintManagerUI manager;
  CTextUI* text = nullptr;
  CLabelUI* label = nullptr;
  std::unique_ptr<IRenderTarget> target;
};

Window* Build() {
  if (!pinvale::fuzz::InitSkinBackend()) return nullptr;
  static Window window;
  CDialogBuilder builder;
  if (!window.manager.AttachDialog(builder.CreateFromXml(kLayout, nullptr, &window.manager))) {
    std::abort();
  }
  window.text = window.manager.FindControlAs<CTextUI>(u"text");
  window.label = window.manager.FindControlAs<CLabelUI>(u"label");
  window.target = Backend()->CreateOffscreen(450, 200);
  if (!window.text || !window.label || !window.target) std::abort();
  window.manager.SetClientSize(SIZE{450, 200});
  return &window;
}

constexpr UINT kAlignments[] = {DT_LEFT,
                                DT_CENTER,
                                DT_RIGHT,
                                DT_CENTER | DT_VCENTER,
                                DT_RIGHT | DT_BOTTOM,
                                DT_VCENTER,
                                DT_BOTTOM,
                                DT_LEFT | DT_VCENTER};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  static Window* window = Build();
  if (!window) return 0;
  const std::uint8_t flags = data[0];
  const bool draw = (flags & 0x80) != 0;
  static FixedMetrics fixed;
  window->manager.SetTextMeasurer(draw ? nullptr : &fixed);
  const std::u16string text =
      Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  // The parse and layout alone, with the flags the input picks.
  std::vector<std::u16string> links;
  const std::vector<TextRun> runs = ParseMarkup(text, flags & 1 ? 1 : -1, &links);
  UINT dtFlags = kAlignments[(flags >> 1) & 7];
  if (flags & 0x10) dtFlags |= DT_WORDBREAK;
  if (flags & 0x20) dtFlags |= DT_SINGLELINE;
  const RECT box{0, 0, flags & 0x40 ? 1 : 350, 100};
  const TextLayout layout = LayoutText(runs, box, dtFlags, window->manager.Measurer());
  for (const PlacedRun& run : layout.runs) {
    if (run.style.link >= static_cast<int>(links.size())) std::abort();
  }

  // As the controls lay it out and draw it.
  window->text->SetText(text);
  window->label->SetText(text);
  window->label->SetTextStyle(dtFlags);
  window->manager.NeedUpdate();
  if (draw) {
    window->manager.Paint(*window->target);
  } else {
    window->manager.DoLayout();
  }
  // Each lookup parses the text again: the first, the last and one past the end.
  const int linkCount = window->text->GetLinkCount();
  for (const int i : {0, linkCount - 1, linkCount}) (void)window->text->GetLinkContent(i);
  return 0;
}
