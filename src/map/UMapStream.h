#pragma once
// The map directory and map images inside data\thedata.dat: the 6-byte real, the 53-byte map
// entry, and TMapStream, the read-only stream over the selected map's BMP image.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/IOUtil.h"

class EMapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr int kMapSlots = 255;
constexpr int kMapEntrySize = 53;
constexpr int kMapDirectorySize = 1 + kMapSlots * kMapEntrySize;  // 13516
constexpr int kWorldMapNr = 144;
constexpr int kMaxZoomChain = 10;
// The most pixels a map image may have (4096 x 4096; the edition's maps have at most 720 x 480).
// A bitmap header that claims more is refused before a decoder allocates the picture.
constexpr int64_t kMaxMapPixels = int64_t{4096} * 4096;

using TReal48 = std::array<uint8_t, 6>;

// Value of a 6-byte real: exponent byte with bias 129 (0 = zero), 39-bit fraction, sign in the
// top bit of byte 5.
double Real48ToDouble(const TReal48& r);
// The nearest 6-byte real; exact for values with at most 40 significant bits. Throws EMapError
// for a value too large (magnitude 2^127 or more) or not finite; tiny values become 0.
TReal48 DoubleToReal48(double v);

struct TMapEntry {
  int32_t imageOffset = 0;
  int32_t imageSize = 0;
  uint8_t parent = 0;
  int32_t markerClass = 0;
  double lon1 = 0;
  int32_t x1 = -1;  // -1: the map cannot be located
  double lon2 = 0;
  int32_t x2 = 0;
  double lat1 = 0;
  int32_t y1 = 0;
  double lat2 = 0;
  int32_t y2 = 0;
};

TMapEntry DecodeMapEntry(const uint8_t* p);
// The 53 bytes of an entry (reals rounded to 6-byte reals).
std::string EncodeMapEntry(const TMapEntry& e);

struct TPixel {
  int32_t x = 0, y = 0;
};

// Pixel of a point on a map with this calibration: nearest integers, halves to even. Throws
// EMapError "Map is not locatable" for an uncalibrated map or one whose calibration gives no
// finite pixel.
TPixel LocateOnMap(const TMapEntry& e, double longitude, double latitude);

// Width times height as a BMP file header gives them (info header of 40, 64, 108 or 124 bytes:
// 32-bit sizes; any other: the old 16-bit ones), signs dropped; -1 when the bytes are too short
// for a header or do not begin with "BM".
int64_t BitmapPixels(const std::string& bmp);

class TMapStream {
 public:
  // Opens the data file read-only and reads the directory at dirOffset. Throws EMapError
  // "Can not open MapDataFile" + I/O code when the file cannot be opened or the directory read.
  TMapStream(const std::string& dataFilePath, int64_t dirOffset);

  int MapCount() const { return count_; }
  const TMapEntry& Entry(int n) const;  // throws "Illegal MapNr"

  void SelectMap(int n);
  // n and its parents up to kMaxZoomChain maps; a parent of 0 or above MapCount() ends it.
  std::vector<int> ZoomChain(int n);
  TPixel LocatePoint(int n, double longitude, double latitude) const;
  int32_t MarkerClass(int n) const;

  // Reads from the selected image at the position; returns the bytes read.
  int64_t Read(void* buffer, int64_t count);
  // origin 0 from the start, 1 from the position, 2 from the end; returns the new position,
  // which is kept within 0..Size().
  int64_t Seek(int64_t offset, int origin);
  int64_t Position() const { return position_; }
  int64_t Size() const { return imageSize_; }
  // The whole selected image (at most 64 MiB); throws EMapError when it cannot be read whole or
  // is a bitmap of more than kMaxMapPixels pixels.
  std::string ReadImage();

 private:
  void CheckNr(int n, bool withNumber) const;

  TReadOnlyFile file_;
  int count_ = 0;
  std::vector<TMapEntry> entries_;  // index 0 = map 1
  int64_t imageOffset_ = 0, imageSize_ = 0, position_ = 0;
};
