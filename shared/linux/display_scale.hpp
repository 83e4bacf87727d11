#pragma once

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

// The arithmetic of drawing a form at the display's resolution. Desktops that scale the screen
// set the X resource Xft.dpi (192 for twice the usual size); where it is unset, X11 programs take
// 96 dots per inch.
namespace shared {

inline constexpr double kUsualDotsPerInch = 96.0;

// The resolution an Xft.dpi value names ("192", "120.5"); 96 for an empty value, a value that
// isn't a number, or one too small or too large to draw a window at.
inline double DotsPerInchFromResource(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  double dpi = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), dpi);
  if (error != std::errc() || end != value.data() + value.size()) return kUsualDotsPerInch;
  if (!(dpi >= 24.0 && dpi <= 960.0)) return kUsualDotsPerInch;
  return dpi;
}

// Twips (1/1440 inch; 15 to a pixel at 96 dots per inch) to pixels, rounded to the nearest.
inline int TwipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// A length FLTK gives in pixels for 96 dots per inch (a dialog's margin, its text size) to
// pixels at `dpi`, rounded to the nearest.
inline int ScaledPixels(int pixels, double dpi) {
  return static_cast<int>(std::lround(pixels * dpi / kUsualDotsPerInch));
}

// A font's size in points (1/72 inch) to pixels, rounded to the nearest.
inline int PointsToPixels(int points, double dpi) {
  return static_cast<int>(std::lround(points * dpi / 72.0));
}

}  // namespace shared
