#include "ui/text_markup.h"

#include <algorithm>

#include "ui/attribute_values.h"

namespace pinvale::ui {
namespace {

void AppendText(std::vector<TextRun>& runs, const TextStyle& style, std::u16string_view text) {
  if (text.empty()) return;
  const bool sameStyle = !runs.empty() && runs.back().style == style;
  if (!sameStyle) runs.push_back(TextRun{{}, style});
  std::u16string& out = runs.back().text;
  const size_t from = out.size();
  out.append(text);
  std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), u'\t', u' ');
  std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), u'\r', u' ');
}

}  // namespace

std::vector<TextRun> PlainRuns(std::u16string_view text, int baseFont) {
  std::vector<TextRun> runs;
  TextStyle style;
  style.font = baseFont;
  AppendText(runs, style, text);
  return runs;
}

std::vector<TextRun> ParseMarkup(std::u16string_view text, int baseFont,
                                 std::vector<std::u16string>* links) {
  std::vector<TextRun> runs;
  std::vector<TextStyle> stack;
  TextStyle style;
  style.font = baseFont;
  int linkCount = 0;

  size_t pos = 0;
  size_t plainStart = 0;
  auto flush = [&](size_t end) {
    AppendText(runs, style, text.substr(plainStart, end - plainStart));
  };

  while (pos < text.size()) {
    if (text[pos] != u'{') {
      ++pos;
      continue;
    }
    if (pos + 1 < text.size() && text[pos + 1] == u'{') {
      flush(pos + 1);  // keeps one "{"
      pos += 2;
      plainStart = pos;
      continue;
    }
    const size_t close = text.find(u'}', pos);
    if (close == std::u16string_view::npos) break;  // the rest is plain text
    std::u16string_view tag = text.substr(pos + 1, close - pos - 1);
    const size_t blank = tag.find(u' ');
    const std::u16string_view name = tag.substr(0, blank);
    std::u16string_view arg =
        blank == std::u16string_view::npos ? std::u16string_view{} : tag.substr(blank + 1);
    while (!arg.empty() && arg.front() == u' ') arg.remove_prefix(1);

    TextStyle next = style;
    bool known = true;
    bool push = true;
    if (name == u"b") {
      next.bold = true;
    } else if (name == u"i") {
      next.italic = true;
    } else if (name == u"u") {
      next.underline = true;
    } else if (name == u"c") {
      next.color = ParseColor(arg);
      if (!next.color) known = false;
    } else if (name == u"f") {
      next.font = ParseInt(arg);
    } else if (name == u"a") {
      next.link = linkCount++;
      if (links) links->push_back(std::u16string(arg));
    } else if (name == u"n") {
      push = false;
    } else if (name == u"/b" || name == u"/i" || name == u"/u" || name == u"/c" || name == u"/f" ||
               name == u"/a") {
      push = false;
    } else {
      known = false;
    }
    if (!known) {
      pos = close + 1;  // shown as it stands
      continue;
    }
    flush(pos);
    if (name == u"n") {
      AppendText(runs, style, u"\n");
    } else if (push) {
      stack.push_back(style);
      style = next;
    } else if (!stack.empty()) {
      style = stack.back();
      stack.pop_back();
    }
    pos = close + 1;
    plainStart = pos;
  }
  flush(text.size());
  return runs;
}

namespace {

// A word, a blank stretch or a line break; the text points into the run it came from.
struct Piece {
  std::u16string_view text;
  const TextStyle* style;
  int width;
  bool isSpace;
  bool isBreak;
};

}  // namespace

TextLayout LayoutText(const std::vector<TextRun>& runs, const RECT& box, UINT dtFlags,
                      ITextMeasurer& measurer) {
  const bool single = (dtFlags & DT_SINGLELINE) != 0;
  const bool wrap = !single && (dtFlags & DT_WORDBREAK) != 0;
  const int boxWidth = std::max<long>(0, box.right - box.left);

  // Cut the runs into words, blanks and line breaks.
  std::vector<Piece> pieces;
  for (const TextRun& run : runs) {
    size_t i = 0;
    while (i < run.text.size()) {
      const char16_t c = run.text[i];
      if (c == u'\n') {
        if (single) {
          pieces.push_back({u" ", &run.style, measurer.TextWidth(run.style, u" "), true, false});
        } else {
          pieces.push_back({u"", &run.style, 0, false, true});
        }
        ++i;
        continue;
      }
      const bool space = c == u' ';
      size_t j = i;
      while (j < run.text.size() && run.text[j] != u'\n' && (run.text[j] == u' ') == space) ++j;
      const std::u16string_view part = std::u16string_view(run.text).substr(i, j - i);
      pieces.push_back({part, &run.style, measurer.TextWidth(run.style, part), space, false});
      i = j;
    }
  }

  struct Line {
    std::vector<Piece> pieces;
    int width = 0;
    int height = 0;
  };
  std::vector<Line> lines(1);
  // Neighbouring pieces mostly share their run's style.
  const TextStyle* lastStyle = nullptr;
  int lastHeight = 0;
  auto lineHeightOf = [&](const TextStyle& s) {
    if (&s != lastStyle) {
      lastStyle = &s;
      lastHeight = measurer.FontHeight(s);
    }
    return lastHeight;
  };
  const TextStyle fallback = runs.empty() ? TextStyle{} : runs.front().style;
  for (const Piece& p : pieces) {
    Line& line = lines.back();
    if (p.isBreak) {
      line.height = std::max(line.height, lineHeightOf(*p.style));
      lines.emplace_back();
      continue;
    }
    if (wrap && !line.pieces.empty() && line.width + p.width > boxWidth) {
      if (p.isSpace) continue;  // blanks at a wrap point vanish
      // Trailing blanks of the finished line do not count.
      while (!line.pieces.empty() && line.pieces.back().isSpace) {
        line.width -= line.pieces.back().width;
        line.pieces.pop_back();
      }
      lines.emplace_back();
    }
    Line& target = lines.back();
    target.height = std::max(target.height, lineHeightOf(*p.style));
    target.width += p.width;
    target.pieces.push_back(p);
  }
  for (Line& line : lines) {
    if (line.height == 0) line.height = lineHeightOf(fallback);
  }

  TextLayout layout;
  int total = 0;
  for (const Line& line : lines) {
    total += line.height;
    layout.extent.cx = std::max<long>(layout.extent.cx, line.width);
  }
  layout.extent.cy = total;

  long y = box.top;  // long: a control may sit as far out as the int range reaches
  if (dtFlags & DT_VCENTER) {
    y = box.top + (static_cast<int>(box.bottom - box.top) - total) / 2;
  } else if (dtFlags & DT_BOTTOM) {
    y = box.bottom - total;
  }
  for (const Line& line : lines) {
    long x = box.left;
    if (dtFlags & DT_CENTER) {
      x = box.left + (boxWidth - line.width) / 2;
    } else if (dtFlags & DT_RIGHT) {
      x = box.right - line.width;
    }
    for (const Piece& p : line.pieces) {
      const int h = lineHeightOf(*p.style);
      PlacedRun placed;
      // Pieces of one line share a baseline at the bottom of the line.
      placed.rect = RECT{x, y + line.height - h, x + p.width, y + line.height};
      placed.text = std::u16string(p.text);
      placed.style = *p.style;
      if (!layout.runs.empty() && layout.runs.back().rect.right == placed.rect.left &&
          layout.runs.back().rect.top == placed.rect.top) {
        PlacedRun& last = layout.runs.back();
        if (last.style == placed.style) {
          last.text += placed.text;
          last.rect.right = placed.rect.right;
          x += p.width;
          continue;
        }
      }
      layout.runs.push_back(std::move(placed));
      x += p.width;
    }
    y += line.height;
  }
  return layout;
}

}  // namespace pinvale::ui
