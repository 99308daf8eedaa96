#pragma once

// One display scale per window, in quarter steps (1, 1.25, 1.5, ... 4). Layouts and controls
// keep their numbers in 96-DPI units; only the pixels of a window and its input are scaled.
//
// Rounding: every edge (coordinate) is scaled on its own and rounded half up, never a size.
// So two controls that touch at 1 touch at every scale, and a length at 1.25 or 1.75 comes
// out one pixel longer or shorter depending on where it starts (a 1-unit line at x = 1 is
// pixels 1-2 at 1.25, at x = 0 only pixel 0). At 2 every rectangle is exactly twice as big.

#include <optional>
#include <string_view>

#include "ui/win_types.h"

namespace pinvale::ui {

class ScaleFactor {
 public:
  static constexpr int kMinQuarters = 4;  // 1: smaller than the layouts were made for is unreadable
  static constexpr int kMaxQuarters = 16;  // 4

  constexpr ScaleFactor() = default;
  // Clamped to the range above.
  static ScaleFactor FromQuarters(int quarters);
  // dots per inch over 96, to the nearest quarter (ties up): 120 -> 1.25, 110 -> 1.25, 100 -> 1.
  static ScaleFactor FromDpi(double dpi);
  // A user's or test's setting ("1.5", "2"); nullopt when it is not a positive number.
  static std::optional<ScaleFactor> Parse(std::string_view text);

  int Quarters() const { return m_quarters; }
  double Value() const { return m_quarters / 4.0; }
  bool IsOne() const { return m_quarters == 4; }

  // A coordinate in 96-DPI units to pixels.
  long ToPixels(long units) const;
  RECT ToPixels(const RECT& units) const;
  // The unit whose pixels contain pixel `pixel` (the inverse of ToPixels for input).
  long UnitAt(long pixel) const;
  // A length in pixels that ToPixels made from a length starting at 0, back to units.
  long ToUnits(long pixels) const;
  SIZE ToUnits(SIZE pixels) const { return SIZE{ToUnits(pixels.cx), ToUnits(pixels.cy)}; }
  SIZE ToPixels(SIZE units) const { return SIZE{ToPixels(units.cx), ToPixels(units.cy)}; }
  // A line's thickness, rounded once (half up) and never below one pixel, so that a border
  // is as thick on every side wherever its edges fall: 1 unit is 1 pixel at 1.25, 2 at 1.75.
  long LineWidth(long units) const;

  bool operator==(const ScaleFactor&) const = default;

 private:
  constexpr explicit ScaleFactor(int quarters) : m_quarters(quarters) {}
  int m_quarters = 4;
};

}  // namespace pinvale::ui
