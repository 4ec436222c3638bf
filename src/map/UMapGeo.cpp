#include "map/UMapGeo.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/StrUtil.h"
#include "common/URounding.h"

double ArcCos(double x) {
  const double s = std::sqrt(1.0 - x * x);
  if (s == 0) return x > 0 ? 0.0 : std::numbers::pi;
  return std::numbers::pi / 2 - std::atan(x / s);
}

bool LocatorToDegrees(std::string_view locator, double& longitude, double& latitude) {
  if (locator.size() < 2 || locator.size() > 6) return false;
  std::string loc = AsciiUpper(locator);
  static const char* const kFill[] = {"", "", "44XX", "4MX", "MM", "M", ""};
  loc += kFill[loc.size()];
  const auto c = [&loc](int i) { return static_cast<int>(static_cast<unsigned char>(loc[i - 1])); };
  double lonDeg = 20.0 * (c(1) - 'A') + 180.0;
  if (c(1) > 'I') lonDeg -= 360.0;
  lonDeg += 2.0 * (c(3) - '0');
  double lonMin = 5.0 * (c(5) - 'A') + 2.0;
  if (lonMin > 60) {
    lonMin -= 60;
    lonDeg += 1;
  }
  longitude = lonDeg + lonMin / 60.0 + 30.0 / 3600.0;
  const double latDeg = 10.0 * (c(2) - 'A') - 90.0 + (c(4) - '0');
  const double m = 2.5 * (c(6) - 'A') + 1.25;
  const double latMin = std::trunc(m);
  const double latSec = std::trunc((m - latMin) * 60.0);
  latitude = latDeg + latMin / 60.0 + latSec / 3600.0;
  return true;
}

bool GetEntf(std::string_view home, std::string_view target, TEntf& out) {
  double lon1, lat1, lon2, lat2;
  if (!LocatorToDegrees(home, lon1, lat1) || !LocatorToDegrees(target, lon2, lat2)) return false;
  constexpr double kRad = std::numbers::pi / 180.0;
  lon1 *= kRad, lat1 *= kRad, lon2 *= kRad, lat2 *= kRad;
  // The computed cosines are kept inside -1..1: rounding can put them a little past 1, which
  // would make the square root fail; and one point twice is 0 km exactly, not a rounding rest
  // with a made-up heading.
  const bool same = lon1 == lon2 && lat1 == lat2;
  const double c = same ? 1.0
                        : std::clamp(std::sin(lat1) * std::sin(lat2) +
                                         std::cos(lat1) * std::cos(lat2) * std::cos(lon2 - lon1),
                                     -1.0, 1.0);
  const double d = ArcCos(c);
  const double distance = d * 111.12 * 180.0 / std::numbers::pi;
  double heading = 0;
  if (distance > 0 && distance < 20000) {
    const double h =
        std::clamp((std::sin(lat2) - std::cos(d) * std::sin(lat1)) / (std::sin(d) * std::cos(lat1)),
                   -1.0, 1.0);
    heading = ArcCos(h) * 180.0 / std::numbers::pi;
    if (std::sin(lon2 - lon1) < 0) heading = 360.0 - heading;
  }
  if (!std::isfinite(distance) || !std::isfinite(heading)) return false;
  out.distanceKm = distance;
  out.heading = heading;
  return true;
}

int LocatorPrecision(std::string_view locator) {
  if (locator.size() <= 1) return 0;
  if ((locator[0] >= 'a' && locator[0] <= 'z') || locator.size() < 6) return 1;
  return 2;
}

bool MarkAllowed(int32_t markerClass, int precision) {
  return (markerClass == 1 && precision != 0) || precision == 2;
}

std::string HeadingText(double heading) {
  return "Heading " + std::to_string(RoundHalfEven(heading)) + "\xC2\xB0";
}

std::string DistanceText(double km, bool useKm) {
  if (useKm) return "Distance " + std::to_string(RoundHalfEven(km)) + " km";
  return "Distance " + std::to_string(RoundHalfEven(km / 1.609)) + " miles";
}
