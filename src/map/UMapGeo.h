#pragma once
// Distance and heading between two locators, and the rules of the map window that need no
// window: locator precision, when the ring is drawn, the heading and distance texts.
#include <cstdint>
#include <string>
#include <string_view>

// arccos through arctan: s = sqrt(1 - x^2); s = 0 gives 0 for x > 0, else pi. x must lie in
// -1..1 (a value outside gives NaN).
double ArcCos(double x);

// Centre of the locator's subsquare in degrees: longitude 0..360 east (above 180 lies west),
// latitude -90..90. Fails unless the locator has 2..6 characters; shorter ones are padded like
// JN -> JN44XX; the characters are not checked further.
bool LocatorToDegrees(std::string_view locator, double& longitude, double& latitude);

struct TEntf {
  double distanceKm = 0;
  double heading = 0;  // degrees from north, clockwise
};
// Great-circle distance (111.12 km per degree) and initial heading from home to target. Fails
// when a locator cannot be converted or the result is not finite.
bool GetEntf(std::string_view home, std::string_view target, TEntf& out);

// 0 = no locator (at most 1 character), 1 = approximate (lower-case first letter, or fewer than
// 6 characters), 2 = exact.
int LocatorPrecision(std::string_view locator);
// Whether the ring is drawn for a locator of this precision on a map of this marker class.
bool MarkAllowed(int32_t markerClass, int precision);

// "Heading 45°" (UTF-8), "Distance 1234 km" or "Distance 767 miles".
std::string HeadingText(double heading);
std::string DistanceText(double km, bool useKm);
