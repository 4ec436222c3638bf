#include "builder/UMapGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/IOUtil.h"

void TGeoBox::Add(const TGeoPt& p) {
  west = std::min(west, p.lon);
  east = std::max(east, p.lon);
  south = std::min(south, p.lat);
  north = std::max(north, p.lat);
}

void TGeoBox::Add(const TGeoBox& b) {
  if (b.Empty()) return;
  Add(TGeoPt{b.west, b.south});
  Add(TGeoPt{b.east, b.north});
}

const TGeoObject* TGeoTopology::Find(const std::string& object) const {
  for (const auto& o : objects)
    if (o.name == object) return &o;
  return nullptr;
}

TGeoLine TGeoTopology::Ring(const std::vector<int>& refs) const {
  TGeoLine ring;
  for (const int ref : refs) {
    const bool reversed = ref < 0;
    const auto& arc = arcs[static_cast<size_t>(reversed ? ~ref : ref)];
    const size_t n = arc.size();
    for (size_t k = ring.empty() ? 0 : 1; k < n; ++k) ring.push_back(arc[reversed ? n - 1 - k : k]);
  }
  if (ring.size() > 1 && ring.front().lon == ring.back().lon && ring.front().lat == ring.back().lat)
    ring.pop_back();
  return ring;
}

const TGeoTopology* TGeoData::Find(const std::string& name) const {
  for (const auto& t : topologies)
    if (t.name == name) return &t;
  return nullptr;
}

namespace {

class TReader {
 public:
  explicit TReader(const std::string& b) : b_(b) {}
  uint64_t Varint() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const uint8_t c = Byte();
      v |= static_cast<uint64_t>(c & 0x7F) << shift;
      if (!(c & 0x80)) return v;
    }
    throw EStatusError(TStatus::Corrupt("bad number at byte " + std::to_string(at_)));
  }
  int64_t Zigzag() {
    const uint64_t u = Varint();
    return static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
  }
  // A count of items that each take at least `minBytes`; refuses counts the rest cannot hold.
  size_t Count(size_t minBytes) {
    const uint64_t n = Varint();
    if (n > (b_.size() - at_) / std::max<size_t>(minBytes, 1))
      throw EStatusError(TStatus::Corrupt("count " + std::to_string(n) + " past the end at byte " +
                                          std::to_string(at_)));
    return static_cast<size_t>(n);
  }
  std::string String() {
    const size_t n = Count(1);
    std::string s = b_.substr(at_, n);
    at_ += n;
    return s;
  }
  double Float64() {
    if (b_.size() - at_ < 8) throw EStatusError(TStatus::Corrupt("file ends inside a number"));
    double v;
    std::memcpy(&v, b_.data() + at_, 8);  // little-endian host
    at_ += 8;
    return v;
  }
  uint8_t Byte() {
    if (at_ >= b_.size()) throw EStatusError(TStatus::Corrupt("file ends early"));
    return static_cast<uint8_t>(b_[at_++]);
  }
  bool AtEnd() const { return at_ == b_.size(); }

 private:
  const std::string& b_;
  size_t at_ = 0;
};

constexpr char kMagic[8] = {'T', 'M', 'G', 'E', 'O', 0x1A, 1, 0};

}  // namespace

TGeoData ParseMapGeometry(const std::string& bytes) {
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kMagic, 8) != 0)
    throw EStatusError(TStatus::Corrupt("not a map geometry file"));
  TReader r(bytes);
  for (int i = 0; i < 8; ++i) r.Byte();
  TGeoData data;
  const size_t topologies = r.Count(34);
  for (size_t t = 0; t < topologies; ++t) {
    TGeoTopology topo;
    topo.name = r.String();
    const double sx = r.Float64(), sy = r.Float64(), tx = r.Float64(), ty = r.Float64();
    if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(tx) || !std::isfinite(ty))
      throw EStatusError(TStatus::Corrupt("bad transform of " + topo.name));
    const size_t arcs = r.Count(1);
    topo.arcs.resize(arcs);
    topo.arcBoxes.resize(arcs);
    for (size_t a = 0; a < arcs; ++a) {
      const size_t n = r.Count(2);
      int64_t x = 0, y = 0;
      auto& arc = topo.arcs[a];
      arc.reserve(n);
      for (size_t k = 0; k < n; ++k) {
        x += r.Zigzag();
        y += r.Zigzag();
        arc.push_back(TGeoPt{static_cast<double>(x) * sx + tx, static_cast<double>(y) * sy + ty});
        topo.arcBoxes[a].Add(arc.back());
      }
    }
    const size_t objects = r.Count(2);
    for (size_t o = 0; o < objects; ++o) {
      TGeoObject obj;
      obj.name = r.String();
      const size_t features = r.Count(3);
      obj.features.resize(features);
      for (auto& f : obj.features) {
        f.id = r.String();
        f.name = r.String();
        f.polygons.resize(r.Count(1));
        for (auto& polygon : f.polygons) {
          polygon.resize(r.Count(1));
          for (auto& ring : polygon) {
            ring.resize(r.Count(1));
            for (int& ref : ring) {
              const int64_t v = r.Zigzag();
              const int64_t index = v < 0 ? ~v : v;
              if (index >= static_cast<int64_t>(arcs))
                throw EStatusError(TStatus::Corrupt("arc reference out of range in " + topo.name));
              ref = static_cast<int>(v);
            }
          }
        }
      }
      topo.objects.push_back(std::move(obj));
    }
    data.topologies.push_back(std::move(topo));
  }
  if (!r.AtEnd()) throw EStatusError(TStatus::Corrupt("bytes after the last topology"));
  return data;
}

TGeoData LoadMapGeometry(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes))
    throw EStatusError(
        TStatus::WithMessage(StatusFromLastError(path, LastErrorCode()).Code(),
                             "cannot read " + path + ": " + ErrorCodeText(LastErrorCode())));
  try {
    return ParseMapGeometry(bytes);
  } catch (const EStatusError& e) {
    throw EStatusError(e.Status().WithContext(path));
  }
}

namespace {

// The part of a ring on one side of the meridian at lon (Sutherland-Hodgman, one edge).
TGeoLine ClipRing(const TGeoLine& ring, double lon, bool keepWest) {
  TGeoLine out;
  const auto inside = [&](const TGeoPt& p) { return keepWest ? p.lon <= lon : p.lon >= lon; };
  const size_t n = ring.size();
  for (size_t i = 0; i < n; ++i) {
    const TGeoPt& a = ring[i];
    const TGeoPt& b = ring[(i + 1) % n];
    const bool ia = inside(a), ib = inside(b);
    if (ia) out.push_back(a);
    if (ia != ib) {
      const double t = (lon - a.lon) / (b.lon - a.lon);
      out.push_back(TGeoPt{lon, a.lat + t * (b.lat - a.lat)});
    }
  }
  return out;
}

}  // namespace

std::vector<TGeoLine> SplitRingAtAntimeridian(const TGeoLine& ring) {
  if (ring.size() < 3) return {};
  TGeoLine u;
  u.reserve(ring.size() + 2);
  double shift = 0;
  u.push_back(ring[0]);
  for (size_t i = 1; i < ring.size(); ++i) {
    const double prev = ring[i - 1].lon, lon = ring[i].lon;
    if (lon - prev > 180) shift -= 360;
    if (lon - prev < -180) shift += 360;
    u.push_back(TGeoPt{lon + shift, ring[i].lat});
  }
  // Closing edge: a ring around a pole ends 360 degrees from where it began.
  const double closing = ring.front().lon - ring.back().lon;
  const double jump = (closing > 180 ? -360 : closing < -180 ? 360 : 0) + shift;
  if (std::fabs(jump) > 180) {
    double sumLat = 0;
    for (const auto& p : ring) sumLat += p.lat;
    const double pole = sumLat < 0 ? -90.0 : 90.0;
    const double endLon = u.back().lon;
    u.push_back(TGeoPt{endLon, pole});
    u.push_back(TGeoPt{u.front().lon, pole});
  }
  TGeoBox box;
  for (const auto& p : u) box.Add(p);
  if (box.west >= -180 && box.east <= 180) return {u};
  std::vector<TGeoLine> parts;
  for (int k = -2; k <= 2; ++k) {
    const double off = 360.0 * k;
    if (box.east + off < -180 || box.west + off > 180) continue;
    TGeoLine shifted = u;
    for (auto& p : shifted) p.lon += off;
    TGeoLine part = ClipRing(ClipRing(shifted, 180, true), -180, false);
    if (part.size() >= 3) parts.push_back(std::move(part));
  }
  return parts;
}

std::vector<TGeoLine> SplitLineAtAntimeridian(const TGeoLine& line) {
  std::vector<TGeoLine> parts(1);
  for (size_t i = 0; i < line.size(); ++i) {
    if (i > 0 && std::fabs(line[i].lon - line[i - 1].lon) > 180) parts.emplace_back();
    parts.back().push_back(line[i]);
  }
  std::erase_if(parts, [](const TGeoLine& l) { return l.size() < 2; });
  return parts;
}
