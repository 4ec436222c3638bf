#include "builder/UMapSet.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <numbers>
#include <thread>

#include "builder/UMapRaster.h"
#include "dataset/ULocator.h"
#include "map/UMapStream.h"

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr int kMaxWidth = 640, kMaxHeight = 480;
constexpr int kStateMaps = 56, kFirstContinent = 58, kFirstCountry = 64;
constexpr double kMarkerClassMaxPixelsPerDegree = 40;

enum TColour : uint8_t { cWater, cLand, cOwn, cCoast, cBorder, cStateLine, cCountyLine };
const std::vector<TRgb> kPalette = {
    {170, 211, 223},  // water
    {238, 234, 222},  // land
    {250, 236, 170},  // the map's own state or country
    {30, 70, 130},    // coast (and, on U.S. maps, the national border)
    {170, 30, 30},    // country border
    {100, 100, 100},  // state line
    {196, 190, 178},  // county line
};

struct TStateCode {
  const char* fips;
  const char* postal;
};
constexpr TStateCode kStates[] = {
    {"01", "AL"}, {"02", "AK"}, {"04", "AZ"}, {"05", "AR"}, {"06", "CA"}, {"08", "CO"},
    {"09", "CT"}, {"10", "DE"}, {"11", "DC"}, {"12", "FL"}, {"13", "GA"}, {"15", "HI"},
    {"16", "ID"}, {"17", "IL"}, {"18", "IN"}, {"19", "IA"}, {"20", "KS"}, {"21", "KY"},
    {"22", "LA"}, {"23", "ME"}, {"24", "MD"}, {"25", "MA"}, {"26", "MI"}, {"27", "MN"},
    {"28", "MS"}, {"29", "MO"}, {"30", "MT"}, {"31", "NE"}, {"32", "NV"}, {"33", "NH"},
    {"34", "NJ"}, {"35", "NM"}, {"36", "NY"}, {"37", "NC"}, {"38", "ND"}, {"39", "OH"},
    {"40", "OK"}, {"41", "OR"}, {"42", "PA"}, {"44", "RI"}, {"45", "SC"}, {"46", "SD"},
    {"47", "TN"}, {"48", "TX"}, {"49", "UT"}, {"50", "VT"}, {"51", "VA"}, {"53", "WA"},
    {"54", "WV"}, {"55", "WI"}, {"56", "WY"}, {"60", "AS"}, {"66", "GU"}, {"69", "MP"},
    {"72", "PR"}, {"78", "VI"}};

std::string PostalOf(const std::string& fips) {
  for (const auto& s : kStates)
    if (fips == s.fips) return s.postal;
  return {};
}

// World features that the U.S. topology draws finer: the U.S. and the territories with a state
// map (Puerto Rico, the Virgin Islands, Guam, American Samoa, the Northern Marianas).
bool IsUSFeature(const std::string& id) {
  for (const char* x : {"840", "630", "850", "316", "016", "580"})
    if (id == x) return true;
  return false;
}

// World features not given a country map: those of the U.S. (they have state maps), the minor
// outlying islands and Antarctica.
bool IsExcludedCountry(const std::string& id) {
  return IsUSFeature(id) || id == "581" || id == "010";
}

struct TContinent {
  const char* name;
  double west, south, east, north;
};
constexpr TContinent kContinents[] = {
    {"North America", -170, 5, -50, 75}, {"South America", -92, -57, -32, 15},
    {"Europe", -25, 34, 45, 72},         {"Africa", -20, -36, 55, 38},
    {"Asia", 25, -12, 180, 78},          {"Oceania", 110, -50, 180, 22}};
constexpr TContinent kConus = {"Conterminous United States", -126, 23, -65, 50};

double Floor64(double v) { return std::floor(v * 64) / 64; }
double Ceil64(double v) { return std::ceil(v * 64) / 64; }

double Shoelace(const TGeoLine& r) {
  double a = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    const auto& p = r[i];
    const auto& q = r[(i + 1) % r.size()];
    a += (p.lon * q.lat - q.lon * p.lat) * std::cos(p.lat * kDeg);
  }
  return std::fabs(a) / 2;
}

// Split outer rings of a feature's polygons with their boxes and areas.
struct TPiece {
  TGeoBox box;
  double area = 0;
};
std::vector<TPiece> Pieces(const TGeoTopology& t, const TGeoFeature& f) {
  std::vector<TPiece> pieces;
  for (const auto& polygon : f.polygons) {
    if (polygon.empty()) continue;
    for (const auto& part : SplitRingAtAntimeridian(t.Ring(polygon[0]))) {
      TPiece p;
      for (const auto& pt : part) p.box.Add(pt);
      p.area = Shoelace(part);
      pieces.push_back(p);
    }
  }
  std::sort(pieces.begin(), pieces.end(),
            [](const TPiece& a, const TPiece& b) { return a.area > b.area; });
  return pieces;
}

// Box of a region's main land: its largest piece, then every piece near what is taken so far
// (within `reach` of its size), largest first; far islands and overseas parts stay out.
TGeoBox MainBox(const std::vector<TPiece>& pieces, double reach) {
  TGeoBox box;
  if (pieces.empty()) return box;
  box = pieces[0].box;
  bool grew = true;
  std::vector<bool> taken(pieces.size(), false);
  taken[0] = true;
  while (grew) {
    grew = false;
    for (size_t i = 1; i < pieces.size(); ++i) {
      if (taken[i]) continue;
      const double c = std::cos((box.north + box.south) / 2 * kDeg);
      const double size = std::max((box.east - box.west) * c, box.north - box.south);
      const auto& b = pieces[i].box;
      const double dx = std::max({0.0, b.west - box.east, box.west - b.east}) * c;
      const double dy = std::max({0.0, b.south - box.north, box.south - b.north});
      if (std::hypot(dx, dy) <= reach * size) {
        box.Add(b);
        taken[i] = true;
        grew = true;
      }
    }
  }
  return box;
}

// Margin, a least span, and the calibrated picture size.
void Frame(TMapDef& m, TGeoBox b, bool margin) {
  if (margin) {
    const double c = std::cos((b.north + b.south) / 2 * kDeg);
    double w = b.east - b.west, h = b.north - b.south;
    const double minH = 1.0, minW = 1.0 / std::max(c, 0.2);
    const double mx = std::max(w * 0.06, (minW - w) / 2), my = std::max(h * 0.06, (minH - h) / 2);
    b.west -= mx, b.east += mx, b.south -= my, b.north += my;
  }
  m.box.west = std::max(-180.0, Floor64(b.west));
  m.box.east = std::min(180.0, Ceil64(b.east));
  m.box.south = std::max(-90.0, Floor64(b.south));
  m.box.north = std::min(90.0, Ceil64(b.north));
  const bool world = m.nr == kWorldMapNr;
  const double c = world ? 1.0 : std::cos((m.box.north + m.box.south) / 2 * kDeg);
  const double w = (m.box.east - m.box.west) * c, h = m.box.north - m.box.south;
  const double maxW = world ? 720 : kMaxWidth, maxH = world ? 360 : kMaxHeight;
  const double k = std::min(maxW / w, maxH / h);
  m.width = std::max(1, static_cast<int>(std::lround(w * k)));
  m.height = std::max(1, static_cast<int>(std::lround(h * k)));
  m.markerClass = m.height / (m.box.north - m.box.south) <= kMarkerClassMaxPixelsPerDegree ? 1 : 0;
}

int ParentOf(const TGeoBox& box, const std::vector<TMapDef>& maps) {
  const double lon = (box.west + box.east) / 2, lat = (box.south + box.north) / 2;
  int best = kWorldMapNr;
  double bestArea = 1e18;
  for (int nr = kFirstContinent; nr < kFirstContinent + 6; ++nr) {
    const TMapDef& c = maps[static_cast<size_t>(nr - 1)];
    if (c.box.Contains(lon, lat) && c.Area() < bestArea) best = nr, bestArea = c.Area();
  }
  return best;
}

}  // namespace

double TMapDef::Area() const {
  return (box.east - box.west) * (box.north - box.south) *
         std::cos((box.north + box.south) / 2 * kDeg);
}

// ---------------------------------------------------------------------------------------------

TCountryGrid::TCountryGrid(const TGeoTopology& world) : cells_(3600 * 1800, 0) {
  const TGeoObject* countries = world.Find("countries");
  if (!countries) throw EStatusError(TStatus::Corrupt("the world topology has no countries"));
  TMapCanvas grid(3600, 1800, 0);
  for (size_t i = 0; i < countries->features.size() && i < 255; ++i) {
    std::vector<std::vector<TPt>> rings;
    for (const auto& polygon : countries->features[i].polygons)
      for (const auto& ring : polygon)
        for (const auto& part : SplitRingAtAntimeridian(world.Ring(ring))) {
          auto& r = rings.emplace_back();
          for (const auto& p : part)
            r.push_back(TPt{(p.lon + 180) * 10 - 0.5, (90 - p.lat) * 10 - 0.5});
        }
    grid.FillRings(rings, static_cast<uint8_t>(i + 1));
  }
  cells_ = grid.Pixels();
}

int TCountryGrid::At(double lon, double lat) const {
  if (!std::isfinite(lon) || !std::isfinite(lat)) return -1;
  const int x = std::clamp(static_cast<int>(std::floor((lon + 180) * 10)), 0, 3599);
  const int y = std::clamp(static_cast<int>(std::floor((90 - lat) * 10)), 0, 1799);
  return static_cast<int>(cells_[static_cast<size_t>(y) * 3600 + x]) - 1;
}

// ---------------------------------------------------------------------------------------------

TMapPlan PlanMaps(const TGeoData& geo, const std::vector<int64_t>& countryCounts) {
  const TGeoTopology* world = geo.Find("world");
  const TGeoTopology* us = geo.Find("us");
  const TGeoObject* countries = world ? world->Find("countries") : nullptr;
  const TGeoObject* states = us ? us->Find("states") : nullptr;
  if (!countries || !states || !us->Find("counties"))
    throw EStatusError(
        TStatus::Corrupt("the polygon file lacks the world countries or the U.S. states"));
  TMapPlan plan;
  plan.maps.resize(kWorldMapNr);
  for (int nr = 1; nr <= kWorldMapNr; ++nr) plan.maps[static_cast<size_t>(nr - 1)].nr = nr;
  const auto map = [&plan](int nr) -> TMapDef& { return plan.maps[static_cast<size_t>(nr - 1)]; };

  TMapDef& w = map(kWorldMapNr);
  w.name = "World";
  Frame(w, TGeoBox{-180, -90, 180, 90}, false);
  for (int i = 0; i < 6; ++i) {
    TMapDef& c = map(kFirstContinent + i);
    const TContinent& k = kContinents[i];
    c.name = k.name;
    c.parent = kWorldMapNr;
    Frame(c, TGeoBox{k.west, k.south, k.east, k.north}, false);
  }
  TMapDef& conus = map(kStateMaps + 1);
  conus.name = kConus.name;
  conus.parent = kFirstContinent;  // North America
  conus.us = true;
  Frame(conus, TGeoBox{kConus.west, kConus.south, kConus.east, kConus.north}, false);

  // States and territories by name.
  std::vector<int> order;
  for (size_t i = 0; i < states->features.size(); ++i)
    if (!PostalOf(states->features[i].id).empty()) order.push_back(static_cast<int>(i));
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return states->features[static_cast<size_t>(a)].name <
           states->features[static_cast<size_t>(b)].name;
  });
  if (order.size() != kStateMaps)
    throw EStatusError(TStatus::Corrupt("the polygon file has " + std::to_string(order.size()) +
                                        " U.S. states and territories, not 56"));
  for (int k = 0; k < kStateMaps; ++k) {
    const TGeoFeature& f = states->features[static_cast<size_t>(order[static_cast<size_t>(k)])];
    TMapDef& m = map(k + 1);
    m.name = f.name;
    m.code = PostalOf(f.id);
    m.us = m.state = true;
    m.region = order[static_cast<size_t>(k)];
    // A state's islands belong on its map (Kauai with Hawaii): a longer reach than for countries,
    // whose far parts are often other DXCC entities (Svalbard, the Canaries).
    Frame(m, MainBox(Pieces(*us, f), 0.6), true);
    const double lon = (m.box.west + m.box.east) / 2, lat = (m.box.south + m.box.north) / 2;
    m.parent = conus.box.Contains(lon, lat) ? conus.nr : ParentOf(m.box, plan.maps);
  }

  // Countries by entries, then by area.
  std::vector<std::pair<int, double>> candidates;  // index, area
  std::vector<std::vector<TPiece>> pieces(countries->features.size());
  for (size_t i = 0; i < countries->features.size(); ++i) {
    const TGeoFeature& f = countries->features[i];
    if (IsExcludedCountry(f.id) || f.polygons.empty()) continue;
    pieces[i] = Pieces(*world, f);
    double area = 0;
    for (const auto& p : pieces[i]) area += p.area;
    candidates.emplace_back(static_cast<int>(i), area);
  }
  const auto count = [&](int i) {
    return static_cast<size_t>(i) < countryCounts.size() ? countryCounts[static_cast<size_t>(i)]
                                                         : 0;
  };
  std::sort(candidates.begin(), candidates.end(), [&](const auto& a, const auto& b) {
    if (count(a.first) != count(b.first)) return count(a.first) > count(b.first);
    if (a.second != b.second) return a.second > b.second;
    return a.first < b.first;
  });
  const int slots = kWorldMapNr - kFirstCountry;
  if (static_cast<int>(candidates.size()) < slots)
    throw EStatusError(TStatus::Corrupt("the polygon file has too few countries"));
  for (int k = 0; k < slots; ++k) {
    const int i = candidates[static_cast<size_t>(k)].first;
    TMapDef& m = map(kFirstCountry + k);
    m.name = countries->features[static_cast<size_t>(i)].name;
    m.region = i;
    Frame(m, MainBox(pieces[static_cast<size_t>(i)], 0.25), true);
    m.parent = ParentOf(m.box, plan.maps);
  }
  return plan;
}

// ---------------------------------------------------------------------------------------------

bool EntryPoint(const TBuildEntry& e, bool us, double& lon, double& lat) {
  std::string locator;
  if (us) {
    const auto x = e.FindField(utLongitude);
    const auto y = e.FindField(utLatitude);
    if (!x || !y) return false;
    locator = CoordToLocator(*x, *y);
  } else if (const auto l = e.FindField(itLocator)) {
    locator = *l;
  }
  if (!IsValidLocator(locator)) return false;
  const TGeoPoint p = LocatorToCoord(locator);
  lon = p.longitude;
  lat = p.latitude;
  return true;
}

namespace {
// The map box less 2 % of its size on each side: a point there is not at the picture's edge.
// The world map has no edge to keep away from: it holds every point.
bool InnerContains(const TMapDef& m, double lon, double lat) {
  if (m.nr == kWorldMapNr) return m.box.Contains(lon, lat);
  const double mx = (m.box.east - m.box.west) * 0.02, my = (m.box.north - m.box.south) * 0.02;
  return lon >= m.box.west + mx && lon <= m.box.east - mx && lat >= m.box.south + my &&
         lat <= m.box.north - my;
}
}  // namespace

TMapChooser::TMapChooser(const TMapPlan& plan, const TGeoData& geo, const TCountryGrid& grid)
    : plan_(plan), grid_(grid) {
  for (const auto& m : plan.maps) byArea_.push_back(m.nr);
  std::stable_sort(byArea_.begin(), byArea_.end(), [&](int a, int b) {
    return plan.maps[static_cast<size_t>(a - 1)].Area() <
           plan.maps[static_cast<size_t>(b - 1)].Area();
  });
  const TGeoObject* countries = geo.Find("world")->Find("countries");
  countryMap_.assign(countries->features.size(), 0);
  for (const auto& m : plan.maps) {
    if (m.state)
      stateMap_.emplace_back(m.code, m.nr);
    else if (m.region >= 0)
      countryMap_[static_cast<size_t>(m.region)] = m.nr;
  }
}

int TMapChooser::Choose(double lon, double lat, const std::string& usState) const {
  if (!usState.empty()) {
    for (const auto& [code, nr] : stateMap_)
      if (code == usState && InnerContains(plan_.maps[static_cast<size_t>(nr - 1)], lon, lat))
        return nr;
  } else {
    const int c = grid_.At(lon, lat);
    if (c >= 0 && static_cast<size_t>(c) < countryMap_.size() &&
        countryMap_[static_cast<size_t>(c)]) {
      const int nr = countryMap_[static_cast<size_t>(c)];
      if (InnerContains(plan_.maps[static_cast<size_t>(nr - 1)], lon, lat)) return nr;
    }
  }
  for (const int nr : byArea_)
    if (InnerContains(plan_.maps[static_cast<size_t>(nr - 1)], lon, lat)) return nr;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Rendering

namespace {

struct TFill {
  int feature = 0;
  std::vector<TGeoLine> rings;
  TGeoBox box;
};
struct TLine {
  TGeoLine points;
  TGeoBox box;
  uint8_t colour = cCoast;
  bool ofUS = false;  // an arc of the world's U.S. feature (not drawn on U.S. maps)
};

struct TLayers {
  std::vector<TFill> countries, states;
  std::vector<TLine> worldLines, stateLines, countyLines, lakeLines;
  TFill lakes;                  // every lake and island ring: islands are holes (even-odd)
  std::vector<bool> usFeature;  // by country: drawn by the U.S. topology on U.S. maps
};

std::vector<TFill> Fills(const TGeoTopology& t, const TGeoObject& o) {
  std::vector<TFill> fills;
  for (size_t i = 0; i < o.features.size(); ++i) {
    TFill f;
    f.feature = static_cast<int>(i);
    for (const auto& polygon : o.features[i].polygons)
      for (const auto& ring : polygon)
        for (auto& part : SplitRingAtAntimeridian(t.Ring(ring))) {
          for (const auto& p : part) f.box.Add(p);
          f.rings.push_back(std::move(part));
        }
    fills.push_back(std::move(f));
  }
  return fills;
}

// How many features of an object use each arc, and the first user.
void ArcUse(const TGeoTopology& t, const TGeoObject& o, std::vector<int>& uses,
            std::vector<int>& firstUser, std::vector<int>& secondUser) {
  uses.assign(t.arcs.size(), 0);
  firstUser.assign(t.arcs.size(), -1);
  secondUser.assign(t.arcs.size(), -1);
  for (size_t i = 0; i < o.features.size(); ++i)
    for (const auto& polygon : o.features[i].polygons)
      for (const auto& ring : polygon)
        for (const int ref : ring) {
          const auto a = static_cast<size_t>(ref < 0 ? ~ref : ref);
          if (firstUser[a] == static_cast<int>(i) || secondUser[a] == static_cast<int>(i)) continue;
          if (firstUser[a] < 0)
            firstUser[a] = static_cast<int>(i);
          else if (secondUser[a] < 0)
            secondUser[a] = static_cast<int>(i);
          ++uses[a];
        }
}

void AddLines(std::vector<TLine>& out, const TGeoLine& arc, uint8_t colour, bool ofUS) {
  for (auto& part : SplitLineAtAntimeridian(arc)) {
    TLine l;
    for (const auto& p : part) l.box.Add(p);
    l.points = std::move(part);
    l.colour = colour;
    l.ofUS = ofUS;
    out.push_back(std::move(l));
  }
}

TLayers MakeLayers(const TGeoData& geo) {
  TLayers L;
  const TGeoTopology& world = *geo.Find("world");
  const TGeoTopology& us = *geo.Find("us");
  const TGeoObject& countries = *world.Find("countries");
  const TGeoObject& states = *us.Find("states");
  const TGeoObject& counties = *us.Find("counties");
  L.countries = Fills(world, countries);
  L.states = Fills(us, states);
  L.usFeature.assign(countries.features.size(), false);
  for (size_t i = 0; i < countries.features.size(); ++i)
    L.usFeature[i] = IsUSFeature(countries.features[i].id);
  const auto ofUS = [&L](int feature) {
    return feature >= 0 && L.usFeature[static_cast<size_t>(feature)];
  };
  std::vector<int> uses, first, second;
  ArcUse(world, countries, uses, first, second);
  for (size_t a = 0; a < world.arcs.size(); ++a)
    if (uses[a] > 0)
      AddLines(L.worldLines, world.arcs[a], uses[a] >= 2 ? cBorder : cCoast,
               ofUS(first[a]) || ofUS(second[a]));
  if (const TGeoTopology* lakeTopo = geo.Find("lakes"))
    if (const TGeoObject* lakes = lakeTopo->Find("lakes")) {
      for (auto& f : Fills(*lakeTopo, *lakes)) {
        for (auto& ring : f.rings) L.lakes.rings.push_back(std::move(ring));
        L.lakes.box.Add(f.box);
      }
      for (const auto& arc : lakeTopo->arcs) AddLines(L.lakeLines, arc, cCoast, false);
    }
  std::vector<int> stateUses, countyUses;
  ArcUse(us, states, stateUses, first, second);
  ArcUse(us, counties, countyUses, first, second);
  for (size_t a = 0; a < us.arcs.size(); ++a) {
    if (stateUses[a] > 0)
      AddLines(L.stateLines, us.arcs[a], stateUses[a] >= 2 ? cStateLine : cCoast, false);
    else if (countyUses[a] >= 2)
      AddLines(L.countyLines, us.arcs[a], cCountyLine, false);
  }
  return L;
}

struct TProjection {
  double west, north, sx, sy;
  TPt operator()(const TGeoPt& p) const { return TPt{(p.lon - west) * sx, (north - p.lat) * sy}; }
};

void Fill(TMapCanvas& canvas, const TProjection& proj, const TFill& f, uint8_t colour) {
  std::vector<std::vector<TPt>> rings;
  rings.reserve(f.rings.size());
  for (const auto& ring : f.rings) {
    auto& r = rings.emplace_back();
    r.reserve(ring.size());
    for (const auto& p : ring) r.push_back(proj(p));
  }
  canvas.FillRings(rings, colour);
}

// A line with points closer than 3/4 pixel to the last one kept left out.
void Draw(TMapCanvas& canvas, const TProjection& proj, const TLine& l, int colour = -1) {
  std::vector<TPt> pts;
  pts.reserve(l.points.size());
  for (size_t i = 0; i < l.points.size(); ++i) {
    const TPt p = proj(l.points[i]);
    if (!pts.empty() && i + 1 < l.points.size() &&
        std::hypot(p.x - pts.back().x, p.y - pts.back().y) < 0.75)
      continue;
    pts.push_back(p);
  }
  canvas.DrawLine(pts, colour < 0 ? l.colour : static_cast<uint8_t>(colour));
}

std::string Render(const TMapDef& m, const TLayers& L) {
  TMapCanvas canvas(m.width, m.height, cWater);
  const TProjection proj{m.box.west, m.box.north, m.width / (m.box.east - m.box.west),
                         m.height / (m.box.north - m.box.south)};
  // A little room around the picture, so lines and fills that reach it are not lost.
  TGeoBox view = m.box;
  const double px = 2 / proj.sx, py = 2 / proj.sy;
  view.west -= px, view.east += px, view.south -= py, view.north += py;
  // On U.S. maps the U.S. topology draws the U.S. and its territories: their coarse world
  // shapes stay out, or each coast would be drawn twice.
  const auto wanted = [&](const TFill& f) {
    return f.box.Intersects(view) && !(m.us && L.usFeature[static_cast<size_t>(f.feature)]);
  };
  for (const auto& f : L.countries)
    if (wanted(f)) Fill(canvas, proj, f, !m.state && f.feature == m.region ? cOwn : cLand);
  if (m.us) {
    for (const auto& f : L.states)
      if (f.box.Intersects(view))
        Fill(canvas, proj, f, m.state && f.feature == m.region ? cOwn : cLand);
  }
  if (L.lakes.box.Intersects(view)) Fill(canvas, proj, L.lakes, cWater);
  const auto drawAll = [&](const std::vector<TLine>& lines, auto&& want) {
    for (const auto& l : lines)
      if (l.box.Intersects(view) && want(l)) Draw(canvas, proj, l);
  };
  if (m.state) drawAll(L.countyLines, [](const TLine&) { return true; });
  if (m.us) drawAll(L.stateLines, [](const TLine& l) { return l.colour == cStateLine; });
  drawAll(L.worldLines, [&](const TLine& l) { return l.colour == cBorder && !(m.us && l.ofUS); });
  drawAll(L.worldLines, [&](const TLine& l) { return l.colour == cCoast && !(m.us && l.ofUS); });
  if (m.us) drawAll(L.stateLines, [](const TLine& l) { return l.colour == cCoast; });
  // Lake shores. Where the U.S. states end at a lake (the U.S. half of the Great Lakes), their
  // finer shore is drawn already: the lake's own shore is left out within 2 pixels of it.
  TMapCanvas shore(m.width, m.height, 0), usShore(m.width, m.height, 0);
  bool anyShore = false;
  for (const auto& l : L.lakeLines)
    if (l.box.Intersects(view)) Draw(shore, proj, l, 1), anyShore = true;
  if (!anyShore) return EncodeBmpRle8(canvas, kPalette);
  if (m.us)
    for (const auto& l : L.stateLines)
      if (l.colour == cCoast && l.box.Intersects(view)) Draw(usShore, proj, l, 1);
  constexpr int kReach = 2;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      if (!shore.At(x, y)) continue;
      bool near = false;
      for (int dy = -kReach; dy <= kReach && !near; ++dy)
        for (int dx = -kReach; dx <= kReach && !near; ++dx) {
          const int u = x + dx, v = y + dy;
          near = u >= 0 && v >= 0 && u < m.width && v < m.height && usShore.At(u, v);
        }
      if (!near) canvas.Set(x, y, cCoast);
    }
  return EncodeBmpRle8(canvas, kPalette);
}

TMapEntry DirectoryEntry(const TMapDef& m) {
  TMapEntry e;
  e.parent = static_cast<uint8_t>(m.parent);
  e.markerClass = m.markerClass;
  e.lon1 = m.box.west;
  e.x1 = 0;
  e.lon2 = m.box.east;
  e.x2 = m.width;
  e.lat1 = m.box.north;
  e.y1 = 0;
  e.lat2 = m.box.south;
  e.y2 = m.height;
  return e;
}

}  // namespace

std::string RenderMap(const TMapDef& map, const TGeoData& geo) {
  return Render(map, MakeLayers(geo));
}

TMapBlock RenderMapBlock(const TMapPlan& plan, const TGeoData& geo, int64_t blockStart) {
  const TLayers layers = MakeLayers(geo);
  std::vector<std::string> images(plan.maps.size());
  std::atomic<size_t> next{0};
  std::exception_ptr failure;
  const auto work = [&] {
    try {
      for (size_t k; (k = next++) < plan.maps.size();) images[k] = Render(plan.maps[k], layers);
    } catch (...) {
      failure = std::current_exception();
      next = plan.maps.size();
    }
  };
  std::thread other(work);
  work();
  other.join();
  if (failure) std::rethrow_exception(failure);

  TMapBlock block;
  block.directoryOffset = 0;
  std::string dir(kMapDirectorySize, '\0');
  dir[0] = static_cast<char>(plan.maps.size());
  int64_t at = blockStart + kMapDirectorySize;
  for (size_t k = 0; k < plan.maps.size(); ++k) {
    TMapEntry e = DirectoryEntry(plan.maps[k]);
    if (at + static_cast<int64_t>(images[k].size()) > INT32_MAX)
      throw EStatusError(
          TStatus::InvalidArgument("the maps would pass the 2 GiB limit of the data file"));
    e.imageOffset = static_cast<int32_t>(at);
    e.imageSize = static_cast<int32_t>(images[k].size());
    dir.replace(1 + k * kMapEntrySize, kMapEntrySize, EncodeMapEntry(e));
    at += static_cast<int64_t>(images[k].size());
  }
  block.bytes = std::move(dir);
  for (const auto& img : images) block.bytes += img;
  return block;
}

// ---------------------------------------------------------------------------------------------

TMapPoints EntryPoints(const std::vector<TBuildEntry>& intl, const std::vector<TBuildEntry>& us,
                       size_t usCount, const TProgressFeed* usMade) {
  TMapPoints p;
  p.intl.resize(intl.size());
  for (size_t i = 0; i < intl.size(); ++i) {
    TMapPoint& m = p.intl[i];
    m.valid = EntryPoint(intl[i], false, m.lon, m.lat);
  }
  p.us.reserve(usCount);
  for (size_t i = 0; i < usCount; ++i) {
    if (usMade && !usMade->WaitFor(i)) break;
    TMapPoint m;
    m.valid = EntryPoint(us[i], true, m.lon, m.lat);
    p.us.push_back(m);
  }
  return p;
}

int PrepareMaps(const std::string& geometryPath, TBuildInput& input, TEditionOptions& options,
                const TMapPoints* points) {
  struct TState {
    TGeoData geo;
    TMapPlan plan;
  };
  auto state = std::make_shared<TState>();
  state->geo = LoadMapGeometry(geometryPath);
  const TGeoTopology* world = state->geo.Find("world");
  if (!world) throw EStatusError(TStatus::Corrupt(geometryPath + ": no world topology"));
  const TCountryGrid grid(*world);

  // Points of the entries (two threads unless given), then the country counts.
  TMapPoints found;
  if (!points) {
    std::thread t([&] { found.us = EntryPoints({}, input.us, input.us.size(), nullptr).us; });
    found.intl = EntryPoints(input.intl, {}, 0, nullptr).intl;
    t.join();
    points = &found;
  }
  if (points->intl.size() != input.intl.size() || points->us.size() != input.us.size())
    throw EStatusError(TStatus::Corrupt("map points do not match the entries"));
  const std::vector<TMapPoint>& intlPoints = points->intl;
  const std::vector<TMapPoint>& usPoints = points->us;
  std::vector<int64_t> counts(world->Find("countries")->features.size(), 0);
  for (const auto& p : intlPoints)
    if (p.valid) {
      const int c = grid.At(p.lon, p.lat);
      if (c >= 0) ++counts[static_cast<size_t>(c)];
    }
  state->plan = PlanMaps(state->geo, counts);
  const TMapChooser chooser(state->plan, state->geo, grid);
  const auto assign = [&](std::vector<TBuildEntry>& entries, const std::vector<TMapPoint>& pts,
                          bool us) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const TMapPoint& p = pts[i];
      entries[i].mapNr = p.valid
                             ? static_cast<uint8_t>(chooser.Choose(
                                   p.lon, p.lat, us ? entries[i].FieldOr(utState) : std::string()))
                             : 0;
    }
  };
  {
    std::thread t([&] { assign(input.us, usPoints, true); });
    assign(input.intl, intlPoints, false);
    t.join();
  }
  options.maps = [state](int64_t blockStart) {
    return RenderMapBlock(state->plan, state->geo, blockStart);
  };
  return static_cast<int>(state->plan.maps.size());
}
