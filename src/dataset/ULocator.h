#pragma once
// Maidenhead locator <-> geographic coordinates.
#include <stdexcept>
#include <string>
#include <string_view>

class ELocatorError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// 6-character locator from a west-positive longitude text and a latitude text (as the U.S.
// entries store them); empty when it cannot be formed. Never throws.
std::string CoordToLocator(std::string_view longitudeWestPositive, std::string_view latitude);

// A stored coordinate with its hemisphere, as the windows show it: "96.6772\xF8 W" from the
// west-positive longitude "96.6772", "32.7116\xF8 S" from the latitude "-32.7116" (the degree
// sign in code page 437). The digits stay as stored; 0 gets no letter; a text that is no number
// is returned trimmed, as stored.
std::string LongitudeText(std::string_view westPositive);
std::string LatitudeText(std::string_view northPositive);

struct TGeoPoint {
  double longitude = 0;  // east positive
  double latitude = 0;   // north positive
};

// Centre-ish point of a locator of 2..6 characters (7 or more are cut to 6); throws
// ELocatorError "Illegal size for locator" or "Illegal locator".
TGeoPoint LocatorToCoord(std::string_view locator);
// True when LocatorToCoord accepts the text.
bool IsValidLocator(std::string_view locator);
