#pragma once

// Text metrics without fonts: every character is 7 pixels wide, a line is 16 pixels high
// (bold and italic change nothing), so expected rectangles can be worked out by hand.

#include "ui/text_markup.h"

namespace pinvale::ui::test {

class FakeMeasurer : public ITextMeasurer {
 public:
  static constexpr int kLineHeight = 16;
  static constexpr int kCharWidth = 7;
  int FontHeight(const TextStyle&) override { return kLineHeight; }
  int TextWidth(const TextStyle&, std::u16string_view text) override {
    return kCharWidth * static_cast<int>(text.size());
  }
};

}  // namespace pinvale::ui::test
