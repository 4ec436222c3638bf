#pragma once
// A small edition for the look-up and main window tests: hand-made International and U.S.
// entries with every displayed field, plus 1,200 generated U.S. entries so that every U.S. order
// is long enough for steps of 1000. Written file by file in the edition layout (magic, the
// International records in call order, then the U.S. records in call order; orders sorted by
// (key, reference)).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "TestDir.h"
#include "UBuildEntry.h"
#include "dataset/UDataSet.h"
#include "dataset/UEdition.h"
#include "dataset/UEntry.h"
#include "storage/UIndexWriter.h"

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
  in.intl = {
      Intl({{1, "DL1ABC"}, {2, "A"}, {3, "Hans Mueller, Hauptstrasse 5, 10115 Berlin"},
            {4, "Germany"}, {5, "Germany"}, {6, "1"}, {7, "QRV on 40 m every evening"},
            {8, "+49 30 1234567"}, {9, "dl1abc@example.org"}, {10, "JO62QM"}},
           3),
      Intl({{1, "G3XYZ"}, {2, "Full"}, {3, "John Smith, 12 High Street, Leeds LS1 4AB"},
            {4, "England"}, {5, "England"}, {10, "IO93FT"}}),
      Intl({{1, "JA1AA"}, {3, "Taro Yamada, 1-2-3 Ginza, Tokyo"}, {4, "Japan"}, {5, "Japan"},
            {10, "PM95UQ"}}),
      Intl({{1, "VK2XX"}, {3, "Bruce Jones, 4 Beach Rd, Sydney"}, {4, "Australia"},
            {5, "Australia"}, {10, "QF56OD"}},
           7),
      Intl({{1, "3D2AG"}, {3, "Antonio Ravai, Suva"}, {4, "Fiji"}, {5, "Fiji"}}),
      Intl({{1, "F5ABC"}, {3, "Marie Dupont, 8 Rue de la Paix, Paris"}, {4, "France"},
            {5, "France"}, {10, "JN18EU"}}),
  };
  in.us = {
      US({{1, "W1AW"}, {2, "CT"}, {3, "06111"}, {4, "B"}, {5, "01011996"}, {6, "01012006"},
          {8, "72.7289"}, {9, "41.7147"}, {10, "860"}, {11, "HARTFORD"}, {12, "EST"},
          {13, "ARRL HQ STATION, 225 MAIN ST, NEWINGTON"}, {16, "United States"},
          {17, "United States"}, {22, "Headquarters station of the league"},
          {24, "w1aw@example.org"}},
         "ARRL", 12),
      US({{1, "K1ABC"}, {2, "MA"}, {3, "02108"}, {4, "e"}, {5, "07041999"}, {6, "07042009"},
          {8, "71.0636"}, {9, "42.3581"}, {10, "617"}, {11, "SUFFOLK"}, {12, "EST"},
          {13, "JOHN Q SMITH, 1 BEACON ST, BOSTON"}, {16, "United States"},
          {17, "United States"}, {18, "2"}, {19, "N1XYZ"}, {20, "g"}, {21, "T"}},
         "SMITH", 12),
      US({{1, "N<XX"}, {2, "CO"}, {3, "80202"}, {4, "t"}, {8, "104.9903"}, {9, "39.7392"},
          {11, "DENVER"}, {13, "MARY JONES, 5 LARIMER ST, DENVER"}, {16, "United States"},
          {17, "United States"}},
         "JONES"),
      US({{1, "W9ZZ"}, {2, "IL"}, {3, "60601"}, {4, "x"}, {11, "COOK"},
          {13, "PAUL SMITH, 9 LAKE SHORE DR, CHICAGO"}, {16, "United States"},
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
  static const char* const surnames[] = {"ADAMS", "BAKER", "CLARK", "DAVIS", "EVANS",
                                         "GREEN", "HILL",  "KING",  "LEE",   "MOORE",
                                         "NELSON", "PARKER", "REED", "SCOTT", "TURNER"};
  for (int i = 0; i < 1200; ++i) {
    std::string call = "KB";
    call += static_cast<char>('1' + i % 9);
    call += static_cast<char>('A' + i / 9 / 26 / 26 % 26);
    call += static_cast<char>('A' + i / 9 / 26 % 26);
    call += static_cast<char>('A' + i / 9 % 26);
    const Place& pl = places[(i * 7) % 10];
    const std::string surname = surnames[(i * 11) % 15];
    in.us.push_back(US({{1, call},
                        {2, pl.state},
                        {3, pl.zip},
                        {4, "g"},
                        {5, "03151998"},
                        {6, "03152008"},
                        {11, pl.county},
                        {13, "PAT " + surname + ", " + std::to_string(100 + i) + " ELM ST, " +
                                 pl.city},
                        {16, "United States"},
                        {17, "United States"}},
                       surname));
  }
  return in;
}

inline std::string CallKey(int index, const TBuildEntry& e) {
  return MakeSearchKey(index, e.FieldOr(1));
}

inline std::string CityOf(const std::string& address) {
  const size_t at = address.rfind(", ");
  return at == std::string::npos ? std::string() : address.substr(at + 2);
}

// Writes the edition under dir/data.
inline void WriteEditionFiles(const TBuildInput& in, const std::string& dir) {
  namespace fs = std::filesystem;
  fs::create_directories(dir + "/data");
  std::vector<TBuildEntry> intl = in.intl, us = in.us;
  auto byCall = [](int index) {
    return [index](const TBuildEntry& a, const TBuildEntry& b) {
      return CallKey(index, a) < CallKey(index, b);
    };
  };
  std::sort(intl.begin(), intl.end(), byCall(0));
  std::sort(us.begin(), us.end(), byCall(1));

  auto record = [](const TBuildEntry& e) {
    TEntryRecord r;
    r.db = e.db;
    r.mapNr = e.mapNr;
    for (const auto& [tag, text] : e.fields) AppendField(r, tag, text);
    return r;
  };
  std::vector<TEntryRecord> recs;
  int64_t at = sizeof kDataFileMagic;
  for (const auto* list : {&intl, &us})
    for (const auto& e : *list) {
      TEntryRecord r = record(e);
      r.ref = static_cast<int32_t>(at);
      at += static_cast<int64_t>(EncodeRecord(r).size());
      recs.push_back(r);
    }
  const size_t nIntl = intl.size();

  // Orders: index items sorted by (key, ref); positions from the sorted order.
  std::vector<std::vector<TIndexItem>> orders(kOrderCount);
  for (size_t i = 0; i < nIntl; ++i)
    orders[0].push_back({CallKey(0, intl[i]), recs[i].ref});
  for (size_t i = 0; i < us.size(); ++i) {
    const TBuildEntry& e = us[i];
    const int32_t ref = recs[nIntl + i].ref;
    orders[1].push_back({CallKey(1, e), ref});
    orders[2].push_back({MakeSearchKey(2, e.FieldOr(3)), ref});
    orders[3].push_back({MakeSearchKey(3, e.surname), ref});
    orders[4].push_back({MakeSearchKey(4, CityOf(e.FieldOr(13))), ref});
    orders[5].push_back({MakeSearchKey(5, e.FieldOr(11)), ref});
  }
  const int slotOf[kOrderCount] = {0, upCall, upZIP, upName, upCity, upCounty};
  TEdition ed;
  ed.title = in.title;
  ed.intlCount = static_cast<int32_t>(nIntl);
  ed.usCount = static_cast<int32_t>(us.size());
  std::string seq;
  int32_t start = 0;
  for (int o = 0; o < kOrderCount; ++o) {
    auto& items = orders[static_cast<size_t>(o)];
    for (auto& it : items) it.key = it.key.substr(0, static_cast<size_t>(kIndexKeyLengths[o]));
    SortIndexItems(items);
    for (size_t p = 0; p < items.size(); ++p) {
      for (auto& r : recs)
        if (r.ref == items[p].ref) r.pos[static_cast<size_t>(slotOf[o])] = static_cast<int32_t>(p);
      seq.append(reinterpret_cast<const char*>(&items[p].ref), 4);
    }
    ed.stretches[static_cast<size_t>(o)] = {start, start + static_cast<int32_t>(items.size()) - 1};
    start += static_cast<int32_t>(items.size());
    const std::string rel = kIndexFileNames[o];
    if (!WriteIndexFile(dir + "/data/" + rel.substr(5), items, kIndexKeyLengths[o],
                        kIndexDuplicates[o]))
      throw std::runtime_error("cannot write " + rel);
  }
  std::string data(kDataFileMagic, sizeof kDataFileMagic);
  for (const auto& r : recs) data += EncodeRecord(r);
  std::ofstream(dir + "/data/thedata.dat", std::ios::binary) << data;
  std::ofstream(dir + "/data/spur.trc", std::ios::binary) << seq;
  std::ofstream(dir + "/data/edition.ini", std::ios::binary) << FormatEdition(ed);
}

// The fixture edition in a temporary folder.
struct TFixtureEdition {
  TestDir dir;
  TFixtureEdition() { WriteEditionFiles(Input(), dir.path()); }
  const std::string& path() const { return dir.path(); }
};

}  // namespace fixture
