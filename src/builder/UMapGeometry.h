#pragma once
// The polygon file data/sources/map_geometry.bin (made by tools/sources/maps.mjs): topologies of
// quantized arcs shared by neighbouring features, loaded into degrees; and the splitting of rings
// and lines at the antimeridian.
#include <string>
#include <vector>

#include "common/UStatus.h"

struct TGeoPt {
  double lon = 0, lat = 0;
};
using TGeoLine = std::vector<TGeoPt>;

struct TGeoBox {
  double west = 1e9, south = 1e9, east = -1e9, north = -1e9;
  void Add(const TGeoPt& p);
  void Add(const TGeoBox& b);
  bool Empty() const { return west > east; }
  bool Intersects(const TGeoBox& b) const {
    return !Empty() && !b.Empty() && west <= b.east && b.west <= east && south <= b.north &&
           b.south <= north;
  }
  bool Contains(double lon, double lat) const {
    return lon >= west && lon <= east && lat >= south && lat <= north;
  }
};

struct TGeoFeature {
  std::string id, name;
  // Polygons, each a list of rings, each ring a list of arc references (~i = arc i reversed).
  std::vector<std::vector<std::vector<int>>> polygons;
};

struct TGeoObject {
  std::string name;
  std::vector<TGeoFeature> features;
};

struct TGeoTopology {
  std::string name;
  std::vector<TGeoLine> arcs;  // in degrees
  std::vector<TGeoBox> arcBoxes;
  std::vector<TGeoObject> objects;
  const TGeoObject* Find(const std::string& object) const;
  // The points of a ring of arc references, shared end points once.
  TGeoLine Ring(const std::vector<int>& refs) const;
};

struct TGeoData {
  std::vector<TGeoTopology> topologies;
  const TGeoTopology* Find(const std::string& name) const;
};

// Parses the file's bytes; throws EStatusError naming what is wrong.
TGeoData ParseMapGeometry(const std::string& bytes);
// Reads and parses a file.
TGeoData LoadMapGeometry(const std::string& path);

// A closed ring (first point not repeated at the end) split into rings that lie within
// longitudes -180..180: a ring crossing the antimeridian is unwrapped and cut there, and a ring
// around a pole is closed along the pole's parallel first.
std::vector<TGeoLine> SplitRingAtAntimeridian(const TGeoLine& ring);
// A line broken where it jumps across the antimeridian.
std::vector<TGeoLine> SplitLineAtAntimeridian(const TGeoLine& line);
