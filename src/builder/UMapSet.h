#pragma once
// The maps of an edition: which maps there are (map 144 the world; the continents, the
// conterminous U.S., every state and territory, and the countries with most entries), the map
// of each entry, and the rendered map block (directory and BMP images) of the data file.
//
// Numbering: 1..56 the U.S. states and territories (by name), 57 the conterminous U.S., 58..63
// the continents, 64..143 the countries by entries (then by area), 144 the world. Each map is
// an equirectangular picture (x scaled by the cosine of the middle latitude) calibrated at its
// corners; MarkerClass 1 on maps of at most 40 pixels per degree, where an approximate locator
// is close enough to be marked. The large lakes are drawn as water over land on every map; the
// world map holds every point, the others keep a 2 % edge free.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "builder/UBuildEntry.h"
#include "builder/UEditionWriter.h"
#include "builder/UMapGeometry.h"
#include "builder/UProgressFeed.h"

struct TMapDef {
  int nr = 0;
  std::string name;
  int parent = 0;
  TGeoBox box;  // west..east, south..north; multiples of 1/64 degree
  int width = 0, height = 0;
  int32_t markerClass = 0;
  bool us = false;     // drawn with the U.S. states (and counties on a state map)
  bool state = false;  // a state or territory map
  int region = -1;     // highlighted feature: index in the U.S. states (state maps) or countries
  std::string code;    // postal code of a state map
  double Area() const;
};

// Which country of the world topology a point lies in, on a 0.1-degree grid.
class TCountryGrid {
 public:
  explicit TCountryGrid(const TGeoTopology& world);
  // Index into the countries object, or -1 for sea.
  int At(double lon, double lat) const;

 private:
  std::vector<uint8_t> cells_;
};

struct TMapPlan {
  std::vector<TMapDef> maps;  // maps[k] is map k + 1
  const TMapDef* Map(int nr) const {
    return nr >= 1 && nr <= static_cast<int>(maps.size()) ? &maps[nr - 1] : nullptr;
  }
};

// The map set: counts[i] = entries in country i of the world topology's countries object.
TMapPlan PlanMaps(const TGeoData& geo, const std::vector<int64_t>& countryCounts);

// The point an entry is shown at (U.S.: its coordinates through their locator; International:
// its locator); false when it has none.
bool EntryPoint(const TBuildEntry& e, bool us, double& lon, double& lat);

// The points of all entries: the International ones, then the U.S. ones as usMade says they are
// made (all of them when usMade is null); the U.S. list stops short when their maker gave up.
struct TMapPoint {
  double lon = 0, lat = 0;
  bool valid = false;
};
struct TMapPoints {
  std::vector<TMapPoint> intl, us;
};
TMapPoints EntryPoints(const std::vector<TBuildEntry>& intl, const std::vector<TBuildEntry>& us,
                       size_t usCount, const TProgressFeed* usMade);

// The map of a point: the entry's own state's map (U.S. postal code) or its country's map when
// that holds the point, else the smallest map that holds it; 0 when none does.
class TMapChooser {
 public:
  TMapChooser(const TMapPlan& plan, const TGeoData& geo, const TCountryGrid& grid);
  int Choose(double lon, double lat, const std::string& usState) const;

 private:
  const TMapPlan& plan_;
  const TCountryGrid& grid_;
  std::vector<int> byArea_;
  std::vector<int> countryMap_;  // by country index
  std::vector<std::pair<std::string, int>> stateMap_;
};

// Renders the maps into a map block starting at blockStart (directory first, then the images).
TMapBlock RenderMapBlock(const TMapPlan& plan, const TGeoData& geo, int64_t blockStart);
// One map's BMP file.
std::string RenderMap(const TMapDef& map, const TGeoData& geo);

// Reads the polygon file, counts the entries per country, plans the maps, sets every entry's map
// number and sets options.maps to render the block. Returns the number of maps. The entries'
// points are taken from points when given (EntryPoints of this input), else found here.
int PrepareMaps(const std::string& geometryPath, TBuildInput& input, TEditionOptions& options,
                const TMapPoints* points = nullptr);
