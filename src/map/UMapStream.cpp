#include "map/UMapStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/ULittleEndian.h"

double Real48ToDouble(const TReal48& r) {
  if (r[0] == 0) return 0.0;
  uint64_t bits = 0;
  for (int i = 5; i >= 1; --i) bits = (bits << 8) | r[static_cast<size_t>(i)];
  const bool negative = (bits >> 39) & 1;
  const uint64_t fraction = bits & ((uint64_t{1} << 39) - 1);
  const double mantissa = 1.0 + std::ldexp(static_cast<double>(fraction), -39);
  const double v = std::ldexp(mantissa, static_cast<int>(r[0]) - 129);
  return negative ? -v : v;
}

TReal48 DoubleToReal48(double v) {
  TReal48 r{};
  if (!std::isfinite(v)) throw EMapError("Value not representable as a 6-byte real");
  if (v == 0.0) return r;
  const bool negative = v < 0;
  int exp = 0;
  const double m = std::frexp(std::fabs(v), &exp);  // m in [0.5, 1)
  int e = exp - 1 + 129;                            // value = 2m * 2^(exp-1)
  double scaled = std::nearbyint((2.0 * m - 1.0) * 0x1.0p39);
  if (scaled >= 0x1.0p39) {
    scaled = 0;
    ++e;
  }
  if (e > 255) throw EMapError("Value not representable as a 6-byte real");
  if (e < 1) return r;
  const uint64_t bits = static_cast<uint64_t>(scaled) | (negative ? uint64_t{1} << 39 : 0);
  r[0] = static_cast<uint8_t>(e);
  for (int i = 1; i <= 5; ++i)
    r[static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (8 * (i - 1)));
  return r;
}

namespace {
double ReadReal(const uint8_t* p) {
  TReal48 r;
  std::memcpy(r.data(), p, 6);
  return Real48ToDouble(r);
}
void AppendI32(std::string& s, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(u >> (8 * i)));
}
void PutReal(std::string& s, double v) {
  const TReal48 r = DoubleToReal48(v);
  s.append(reinterpret_cast<const char*>(r.data()), 6);
}

// Nearest integer, halves to the even neighbour; false when out of 32-bit range or not finite.
bool RoundToInt(double v, int32_t& out) {
  if (!std::isfinite(v)) return false;
  const double f = std::floor(v);
  double r = f;
  const double d = v - f;
  if (d > 0.5 || (d == 0.5 && std::fmod(f, 2.0) != 0.0)) r += 1.0;
  if (r < -2147483648.0 || r > 2147483647.0) return false;
  out = static_cast<int32_t>(r);
  return true;
}
}  // namespace

TMapEntry DecodeMapEntry(const uint8_t* p) {
  TMapEntry e;
  e.imageOffset = GetI32(p);
  e.imageSize = GetI32(p + 4);
  e.parent = p[8];
  e.markerClass = GetI32(p + 9);
  e.lon1 = ReadReal(p + 13);
  e.x1 = GetI32(p + 19);
  e.lon2 = ReadReal(p + 23);
  e.x2 = GetI32(p + 29);
  e.lat1 = ReadReal(p + 33);
  e.y1 = GetI32(p + 39);
  e.lat2 = ReadReal(p + 43);
  e.y2 = GetI32(p + 49);
  return e;
}

std::string EncodeMapEntry(const TMapEntry& e) {
  std::string s;
  s.reserve(kMapEntrySize);
  AppendI32(s, e.imageOffset);
  AppendI32(s, e.imageSize);
  s.push_back(static_cast<char>(e.parent));
  AppendI32(s, e.markerClass);
  PutReal(s, e.lon1);
  AppendI32(s, e.x1);
  PutReal(s, e.lon2);
  AppendI32(s, e.x2);
  PutReal(s, e.lat1);
  AppendI32(s, e.y1);
  PutReal(s, e.lat2);
  AppendI32(s, e.y2);
  return s;
}

TPixel LocateOnMap(const TMapEntry& e, double longitude, double latitude) {
  if (e.x1 == -1) throw EMapError("Map is not locatable");
  // Differences in double: pixel columns far apart overflow a 32-bit subtraction.
  const double sx = (static_cast<double>(e.x2) - e.x1) / (e.lon2 - e.lon1);
  const double sy = (static_cast<double>(e.y2) - e.y1) / (e.lat2 - e.lat1);
  TPixel p;
  if (!RoundToInt((longitude - e.lon1) * sx + e.x1, p.x) ||
      !RoundToInt((latitude - e.lat1) * sy + e.y1, p.y))
    throw EMapError("Map is not locatable");
  return p;
}

int64_t BitmapPixels(const std::string& bmp) {
  if (bmp.size() < 26 || bmp.compare(0, 2, "BM") != 0) return -1;
  const auto* p = reinterpret_cast<const uint8_t*>(bmp.data());
  const int32_t headerSize = GetI32(p + 14);
  int64_t w = 0, h = 0;
  if (headerSize == 40 || headerSize == 64 || headerSize == 108 || headerSize == 124) {
    w = GetI32(p + 18);
    h = GetI32(p + 22);
  } else {
    w = static_cast<int16_t>(p[18] | p[19] << 8);
    h = static_cast<int16_t>(p[20] | p[21] << 8);
  }
  return (w < 0 ? -w : w) * (h < 0 ? -h : h);
}

TMapStream::TMapStream(const std::string& dataFilePath, int64_t dirOffset) {
  if (!file_.Open(dataFilePath))
    throw EMapError("Can not open MapDataFile" + std::to_string(LastErrorCode()));
  std::vector<uint8_t> dir(kMapDirectorySize);
  if (dirOffset < 0 || !file_.ReadExact(dirOffset, dir.data(), kMapDirectorySize))
    throw EMapError("Can not open MapDataFile" +
                    std::to_string(LastErrorCode() ? LastErrorCode() : 100));
  count_ = dir[0];
  entries_.reserve(kMapSlots);
  for (int k = 0; k < kMapSlots; ++k)
    entries_.push_back(DecodeMapEntry(dir.data() + 1 + k * kMapEntrySize));
}

void TMapStream::CheckNr(int n, bool withNumber) const {
  if (n < 1 || n > count_)
    throw EMapError(withNumber ? "Illegal MapNr: " + std::to_string(n) : "Illegal MapNr");
}

const TMapEntry& TMapStream::Entry(int n) const {
  CheckNr(n, false);
  return entries_[static_cast<size_t>(n - 1)];
}

void TMapStream::SelectMap(int n) {
  CheckNr(n, true);
  const TMapEntry& e = entries_[static_cast<size_t>(n - 1)];
  imageOffset_ = e.imageOffset;
  imageSize_ = e.imageSize < 0 ? 0 : e.imageSize;
  position_ = 0;
}

std::vector<int> TMapStream::ZoomChain(int n) {
  CheckNr(n, true);
  std::vector<int> chain;
  int k = n;
  // A parent beyond the maps would put a map into the chain that SelectMap refuses.
  while (k >= 1 && k <= count_ && static_cast<int>(chain.size()) < kMaxZoomChain) {
    chain.push_back(k);
    k = entries_[static_cast<size_t>(k - 1)].parent;
  }
  position_ = 0;
  return chain;
}

TPixel TMapStream::LocatePoint(int n, double longitude, double latitude) const {
  return LocateOnMap(Entry(n), longitude, latitude);
}

int32_t TMapStream::MarkerClass(int n) const { return Entry(n).markerClass; }

int64_t TMapStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0 || position_ >= imageSize_) return 0;
  count = std::min(count, imageSize_ - position_);
  int64_t got = 0;
  if (!file_.ReadAt(imageOffset_ + position_, buffer, count, got)) return 0;
  position_ += got;
  return got;
}

int64_t TMapStream::Seek(int64_t offset, int origin) {
  // Clamped before adding: the base and the size are within 0..2^31, so nothing overflows.
  const int64_t base = origin == 0 ? 0 : origin == 1 ? position_ : imageSize_;
  offset = std::clamp(offset, -base, imageSize_ - base);
  position_ = base + offset;
  return position_;
}

std::string TMapStream::ReadImage() {
  constexpr int64_t kLimit = 64ll << 20;
  if (imageSize_ <= 0 || imageSize_ > kLimit || imageOffset_ < 0 ||
      imageOffset_ + imageSize_ > file_.Size())
    throw EMapError("Map image outside the data file");
  std::string bytes(static_cast<size_t>(imageSize_), '\0');
  Seek(0, 0);
  if (Read(bytes.data(), imageSize_) != imageSize_) throw EMapError("Map image cannot be read");
  // A few bytes of header can claim a picture of gigabytes; the decoder would allocate it.
  if (BitmapPixels(bytes) > kMaxMapPixels) throw EMapError("Map image has too many pixels");
  return bytes;
}
