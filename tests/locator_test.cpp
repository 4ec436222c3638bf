#include <gtest/gtest.h>

#include "dataset/ULocator.h"

TEST(CoordToLocator, KnownPoints) {
  EXPECT_EQ(CoordToLocator("77", "38.9"), "FM18MV");
  EXPECT_EQ(CoordToLocator("0", "0"), "");  // texts shorter than 2 characters
  EXPECT_EQ(CoordToLocator("0.0", "0.0"), "JJ00AA");
  EXPECT_EQ(CoordToLocator(" 77.0365", "38.8977 "), "FM18LV");
  EXPECT_EQ(CoordToLocator("-13.4", "52.52"), "JO62QM");
  EXPECT_EQ(CoordToLocator("77", ""), "");
  EXPECT_EQ(CoordToLocator("abc", "xyz"), "JJ00AA");  // not a number reads as 0
  EXPECT_EQ(CoordToLocator("1e300", "38"), "");
  EXPECT_EQ(CoordToLocator("200", "38"), "");
}

TEST(LocatorToCoord, CentreOfSubsquare) {
  auto p = LocatorToCoord("fm18mv");
  EXPECT_NEAR(p.longitude, -77 + 1.0 / 120, 1e-9);
  EXPECT_NEAR(p.latitude, 38.875 + 1.0 / 120, 1e-9);
  const auto jj = LocatorToCoord("JJ");
  const auto jj44xx = LocatorToCoord("JJ44XX");
  EXPECT_DOUBLE_EQ(jj.longitude, jj44xx.longitude);
  EXPECT_DOUBLE_EQ(jj.latitude, jj44xx.latitude);
  const auto jj0 = LocatorToCoord("JJ0");
  const auto jj04mx = LocatorToCoord("JJ04MX");
  EXPECT_DOUBLE_EQ(jj0.longitude, jj04mx.longitude);
  EXPECT_DOUBLE_EQ(jj0.latitude, jj04mx.latitude);
  const auto seven = LocatorToCoord("JO62QM7");
  EXPECT_DOUBLE_EQ(seven.longitude, LocatorToCoord("JO62QM").longitude);
}

TEST(LocatorToCoord, RefusesBadLocators) {
  try {
    LocatorToCoord("J");
    FAIL();
  } catch (const ELocatorError& e) {
    EXPECT_STREQ(e.what(), "Illegal size for locator");
  }
  try {
    LocatorToCoord("SZ00AA");
    FAIL();
  } catch (const ELocatorError& e) {
    EXPECT_STREQ(e.what(), "Illegal locator");
  }
  EXPECT_TRUE(IsValidLocator("FM1"));  // completed to FM14MX
  EXPECT_FALSE(IsValidLocator("FMA"));
  EXPECT_FALSE(IsValidLocator("FM18MY"));
  EXPECT_TRUE(IsValidLocator("rr99xx"));
}

TEST(Locator, RoundTripsThroughTheGrid) {
  for (int lon = -179; lon < 180; lon += 7)
    for (int lat = -89; lat < 90; lat += 5) {
      const std::string loc = CoordToLocator(std::to_string(-lon - 0.3), std::to_string(lat + 0.3));
      ASSERT_EQ(loc.size(), 6u);
      const auto p = LocatorToCoord(loc);
      EXPECT_NEAR(p.longitude, lon + 0.3, 5.0 / 60);
      EXPECT_NEAR(p.latitude, lat + 0.3, 2.5 / 60);
    }
}

// The windows show a coordinate as stored, with the letter of its hemisphere from its sign.
TEST(CoordinateText, HemisphereFromTheSign) {
  struct TCase {
    const char* stored;
    const char* longitude;  // the text read as a west-positive longitude
    const char* latitude;
  };
  const TCase cases[] = {
      {"96.6772", "96.6772\xF8 W", "96.6772\xF8 N"},
      {"-70.1686", "70.1686\xF8 E", "70.1686\xF8 S"},
      {" +32.7116 ", "32.7116\xF8 W", "32.7116\xF8 N"},
      {"- 0.5", "0.5\xF8 E", "0.5\xF8 S"},
      {"0", "0\xF8", "0\xF8"},
      {"-0.0000", "0.0000\xF8", "0.0000\xF8"},
      {"180", "180\xF8 W", "180\xF8 N"},
      {".5", ".5\xF8 W", ".5\xF8 N"},
      {"", "", ""},
      {"  ", "", ""},
      {"-", "-", "-"},
      {"n/a", "n/a", "n/a"},
      {"1.2.3", "1.2.3", "1.2.3"},
      {"12a", "12a", "12a"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(LongitudeText(c.stored), c.longitude) << c.stored;
    EXPECT_EQ(LatitudeText(c.stored), c.latitude) << c.stored;
  }
}
