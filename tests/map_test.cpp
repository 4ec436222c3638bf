// Map core: the 6-byte real, map entries, locating a point, the map stream's directory and zoom
// chain, and distance and heading between locators (against GeographicLib's GeodSolve).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "TestDir.h"
#include "map/UBeacons.h"
#include "map/UMapGeo.h"
#include "map/UMapStream.h"

namespace {

// Field letters A-R, digits, subsquare letters A-X.
bool IsLocatorShape(const std::string& l) {
  return l.size() == 6 && l[0] >= 'A' && l[0] <= 'R' && l[1] >= 'A' && l[1] <= 'R' && l[2] >= '0' &&
         l[2] <= '9' && l[3] >= '0' && l[3] <= '9' && l[4] >= 'A' && l[4] <= 'X' && l[5] >= 'A' &&
         l[5] <= 'X';
}

std::string Hex(const TReal48& r) {
  std::string s;
  char b[4];
  for (const uint8_t x : r) {
    std::snprintf(b, sizeof b, "%02X ", x);
    s += b;
  }
  s.pop_back();
  return s;
}

struct TRealCase {
  double value;
  const char* bytes;
};

class Real48Bytes : public ::testing::TestWithParam<TRealCase> {};

TEST_P(Real48Bytes, EncodesAndDecodesExactly) {
  const auto& c = GetParam();
  const TReal48 r = DoubleToReal48(c.value);
  EXPECT_EQ(Hex(r), c.bytes);
  EXPECT_EQ(Real48ToDouble(r), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Real48Bytes,
    ::testing::Values(TRealCase{1.0, "81 00 00 00 00 00"}, TRealCase{-1.0, "81 00 00 00 00 80"},
                      TRealCase{0.0, "00 00 00 00 00 00"}, TRealCase{0.5, "80 00 00 00 00 00"},
                      TRealCase{10.0, "84 00 00 00 00 20"}, TRealCase{-10.0, "84 00 00 00 00 A0"},
                      TRealCase{-180.0, "88 00 00 00 00 B4"}, TRealCase{3.0, "82 00 00 00 00 40"},
                      TRealCase{-77.015625, "87 00 00 00 08 9A"}));

TEST(Real48, RoundTripsCalibrationValuesAndRoundsOthers) {
  for (double v = -180; v <= 180; v += 0.015625 * 37)
    EXPECT_EQ(Real48ToDouble(DoubleToReal48(v)), v);
  for (const double v : {123.456, -0.1, 1.0 / 3, 6.02e23, -1e-30}) {
    const double back = Real48ToDouble(DoubleToReal48(v));
    EXPECT_NEAR(back, v, std::fabs(v) * 0x1.0p-39) << v;
    EXPECT_EQ(std::signbit(back), std::signbit(v));
  }
  // A fraction that rounds up to the next power of two carries into the exponent.
  EXPECT_EQ(Hex(DoubleToReal48(std::nextafter(2.0, 0.0))), "82 00 00 00 00 00");
  EXPECT_EQ(Real48ToDouble(DoubleToReal48(1e-45)), 0.0);  // below the smallest exponent
  EXPECT_THROW(DoubleToReal48(1e39), EMapError);
  EXPECT_THROW(DoubleToReal48(NAN), EMapError);
}

TEST(MapEntry, FiftyThreeBytesRoundTrip) {
  TMapEntry e;
  e.imageOffset = 257314152 + 13516;
  e.imageSize = 40123;
  e.parent = 144;
  e.markerClass = 1;
  e.lon1 = -125.015625;
  e.x1 = 0;
  e.lon2 = -66.5;
  e.x2 = 640;
  e.lat1 = 49.5;
  e.y1 = 0;
  e.lat2 = 24.25;
  e.y2 = 371;
  const std::string bytes = EncodeMapEntry(e);
  ASSERT_EQ(bytes.size(), 53u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[8]), 144);
  EXPECT_EQ(static_cast<uint8_t>(bytes[13]), 0x87);  // Lon1's exponent at offset 13
  const TMapEntry d = DecodeMapEntry(reinterpret_cast<const uint8_t*>(bytes.data()));
  EXPECT_EQ(d.imageOffset, e.imageOffset);
  EXPECT_EQ(d.imageSize, e.imageSize);
  EXPECT_EQ(d.parent, e.parent);
  EXPECT_EQ(d.markerClass, 1);
  EXPECT_EQ(d.lon1, e.lon1);
  EXPECT_EQ(d.lon2, e.lon2);
  EXPECT_EQ(d.lat1, e.lat1);
  EXPECT_EQ(d.lat2, e.lat2);
  EXPECT_EQ(d.x2, 640);
  EXPECT_EQ(d.y2, 371);
}

struct TLocateCase {
  double lon, lat;
  int x, y;
};
class LocatePoint : public ::testing::TestWithParam<TLocateCase> {};

TEST_P(LocatePoint, NearestPixelHalvesToEven) {
  TMapEntry e;  // 10 pixels per degree; y grows southward from 50 N
  e.lon1 = 0, e.x1 = 0, e.lon2 = 10, e.x2 = 100;
  e.lat1 = 50, e.y1 = 0, e.lat2 = 40, e.y2 = 100;
  const auto& c = GetParam();
  const TPixel p = LocateOnMap(e, c.lon, c.lat);
  EXPECT_EQ(p.x, c.x);
  EXPECT_EQ(p.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Halves, LocatePoint,
    ::testing::Values(TLocateCase{0.25, 49.75, 2, 2}, TLocateCase{0.35, 49.65, 4, 4},
                      TLocateCase{-0.25, 50.25, -2, -2}, TLocateCase{0.26, 49.74, 3, 3},
                      TLocateCase{5.0, 45.0, 50, 50}, TLocateCase{10.05, 39.95, 100, 100}));

TEST(LocatePointErrors, UncalibratedAndDegenerateMapsAreNotLocatable) {
  TMapEntry e;
  e.x1 = -1;
  try {
    LocateOnMap(e, 1, 1);
    FAIL();
  } catch (const EMapError& x) {
    EXPECT_STREQ(x.what(), "Map is not locatable");
  }
  e.x1 = 0, e.x2 = 10, e.lon1 = e.lon2 = 5, e.lat1 = 1, e.lat2 = 0, e.y2 = 10;
  EXPECT_THROW(LocateOnMap(e, 6, 0.5), EMapError);  // equal calibration longitudes
  // Calibration columns at the ends of the 32-bit range: the scale is computed, not
  // overflowed, and the pixel beyond the range is refused.
  e.x1 = INT32_MIN, e.x2 = INT32_MAX, e.lon1 = 0, e.lon2 = 1;
  EXPECT_EQ(LocateOnMap(e, 0.5, 0.5).x, 0);
  EXPECT_THROW(LocateOnMap(e, 1.5, 0.5), EMapError);
}

// A data file with a directory of `count` maps at `dirOffset`; parents given.
std::string WriteMapFile(const TestDir& d, int count, const std::vector<int>& parents,
                         int64_t dirOffset, const std::string& image = "BMxxxxxxxx") {
  std::string file(static_cast<size_t>(dirOffset), 'z');
  std::string dir(kMapDirectorySize, '\0');
  dir[0] = static_cast<char>(count);
  const int64_t imageAt = dirOffset + kMapDirectorySize;
  for (int k = 1; k <= count; ++k) {
    TMapEntry e;
    e.imageOffset = static_cast<int32_t>(imageAt);
    e.imageSize = static_cast<int32_t>(image.size());
    e.parent = static_cast<uint8_t>(parents[static_cast<size_t>(k - 1)]);
    e.markerClass = k % 2;
    e.x1 = 0, e.lon1 = 0, e.lon2 = 1, e.x2 = k;
    e.lat1 = 1, e.lat2 = 0, e.y2 = k;
    dir.replace(1 + (k - 1) * kMapEntrySize, kMapEntrySize, EncodeMapEntry(e));
  }
  file += dir + image;
  const std::string path = d.file("thedata.dat");
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  return path;
}

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EMapError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(MapStream, DirectoryNumbersAndZoomChainCutAtTen) {
  TestDir d;
  // 12 maps, each the child of the next: 1 -> 2 -> ... -> 12.
  std::vector<int> parents;
  for (int k = 1; k <= 12; ++k) parents.push_back(k < 12 ? k + 1 : 0);
  TMapStream s(WriteMapFile(d, 12, parents, 1000), 1000);
  EXPECT_EQ(s.MapCount(), 12);
  const std::vector<int> chain = s.ZoomChain(1);
  EXPECT_EQ(chain, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(s.ZoomChain(10), (std::vector<int>{10, 11, 12}));
  EXPECT_EQ(MessageOf([&] { s.ZoomChain(13); }), "Illegal MapNr: 13");
  EXPECT_EQ(MessageOf([&] { s.SelectMap(0); }), "Illegal MapNr: 0");
  EXPECT_EQ(MessageOf([&] { s.LocatePoint(13, 0, 0); }), "Illegal MapNr");
  EXPECT_EQ(MessageOf([&] { s.MarkerClass(-1); }), "Illegal MapNr");
  EXPECT_EQ(s.MarkerClass(3), 1);
  EXPECT_EQ(s.LocatePoint(4, 0.5, 0.5).x, 2);
}

TEST(MapStream, ParentCycleStopsAtTenMaps) {
  TestDir d;
  TMapStream s(WriteMapFile(d, 2, {2, 1}, 0), 0);
  EXPECT_EQ(s.ZoomChain(1).size(), 10u);
  // A parent beyond the maps ends the chain: zooming out to it would fail.
  TestDir d2;
  TMapStream s2(WriteMapFile(d2, 3, {2, 200, 0}, 0), 0);
  EXPECT_EQ(s2.ZoomChain(1), (std::vector<int>{1, 2}));
}

TEST(MapStream, ReadsAndSeeksWithinTheSelectedImage) {
  TestDir d;
  TMapStream s(WriteMapFile(d, 1, {0}, 64, "BM0123456789"), 64);
  s.SelectMap(1);
  EXPECT_EQ(s.Size(), 12);
  char buf[32] = {};
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "BM01");
  EXPECT_EQ(s.Seek(-2, 2), 10);
  EXPECT_EQ(s.Read(buf, 32), 2);  // not past the image
  EXPECT_EQ(std::string(buf, 2), "89");
  EXPECT_EQ(s.Seek(3, 0), 3);
  EXPECT_EQ(s.Seek(2, 1), 5);
  EXPECT_EQ(s.ReadImage(), "BM0123456789");
  EXPECT_EQ(s.Position(), 12);
  // The position stays within the image, however far a seek goes.
  EXPECT_EQ(s.Seek(-20, 1), 0);
  EXPECT_EQ(s.Seek(INT64_MAX, 1), 12);
  EXPECT_EQ(s.Seek(INT64_MIN, 2), 0);
  EXPECT_EQ(s.Seek(13, 0), 12);
}

// A bitmap header: "BM", file header, then the info header's size and the width and height
// (32-bit for the sizes 40, 64, 108 and 124, else 16-bit).
std::string BitmapHeader(int32_t headerSize, int32_t w, int32_t h) {
  std::string b = "BM" + std::string(24, '\0');
  const auto put = [&b](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  put(14, static_cast<uint32_t>(headerSize), 4);
  const bool wide = headerSize == 40 || headerSize == 64 || headerSize == 108 || headerSize == 124;
  put(18, static_cast<uint32_t>(w), wide ? 4 : 2);
  put(wide ? 22 : 20, static_cast<uint32_t>(h), wide ? 4 : 2);
  return b;
}

struct TBitmapCase {
  int32_t headerSize, width, height;
  bool accepted;
};

class MapImageSize : public ::testing::TestWithParam<TBitmapCase> {};

TEST_P(MapImageSize, HugePicturesAreRefusedBeforeDecoding) {
  const TBitmapCase& c = GetParam();
  TestDir d;
  const std::string image = BitmapHeader(c.headerSize, c.width, c.height) + "pixels";
  TMapStream s(WriteMapFile(d, 1, {0}, 0, image), 0);
  s.SelectMap(1);
  if (c.accepted) {
    EXPECT_EQ(s.ReadImage(), image);
  } else {
    EXPECT_EQ(MessageOf([&] { s.ReadImage(); }), "Map image has too many pixels");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, MapImageSize,
    ::testing::Values(TBitmapCase{40, 720, 360, true}, TBitmapCase{40, 4096, -4096, true},
                      TBitmapCase{40, 4097, 4096, false}, TBitmapCase{124, 1, 20000000, false},
                      TBitmapCase{40, -30000, 30000, false}, TBitmapCase{40, 70000, 1, true},
                      TBitmapCase{12, 32767, 1000, false}, TBitmapCase{12, 640, -480, true},
                      // Unknown info header sizes are read with 16-bit sizes.
                      TBitmapCase{52, 8000, 8000, false}, TBitmapCase{99, 1000, 1000, true}));

TEST(MapStream, MissingFileShortDirectoryAndImagePastTheEndFailCleanly) {
  TestDir d;
  EXPECT_EQ(MessageOf([&] { TMapStream(d.file("none.dat"), 0); }), "Can not open MapDataFile2");
  const std::string path = WriteMapFile(d, 1, {0}, 0);
  EXPECT_EQ(MessageOf([&] { TMapStream(path, 100); }), "Can not open MapDataFile100");
  // An image that claims more bytes than the file has.
  TestDir d2;
  std::string p2 = WriteMapFile(d2, 1, {0}, 0);
  {
    std::string bytes;
    FILE* f = std::fopen(p2.c_str(), "r+b");
    TMapEntry e;
    e.imageOffset = kMapDirectorySize;
    e.imageSize = 1 << 20;
    const std::string enc = EncodeMapEntry(e);
    std::fseek(f, 1, SEEK_SET);
    std::fwrite(enc.data(), 1, enc.size(), f);
    std::fclose(f);
  }
  TMapStream s(p2, 0);
  s.SelectMap(1);
  EXPECT_THROW(s.ReadImage(), EMapError);
}

// ---- Distance and heading

TEST(ArcCos, EdgesAndKnownValues) {
  EXPECT_EQ(ArcCos(1.0), 0.0);
  EXPECT_DOUBLE_EQ(ArcCos(-1.0), std::numbers::pi);
  EXPECT_DOUBLE_EQ(ArcCos(0.0), std::numbers::pi / 2);
  EXPECT_NEAR(ArcCos(0.5), std::numbers::pi / 3, 1e-15);
  EXPECT_NEAR(ArcCos(-0.5), 2 * std::numbers::pi / 3, 1e-15);
}

TEST(LocatorToDegrees, CentreOfSubsquareAndPadding) {
  double lon, lat;
  ASSERT_TRUE(LocatorToDegrees("JN48QR", lon, lat));
  // 8 + (5*16+2)/60 + 30/3600 east; 48 + 43.75 min -> 43 min 45 s.
  EXPECT_NEAR(lon, 8 + 82.0 / 60 + 30.0 / 3600, 1e-12);
  EXPECT_NEAR(lat, 48 + 43.0 / 60 + 45.0 / 3600, 1e-12);
  ASSERT_TRUE(LocatorToDegrees("fn31pr", lon, lat));
  // F: 280 + 6 degrees; P: 77 minutes carry 1 degree: 287.29..., west of 180.
  EXPECT_NEAR(lon, 287 + 17.0 / 60 + 30.0 / 3600, 1e-9);
  double lon2, lat2;
  ASSERT_TRUE(LocatorToDegrees("JN", lon, lat));
  ASSERT_TRUE(LocatorToDegrees("JN44XX", lon2, lat2));
  EXPECT_EQ(lon, lon2);
  EXPECT_EQ(lat, lat2);
  EXPECT_FALSE(LocatorToDegrees("J", lon, lat));
  EXPECT_FALSE(LocatorToDegrees("JN48QRA", lon, lat));
}

TEST(GetEntf, EqualLocatorsGiveZeroAndTwoLettersAreJN44XX) {
  for (const char* loc : {"JN48QR", "FN31PR", "JO62", "RE78TW", "AA00AA", "KP20JE", "jn"}) {
    TEntf r{1, 1};
    ASSERT_TRUE(GetEntf(loc, loc, r)) << loc;
    EXPECT_EQ(r.distanceKm, 0.0) << loc;
    EXPECT_EQ(r.heading, 0.0) << loc;
  }
  TEntf a, b;
  ASSERT_TRUE(GetEntf("FN31PR", "JN", a));
  ASSERT_TRUE(GetEntf("FN31PR", "JN44XX", b));
  EXPECT_EQ(a.distanceKm, b.distanceKm);
  EXPECT_EQ(a.heading, b.heading);
  EXPECT_FALSE(GetEntf("F", "JN44XX", a));
  EXPECT_FALSE(GetEntf("FN31PR", "", a));
}

TEST(GetEntf, TextsInKmAndMiles) {
  EXPECT_EQ(DistanceText(1609, false), "Distance 1000 miles");
  EXPECT_EQ(DistanceText(1609, true), "Distance 1609 km");
  EXPECT_EQ(DistanceText(2.5, true), "Distance 2 km");  // halves to even
  EXPECT_EQ(DistanceText(3.5, true), "Distance 4 km");
  EXPECT_EQ(HeadingText(44.5), "Heading 44\xC2\xB0");
  EXPECT_EQ(HeadingText(359.7), "Heading 360\xC2\xB0");
}

// Geodesic distance and azimuth from GeographicLib's GeodSolve (WGS84) for the same points.
bool GeodSolve(double lat1, double lon1, double lat2, double lon2, double& s12, double& azi1) {
  char cmd[256];
  std::snprintf(cmd, sizeof cmd, "echo '%.10f %.10f %.10f %.10f' | GeodSolve -i 2>/dev/null", lat1,
                lon1, lat2, lon2);
  FILE* p = ::popen(cmd, "r");
  if (!p) return false;
  double azi2 = 0;
  const int n = std::fscanf(p, "%lf %lf %lf", &azi1, &azi2, &s12);
  ::pclose(p);
  return n == 3;
}

TEST(GetEntf, DistancesWithinOnePercentOfGeographicLib) {
  const char* pairs[][2] = {
      {"JN48QR", "FN31PR"}, {"FN20XR", "CM97BD"}, {"IO91WM", "PM95VQ"}, {"KP20JE", "RE78TW"},
      {"FN30AS", "FR82UM"}, {"BL11AP", "CM97BD"}, {"OF87AV", "PM84JK"}, {"NO14KX", "OL72CG"},
      {"MJ96WV", "KG44DC"}, {"KI96VJ", "KM72JC"}, {"IM12OR", "GF05TJ"}, {"FH17MW", "FK60NJ"},
      {"JO62QM", "KO85TS"}, {"EM12KX", "DM04MC"}, {"QF56NE", "RF80LQ"}, {"GG66RR", "FN42IL"},
      {"JJ00AA", "JJ10AA"}, {"EN52WA", "EN61FX"}, {"KN34FE", "LL55AA"}, {"IO83QK", "JN18EU"}};
  for (const auto& pr : pairs) {
    TEntf r;
    ASSERT_TRUE(GetEntf(pr[0], pr[1], r)) << pr[0] << " " << pr[1];
    double lon1, lat1, lon2, lat2;
    ASSERT_TRUE(LocatorToDegrees(pr[0], lon1, lat1));
    ASSERT_TRUE(LocatorToDegrees(pr[1], lon2, lat2));
    double s12 = 0, azi1 = 0;
    ASSERT_TRUE(GeodSolve(lat1, lon1 > 180 ? lon1 - 360 : lon1, lat2,
                          lon2 > 180 ? lon2 - 360 : lon2, s12, azi1))
        << "GeodSolve (apt geographiclib-tools) is needed";
    EXPECT_NEAR(r.distanceKm, s12 / 1000, s12 / 1000 * 0.01) << pr[0] << " " << pr[1];
    const double diff = std::fabs(std::remainder(r.heading - (azi1 < 0 ? azi1 + 360 : azi1), 360));
    EXPECT_LT(diff, 1.0) << pr[0] << " " << pr[1] << " heading " << r.heading << " vs " << azi1;
  }
}

// ---- On the sphere of the distances: 111.12 km per degree of arc

constexpr double kKmPerDegree = 111.12;
constexpr double kDeg = std::numbers::pi / 180;

struct TCentre {
  double lon = 0, lat = 0;  // degrees, east and north positive
};
// Centre of a 6-character locator's subsquare, from its letters: fields of 20 x 10 degrees from
// 180 W and 90 S, squares of 2 x 1 degrees, subsquares of 5 x 2.5 minutes.
TCentre Centre(const std::string& l) {
  const auto up = [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  TCentre c;
  c.lon = -180 + 20.0 * (up(l[0]) - 'A') + 2.0 * (l[2] - '0') + (up(l[4]) - 'A' + 0.5) * 5 / 60;
  c.lat = -90 + 10.0 * (up(l[1]) - 'A') + (l[3] - '0') + (up(l[5]) - 'A' + 0.5) * 2.5 / 60;
  return c;
}
double SphereKm(TCentre a, TCentre b) {
  const double dlat = (b.lat - a.lat) * kDeg, dlon = (b.lon - a.lon) * kDeg;
  const double h = std::pow(std::sin(dlat / 2), 2) + std::cos(a.lat * kDeg) *
                                                         std::cos(b.lat * kDeg) *
                                                         std::pow(std::sin(dlon / 2), 2);
  return 2 * std::asin(std::sqrt(h)) / kDeg * kKmPerDegree;
}
double SphereHeading(TCentre a, TCentre b) {
  const double p1 = a.lat * kDeg, p2 = b.lat * kDeg, dl = (b.lon - a.lon) * kDeg;
  const double h =
      std::atan2(std::sin(dl) * std::cos(p2),
                 std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl));
  return std::fmod(h / kDeg + 360, 360);
}

struct TSphereCase {
  const char* home;     // as given, 2..6 characters
  const char* homeSix;  // the subsquare a shorter home locator stands for
  const char* target;
};
class OnTheSphere : public ::testing::TestWithParam<TSphereCase> {};

// Within 50 m and 0.01 degree of the great circle on the sphere: a wrong km-per-degree (111.2)
// moves a 6,000 km distance by 4 km, a different padding of a short locator by kilometres.
TEST_P(OnTheSphere, DistanceAndHeadingOfTheGreatCircle) {
  const auto& c = GetParam();
  TEntf r;
  ASSERT_TRUE(GetEntf(c.home, c.target, r));
  const TCentre a = Centre(c.homeSix), b = Centre(c.target);
  EXPECT_NEAR(r.distanceKm, SphereKm(a, b), 0.05);
  EXPECT_LT(std::fabs(std::remainder(r.heading - SphereHeading(a, b), 360)), 0.01) << r.heading;
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, OnTheSphere,
    ::testing::Values(
        TSphereCase{"JN48QR", "JN48QR", "FN31PR"}, TSphereCase{"IO91WM", "IO91WM", "PM95VQ"},
        TSphereCase{"KP20JE", "KP20JE", "RE78TW"}, TSphereCase{"FN30AS", "FN30AS", "FR82UM"},
        TSphereCase{"BL11AP", "BL11AP", "CM97BD"}, TSphereCase{"MJ96WV", "MJ96WV", "KG44DC"},
        TSphereCase{"IM12OR", "IM12OR", "GF05TJ"}, TSphereCase{"QF56NE", "QF56NE", "RF80LQ"},
        TSphereCase{"GG66RR", "GG66RR", "FN42IL"}, TSphereCase{"EN52WA", "EN52WA", "EN61FX"},
        TSphereCase{"AH16AA", "AH16AA", "RH91FV"},  // across 180 degrees
        // Short home locators: 4 characters + MM, 5 + M, 3 + 4MX, 2 + 44XX.
        TSphereCase{"JO62", "JO62MM", "FN31PR"}, TSphereCase{"jo62", "JO62MM", "PM95VQ"},
        TSphereCase{"FN31", "FN31MM", "JN48QR"}, TSphereCase{"JO62Q", "JO62QM", "FN31PR"},
        TSphereCase{"JO6", "JO64MX", "RE78TW"}, TSphereCase{"JO", "JO44XX", "GF05TJ"}));

// ---- The beacons against the places they stand at

struct TBeaconPlace {
  const char* call;
  double lon, lat;  // the town or site, east and north positive
};
// Coordinates of the places (town centres, or the site where it is known: Mt. Asama is the
// mountain above Ise, Mie). A locator's subsquare is 9 x 4.6 km at the equator.
constexpr TBeaconPlace kBeaconPlaces[kBeaconCount] = {
    {"4U1UN", -73.968, 40.749},   // United Nations, New York
    {"VE8AT", -62.348, 82.501},   // Alert, Nunavut
    {"W6WX", -121.898, 37.161},   // Mount Umunhum, California
    {"KH6WO", -157.925, 21.646},  // Laie, Oahu
    {"ZL6B", 175.657, -40.951},   // Masterton
    {"VK6RBP", 116.07, -32.12},   // Roleystone
    {"JA2IGY", 136.78, 34.46},    // Mt. Asama, Ise
    {"RR9O", 82.92, 55.03},       // Novosibirsk
    {"VR2B", 114.17, 22.30},      // Hong Kong
    {"4S7B", 79.85, 6.93},        // Colombo
    {"ZS6DN", 28.19, -25.75},     // Pretoria
    {"5Z4B", 39.85, -3.63},       // Kilifi
    {"4X6TU", 34.78, 32.08},      // Tel Aviv
    {"OH2B", 24.66, 60.21},       // Espoo
    {"CS3B", -16.82, 32.72},      // Santo da Serra, Madeira
    {"LU4AA", -58.38, -34.60},    // Buenos Aires
    {"OA4B", -77.04, -12.05},     // Lima
    {"YV5B", -66.90, 10.50},      // Caracas
};

TEST(BeaconTable, EachLocatorLiesAtItsPlace) {
  for (int r = 1; r <= kBeaconCount; ++r) {
    const TBeaconPlace& p = kBeaconPlaces[r - 1];
    EXPECT_EQ(BeaconText(r, bkCall), p.call) << r;
    const std::string locator = BeaconText(r, bkLocator);
    ASSERT_EQ(locator.size(), 6u) << r;
    ASSERT_TRUE(IsLocatorShape(locator)) << locator;
    // Within 20 km of the place: a letter or digit off moves it by 9 km or more on one axis,
    // exchanged letters mostly by far more.
    EXPECT_LT(SphereKm(Centre(locator), TCentre{p.lon, p.lat}), 20.0)
        << BeaconText(r, bkLocation) << " " << locator;
  }
}

// The reference document on the beacons (texte\beaconsw.txt of every edition) and the
// scheduler agree on the frequencies, the order of the calls and the locators.
TEST(BeaconTable, AgreesWithTheBeaconDocument) {
  FILE* f = std::fopen(TELLMARK_SOURCE_DIR "/data/texts/beaconsw.txt", "r");
  ASSERT_TRUE(f);
  std::vector<std::string> bands;
  std::vector<std::array<std::string, 2>> rows;  // call, locator by slot
  char line[256];
  while (std::fgets(line, sizeof line, f)) {
    double mhz[kBandCount];
    if (bands.empty() && std::sscanf(line, " %lf MHz %lf MHz %lf MHz %lf MHz %lf MHz", &mhz[0],
                                     &mhz[1], &mhz[2], &mhz[3], &mhz[4]) == kBandCount)
      for (const double m : mhz)
        bands.push_back(std::to_string(static_cast<int>(std::lround(m * 1000))) + " kHz");
    int slot = 0;
    char call[16], locator[16];
    if (std::sscanf(line, " %d %15s %15s", &slot, call, locator) == 3 &&
        slot == static_cast<int>(rows.size()) + 1)
      rows.push_back({call, locator});
  }
  std::fclose(f);
  ASSERT_EQ(bands.size(), static_cast<size_t>(kBandCount));
  for (int b = 1; b <= kBandCount; ++b) EXPECT_EQ(BandCaption(b), bands[b - 1]) << b;
  ASSERT_EQ(rows.size(), static_cast<size_t>(kBeaconCount));
  for (int r = 1; r <= kBeaconCount; ++r) {
    EXPECT_EQ(BeaconText(r, bkCall), rows[r - 1][0]) << r;
    EXPECT_EQ(BeaconText(r, bkLocator), rows[r - 1][1]) << r;
  }
}

struct TPrecisionCase {
  const char* locator;
  int precision;
  bool onClass0, onClass1;
};
class Precision : public ::testing::TestWithParam<TPrecisionCase> {};

TEST_P(Precision, DecidesWhereTheRingIsDrawn) {
  const auto& c = GetParam();
  EXPECT_EQ(LocatorPrecision(c.locator), c.precision);
  EXPECT_EQ(MarkAllowed(0, c.precision), c.onClass0);
  EXPECT_EQ(MarkAllowed(1, c.precision), c.onClass1);
}

INSTANTIATE_TEST_SUITE_P(Locators, Precision,
                         ::testing::Values(TPrecisionCase{"", 0, false, false},
                                           TPrecisionCase{"J", 0, false, false},
                                           TPrecisionCase{"JN48", 1, false, true},
                                           TPrecisionCase{"jn48qr", 1, false, true},
                                           TPrecisionCase{"JN48QR", 2, true, true},
                                           TPrecisionCase{"JN48q", 1, false, true}));

// ---- Beacon schedule

struct TActiveCase {
  TLocalTime time;
  int band;
  int row, column;
  const char* call;
};
class ActiveBeacon : public ::testing::TestWithParam<TActiveCase> {};

TEST_P(ActiveBeacon, RowAndColumnOfTheBand) {
  const auto& c = GetParam();
  TBeaconSchedule s;
  s.SetBand(c.band);
  const TBeaconUpdate u = s.Update(c.time);
  EXPECT_EQ(u.activeRow, c.row);
  EXPECT_EQ(u.activeColumn, c.column);
  EXPECT_EQ(BeaconText(u.activeRow, bkCall), c.call);
}

INSTANTIATE_TEST_SUITE_P(
    Times, ActiveBeacon,
    ::testing::Values(TActiveCase{{10, 4, 25}, 1, 9, 2, "VR2B"},     // cycle 10:03, second 85
                      TActiveCase{{10, 4, 25}, 5, 5, 6, "ZL6B"},     //
                      TActiveCase{{10, 3, 5}, 2, 18, 3, "YV5B"},     // row 1 - 1 wraps to 18
                      TActiveCase{{10, 5, 59}, 1, 18, 2, "YV5B"},    // last second of the cycle
                      TActiveCase{{10, 6, 0}, 1, 1, 2, "4U1UN"},     // the next cycle
                      TActiveCase{{23, 59, 59}, 3, 16, 4, "LU4AA"},  // 179 s: 18 - 2
                      TActiveCase{{0, 0, 9}, 4, 16, 5, "LU4AA"}));

TEST(BeaconSchedule, TimeCellsAreRewrittenOnlyWhenANewCycleBegins) {
  TBeaconSchedule s;
  TBeaconUpdate u = s.Update({10, 4, 25});
  EXPECT_TRUE(u.refilled);
  EXPECT_EQ(s.Cell(1, 1), "10:03:00");   // 14100 kHz of row 1: the cycle start
  EXPECT_EQ(s.Cell(18, 5), "10:03:30");  // 28200 kHz of row 18: (170 + 40) mod 180
  EXPECT_EQ(s.Cell(9, 1), "10:04:20");
  EXPECT_EQ(s.Cell(18, 1), "10:05:50");
  EXPECT_EQ(s.Cell(1, 2), "10:03:10");
  EXPECT_EQ(s.Cell(0, 1), "");
  EXPECT_FALSE(s.Update({10, 4, 26}).refilled);
  EXPECT_FALSE(s.Update({10, 5, 59}).refilled);
  u = s.Update({10, 6, 0});
  EXPECT_TRUE(u.refilled);
  EXPECT_EQ(s.Cell(1, 1), "10:06:00");
  EXPECT_EQ(s.Cell(18, 1), "10:08:50");
  // A new hour with the same cycle minute is a new cycle start only by its minute: the first
  // update after 25 (no cycle's minute) always fills.
  TBeaconSchedule fresh;
  EXPECT_TRUE(fresh.Update({7, 24, 0}).refilled);
  EXPECT_EQ(fresh.Cell(1, 1), "07:24:00");
}

TEST(BeaconSchedule, FollowTellsTheMapOnlyWhenTheCallChanges) {
  TBeaconSchedule s;
  EXPECT_FALSE(s.Update({10, 4, 25}).tellMap);  // not following
  s.SetFollow(true);
  TBeaconUpdate u = s.Update({10, 4, 25});
  EXPECT_TRUE(u.tellMap);
  EXPECT_EQ(u.call, "VR2B");
  EXPECT_EQ(u.locator, "OL72CG");
  int told = 0;
  for (int sec = 26; sec < 60; ++sec) told += s.Update({10, 4, sec}).tellMap;
  EXPECT_EQ(told, 3);  // at 30, 40 and 50 seconds
  EXPECT_EQ(s.LastCall(), "5Z4B");
  s.SetBand(2);  // another band, another active call
  EXPECT_TRUE(s.Update({10, 4, 59}).tellMap);
  s.SetFollow(false);
  EXPECT_FALSE(s.Update({10, 5, 10}).tellMap);
  s.SetFollow(true);  // following again tells the map at once
  EXPECT_TRUE(s.Update({10, 5, 11}).tellMap);
}

TEST(BeaconTable, LookUpByRowAndKindAndBandsOfColumns) {
  EXPECT_EQ(BeaconText(1, bkLocation), "New York, USA");
  EXPECT_EQ(BeaconText(1, bkLocator), "FN30AS");
  EXPECT_EQ(BeaconText(18, bkCall), "YV5B");
  EXPECT_EQ(BeaconText(14, bkLocation), "Espoo, Finnland");
  EXPECT_EQ(BeaconText(0, bkCall), "");
  EXPECT_EQ(BeaconText(19, bkLocation), "");
  EXPECT_EQ(BeaconText(3, 7), "");
  EXPECT_EQ(BandCaption(1), "14100 kHz");
  EXPECT_EQ(BandCaption(5), "28200 kHz");
  EXPECT_EQ(BandCaption(6), "");
  const int bands[] = {1, 1, 1, 2, 3, 4, 5, 1};  // columns 0..7
  for (int c = 0; c < 8; ++c) EXPECT_EQ(TBeaconSchedule::BandOfColumn(c), bands[c]) << c;
  // Every band has one beacon at every second.
  for (int b = 1; b <= kBandCount; ++b)
    for (int t = 0; t < kCycleSeconds; ++t) {
      const int r = ActiveBeaconRow(t, b);
      const int start = BeaconStartSecond(r, b);
      EXPECT_TRUE(t >= start && t < start + 10) << b << " " << t;
    }
}

}  // namespace
