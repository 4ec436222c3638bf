#pragma once
// A small edition for the look-up and main window tests: hand-made International and U.S.
// entries with every displayed field, plus 1,200 generated U.S. entries so that every U.S. order
// is long enough for steps of 1000. Written with the edition writer of tellmark-build.
#include <string>
#include <vector>

#include "TestDir.h"
#include "builder/UBuildEntry.h"
#include "builder/UEditionWriter.h"
#include "dataset/UEntry.h"

namespace fixture {

inline TBuildEntry Intl(std::vector<std::pair<int, std::string>> fields, uint8_t mapNr = 0) {
  TBuildEntry e;
  e.db = TDatabase::Intl;
  e.fields = std::move(fields);
  e.mapNr = mapNr;
  return e;
}

inline TBuildEntry US(std::vector<std::pair<int, std::string>> fields, std::string surname,
                      uint8_t mapNr = 0) {
  TBuildEntry e;
  e.db = TDatabase::US;
  e.fields = std::move(fields);
  e.surname = std::move(surname);
  e.mapNr = mapNr;
  return e;
}

// The entries of the fixture edition.
inline TBuildInput Input() {
  TBuildInput in;
  in.title = "Fixture edition";
  in.qslManagers = {{"DL1ABC", "DL9QSL", "direct only", "01151999"},
                    {"K1ABC", "W1QSL", "via bureau", "02011999"}};
  in.intl = {
      Intl({{1, "DL1ABC"},
            {2, "A"},
            {3, "Hans Mueller, Hauptstrasse 5, 10115 Berlin"},
            {4, "Germany"},
            {5, "Germany"},
            {6, "1"},
            {7, "QRV on 40 m every evening"},
            {8, "+49 30 1234567"},
            {9, "dl1abc@example.org"},
            {10, "JO62QM"}},
           3),
      Intl({{1, "G3XYZ"},
            {2, "Full"},
            {3, "John Smith, 12 High Street, Leeds LS1 4AB"},
            {4, "England"},
            {5, "England"},
            {10, "IO93FT"}}),
      Intl({{1, "JA1AA"},
            {3, "Taro Yamada, 1-2-3 Ginza, Tokyo"},
            {4, "Japan"},
            {5, "Japan"},
            {10, "PM95UQ"}}),
      Intl({{1, "VK2XX"},
            {3, "Bruce Jones, 4 Beach Rd, Sydney"},
            {4, "Australia"},
            {5, "Australia"},
            {10, "QF56OD"}},
           7),
      Intl({{1, "3D2AG"}, {3, "Antonio Ravai, Suva"}, {4, "Fiji"}, {5, "Fiji"}}),
      Intl({{1, "OE2XABCDE"}, {3, "Club station, Salzburg"}, {4, "Austria"}, {5, "Austria"}}),
      Intl({{1, "F5ABC"},
            {3, "Marie Dupont, 8 Rue de la Paix, Paris"},
            {4, "France"},
            {5, "France"},
            {10, "JN18EU"}}),
  };
  in.us = {
      US({{1, "W1AW"},
          {2, "CT"},
          {3, "06111"},
          {4, "B"},
          {5, "01011996"},
          {6, "01012006"},
          {8, "72.7289"},
          {9, "41.7147"},
          {10, "860"},
          {11, "HARTFORD"},
          {12, "EST"},
          {13, "ARRL HQ STATION, 225 MAIN ST, NEWINGTON"},
          {16, "United States"},
          {17, "United States"},
          {22, "Headquarters station of the league"},
          {24, "w1aw@example.org"}},
         "ARRL", 12),
      US({{1, "K1ABC"},
          {2, "MA"},
          {3, "02108"},
          {4, "e"},
          {5, "07041999"},
          {6, "07042009"},
          {8, "71.0636"},
          {9, "42.3581"},
          {10, "617"},
          {11, "SUFFOLK"},
          {12, "EST"},
          {13, "JOHN Q SMITH, 1 BEACON ST, BOSTON"},
          {16, "United States"},
          {17, "United States"},
          {18, "2"},
          {19, "N1XYZ"},
          {20, "g"},
          {21, "T"}},
         "SMITH", 12),
      US({{1, "N<XX"},
          {2, "CO"},
          {3, "80202"},
          {4, "t"},
          {8, "104.9903"},
          {9, "39.7392"},
          {11, "DENVER"},
          {13, "MARY JONES, 5 LARIMER ST, DENVER"},
          {16, "United States"},
          {17, "United States"}},
         "JONES"),
      US({{1, "W9ZZ"},
          {2, "IL"},
          {3, "60601"},
          {4, "x"},
          {11, "COOK"},
          {13, "PAUL SMITH, 9 LAKE SHORE DR, CHICAGO"},
          {16, "United States"},
          {17, "United States"}},
         "SMITH"),
  };
  // Generated entries: calls KB1AAA ... in a fixed pattern, names, cities and counties from small
  // tables, so every U.S. order holds more than 1000 entries.
  struct Place {
    const char *city, *state, *zip, *county;
  };
  static const Place places[] = {
      {"ALBANY", "NY", "12207", "ALBANY"},      {"AUSTIN", "TX", "73301", "TRAVIS"},
      {"BANGOR", "ME", "04401", "PENOBSCOT"},   {"DAYTON", "OH", "45402", "MONTGOMERY"},
      {"FRESNO", "CA", "93650", "FRESNO"},      {"MACON", "GA", "31201", "BIBB"},
      {"OMAHA", "NE", "68102", "DOUGLAS"},      {"SALEM", "OR", "97301", "MARION"},
      {"TAMPA", "FL", "33602", "HILLSBOROUGH"}, {"TULSA", "OK", "74103", "TULSA"}};
  static const char* const surnames[] = {"ADAMS",  "BAKER",  "CLARK", "DAVIS", "EVANS",
                                         "GREEN",  "HILL",   "KING",  "LEE",   "MOORE",
                                         "NELSON", "PARKER", "REED",  "SCOTT", "TURNER"};
  for (int i = 0; i < 1200; ++i) {
    std::string call = "KB";
    call += static_cast<char>('1' + i % 9);
    call += static_cast<char>('A' + i / 9 / 26 / 26 % 26);
    call += static_cast<char>('A' + i / 9 / 26 % 26);
    call += static_cast<char>('A' + i / 9 % 26);
    const Place& pl = places[(i * 7) % 10];
    const std::string surname = surnames[(i * 11) % 15];
    in.us.push_back(
        US({{1, call},
            {2, pl.state},
            {3, pl.zip},
            {4, "g"},
            {5, "03151998"},
            {6, "03152008"},
            {11, pl.county},
            {13, "PAT " + surname + ", " + std::to_string(100 + i) + " ELM ST, " + pl.city},
            {16, "United States"},
            {17, "United States"}},
           surname));
  }
  return in;
}

// Writes the edition under dir/data.
inline void WriteEditionFiles(const TBuildInput& in, const std::string& dir) {
  WriteEdition(in, dir);
}

// The fixture edition in a temporary folder.
struct TFixtureEdition {
  TestDir dir;
  TFixtureEdition() { WriteEditionFiles(Input(), dir.path()); }
  const std::string& path() const { return dir.path(); }
};

}  // namespace fixture
