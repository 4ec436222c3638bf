// Map rendering of tellmark-build: the polygon file, splitting at the antimeridian, the RLE8
// bitmap, the map set and the map of each entry, and the map block in a written edition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "TestDir.h"
#include "builder/UEditionWriter.h"
#include "builder/UMapGeometry.h"
#include "builder/UMapRaster.h"
#include "builder/UMapSet.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "dataset/UDataSet.h"
#include "dataset/ULocator.h"
#include "map/UMapStream.h"

namespace {

std::string SourcesDir() { return TELLMARK_SOURCE_DIR "/data/sources"; }

const TGeoData& Geo() {
  static const TGeoData geo = LoadMapGeometry(SourcesDir() + "/map_geometry.bin");
  return geo;
}

// A decoded 8-bit BMP: width, height, palette indexes top-down. Fails the test on any code a
// complete RLE8 picture must not have (delta skips, rows too long, missing end codes).
struct TDecoded {
  int width = 0, height = 0;
  std::vector<uint8_t> px;
  uint8_t At(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
};

uint32_t U32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

TDecoded DecodeBmp(const std::string& b) {
  TDecoded d;
  EXPECT_EQ(b.substr(0, 2), "BM");
  EXPECT_EQ(U32(b, 2), b.size());
  EXPECT_EQ(U32(b, 30), 1u) << "RLE8";
  EXPECT_EQ(static_cast<uint8_t>(b[28]), 8);
  d.width = static_cast<int>(U32(b, 18));
  d.height = static_cast<int>(U32(b, 22));
  d.px.assign(static_cast<size_t>(d.width) * d.height, 0xFF);
  size_t at = U32(b, 10);
  int x = 0, y = d.height - 1;
  bool ended = false;
  while (at + 1 < b.size() && !ended) {
    const uint8_t n = static_cast<uint8_t>(b[at]), v = static_cast<uint8_t>(b[at + 1]);
    at += 2;
    if (n > 0) {
      for (int k = 0; k < n; ++k) {
        EXPECT_LT(x, d.width);
        if (x < d.width && y >= 0) d.px[static_cast<size_t>(y) * d.width + x] = v;
        ++x;
      }
    } else if (v == 0 || v == 1) {
      EXPECT_EQ(x, d.width) << "row " << y << " not coded whole";
      x = 0;
      --y;
      ended = v == 1;
    } else {
      EXPECT_NE(v, 2) << "delta skip";
      for (int k = 0; k < v; ++k) {
        if (x < d.width && y >= 0)
          d.px[static_cast<size_t>(y) * d.width + x] = static_cast<uint8_t>(b[at + k]);
        ++x;
      }
      at += v + (v & 1);
    }
  }
  EXPECT_TRUE(ended) << "no end-of-bitmap code";
  EXPECT_EQ(y, -1);
  EXPECT_EQ(at, b.size());
  return d;
}

TEST(Rle8, EveryPixelCodedAndDecodedBack) {
  TMapCanvas c(37, 5, 0);
  // Long runs, runs over 255, single pixels, alternating pixels (absolute runs, odd and even).
  for (int x = 0; x < 37; ++x) {
    c.Set(x, 1, static_cast<uint8_t>(x % 2));
    c.Set(x, 2, static_cast<uint8_t>(x % 3 == 0 ? 5 : x));
    c.Set(x, 3, static_cast<uint8_t>(x < 20 ? 7 : x));
  }
  c.Set(36, 4, 9);
  const std::string bmp = EncodeBmpRle8(c, {{0, 0, 0}, {255, 255, 255}});
  const TDecoded d = DecodeBmp(bmp);
  ASSERT_EQ(d.width, 37);
  ASSERT_EQ(d.height, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 37; ++x) EXPECT_EQ(d.At(x, y), c.At(x, y)) << x << "," << y;
  TMapCanvas wide(600, 1, 3);
  EXPECT_EQ(EncodeRle8Row(wide.Pixels().data(), 600), std::string("\xFF\x03\xFF\x03\x5A\x03", 6));
}

TEST(Raster, FillSamplesPixelCentresAndLinesClip) {
  TMapCanvas c(10, 10, 0);
  c.FillRings({{{1.5, 1.5}, {5.5, 1.5}, {5.5, 5.5}, {1.5, 5.5}},
               {{2.5, 2.5}, {3.5, 2.5}, {3.5, 3.5}, {2.5, 3.5}}},  // a hole
              1);
  int filled = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) filled += c.At(x, y);
  EXPECT_EQ(filled, 16 - 1);
  EXPECT_EQ(c.At(3, 3), 0);
  EXPECT_EQ(c.At(2, 2), 1);
  c.DrawLine({{-100, 8}, {100, 8}}, 2);  // far outside on both ends
  for (int x = 0; x < 10; ++x) EXPECT_EQ(c.At(x, 8), 2);
}

double RingArea(const TGeoLine& r) {
  double a = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    const auto& p = r[i];
    const auto& q = r[(i + 1) % r.size()];
    a += p.lon * q.lat - q.lon * p.lat;
  }
  return std::fabs(a) / 2;
}

TEST(Antimeridian, RingsAreSplitAndKeepTheirArea) {
  // A square from 170 E to 170 W, as stored: longitudes jump from 180 to -180.
  const TGeoLine square = {{170, 10}, {-170, 10}, {-170, 20}, {170, 20}};
  const auto parts = SplitRingAtAntimeridian(square);
  ASSERT_EQ(parts.size(), 2u);
  double area = 0;
  for (const auto& p : parts) {
    TGeoBox b;
    for (const auto& pt : p) b.Add(pt);
    EXPECT_GE(b.west, -180);
    EXPECT_LE(b.east, 180);
    EXPECT_LE(b.east - b.west, 10 + 1e-9);
    area += RingArea(p);
  }
  EXPECT_NEAR(area, 200, 1e-9);
  // A ring around the south pole is closed along it.
  const TGeoLine polar = {{-180, -70}, {-90, -72}, {0, -70}, {90, -71}, {179.9, -70}};
  const auto closed = SplitRingAtAntimeridian(polar);
  ASSERT_EQ(closed.size(), 1u);
  TGeoBox b;
  for (const auto& pt : closed[0]) b.Add(pt);
  EXPECT_EQ(b.south, -90);
  // Ordinary rings stay as they are; lines break at the jump.
  EXPECT_EQ(SplitRingAtAntimeridian({{1, 1}, {2, 1}, {2, 2}})[0].size(), 3u);
  EXPECT_EQ(SplitLineAtAntimeridian({{178, 0}, {179, 1}, {-179, 1}, {-178, 0}}).size(), 2u);
}

TEST(MapGeometry, CommittedFileHasTheWorldAndTheStates) {
  const TGeoData& g = Geo();
  ASSERT_NE(g.Find("world"), nullptr);
  ASSERT_NE(g.Find("us"), nullptr);
  EXPECT_GE(g.Find("world")->Find("countries")->features.size(), 250u);
  EXPECT_EQ(g.Find("us")->Find("states")->features.size(), 56u);
  EXPECT_GT(g.Find("us")->Find("counties")->features.size(), 3000u);
  // Russia's rings cross the antimeridian in the file; split, none leaves -180..180.
  const TGeoTopology& w = *g.Find("world");
  for (const auto& f : w.Find("countries")->features)
    for (const auto& poly : f.polygons)
      for (const auto& ring : poly)
        for (const auto& part : SplitRingAtAntimeridian(w.Ring(ring)))
          for (const auto& p : part) ASSERT_TRUE(p.lon >= -180 && p.lon <= 180) << f.name;
}

TEST(MapGeometry, DamagedFilesAreRefused) {
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(SourcesDir() + "/map_geometry.bin", bytes));
  EXPECT_THROW(ParseMapGeometry(bytes.substr(0, bytes.size() / 2)), EStatusError);
  EXPECT_THROW(ParseMapGeometry("TMGEO"), EStatusError);
  std::string bad = bytes;
  bad[8] = '\x7F';  // topology count far past what the file holds
  EXPECT_THROW(ParseMapGeometry(bad), EStatusError);
  EXPECT_THROW(ParseMapGeometry(bytes + "x"), EStatusError);
}

class MapPlan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const TGeoObject& c = *Geo().Find("world")->Find("countries");
    std::vector<int64_t> counts(c.features.size(), 0);
    for (size_t i = 0; i < c.features.size(); ++i) {
      if (c.features[i].name == "Germany") counts[i] = 5000;
      if (c.features[i].name == "Luxembourg") counts[i] = 4000;
      if (c.features[i].name == "Japan") counts[i] = 3000;
    }
    plan_ = new TMapPlan(PlanMaps(Geo(), counts));
    grid_ = new TCountryGrid(*Geo().Find("world"));
  }
  static void TearDownTestSuite() {
    delete plan_;
    delete grid_;
  }
  static const TMapDef* Named(const std::string& name) {
    for (const auto& m : plan_->maps)
      if (m.name == name) return &m;
    return nullptr;
  }
  static TMapPlan* plan_;
  static TCountryGrid* grid_;
};
TMapPlan* MapPlan::plan_ = nullptr;
TCountryGrid* MapPlan::grid_ = nullptr;

TEST_F(MapPlan, WorldIs144AndEveryChainEndsThere) {
  ASSERT_EQ(plan_->maps.size(), 144u);
  EXPECT_EQ(plan_->maps[143].name, "World");
  EXPECT_EQ(plan_->maps[143].parent, 0);
  for (const auto& m : plan_->maps) {
    int k = m.nr, steps = 0;
    while (plan_->Map(k)->parent != 0 && steps < 10) k = plan_->Map(k)->parent, ++steps;
    EXPECT_EQ(k, 144) << m.name;
    EXPECT_LE(steps, 3) << m.name;
    EXPECT_LE(m.width, 720);
    EXPECT_LE(m.height, 480);
    // Calibration values are exact 6-byte reals.
    for (const double v : {m.box.west, m.box.east, m.box.south, m.box.north})
      EXPECT_EQ(Real48ToDouble(DoubleToReal48(v)), v) << m.name;
  }
  // Countries with most entries come first, ahead of larger ones.
  EXPECT_EQ(plan_->maps[63].name, "Germany");
  EXPECT_EQ(plan_->maps[64].name, "Luxembourg");
  EXPECT_EQ(Named("Colorado")->parent, Named("Conterminous United States")->nr);
  EXPECT_EQ(Named("Alaska")->parent, Named("North America")->nr);
  EXPECT_EQ(Named("Japan")->parent, Named("Asia")->nr);
  EXPECT_EQ(Named("Germany")->parent, Named("Europe")->nr);
  // Approximate locators are marked on coarse maps only.
  EXPECT_EQ(Named("World")->markerClass, 1);
  EXPECT_EQ(Named("Europe")->markerClass, 1);
  EXPECT_EQ(Named("Rhode Island")->markerClass, 0);
  EXPECT_EQ(Named("Luxembourg")->markerClass, 0);
}

struct TPlace {
  const char* locator;
  const char* state;  // U.S. entries: postal code
  const char* map;
};

TEST_F(MapPlan, EachPointGetsTheMostDetailedMapHoldingIt) {
  const TMapChooser chooser(*plan_, Geo(), *grid_);
  const TPlace places[] = {
      {"DM79LR", "CO", "Colorado"},       // Denver
      {"FN42IL", "MA", "Massachusetts"},  // Boston
      {"BL11BH", "HI", "Hawaii"},         // Honolulu
      {"BL01HX", "HI", "Hawaii"},         // Lihue, Kauai: the state's islands are on its map
      {"FK68VK", "PR", "Puerto Rico"},    // San Juan
      {"EM29QC", "MO", "Missouri"},       // Kansas City, Missouri, across the line from Kansas
      {"JO62QM", "", "Germany"},          // Berlin
      {"JN39BO", "", "Luxembourg"},       // Luxembourg, inside Germany's picture
      {"PM95VQ", "", "Japan"},            // Tokyo
      {"GG66RR", "", nullptr},            // Rio de Janeiro: Brazil's map or South America
      {"HD00AA", "", "World"},            // South Atlantic
  };
  for (const auto& p : places) {
    const TGeoPoint pt = LocatorToCoord(p.locator);
    const int nr = chooser.Choose(pt.longitude, pt.latitude, p.state);
    ASSERT_GT(nr, 0) << p.locator;
    const TMapDef& m = *plan_->Map(nr);
    if (p.map) {
      EXPECT_EQ(m.name, p.map) << p.locator;
    }
    // The point lies on the picture, away from its edge.
    TMapEntry e;
    e.lon1 = m.box.west, e.x1 = 0, e.lon2 = m.box.east, e.x2 = m.width;
    e.lat1 = m.box.north, e.y1 = 0, e.lat2 = m.box.south, e.y2 = m.height;
    const TPixel px = LocateOnMap(e, pt.longitude, pt.latitude);
    EXPECT_GT(px.x, 0);
    EXPECT_LT(px.x, m.width);
    EXPECT_GT(px.y, 0);
    EXPECT_LT(px.y, m.height);
  }
  // The world map holds every point, its edges included.
  EXPECT_EQ(chooser.Choose(0, -89.5, ""), kWorldMapNr);
}

// Places near the 180th meridian (coordinates of the towns, turned into locators here): each gets
// a map whose picture holds it; and so does every locator square of the globe.
TEST_F(MapPlan, EveryLocatorGetsAMapNearTheAntimeridianToo) {
  const TMapChooser chooser(*plan_, Geo(), *grid_);
  struct TTown {
    const char* name;
    double lon, lat;
  };
  const TTown towns[] = {
      {"Nuku'alofa, Tonga", -175.20, -21.14}, {"Neiafu, Vava'u, Tonga", -173.98, -18.65},
      {"Mata-Utu, Wallis", -176.17, -13.28},  {"Suva, Fiji", 178.44, -18.14},
      {"Taveuni, Fiji", -179.97, -16.80},     {"Waitangi, Chatham Islands", -176.56, -43.95},
      {"Anadyr, Chukotka", 177.51, 64.73},    {"Adak, Aleutians", -176.66, 51.88}};
  const auto onPicture = [&](int nr, double lon, double lat) {
    const TMapDef& m = *plan_->Map(nr);
    TMapEntry e;
    e.lon1 = m.box.west, e.x1 = 0, e.lon2 = m.box.east, e.x2 = m.width;
    e.lat1 = m.box.north, e.y1 = 0, e.lat2 = m.box.south, e.y2 = m.height;
    const TPixel px = LocateOnMap(e, lon, lat);
    return px.x >= 0 && px.x <= m.width && px.y >= 0 && px.y <= m.height;
  };
  for (const auto& t : towns) {
    char lonWest[32], lat[32];
    std::snprintf(lonWest, sizeof lonWest, "%.4f", -t.lon);
    std::snprintf(lat, sizeof lat, "%.4f", t.lat);
    const std::string locator = CoordToLocator(lonWest, lat);
    ASSERT_TRUE(IsValidLocator(locator)) << t.name;
    const TGeoPoint p = LocatorToCoord(locator);
    const int nr = chooser.Choose(p.longitude, p.latitude, "");
    EXPECT_GT(nr, 0) << t.name << " " << locator;
    if (nr > 0) {
      EXPECT_TRUE(onPicture(nr, p.longitude, p.latitude)) << t.name;
    }
  }
  int without = 0;
  for (char f1 = 'A'; f1 <= 'R'; ++f1)
    for (char f2 = 'A'; f2 <= 'R'; ++f2)
      for (char d1 = '0'; d1 <= '9'; ++d1)
        for (char d2 = '0'; d2 <= '9'; ++d2) {
          const std::string locator{f1, f2, d1, d2};
          const TGeoPoint p = LocatorToCoord(locator);
          const int nr = chooser.Choose(p.longitude, p.latitude, "");
          if (nr <= 0 || !onPicture(nr, p.longitude, p.latitude)) ++without;
        }
  EXPECT_EQ(without, 0);
}

TEST_F(MapPlan, PicturesShowLandWaterAndTheOwnRegionWhereTheyAre) {
  const auto pixelOf = [](const TMapDef& m, const TDecoded& d, const char* locator) {
    const TGeoPoint pt = LocatorToCoord(locator);
    TMapEntry e;
    e.lon1 = m.box.west, e.x1 = 0, e.lon2 = m.box.east, e.x2 = m.width;
    e.lat1 = m.box.north, e.y1 = 0, e.lat2 = m.box.south, e.y2 = m.height;
    const TPixel px = LocateOnMap(e, pt.longitude, pt.latitude);
    return d.At(px.x, px.y);
  };
  enum { water = 0, land = 1, own = 2 };
  const TMapDef& co = *Named("Colorado");
  const std::string bmp = RenderMap(co, Geo());
  EXPECT_EQ(bmp, RenderMap(co, Geo()));  // same picture every time
  const TDecoded c = DecodeBmp(bmp);
  EXPECT_EQ(c.width, co.width);
  EXPECT_EQ(pixelOf(co, c, "DM79LR"), own);   // Denver
  EXPECT_EQ(pixelOf(co, c, "DN71OD"), land);  // Cheyenne, Wyoming
  const TMapDef& world = *Named("World");
  const TDecoded w = DecodeBmp(RenderMap(world, Geo()));
  EXPECT_EQ(pixelOf(world, w, "HD00AA"), water);  // South Atlantic
  EXPECT_EQ(pixelOf(world, w, "JK95MA"), land);   // Chad
  EXPECT_EQ(pixelOf(world, w, "JN58TD"), land);   // Munich
  const TMapDef& ma = *Named("Massachusetts");
  const TDecoded m = DecodeBmp(RenderMap(ma, Geo()));
  EXPECT_EQ(pixelOf(ma, m, "FN42QH"), water);  // Massachusetts Bay
  EXPECT_EQ(pixelOf(ma, m, "FN42CG"), own);    // Worcester
  std::map<uint8_t, int> used;
  for (const uint8_t v : m.px) ++used[v];
  EXPECT_GT(used[3], 100) << "coast";
  EXPECT_GT(used[5], 100) << "state lines";
  EXPECT_GT(used[6], 100) << "county lines";
}

// The large lakes are water on every map that shows them, the whole lake and not only the U.S.
// half; an island in a lake stays land.
TEST_F(MapPlan, LakesAreWaterAndTheirIslandsLand) {
  struct TSpot {
    const char* name;
    double lon, lat;
    int colour;   // 0 water, 1 land
    bool narrow;  // a pixel or two wide on the world map: looked at on larger scales only
  };
  const TSpot spots[] = {
      {"Lake Superior, west", -91.0, 47.2, 0, true},
      {"Lake Superior, middle", -87.5, 47.6, 0, false},
      {"Lake Superior, north", -86.5, 48.2, 0, false},
      {"Lake Michigan", -87.0, 43.8, 0, false},
      {"Lake Huron", -82.0, 44.6, 0, false},
      {"Georgian Bay", -80.9, 45.3, 0, true},
      {"Lake Erie", -81.2, 42.2, 0, true},
      {"Lake Ontario, north", -78.5, 43.8, 0, true},
      {"Lake Ontario, south", -78.5, 43.45, 0, true},
      {"Manitoulin Island", -82.2, 45.8, 1, true},
      {"Lake Victoria", 33.0, -1.6, 0, false},
      {"Lake Tanganyika", 29.8, -6.5, 0, true},
      {"Lake Malawi", 34.4, -11.0, 0, true},
      {"Kansas", -98.0, 38.5, 1, false},
      {"Ontario, inland", -84.0, 49.0, 1, false},
  };
  for (const char* name : {"World", "North America", "Africa", "Conterminous United States",
                           "Canada", "Michigan", "Tanzania"}) {
    const TMapDef* m = Named(name);
    ASSERT_TRUE(m) << name;
    const TDecoded d = DecodeBmp(RenderMap(*m, Geo()));
    int seen = 0;
    for (const auto& s : spots) {
      if (!m->box.Contains(s.lon, s.lat) || (s.narrow && m->nr == kWorldMapNr)) continue;
      TMapEntry e;
      e.lon1 = m->box.west, e.x1 = 0, e.lon2 = m->box.east, e.x2 = m->width;
      e.lat1 = m->box.north, e.y1 = 0, e.lat2 = m->box.south, e.y2 = m->height;
      const TPixel px = LocateOnMap(e, s.lon, s.lat);
      if (px.x < 0 || px.y < 0 || px.x >= d.width || px.y >= d.height) continue;
      // Land is the land colour or the map's own region. Small pictures have borders and shores
      // a pixel away: the spot is not of the other kind, and its kind is in the 3 x 3 around it.
      const auto kind = [](int c) { return c == 0 ? 0 : c == 1 || c == 2 ? 1 : -1; };
      EXPECT_NE(kind(d.At(px.x, px.y)), 1 - s.colour) << name << ": " << s.name;
      bool found = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int u = std::clamp(px.x + dx, 0, d.width - 1);
          const int v = std::clamp(px.y + dy, 0, d.height - 1);
          found |= kind(d.At(u, v)) == s.colour;
        }
      EXPECT_TRUE(found) << name << ": " << s.name;
      ++seen;
    }
    EXPECT_GT(seen, 0) << name;
  }
}

// One coast per shore: on the territory maps every coast pixel lies between land and water; a
// second, coarser outline beside the first would put coast pixels in open water or inland.
TEST_F(MapPlan, TerritoryMapsDrawEachCoastOnce) {
  for (const char* name : {"American Samoa", "Guam", "Commonwealth of the Northern Mariana Islands",
                           "Puerto Rico", "United States Virgin Islands", "Hawaii"}) {
    const TMapDef* m = Named(name);
    ASSERT_TRUE(m) << name;
    const TDecoded d = DecodeBmp(RenderMap(*m, Geo()));
    int coast = 0, between = 0;
    for (int y = 1; y + 1 < d.height; ++y)
      for (int x = 1; x + 1 < d.width; ++x) {
        if (d.At(x, y) != 3) continue;
        bool water = false, land = false;
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx) {
            const int u = std::clamp(x + dx, 0, d.width - 1),
                      v = std::clamp(y + dy, 0, d.height - 1);
            water |= d.At(u, v) == 0;
            land |= d.At(u, v) == 1 || d.At(u, v) == 2;
          }
        ++coast;
        between += water && land;
      }
    ASSERT_GT(coast, 50) << name;
    EXPECT_GE(between, coast * 98 / 100) << name << ": " << coast - between << " of " << coast;
  }
}

TEST(MapBlock, EditionCarriesTheDirectoryAndEveryEntryItsMap) {
  TBuildInput input;
  const auto us = [&](const char* call, const char* state, const char* lonWest, const char* lat) {
    TBuildEntry e;
    e.db = TDatabase::US;
    e.fields = {{utCall, call}, {utState, state}, {utLongitude, lonWest}, {utLatitude, lat}};
    e.surname = "X";
    input.us.push_back(e);
  };
  us("w1aw", "CT", "72.7273", "41.7145");
  us("k<abc", "CO", "104.9903", "39.7392");
  us("n<xyz", "TX", "", "");  // no coordinates: no map
  TBuildEntry dl;
  dl.fields = {{itCall, "dl1abc"}, {itLocator, "JO62QM"}};
  input.intl.push_back(dl);
  TBuildEntry vk;
  vk.fields = {{itCall, "vk2xyz"}, {itLocator, "qf56"}};  // approximate
  input.intl.push_back(vk);
  TEditionOptions options;
  EXPECT_EQ(PrepareMaps(SourcesDir() + "/map_geometry.bin", input, options), 144);
  EXPECT_GT(input.us[0].mapNr, 0);
  EXPECT_GT(input.us[1].mapNr, 0);
  EXPECT_EQ(input.us[2].mapNr, 0);
  EXPECT_GT(input.intl[1].mapNr, 0);
  TestDir d;
  const TEditionSummary s = WriteEdition(input, d.path(), options);
  ASSERT_GT(s.edition.mapDirOffset, 0);
  TMapStream stream(d.path() + "/data/thedata.dat", s.edition.mapDirOffset);
  ASSERT_EQ(stream.MapCount(), 144);
  for (int n = 1; n <= 144; ++n) {
    stream.SelectMap(n);
    const TDecoded pic = DecodeBmp(stream.ReadImage());
    const TMapEntry& e = stream.Entry(n);
    EXPECT_EQ(e.x2, pic.width);
    EXPECT_EQ(e.y2, pic.height);
    EXPECT_LE(stream.ZoomChain(n).size(), 4u);
    if (::testing::Test::HasFailure()) {
      break;
    }
  }
  // Points placed with the calibration the data file holds fall where its pictures show them:
  // land on land, water on water (a mirrored or shifted calibration puts some on the other).
  struct TFileSpot {
    int nr;
    double lon, lat;
    int kind;  // 0 water, 1 land
    const char* name;
  };
  const TFileSpot spots[] = {
      {kWorldMapNr, 10, 25, 1, "Sahara"},
      {kWorldMapNr, 134, -25, 1, "Australia"},
      {kWorldMapNr, -40, 72, 1, "Greenland"},
      {kWorldMapNr, -20, -30, 0, "South Atlantic"},
      {kWorldMapNr, -85, 59, 0, "Hudson Bay"},
      {kWorldMapNr, -87.5, 47.6, 0, "Lake Superior"},
      {57, -98, 38.5, 1, "Kansas"},
      {57, -90, 26, 0, "Gulf of Mexico"},
      {57, -87.5, 47.6, 0, "Lake Superior"},
      {57, -120, 33, 0, "Pacific off California"},
  };
  for (const auto& spot : spots) {
    stream.SelectMap(spot.nr);
    const TDecoded pic = DecodeBmp(stream.ReadImage());
    const TPixel px = stream.LocatePoint(spot.nr, spot.lon, spot.lat);
    ASSERT_TRUE(px.x >= 0 && px.y >= 0 && px.x < pic.width && px.y < pic.height) << spot.name;
    const auto kind = [](int c) { return c == 0 ? 0 : c == 1 || c == 2 ? 1 : -1; };
    EXPECT_NE(kind(pic.At(px.x, px.y)), 1 - spot.kind) << spot.name;
    bool found = false;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        found |= kind(pic.At(std::clamp(px.x + dx, 0, pic.width - 1),
                             std::clamp(px.y + dy, 0, pic.height - 1))) == spot.kind;
    EXPECT_TRUE(found) << spot.name;
  }
  // Each entry's map holds its point.
  for (const auto& e : input.us) {
    if (!e.mapNr) continue;
    const TGeoPoint p =
        LocatorToCoord(CoordToLocator(e.FieldOr(utLongitude), e.FieldOr(utLatitude)));
    const TPixel px = stream.LocatePoint(e.mapNr, p.longitude, p.latitude);
    const TMapEntry& m = stream.Entry(e.mapNr);
    EXPECT_TRUE(px.x > 0 && px.x < m.x2 && px.y > 0 && px.y < m.y2) << e.FieldOr(utCall);
  }
  // Without maps the offset is 0.
  TestDir d2;
  EXPECT_EQ(WriteEdition(input, d2.path()).edition.mapDirOffset, 0);
}

}  // namespace

// The sample edition as the build writes it (60,000 U.S. and 40,000 International entries, seed
// 1999): every entry with a valid locator has a map, and the map holds its point.
TEST(MapPoints, EveryEntryOfTheSampleWithALocatorHasAMap) {
  const TSourceTables tables = LoadSourceTables(SourcesDir());
  TBuildInput input = GenerateSample(tables, 60000, 40000, 1999);
  const TMapPoints points = EntryPoints(input.intl, input.us, input.us.size(), nullptr);
  TEditionOptions options;
  PrepareMaps(SourcesDir() + "/map_geometry.bin", input, options, &points);
  const TMapPlan plan = [&] {
    const TGeoData& geo = Geo();
    const TCountryGrid grid(*geo.Find("world"));
    std::vector<int64_t> counts(geo.Find("world")->Find("countries")->features.size(), 0);
    for (const auto& p : points.intl)
      if (p.valid && grid.At(p.lon, p.lat) >= 0)
        ++counts[static_cast<size_t>(grid.At(p.lon, p.lat))];
    return PlanMaps(geo, counts);
  }();
  int64_t located = 0, without = 0, off = 0;
  const auto check = [&](const std::vector<TBuildEntry>& entries,
                         const std::vector<TMapPoint>& pts) {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!pts[i].valid) continue;
      ++located;
      const int nr = entries[i].mapNr;
      if (nr == 0) {
        ++without;
        continue;
      }
      const TMapDef& m = *plan.Map(nr);
      off += !m.box.Contains(pts[i].lon, pts[i].lat);
    }
  };
  check(input.intl, points.intl);
  check(input.us, points.us);
  std::printf("sample: %lld entries with a valid locator, %lld of them without a map\n",
              static_cast<long long>(located), static_cast<long long>(without));
  EXPECT_GT(located, 90000);
  EXPECT_EQ(without, 0);
  EXPECT_EQ(off, 0);
}

// The builder finds the sample's map points on the International thread while the U.S. entries
// are still being made: the same points as found afterwards, the same entries as without, and the
// same map numbers.
TEST(MapPoints, FoundWhileTheUSEntriesAreMadeAsAfterwards) {
  const TSourceTables tables = LoadSourceTables(SourcesDir());
  TMapPoints during;
  TBuildInput followed = GenerateSample(
      tables, 20000, 300, 11,
      [&](const std::vector<TBuildEntry>& intl, const std::vector<TBuildEntry>& us, size_t n,
          const TProgressFeed& made) { during = EntryPoints(intl, us, n, &made); });
  TBuildInput plain = GenerateSample(tables, 20000, 300, 11);
  const TMapPoints after = EntryPoints(plain.intl, plain.us, plain.us.size(), nullptr);
  ASSERT_EQ(during.us.size(), 20000u);
  ASSERT_EQ(during.intl.size(), 300u);
  for (size_t i = 0; i < after.us.size(); ++i) {
    ASSERT_EQ(during.us[i].valid, after.us[i].valid) << i;
    ASSERT_EQ(during.us[i].lon, after.us[i].lon) << i;
    ASSERT_EQ(during.us[i].lat, after.us[i].lat) << i;
    ASSERT_TRUE(followed.us[i].fields == plain.us[i].fields) << i;
  }
  TEditionOptions a, b;
  PrepareMaps(SourcesDir() + "/map_geometry.bin", followed, a, &during);
  PrepareMaps(SourcesDir() + "/map_geometry.bin", plain, b);
  for (size_t i = 0; i < plain.us.size(); ++i) ASSERT_EQ(followed.us[i].mapNr, plain.us[i].mapNr);
  for (size_t i = 0; i < plain.intl.size(); ++i)
    ASSERT_EQ(followed.intl[i].mapNr, plain.intl[i].mapNr);
  // Points that do not belong to the input are refused.
  during.us.pop_back();
  EXPECT_THROW(PrepareMaps(SourcesDir() + "/map_geometry.bin", followed, a, &during), EStatusError);
  // A producer that gave up ends the following early.
  TProgressFeed stopped;
  stopped.Publish(5);
  stopped.Stop();
  EXPECT_TRUE(EntryPoints({}, plain.us, plain.us.size(), &stopped).us.empty());
}
