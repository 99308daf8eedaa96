#pragma once

// How the message box sizes itself to its text: pure arithmetic on measured
// pixel widths, kept apart from the window so it can be checked case by case.

#include <string>
#include <string_view>
#include <vector>

namespace pinvale {

// Lines are wrapped at this width; narrower boxes are widened to the minimum.
constexpr int kMessageTextMaxWidth = 350;
constexpr int kMessageTextMinWidth = 250;

// The text control sits at (65, 25) inside the content area; the window adds
// 100 pixels of width and 114 of height (icon column, margins, button row).
constexpr int kMessageTextX = 65;
constexpr int kMessageTextY = 25;
constexpr int kMessageWindowExtraWidth = 100;
constexpr int kMessageWindowExtraHeight = 114;

// The rows counted above miss what word wrapping and empty lines take when the
// text is drawn. The band between the counted rows and the buttons (35 pixels,
// keeping 8 clear above the buttons) takes up the difference; only a text that
// needs more still makes the window taller, so no line is ever cut off.
constexpr int kMessageTextSlack = 35;

// Buttons are 90 x 28, right-aligned at the bottom, 108 pixels apart.
constexpr int kMessageButtonWidth = 90;
constexpr int kMessageButtonHeight = 28;
constexpr int kMessageButtonStep = 108;

// Splits at every "\n"; the piece after the last "\n" counts only when not empty.
std::vector<std::u16string_view> SplitMessageLines(std::u16string_view text);

struct MessageTextSize {
  int rows = 0;
  int width = 0;   // the text control's width, before its 10 extra pixels
  int height = 0;  // rows x line height
};

// Each line of width w takes w / 350 rows, one more for a remainder; an empty line
// takes none.
MessageTextSize MeasureMessageText(const std::vector<int>& lineWidths, int lineHeight);

struct MessageBoxGeometry {
  int windowWidth = 0;
  int windowHeight = 0;
  int textBoxHeight = 0;  // the text control's height
  // Button rectangles relative to the content area below the title bar, first
  // button first.
  struct Box {
    int left, top, right, bottom;
  };
  std::vector<Box> buttons;
};

// `drawnTextHeight` is the height the text takes when drawn wrapped into its width
// (0 when unknown).
MessageBoxGeometry PlaceMessageBox(const MessageTextSize& text, int titleHeight, int buttonCount,
                                   int drawnTextHeight = 0);

}  // namespace pinvale
