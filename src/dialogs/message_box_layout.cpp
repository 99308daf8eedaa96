#include "dialogs/message_box_layout.h"

#include <algorithm>

namespace pinvale {

std::vector<std::u16string_view> SplitMessageLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) {
      if (start < text.size()) lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

MessageTextSize MeasureMessageText(const std::vector<int>& lineWidths, int lineHeight) {
  MessageTextSize size;
  int widest = 0;
  for (int w : lineWidths) {
    size.rows += w / kMessageTextMaxWidth + (w % kMessageTextMaxWidth != 0 ? 1 : 0);
    widest = std::max(widest, w);
  }
  size.width = std::clamp(widest, kMessageTextMinWidth, kMessageTextMaxWidth);
  size.height = size.rows * lineHeight;
  return size;
}

MessageBoxGeometry PlaceMessageBox(const MessageTextSize& text, int titleHeight, int buttonCount,
                                   int drawnTextHeight) {
  MessageBoxGeometry geometry;
  geometry.windowWidth = text.width + kMessageWindowExtraWidth;
  int overflow = std::max(0, drawnTextHeight - text.height - kMessageTextSlack);
  geometry.windowHeight = text.height + titleHeight + kMessageWindowExtraHeight + overflow;
  geometry.textBoxHeight = std::max(text.height, drawnTextHeight);
  // The last button sits 18 pixels from the right and bottom edges; each earlier
  // one 108 pixels further left.
  for (int i = 0; i < buttonCount; ++i) {
    int fromRight = (buttonCount - 1 - i) * kMessageButtonStep;
    int left = geometry.windowWidth - 108 - fromRight;
    int top = geometry.windowHeight - titleHeight - 46;
    geometry.buttons.push_back({left, top, left + kMessageButtonWidth, top + kMessageButtonHeight});
  }
  return geometry;
}

}  // namespace pinvale
