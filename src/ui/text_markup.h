#pragma once

// The small mark-up of Text controls and the text layout shared by every text-bearing
// control (wrapping, alignment, links).
//
// Mark-up (when a label's showhtml is on):
//   {b}...{/b}          bold
//   {i}...{/i}          italic
//   {u}...{/u}          underline
//   {c #AARRGGBB}...{/c} text colour ("#" optional, six digits give an opaque colour)
//   {f N}...{/f}        font N of the window's font table
//   {a target}...{/a}   a link; a click sends "link" with the link's index, and
//                       CTextUI::GetLinkContent(index) returns target
//   {n}                 line break (as is "\n" in the text)
//   {{                  a literal "{"
// An unknown or unterminated tag is shown as it stands. Tabs read as one blank.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win_types.h"

namespace pinvale::ui {

struct TextStyle {
  int font = -1;  // index into the font table, -1 the default font
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::optional<DWORD> color;  // the control's colour when absent
  int link = -1;               // index of the link this run belongs to
  bool operator==(const TextStyle&) const = default;
};

struct TextRun {
  std::u16string text;  // may contain '\n'
  TextStyle style;
};

// Measures text for layout; the paint manager measures with real fonts, tests with a fake.
class ITextMeasurer {
 public:
  virtual ~ITextMeasurer() = default;
  // The height of the font's text metrics (line height).
  virtual int FontHeight(const TextStyle& style) = 0;
  virtual int TextWidth(const TextStyle& style, std::u16string_view text) = 0;
};

// Splits marked-up text into runs; link targets are appended to `links` in order.
std::vector<TextRun> ParseMarkup(std::u16string_view text, int baseFont,
                                 std::vector<std::u16string>* links);
// Plain text as one run (tabs read as blanks).
std::vector<TextRun> PlainRuns(std::u16string_view text, int baseFont);

struct PlacedRun {
  RECT rect{};
  std::u16string text;
  TextStyle style;
};

struct TextLayout {
  std::vector<PlacedRun> runs;
  SIZE extent{};  // width of the widest line, total height of all lines
};

// Lays runs out in `box` following DrawText flags: DT_SINGLELINE keeps one line (breaks read
// as blanks), otherwise lines break at "\n" and, with DT_WORDBREAK, between words that would
// pass the right edge. DT_CENTER/DT_RIGHT align each line, DT_VCENTER/DT_BOTTOM the block.
TextLayout LayoutText(const std::vector<TextRun>& runs, const RECT& box, UINT dtFlags,
                      ITextMeasurer& measurer);

}  // namespace pinvale::ui
