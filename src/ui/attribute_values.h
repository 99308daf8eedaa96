#pragma once

// Readers for the value forms of layout attributes: colours, rectangles, sizes, booleans
// and image descriptors.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win_types.h"

namespace pinvale::ui {

// "#FF1883D7" or "FF1883D7": 32-bit ARGB. Six digits (RRGGBB) get an opaque alpha.
std::optional<DWORD> ParseColor(std::u16string_view text);

// "l,t,r,b"; missing numbers read as 0.
RECT ParseRect(std::u16string_view text);
// "w,h".
SIZE ParseSize(std::u16string_view text);
int ParseInt(std::u16string_view text);
bool ParseBool(std::u16string_view text);  // "true" (any case) is true, anything else false

// One drawable image of an image attribute.
struct ImageDescriptor {
  std::u16string file;         // entry in the skin archive
  std::optional<RECT> source;  // part of the image; whole image when absent
  RECT corner{};               // nine-grid margins that keep their size
  std::optional<DWORD> mask;   // colour drawn as transparent
  std::optional<RECT> dest;    // relative to the control's top left; whole control when absent
  int fade = 255;
  bool hole = false;
  bool xtiled = false;
  bool ytiled = false;
};

// Reads "file='a.png' source='0,0,16,16' mask='#FFFF00FF'" or a bare name. Each further
// `file` key starts a new image, so the result lists the images in drawing order. Empty
// values give an empty list.
std::vector<ImageDescriptor> ParseImageDescriptor(std::u16string_view value);

inline long Width(const RECT& r) {
  return r.right - r.left;
}
inline long Height(const RECT& r) {
  return r.bottom - r.top;
}
inline bool Contains(const RECT& r, POINT p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
RECT Intersect(const RECT& a, const RECT& b);
bool IsEmpty(const RECT& r);

}  // namespace pinvale::ui

// Global, beside RECT and SIZE, so that comparisons (and test assertions) find them.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator==(const SIZE& a, const SIZE& b) {
  return a.cx == b.cx && a.cy == b.cy;
}
