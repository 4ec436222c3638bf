#pragma once
// Contrast of text colours (relative luminance of sRGB), for texts that must stay readable.
#include <QColor>
#include <QPalette>
#include <QProgressBar>
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

// A gauge whose percentage reads on both parts of the bar: over the filled part (chunk, drawn
// from chunk.lighter(120) to chunk) in white or black, whichever contrasts more, over the rest
// in the text colour on the base colour; chunk is made darker or lighter where neither reaches
// 4.5:1 on its lighter end.
inline void MakeGaugeReadable(QProgressBar* bar, QColor chunk) {
  const QColor white(Qt::white), black(Qt::black);
  const QColor text = ContrastRatio(chunk, white) >= ContrastRatio(chunk, black) ? white : black;
  for (int i = 0; i < 20 && ContrastRatio(chunk.lighter(120), text) < 4.5; ++i)
    chunk = text == white ? chunk.darker(110) : chunk.lighter(110);
  QPalette p = bar->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Highlight, chunk);
    p.setColor(group, QPalette::HighlightedText, text);
    if (ContrastRatio(p.color(group, QPalette::Text), p.color(group, QPalette::Base)) < 4.5)
      p.setColor(group, QPalette::Text,
                 ContrastRatio(p.color(group, QPalette::Base), white) >=
                         ContrastRatio(p.color(group, QPalette::Base), black)
                     ? white
                     : black);
  }
  bar->setPalette(p);
}
