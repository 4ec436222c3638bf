#pragma once
// Contrast of text colours (relative luminance of sRGB), for texts that must stay readable.
#include <QColor>
#include <algorithm>
#include <cmath>

// Contrast ratio of two colours, 1 (none) to 21 (black on white).
inline double ContrastRatio(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The background made darker, or lighter for dark text, until text on it has a contrast of at
// least minimum (4.5:1 for normal text) where that can be reached.
inline QColor ReadableBackground(QColor back, const QColor& text, double minimum = 4.5) {
  const bool darken = text.lightnessF() >= 0.5;
  for (int i = 0; i < 20 && ContrastRatio(back, text) < minimum; ++i)
    back = darken ? back.darker(110) : back.lighter(110);
  return back;
}
