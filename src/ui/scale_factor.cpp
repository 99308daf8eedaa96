#include "ui/scale_factor.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace pinvale::ui {
namespace {

// Floor division for negative numerators too (coordinates left of or above a window).
long FloorDiv(long a, long b) {
  long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

ScaleFactor ScaleFactor::FromQuarters(int quarters) {
  return ScaleFactor(std::clamp(quarters, kMinQuarters, kMaxQuarters));
}

ScaleFactor ScaleFactor::FromDpi(double dpi) {
  if (!(dpi > 0) || !std::isfinite(dpi)) return ScaleFactor();
  return FromQuarters(static_cast<int>(std::floor(dpi / 96.0 * 4.0 + 0.5)));
}

std::optional<ScaleFactor> ScaleFactor::Parse(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  const std::string copy(text);
  char* end = nullptr;
  value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !(value > 0) || !std::isfinite(value)) {
    return std::nullopt;
  }
  return FromDpi(value * 96.0);
}

long ScaleFactor::ToPixels(long units) const {
  // round(units * q / 4), half up.
  return FloorDiv(units * m_quarters + 2, 4);
}

RECT ScaleFactor::ToPixels(const RECT& r) const {
  return RECT{ToPixels(r.left), ToPixels(r.top), ToPixels(r.right), ToPixels(r.bottom)};
}

long ScaleFactor::LineWidth(long units) const {
  if (units <= 0) return 0;
  return std::max(1L, FloorDiv(units * m_quarters + 2, 4));
}

long ScaleFactor::UnitAt(long pixel) const {
  // The largest u with ToPixels(u) <= pixel: u < (4 * pixel + 2) / q.
  return FloorDiv(4 * pixel + 2 + m_quarters - 1, m_quarters) - 1;
}

long ScaleFactor::ToUnits(long pixels) const {
  // round(pixels * 4 / q), half up: gives back u for every pixels == ToPixels(u).
  return FloorDiv(8 * pixels + m_quarters, 2 * m_quarters);
}

}  // namespace pinvale::ui
