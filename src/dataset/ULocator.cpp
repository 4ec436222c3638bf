#include "dataset/ULocator.h"

#include <cmath>
#include <cstdint>

#include "common/StrUtil.h"

namespace {
// Reads a coordinate text: blanks removed, a decimal number, 0 when it is not one.
double CoordValue(std::string_view s) { return RealFieldValue(Cut(s, 40)); }

// trunc toward zero; throws when the value cannot be a locator digit.
int TruncChecked(double v) {
  if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0)
    throw ELocatorError("Range check error");
  return static_cast<int>(std::trunc(v));
}

// The stored number without its sign, then the degree sign and the letter of its hemisphere.
std::string HemisphereText(std::string_view stored, char positive, char negative) {
  const std::string t = TrimBlanks(stored);
  const bool minus = !t.empty() && t[0] == '-';
  const std::string digits = TrimBlanks(!t.empty() && (minus || t[0] == '+') ? t.substr(1) : t);
  bool digit = false, dot = false;
  for (const char c : digits) {
    if (c == '.' && !dot) {
      dot = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return t;
    }
  }
  if (!digit) return t;
  std::string out = digits + "\xF8";
  if (RealFieldValue(digits) != 0) out += std::string(" ") + (minus ? negative : positive);
  return out;
}

}  // namespace

std::string LongitudeText(std::string_view westPositive) {
  return HemisphereText(westPositive, 'W', 'E');
}

std::string LatitudeText(std::string_view northPositive) {
  return HemisphereText(northPositive, 'N', 'S');
}

std::string CoordToLocator(std::string_view longitudeWestPositive, std::string_view latitude) {
  try {
    if (longitudeWestPositive.size() < 2 || latitude.size() < 2)
      throw ELocatorError("Empty Locator");
    double x = -CoordValue(longitudeWestPositive) + 180.0;
    double y = CoordValue(latitude) + 90.0;
    // Round to about 11 significant digits, so 38.9 does not land just below a boundary.
    x = std::round(x * 1e8) / 1e8;
    y = std::round(y * 1e8) / 1e8;
    std::string loc(6, ' ');
    const int a = TruncChecked(x / 20);
    x -= 20.0 * a;
    const int b = TruncChecked(x / 2);
    x -= 2.0 * b;
    x *= 60.0;
    const int c = TruncChecked(std::round(x * 1e6) / 1e6 / 5);
    const int d = TruncChecked(y / 10);
    y -= 10.0 * d;
    const int e = TruncChecked(y);
    y -= e;
    y *= 60.0;
    const int f = TruncChecked(std::round(y * 1e6) / 1e6 / 2.5);
    if (a < 0 || a > 17 || d < 0 || d > 17 || b < 0 || b > 9 || e < 0 || e > 9 || c < 0 || c > 23 ||
        f < 0 || f > 23)
      return {};
    loc[0] = static_cast<char>('A' + a);
    loc[1] = static_cast<char>('A' + d);
    loc[2] = static_cast<char>('0' + b);
    loc[3] = static_cast<char>('0' + e);
    loc[4] = static_cast<char>('A' + c);
    loc[5] = static_cast<char>('A' + f);
    return loc;
  } catch (...) {
    return {};
  }
}

TGeoPoint LocatorToCoord(std::string_view locator) {
  std::string loc = AsciiUpper(Cut(locator, 6));
  if (loc.size() < 2 || loc.size() > 6) throw ELocatorError("Illegal size for locator");
  static const char* const kFill[] = {"", "", "44XX", "4MX", "MM", "M", ""};
  loc += kFill[loc.size()];
  const auto in = [](char ch, char lo, char hi) { return ch >= lo && ch <= hi; };
  if (!in(loc[0], 'A', 'R') || !in(loc[1], 'A', 'R') || !in(loc[2], '0', '9') ||
      !in(loc[3], '0', '9') || !in(loc[4], 'A', 'X') || !in(loc[5], 'A', 'X'))
    throw ELocatorError("Illegal locator");
  TGeoPoint p;
  p.longitude = 20.0 * (loc[0] - 'A') + 2.0 * (loc[2] - '0') - 180.0 + 5.0 * (loc[4] - 'A') / 60.0 +
                1.0 / 120.0;
  p.latitude =
      10.0 * (loc[1] - 'A') + (loc[3] - '0') - 90.0 + 2.5 * (loc[5] - 'A') / 60.0 + 1.0 / 120.0;
  return p;
}

bool IsValidLocator(std::string_view locator) {
  try {
    LocatorToCoord(locator);
    return true;
  } catch (const ELocatorError&) {
    return false;
  }
}
