#include "builder/UMapRaster.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

TMapCanvas::TMapCanvas(int width, int height, uint8_t background)
    : w_(width), h_(height), px_(static_cast<size_t>(width) * height, background) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("empty canvas");
}

void TMapCanvas::FillRings(const std::vector<std::vector<TPt>>& rings, uint8_t colour) {
  // Crossings of every edge with the rows (at y = row), then spans between pairs.
  std::vector<std::vector<float>> rows(static_cast<size_t>(h_));
  for (const auto& ring : rings) {
    const size_t n = ring.size();
    if (n < 3) continue;
    for (size_t i = 0; i < n; ++i) {
      const TPt& a = ring[i];
      const TPt& b = ring[(i + 1) % n];
      if (a.y == b.y) continue;
      const double ylo = std::min(a.y, b.y), yhi = std::max(a.y, b.y);
      // Rows j with ylo <= j < yhi (half-open, so a vertex is counted once).
      int j0 = static_cast<int>(std::ceil(ylo));
      int j1 = static_cast<int>(std::ceil(yhi)) - 1;
      j0 = std::max(j0, 0);
      j1 = std::min(j1, h_ - 1);
      if (j0 > j1) continue;
      const double slope = (b.x - a.x) / (b.y - a.y);
      for (int j = j0; j <= j1; ++j)
        rows[static_cast<size_t>(j)].push_back(static_cast<float>(a.x + (j - a.y) * slope));
    }
  }
  for (int j = 0; j < h_; ++j) {
    auto& xs = rows[static_cast<size_t>(j)];
    if (xs.size() < 2) continue;
    std::sort(xs.begin(), xs.end());
    uint8_t* line = px_.data() + static_cast<size_t>(j) * w_;
    for (size_t k = 0; k + 1 < xs.size(); k += 2) {
      // Pixels i with xs[k] <= i < xs[k+1].
      const double from = std::max<double>(std::ceil(xs[k]), 0);
      const double to = std::min<double>(std::ceil(xs[k + 1]), w_);
      for (int i = static_cast<int>(from); i < static_cast<int>(to); ++i) line[i] = colour;
    }
  }
}

void TMapCanvas::DrawLine(const std::vector<TPt>& points, uint8_t colour) {
  for (size_t i = 1; i < points.size(); ++i)
    Segment(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, colour);
  if (points.size() == 1)
    Set(static_cast<int>(std::lround(points[0].x)), static_cast<int>(std::lround(points[0].y)),
        colour);
}

void TMapCanvas::Segment(double x0, double y0, double x1, double y1, uint8_t colour) {
  // Liang-Barsky clip to the canvas (with half a pixel of room), then Bresenham.
  const double lo = -0.5, hix = w_ - 0.5, hiy = h_ - 0.5;
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - lo, hix - x0, y0 - lo, hiy - y0};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return;
  }
  int ax = static_cast<int>(std::lround(x0 + t0 * dx)),
      ay = static_cast<int>(std::lround(y0 + t0 * dy));
  const int bx = static_cast<int>(std::lround(x0 + t1 * dx)),
            by = static_cast<int>(std::lround(y0 + t1 * dy));
  const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
  const int ex = std::abs(bx - ax), ey = -std::abs(by - ay);
  int err = ex + ey;
  for (;;) {
    Set(ax, ay, colour);
    if (ax == bx && ay == by) break;
    const int e2 = 2 * err;
    if (e2 >= ey) {
      err += ey;
      ax += sx;
    }
    if (e2 <= ex) {
      err += ex;
      ay += sy;
    }
  }
}

std::string EncodeRle8Row(const uint8_t* row, int width) {
  std::string out;
  int i = 0;
  while (i < width) {
    int run = 1;
    while (i + run < width && run < 255 && row[i + run] == row[i]) ++run;
    if (run >= 2) {
      out.push_back(static_cast<char>(run));
      out.push_back(static_cast<char>(row[i]));
      i += run;
      continue;
    }
    // Absolute run: pixels up to the next pair of equal ones (at least 3, at most 255).
    int n = 1;
    while (i + n < width && n < 255 && !(i + n + 1 < width && row[i + n] == row[i + n + 1])) ++n;
    if (n < 3) {
      for (int k = 0; k < n; ++k) {
        out.push_back(1);
        out.push_back(static_cast<char>(row[i + k]));
      }
    } else {
      out.push_back(0);
      out.push_back(static_cast<char>(n));
      out.append(reinterpret_cast<const char*>(row + i), static_cast<size_t>(n));
      if (n & 1) out.push_back(0);  // absolute runs end on a 16-bit boundary
    }
    i += n;
  }
  return out;
}

namespace {
void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v));
  s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
}  // namespace

std::string EncodeBmpRle8(const TMapCanvas& canvas, const std::vector<TRgb>& palette) {
  if (palette.empty() || palette.size() > 256) throw std::invalid_argument("bad palette");
  std::string bits;
  const int w = canvas.Width(), h = canvas.Height();
  for (int y = h - 1; y >= 0; --y) {
    bits += EncodeRle8Row(canvas.Pixels().data() + static_cast<size_t>(y) * w, w);
    bits.push_back(0);
    bits.push_back(y == 0 ? 1 : 0);  // end of line; end of bitmap after the top row
  }
  const uint32_t headers = 14 + 40 + static_cast<uint32_t>(palette.size()) * 4;
  std::string bmp;
  bmp.reserve(headers + bits.size());
  bmp += "BM";
  Put32(bmp, headers + static_cast<uint32_t>(bits.size()));
  Put32(bmp, 0);
  Put32(bmp, headers);
  Put32(bmp, 40);
  Put32(bmp, static_cast<uint32_t>(w));
  Put32(bmp, static_cast<uint32_t>(h));
  Put16(bmp, 1);
  Put16(bmp, 8);
  Put32(bmp, 1);  // BI_RLE8
  Put32(bmp, static_cast<uint32_t>(bits.size()));
  Put32(bmp, 3780);  // 96 dpi
  Put32(bmp, 3780);
  Put32(bmp, static_cast<uint32_t>(palette.size()));
  Put32(bmp, 0);
  for (const TRgb& c : palette) {
    bmp.push_back(static_cast<char>(c.b));
    bmp.push_back(static_cast<char>(c.g));
    bmp.push_back(static_cast<char>(c.r));
    bmp.push_back(0);
  }
  return bmp + bits;
}
