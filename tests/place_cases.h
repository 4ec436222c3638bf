#pragma once
// Calls with the entity, continent and zones the country file gives for where the station is,
// and whether the home place is given; values read off data/sources/cty.tsv (the country file of
// Debian's hamradio-files, version VER20230502) and data/sources/us_states.tsv by hand. Shared by
// the record's test and the test that puts the same calls through every output.
#include <cstdio>
#include <string>
#include <vector>

#include "dataset/UEntry.h"
#include "dataset/ULocator.h"

namespace places {

// A directory entry the calls below are logged with.
struct TStationEntry {
  const char* call;
  TDatabase db;
  const char* state;  // U.S.: state; Canada: province (written into the address)
  const char* town;
  const char* zipOrPostal;
  const char* country;  // International: the address's country and the stored DXCC field
  const char* dxcc;
  double lat, lon;  // east positive; U.S. stored west positive, International as a locator
};

inline const std::vector<TStationEntry>& Entries() {
  static const std::vector<TStationEntry> e = {
      {"K5DRC", TDatabase::US, "TX", "DALLAS", "75217", "", "", 32.7116, -96.6772},
      {"KL7ABC", TDatabase::US, "AK", "ANCHORAGE", "99501", "", "", 61.2181, -149.9003},
      {"KH6ABC", TDatabase::US, "HI", "HONOLULU", "96813", "", "", 21.3069, -157.8583},
      {"KP4ABC", TDatabase::US, "PR", "SAN JUAN", "00901", "", "", 18.4655, -66.1057},
      {"KH2ABC", TDatabase::US, "GU", "HAGATNA", "96910", "", "", 13.4757, 144.7489},
      {"KB1APO", TDatabase::US, "AE", "APO", "09012", "", "", 0, 0},
      {"VA7AQL", TDatabase::Intl, "BC", "VANCOUVER", "V6B 1A1", "Canada", "Canada", 49.28, -123.12},
      {"VA3NGS", TDatabase::Intl, "ON", "TORONTO", "M5V 2T6", "Canada", "Canada", 43.65, -79.38},
      {"VE3AAG", TDatabase::Intl, "ON", "OTTAWA", "K1P 1J1", "Canada", "Canada", 45.42, -75.69},
      {"VY1EB", TDatabase::Intl, "YT", "WHITEHORSE", "Y1A 1A1", "Canada", "Canada", 60.72, -135.05},
      {"VE1AAA", TDatabase::Intl, "NS", "HALIFAX", "B3H 1A1", "Canada", "Canada", 44.65, -63.57},
      {"VE9AAA", TDatabase::Intl, "NB", "FREDERICTON", "E3B 1A1", "Canada", "Canada", 45.96,
       -66.64},
      {"VY2AAA", TDatabase::Intl, "PE", "CHARLOTTETOWN", "C1A 1A1", "Canada", "Canada", 46.24,
       -63.13},
      {"VE2AAA", TDatabase::Intl, "QC", "MONTREAL", "H2X 1A1", "Canada", "Canada", 45.50, -73.57},
      {"VE4AAA", TDatabase::Intl, "MB", "WINNIPEG", "R3C 1A1", "Canada", "Canada", 49.90, -97.14},
      {"VE5AAA", TDatabase::Intl, "SK", "REGINA", "S4P 1A1", "Canada", "Canada", 50.45, -104.61},
      {"VE6AAA", TDatabase::Intl, "AB", "CALGARY", "T2P 1A1", "Canada", "Canada", 51.05, -114.07},
      {"VE8AAA", TDatabase::Intl, "NT", "YELLOWKNIFE", "X1A 1A1", "Canada", "Canada", 62.45,
       -114.37},
      {"VY0AAA", TDatabase::Intl, "NU", "IQALUIT", "X0A 0H0", "Canada", "Canada", 63.75, -68.52},
      {"VO1AAA", TDatabase::Intl, "NL", "ST. JOHN'S", "A1C 1A1", "Canada", "Canada", 47.56, -52.71},
      {"VO2AAA", TDatabase::Intl, "NL", "HAPPY VALLEY-GOOSE BAY", "A0P 1E0", "Canada", "Canada",
       53.30, -60.33},
      // Licensed in Ontario's area, living in British Columbia: the province's zones.
      {"VA3BCX", TDatabase::Intl, "BC", "VICTORIA", "V8W 1A1", "Canada", "Canada", 48.43, -123.37},
      {"VK1AAA", TDatabase::Intl, "", "Canberra", "", "Australia", "Australia", -35.28, 149.13},
      {"VK2AAA", TDatabase::Intl, "", "Sydney", "", "Australia", "Australia", -33.87, 151.21},
      {"VK3AAA", TDatabase::Intl, "", "Melbourne", "", "Australia", "Australia", -37.81, 144.96},
      {"VK4AAA", TDatabase::Intl, "", "Brisbane", "", "Australia", "Australia", -27.47, 153.03},
      {"VK5AAA", TDatabase::Intl, "", "Adelaide", "", "Australia", "Australia", -34.93, 138.60},
      {"VK6AHT", TDatabase::Intl, "", "Perth", "", "Australia", "Australia", -31.95, 115.86},
      {"VK7AAA", TDatabase::Intl, "", "Hobart", "", "Australia", "Australia", -42.88, 147.33},
      {"VK8MOR", TDatabase::Intl, "", "Darwin", "", "Australia", "Australia", -12.46, 130.84},
      {"VK9MAV", TDatabase::Intl, "", "Perth", "", "Australia", "Australia", -31.95, 115.86},
      {"UA1AAA", TDatabase::Intl, "", "Saint Petersburg", "", "Russia", "European Russia", 59.94,
       30.31},
      {"UA1NAA", TDatabase::Intl, "", "Petrozavodsk", "", "Russia", "European Russia", 61.78,
       34.35},
      {"UA9AEA", TDatabase::Intl, "", "Chelyabinsk", "", "Russia", "Asiatic Russia", 55.16, 61.40},
      // Stored as Asiatic Russia; the country file counts R9F/UA9F for European Russia.
      {"UA9FAA", TDatabase::Intl, "", "Perm", "", "Russia", "Asiatic Russia", 58.01, 56.25},
      {"UA0AAA", TDatabase::Intl, "", "Krasnoyarsk", "", "Russia", "Asiatic Russia", 56.01, 92.87},
      {"UA0LAA", TDatabase::Intl, "", "Vladivostok", "", "Russia", "Asiatic Russia", 43.12, 131.89},
      {"RN0IPH", TDatabase::Intl, "", "Magadan", "", "Russia", "Asiatic Russia", 59.57, 150.80},
      {"YB0AN", TDatabase::Intl, "", "Jakarta", "", "Indonesia", "Indonesia", -6.21, 106.85},
      {"TA1ABC", TDatabase::Intl, "", "Istanbul", "", "Turkey", "Turkey", 41.01, 28.98},
      {"IT9ABC", TDatabase::Intl, "", "Palermo", "", "Italy", "Italy", 38.12, 13.36},
      {"DL1ABC", TDatabase::Intl, "", "Berlin", "10115", "Germany", "Germany", 52.52, 13.40},
      {"G3ZAY", TDatabase::Intl, "", "Leeds", "", "United Kingdom", "England", 53.80, -1.55},
  };
  return e;
}

struct TPlaceCase {
  const char* logged;     // the call as logged
  int code;               // ADIF entity number; 0: none
  const char* name;       // the country file's name of the entity
  const char* continent;  // "" none
  int cq, itu;            // 0: none
  bool place;             // the home place (town, grid) is given
};

inline const std::vector<TPlaceCase>& Cases() {
  static const std::vector<TPlaceCase> c = {
      // At home.
      {"K5DRC", 291, "United States", "NA", 4, 7, true},
      {"K5DRC/QRP", 291, "United States", "NA", 4, 7, true},
      {"KL7ABC", 6, "Alaska", "NA", 1, 1, true},
      {"KH6ABC", 110, "Hawaii", "OC", 31, 61, true},
      {"KP4ABC", 202, "Puerto Rico", "NA", 8, 11, true},
      {"KH2ABC", 103, "Guam", "OC", 27, 64, true},
      {"KB1APO", 291, "United States", "", 0, 0, false},
      {"VA7AQL", 1, "Canada", "NA", 3, 2, true},
      {"VA3NGS", 1, "Canada", "NA", 4, 4, true},
      {"VE3AAG", 1, "Canada", "NA", 4, 4, true},
      {"VY1EB", 1, "Canada", "NA", 1, 2, true},
      {"VE1AAA", 1, "Canada", "NA", 5, 9, true},
      {"VE9AAA", 1, "Canada", "NA", 5, 9, true},
      {"VY2AAA", 1, "Canada", "NA", 5, 9, true},
      {"VE2AAA", 1, "Canada", "NA", 5, 4, true},
      {"VE4AAA", 1, "Canada", "NA", 4, 3, true},
      {"VE5AAA", 1, "Canada", "NA", 4, 3, true},
      {"VE6AAA", 1, "Canada", "NA", 4, 2, true},
      {"VE8AAA", 1, "Canada", "NA", 1, 3, true},
      {"VY0AAA", 1, "Canada", "NA", 2, 4, true},
      {"VO1AAA", 1, "Canada", "NA", 5, 9, true},
      {"VO2AAA", 1, "Canada", "NA", 2, 9, true},
      {"VA3BCX", 1, "Canada", "NA", 3, 2, true},
      {"VK1AAA", 150, "Australia", "OC", 30, 59, true},
      {"VK2AAA", 150, "Australia", "OC", 30, 59, true},
      {"VK3AAA", 150, "Australia", "OC", 30, 59, true},
      {"VK4AAA", 150, "Australia", "OC", 30, 55, true},
      {"VK5AAA", 150, "Australia", "OC", 30, 59, true},
      {"VK6AHT", 150, "Australia", "OC", 29, 58, true},
      {"VK7AAA", 150, "Australia", "OC", 30, 59, true},
      {"VK8MOR", 150, "Australia", "OC", 29, 55, true},
      {"VK9MAV", 150, "Australia", "OC", 30, 59, true},  // =VK9MAV, not Mellish Reef's VK9M
      {"UA1AAA", 54, "European Russia", "EU", 16, 29, true},
      {"UA1NAA", 54, "European Russia", "EU", 16, 19, true},
      {"UA9AEA", 15, "Asiatic Russia", "AS", 17, 30, true},
      {"UA9FAA", 54, "European Russia", "EU", 17, 30, true},
      {"UA0AAA", 15, "Asiatic Russia", "AS", 18, 32, true},
      {"UA0LAA", 15, "Asiatic Russia", "AS", 19, 34, true},
      {"RN0IPH", 15, "Asiatic Russia", "AS", 19, 24, true},
      {"YB0AN", 327, "Indonesia", "OC", 28, 54, true},
      {"TA1ABC", 390, "Asiatic Turkey", "EU", 20, 39, true},  // *TA1 European Turkey
      {"IT9ABC", 248, "Italy", "EU", 15, 28, true},           // *IT9 Sicily
      // Another prefix.
      {"VE3/K5DRC", 1, "Canada", "NA", 4, 4, false},
      {"K5DRC/VE7", 1, "Canada", "NA", 3, 2, false},
      {"VK6/K5DRC", 150, "Australia", "OC", 29, 58, false},
      {"W6/VE3AAG", 291, "United States", "NA", 3, 6, false},
      {"F/K5DRC", 227, "France", "EU", 14, 27, false},
      {"KH6/K5DRC", 110, "Hawaii", "OC", 31, 61, false},
      {"K5DRC/KH6", 110, "Hawaii", "OC", 31, 61, false},
      {"KL7/K5DRC", 6, "Alaska", "NA", 1, 1, false},
      {"KP4/K5DRC", 202, "Puerto Rico", "NA", 8, 11, false},
      {"KH2/K5DRC", 103, "Guam", "OC", 27, 64, false},
      // Another call area.
      {"K5DRC/6", 291, "United States", "NA", 3, 6, false},
      {"K5DRC/4", 291, "United States", "NA", 5, 8, false},
      {"KL7ABC/4", 291, "United States", "NA", 5, 8, false},
      {"KL7ABC/7", 291, "United States", "NA", 3, 6, false},
      {"KH6ABC/6", 291, "United States", "NA", 3, 6, false},
      {"KP4ABC/4", 291, "United States", "NA", 5, 8, false},
      {"KH2ABC/7", 291, "United States", "NA", 3, 6, false},
      {"UA9AEA/7", 54, "European Russia", "EU", 16, 29, false},
      {"VK6AHT/4", 150, "Australia", "OC", 30, 55, false},
      // An exact call of the country file with designators: =VE2/G3ZAY/P[4].
      {"VE2/G3ZAY/P", 1, "Canada", "NA", 5, 4, false},
      // Same entity, place unknown: zones only where the entity has one pair.
      {"K5DRC/P", 291, "United States", "NA", 0, 0, false},
      {"VK6AHT/P", 150, "Australia", "OC", 0, 0, false},
      {"DL1ABC/P", 230, "Fed. Rep. of Germany", "EU", 14, 28, false},
      {"DL1ABC/M", 230, "Fed. Rep. of Germany", "EU", 14, 28, false},
      // At sea, in the air.
      {"K5DRC/MM", 0, "", "", 0, 0, false},
      {"K5DRC/AM", 0, "", "", 0, 0, false},
  };
  return c;
}

}  // namespace places

namespace places {

// The entry's fields as the directory stores them.
inline std::vector<std::pair<int, std::string>> Fields(const TStationEntry& s,
                                                       const std::string& locator) {
  std::vector<std::pair<int, std::string>> f;
  const std::string call = s.call;
  const std::string name = "Pat Example " + call;
  if (s.db == TDatabase::US) {
    f = {{utCall, call}, {utState, s.state}, {utZIP, s.zipOrPostal}, {utClass, "g"}};
    if (s.lat != 0 || s.lon != 0) {
      const double west = -s.lon;
      f.emplace_back(utLongitude, std::to_string(west).substr(0, 8));
      f.emplace_back(utLatitude, std::to_string(s.lat).substr(0, 7));
      f.emplace_back(utCounty, "SOME COUNTY");
    }
    f.emplace_back(utAddress, "PAT EXAMPLE, 1 MAIN ST, " + std::string(s.town));
    f.emplace_back(utCountry, "United States");
    f.emplace_back(utDxcc, "United States");
    return f;
  }
  std::string place = s.town;
  if (std::string(s.country) == "Canada")
    place += std::string(" ") + s.state + "  " + s.zipOrPostal;
  else if (*s.zipOrPostal)
    place = std::string(s.zipOrPostal) + " " + place;
  f = {
      {itCall, call},         {itClass, "General"}, {itAddress, name + ", 1 Main Street, " + place},
      {itCountry, s.country}, {itDxcc, s.dxcc},     {itLocator, locator}};
  return f;
}

// The entry's locator, from its position.
inline std::string Locator(const TStationEntry& s) {
  char lon[32], lat[32];
  std::snprintf(lon, sizeof lon, "%.4f", -s.lon);
  std::snprintf(lat, sizeof lat, "%.4f", s.lat);
  return CoordToLocator(lon, lat).substr(0, 6);
}

inline const TStationEntry* EntryOf(const std::string& base) {
  for (const TStationEntry& e : Entries())
    if (base == e.call) return &e;
  return nullptr;
}

}  // namespace places
