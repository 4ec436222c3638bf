#include "builder/UUSPlaces.h"

#include <charconv>
#include <cmath>

#include "common/StrUtil.h"

namespace {

std::string Fixed4(double v) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
  std::string s = ec == std::errc() ? std::string(buf, p) : "0.0000";
  if (s.find_first_not_of("-0.") == std::string::npos) s = "0.0000";
  return s;
}

double Dist2(double lat1, double lon1, double lat2, double lon2) {
  const double c = std::cos((lat1 + lat2) * (3.141592653589793 / 360.0));
  const double dx = (lon1 - lon2) * c, dy = lat1 - lat2;
  return dx * dx + dy * dy;
}

}  // namespace

std::string TUSPlaces::CityKey(std::string_view city) {
  std::vector<std::string> words;
  std::string w;
  const auto flush = [&] {
    if (w.empty()) return;
    if (w == "SAINT")
      w = "ST";
    else if (w == "SAINTE")
      w = "STE";
    else if (w == "FORT")
      w = "FT";
    else if (w == "MOUNT")
      w = "MT";
    else if (w == "MOUNTAIN")
      w = "MTN";
    else if (w == "NORTH")
      w = "N";
    else if (w == "SOUTH")
      w = "S";
    else if (w == "EAST")
      w = "E";
    else if (w == "WEST")
      w = "W";
    else if (w == "VILLAGE")
      w = "VLG";
    else if (w == "HEIGHTS")
      w = "HTS";
    else if (w == "SPRINGS")
      w = "SPGS";
    else if (w == "JUNCTION")
      w = "JCT";
    else if (w == "TOWNSHIP")
      w = "TWP";
    words.push_back(std::move(w));
    w.clear();
  };
  for (char c : UpperCp437(city)) {
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      w += c;
    else if (c != '.' && c != '\'')
      flush();
  }
  flush();
  std::string key;
  for (const auto& x : words) key += (key.empty() ? "" : " ") + x;
  return key;
}

TUSPlaces::TUSPlaces(const TSourceTables& t) : t_(t), zipIndex_(100000, -1) {
  for (const auto& a : t.areaCodes) codesByState_[a.state].push_back(&a);
  for (const auto& z : t.zips) {
    int n = 0;
    for (char c : z.zip) n = n * 10 + (c - '0');  // 5 digits, checked by the loader
    if (zipIndex_[static_cast<size_t>(n)] >= 0) continue;
    zipIndex_[static_cast<size_t>(n)] = static_cast<int32_t>(zipPlaces_.size());
    zipPlaces_.push_back(MakePlace(z.state, z.county, z.timeZone, z.lat, z.lon));
  }
  for (const auto& st : t.states) {
    const TDxccRow* dx = t.FindDxcc(st.dxcc);
    dxccOfState_[st.state] = dx ? dx->name : "United States";
  }

  // People per (city, county), then the county with the most (ties: the first by name), at the
  // weighted centre of its ZIP codes (unweighted when none has people).
  struct TSum {
    double people = 0, lat = 0, lon = 0, plainLat = 0, plainLon = 0;
    int zips = 0;
    const TZipRow* biggest = nullptr;
  };
  std::map<std::string, std::map<std::string, TSum>> sums;
  for (const auto& z : t.zips) {
    const std::string key = CityKey(z.city);
    if (key.empty()) continue;
    TSum& s = sums[z.state + "|" + key][z.county];
    s.people += z.population;
    s.lat += z.lat * z.population;
    s.lon += z.lon * z.population;
    s.plainLat += z.lat;
    s.plainLon += z.lon;
    ++s.zips;
    if (!s.biggest || z.population > s.biggest->population) s.biggest = &z;
  }
  for (const auto& [key, counties] : sums) {
    const std::string* bestCounty = nullptr;
    const TSum* best = nullptr;
    for (const auto& [county, s] : counties)
      if (!best || s.people > best->people) bestCounty = &county, best = &s;
    const double lat = best->people > 0 ? best->lat / best->people : best->plainLat / best->zips;
    const double lon = best->people > 0 ? best->lon / best->people : best->plainLon / best->zips;
    cities_.emplace(
        key, MakePlace(best->biggest->state, *bestCounty, best->biggest->timeZone, lat, lon));
  }
}

TFccPlace TUSPlaces::MakePlace(const std::string& state, const std::string& county,
                               const std::string& timeZone, double lat, double lon) const {
  return TFccPlace{state, county, Fixed4(-lon), Fixed4(lat), timeZone, AreaCode(state, lat, lon)};
}

bool TUSPlaces::ZipPlace(std::string_view zip, TFccPlace& p) {
  if (zip.size() != 5) return false;
  int n = 0;
  for (char c : zip) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  const int32_t i = zipIndex_[static_cast<size_t>(n)];
  if (i < 0) return false;
  p = zipPlaces_[static_cast<size_t>(i)];
  return true;
}

bool TUSPlaces::CityPlace(std::string_view city, std::string_view state, TFccPlace& p) {
  const auto it = cities_.find(std::string(state) + "|" + CityKey(city));
  if (it == cities_.end()) return false;
  p = it->second;
  return true;
}

void TUSPlaces::Country(std::string_view state, std::string& country, std::string& dxcc) const {
  country = "United States";
  const auto it = dxccOfState_.find(std::string(state));
  dxcc = it == dxccOfState_.end() ? "United States" : it->second;
}

// The nearest area-code centroid in the state, else anywhere.
std::string TUSPlaces::AreaCode(const std::string& state, double lat, double lon) const {
  const TAreaCodeRow* best = nullptr;
  double bestD = 0;
  const auto consider = [&](const TAreaCodeRow* a) {
    const double d = Dist2(lat, lon, a->lat, a->lon);
    if (!best || d < bestD) best = a, bestD = d;
  };
  const auto it = codesByState_.find(state);
  if (it != codesByState_.end()) {
    for (const auto* a : it->second) consider(a);
  } else {
    for (const auto& a : t_.areaCodes) consider(&a);
  }
  return best ? best->code : std::string();
}
