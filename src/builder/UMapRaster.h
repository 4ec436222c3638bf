#pragma once
// An 8-bit palette canvas: even-odd polygon fill sampled at pixel centres, 1-pixel lines, and the
// BMP file of it with RLE8 compression (every pixel coded: runs and absolute runs, end-of-line and
// end-of-bitmap codes, no delta skips).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TPt {
  double x = 0, y = 0;  // pixel coordinates; pixel (i, j) has its centre at (i, j)
};

class TMapCanvas {
 public:
  TMapCanvas(int width, int height, uint8_t background);
  int Width() const { return w_; }
  int Height() const { return h_; }
  uint8_t At(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }
  void Set(int x, int y, uint8_t c) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<size_t>(y) * w_ + x] = c;
  }
  // Fills the pixels whose centres lie inside the rings (even-odd over all rings together).
  void FillRings(const std::vector<std::vector<TPt>>& rings, uint8_t colour);
  // Draws a polyline one pixel wide (clipped to the canvas).
  void DrawLine(const std::vector<TPt>& points, uint8_t colour);
  const std::vector<uint8_t>& Pixels() const { return px_; }

 private:
  void Segment(double x0, double y0, double x1, double y1, uint8_t colour);
  int w_, h_;
  std::vector<uint8_t> px_;
};

struct TRgb {
  uint8_t r = 0, g = 0, b = 0;
};

// RLE8 codes of one row of pixels, without the end-of-line code.
std::string EncodeRle8Row(const uint8_t* row, int width);
// A complete BMP file: 8 bits per pixel, RLE8, bottom-up rows, the palette given (at most 256
// colours), 96 dpi.
std::string EncodeBmpRle8(const TMapCanvas& canvas, const std::vector<TRgb>& palette);
