// The FCC dump as it changes: daily transaction files over the weekly dump, places from the ZIP
// only when it lies in the licence's state (else from the city), damaged downloads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "EditionReadBack.h"
#include "TestDir.h"
#include "builder/UEditionWriter.h"
#include "builder/UFccImport.h"
#include "builder/USourceTables.h"
#include "builder/UUSPlaces.h"
#include "common/IOUtil.h"
#include "dataset/UCoverage.h"
#include "dataset/UDataSet.h"

namespace fs = std::filesystem;

namespace {

const std::string kDaily = std::string(TELLMARK_TESTS_DIR) + "/fixtures/fcc-daily";
const std::string kSources = std::string(TELLMARK_TESTS_DIR) + "/../data/sources";

std::string Slurp(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s)) << path;
  return s;
}

class FccDaily : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tables_ = new TSourceTables(LoadSourceTables(kSources));
    places_ = new TUSPlaces(*tables_);
  }
  static void TearDownTestSuite() {
    delete places_;
    delete tables_;
    places_ = nullptr;
    tables_ = nullptr;
  }

  // Imports with the places of the real source tables.
  static TFccImportReport Import(const std::string& dump, const std::vector<std::string>& daily,
                                 std::vector<TBuildEntry>& us) {
    TUSPlaces& places = *places_;
    TFccImportOptions o;
    o.zipPlace = [&](std::string_view zip, TFccPlace& p) { return places.ZipPlace(zip, p); };
    o.cityPlace = [&](std::string_view city, std::string_view state, TFccPlace& p) {
      return places.CityPlace(city, state, p);
    };
    o.country = [&](std::string_view state, std::string& c, std::string& d) {
      places.Country(state, c, d);
    };
    o.daily = daily;
    return ImportFcc(dump, us, o);
  }

  // Every file of the edition written from the dump, by name.
  static std::map<std::string, std::string> Edition(const std::string& dump,
                                                    const std::vector<std::string>& daily) {
    TBuildInput in;
    in.title = "FCC test";
    Import(dump, daily, in.us);
    TestDir d;
    WriteEdition(in, d.path());
    std::map<std::string, std::string> files;
    for (const auto& f : fs::directory_iterator(d.file("data")))
      files[f.path().filename().string()] = Slurp(f.path().string());
    return files;
  }

  static std::map<std::string, const TBuildEntry*> ByCall(const std::vector<TBuildEntry>& v) {
    std::map<std::string, const TBuildEntry*> m;
    for (const auto& e : v) m[e.FieldOr(1)] = &e;
    return m;
  }

  static TSourceTables* tables_;
  static TUSPlaces* places_;
};
TSourceTables* FccDaily::tables_ = nullptr;
TUSPlaces* FccDaily::places_ = nullptr;

TEST_F(FccDaily, DumpAndDailyFilesGiveTheUpdatedDumpsEdition) {
  const auto expected = Edition(kDaily + "/l_amat_after.zip", {});
  ASSERT_FALSE(expected.empty());
  // Archives in any order are applied by their dates; folders in the order given.
  const auto fromZips =
      Edition(kDaily + "/l_amat.zip",
              {kDaily + "/l_am_wed.zip", kDaily + "/l_am_mon.zip", kDaily + "/l_am_tue.zip"});
  const auto fromFolders =
      Edition(kDaily + "/weekly", {kDaily + "/mon", kDaily + "/tue", kDaily + "/wed"});
  for (const auto* got : {&fromZips, &fromFolders}) {
    ASSERT_EQ(got->size(), expected.size());
    for (const auto& [name, bytes] : expected) {
      ASSERT_TRUE(got->count(name)) << name;
      EXPECT_TRUE(got->at(name) == bytes) << name << " differs";
    }
  }
  // Without the daily files the edition is another one (the comparison can fail).
  EXPECT_NE(Edition(kDaily + "/l_amat.zip", {}).at("thedata.dat"), expected.at("thedata.dat"));
  // Applied in the wrong order, the Monday address of K1EEE would win over Wednesday's.
  EXPECT_NE(Edition(kDaily + "/weekly", {kDaily + "/wed", kDaily + "/mon"}).at("thedata.dat"),
            Edition(kDaily + "/weekly", {kDaily + "/mon", kDaily + "/wed"}).at("thedata.dat"));
}

TEST_F(FccDaily, CancelRenewNewCallAndNewAddress) {
  std::vector<TBuildEntry> us;
  const TFccImportReport r =
      Import(kDaily + "/l_amat.zip",
             {kDaily + "/l_am_tue.zip", kDaily + "/l_am_wed.zip", kDaily + "/l_am_mon.zip"}, us);
  ASSERT_EQ(r.dailyApplied.size(), 3u);
  EXPECT_NE(r.dailyApplied[0].find("l_am_mon.zip"), std::string::npos);
  EXPECT_NE(r.dailyApplied[2].find("l_am_wed.zip"), std::string::npos);
  EXPECT_EQ(r.dailyLicences, 5u);
  EXPECT_EQ(r.dailyWithoutHeader, 0u);
  const auto m = ByCall(us);
  EXPECT_FALSE(m.count("W1BBB"));   // cancelled
  EXPECT_FALSE(m.count("KB1DDD"));  // now AA1DD
  ASSERT_TRUE(m.count("N1CCC"));    // expired, renewed
  EXPECT_EQ(m.at("N1CCC")->FieldOr(6), "12082036");
  ASSERT_TRUE(m.count("AA1DD"));
  EXPECT_EQ(m.at("AA1DD")->FieldOr(19), "KB1DDD");
  EXPECT_EQ(m.at("AA1DD")->FieldOr(21), "T");
  ASSERT_TRUE(m.count("K1EEE"));  // moved twice: Wednesday's address
  EXPECT_EQ(m.at("K1EEE")->FieldOr(13), "EVE EVANS, 12 PEAK AVE, DENVER");
  EXPECT_EQ(m.at("K1EEE")->FieldOr(2), "CO");
  EXPECT_EQ(m.at("K1EEE")->FieldOr(11), "Denver");
  EXPECT_TRUE(m.count("KD9NEW"));  // new
  EXPECT_EQ(us.size(), 7u);
}

TEST_F(FccDaily, AZipOfAnotherStateNeverGivesItsCounty) {
  std::vector<TBuildEntry> us;
  const TFccImportReport r = Import(kDaily + "/l_amat.zip", {}, us);
  const auto m = ByCall(us);
  // ALBANY, NY with Hartford's ZIP: Albany's county and place, the ZIP kept as written.
  const TBuildEntry& ny = *m.at("K2FFF");
  EXPECT_EQ(ny.FieldOr(3), "06103");
  EXPECT_EQ(ny.FieldOr(11), "Albany");
  EXPECT_EQ(ny.FieldOr(12), "EST");
  EXPECT_TRUE(ny.FieldOr(10) == "518" || ny.FieldOr(10) == "838") << ny.FieldOr(10);
  EXPECT_NEAR(std::stod(ny.FieldOr(9)), 42.67, 0.1);
  EXPECT_NEAR(std::stod(ny.FieldOr(8)), 73.78, 0.1);
  // A town the tables do not know, with Denver's ZIP: no place at all rather than Denver's.
  const TBuildEntry& pa = *m.at("K3GGG");
  for (int tag : {8, 9, 10, 11, 12}) EXPECT_EQ(pa.FieldOr(tag), "") << tag;
  // Same ZIP in its own state: its own place.
  EXPECT_EQ(m.at("K1AAA")->FieldOr(11), "Capitol");
  EXPECT_EQ(r.zipOtherState, 2u);
  EXPECT_EQ(r.placeFromCity, 1u);
  EXPECT_EQ(r.placeNone, 1u);
  EXPECT_EQ(r.placeFromZip, 4u);  // N1CCC is expired in the weekly dump
}

// One daily file (a folder over the weekly folder) and what the edition then holds.
struct TPartialCase {
  const char* name;
  std::string hd;  // the daily file's HD.dat, EN.dat and AM.dat (CRLF added per line)
  std::string en;
  std::string am;
  const char* call;  // the licence looked at
  bool present;
  std::vector<std::pair<int, std::string>> fields;  // its fields then
  size_t entries;
  uint64_t withoutHeader;
  uint64_t licences = 1;  // named by the daily file
};

void PrintTo(const TPartialCase& c, std::ostream* os) { *os << c.name; }

class FccDailyRecords : public FccDaily, public ::testing::WithParamInterface<TPartialCase> {};

TEST_P(FccDailyRecords, EachRecordReplacesItsOwnKindOnly) {
  const TPartialCase& c = GetParam();
  TestDir d;
  fs::create_directories(d.file("day"));
  const auto write = [&](const char* file, const std::string& text) {
    std::string t;
    for (std::string_view v(text); !v.empty();) {
      const size_t nl = v.find('\n');
      t += std::string(v.substr(0, nl)) + "\r\n";
      v.remove_prefix(nl == std::string_view::npos ? v.size() : nl + 1);
    }
    std::ofstream(d.file(std::string("day/") + file), std::ios::binary) << t;
  };
  write("HD.dat", c.hd);
  write("EN.dat", c.en);
  write("AM.dat", c.am);
  std::vector<TBuildEntry> us;
  const TFccImportReport r = Import(kDaily + "/weekly", {d.file("day")}, us);
  const auto m = ByCall(us);
  ASSERT_EQ(m.count(c.call) == 1, c.present) << c.call;
  for (const auto& [tag, value] : c.fields) EXPECT_EQ(m.at(c.call)->FieldOr(tag), value) << tag;
  EXPECT_EQ(us.size(), c.entries);
  EXPECT_EQ(r.dailyLicences, c.licences);
  EXPECT_EQ(r.dailyWithoutHeader, c.withoutHeader);
  EXPECT_EQ(r.malformed, 0u) << (r.malformedSamples.empty() ? "" : r.malformedSamples[0]);
}

const char* const kEnNewAddress =
    "EN|2001|||K1AAA|L||ABLE, ANN|ANN||ABLE|||||1 NEW ST|BOSTON|MA|02108|||||I||||||";
// A header record of the full 59-field layout.
std::string Hd(const std::string& head) { return head + std::string(50, '|'); }
const std::string kHdNewLicence = Hd("HD|2099|||KC1NEW|A|HA|12/07/2026|12/07/2036");
const char* const kEnNewLicence =
    "EN|2099|||KC1NEW|L||NEW, NED|NED||NEW|||||9 NEW ST|BOSTON|MA|02108|||||I||||||";

INSTANTIATE_TEST_SUITE_P(
    Daily, FccDailyRecords,
    ::testing::Values(
        // An address change alone: the class and dates stay those of the weekly dump.
        TPartialCase{"AddressAlone",
                     "",
                     kEnNewAddress,
                     "",
                     "K1AAA",
                     true,
                     {{13, "ANN ABLE, 1 NEW ST, BOSTON"},
                      {2, "MA"},
                      {4, "E"},
                      {5, "01102020"},
                      {6, "01102030"},
                      {11, "Suffolk"}},
                     6,
                     0},
        // A class change alone: the address stays.
        TPartialCase{"ClassAlone",
                     "",
                     "",
                     "AM|2006|||K2FFF|E||||||||||||",
                     "K2FFF",
                     true,
                     {{4, "E"}, {13, "FAY FOX, 6 STATE ST, ALBANY"}, {5, "06062022"}},
                     6,
                     0},
        // A renewal alone: new dates, the rest stays.
        TPartialCase{"HeaderAlone",
                     Hd("HD|2001|||K1AAA|A|HA|12/07/2026|12/07/2036"),
                     "",
                     "",
                     "K1AAA",
                     true,
                     {{5, "12072026"}, {6, "12072036"}, {4, "E"}, {3, "06103"}},
                     6,
                     0},
        TPartialCase{"Cancelled",
                     Hd("HD|2001|||K1AAA|C|HA|01/10/2020|01/10/2030"),
                     "",
                     "",
                     "K1AAA",
                     false,
                     {},
                     5,
                     0},
        TPartialCase{"NewLicence",
                     kHdNewLicence,
                     kEnNewLicence,
                     "AM|2099|||KC1NEW|T||||||||||||",
                     "KC1NEW",
                     true,
                     {{4, "T"}, {13, "NED NEW, 9 NEW ST, BOSTON"}},
                     7,
                     0},
        // Name and address of a licence no header record names anywhere: left out, counted.
        TPartialCase{"NoHeaderAnywhere", "", kEnNewLicence, "", "KC1NEW", false, {}, 6, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// An EN record of KC1NEW (2099) with the given name fields (entity, first, last), street and
// what follows the applicant type.
std::string En(const std::string& usi, const std::string& entity, const std::string& first,
               const std::string& last, const std::string& street, const std::string& more) {
  return "EN|" + usi + "|||KC1NEW|L||" + entity + "|" + first + "||" + last + "|||||" + street +
         "|BOSTON|MA|02108|||||" + (first.empty() ? "B" : "I") + more;
}

// What real files hold: records of a later, longer layout; a "|" inside a text (the files have
// no quoting); several licences of one call.
INSTANTIATE_TEST_SUITE_P(
    RealFiles, FccDailyRecords,
    ::testing::Values(
        TPartialCase{"LongerRecords",
                     kHdNewLicence + "|||",
                     En("2099", "NEW, NED", "NED", "NEW", "9 NEW ST", "||||||X|Y|Z"),
                     "AM|2099|||KC1NEW|T|||||||||||||NEXT|FIELDS",
                     "KC1NEW",
                     true,
                     {{4, "T"}, {13, "NED NEW, 9 NEW ST, BOSTON"}, {2, "MA"}, {3, "02108"}},
                     7,
                     0},
        // A club's name with a "|" in a record of the 27-field layout.
        TPartialCase{"BarInAClubName",
                     kHdNewLicence,
                     En("2099", "ARC | DX CLUB", "", "", "9 NEW ST", "|||"),
                     "",
                     "KC1NEW",
                     true,
                     {{4, "B"}, {13, "ARC | DX CLUB, 9 NEW ST, BOSTON"}, {2, "MA"}, {3, "02108"}},
                     7,
                     0},
        // In a person's name twice (entity name and last name).
        TPartialCase{"BarInAPersonsName",
                     kHdNewLicence,
                     En("2099", "O|BRIEN, PAT", "PAT", "O|BRIEN", "9 NEW ST", "||||||"),
                     "AM|2099|||KC1NEW|G||||||||||||",
                     "KC1NEW",
                     true,
                     {{4, "G"}, {13, "PAT O|BRIEN, 9 NEW ST, BOSTON"}, {2, "MA"}, {3, "02108"}},
                     7,
                     0},
        TPartialCase{"BarInAStreet",
                     kHdNewLicence,
                     En("2099", "NEW, NED", "NED", "NEW", "9 A|B ST", "||||||"),
                     "AM|2099|||KC1NEW|E||||||||||||",
                     "KC1NEW",
                     true,
                     {{4, "E"}, {13, "NED NEW, 9 A|B ST, BOSTON"}, {3, "02108"}},
                     7,
                     0},
        // Three licences of KC1NEW: the active one with the latest grant wins over an older
        // active one and a newer cancelled one.
        TPartialCase{"SeveralLicencesOfOneCall",
                     Hd("HD|2097|||KC1NEW|C|HA|01/05/2025|01/05/2035") + "\n" +
                         Hd("HD|2098|||KC1NEW|A|HA|03/04/2024|03/04/2034") + "\n" +
                         Hd("HD|2099|||KC1NEW|A|HA|02/03/2020|02/03/2030"),
                     En("2097", "NEW, NED", "NED", "NEW", "7 OLD ST", "||||||") + "\n" +
                         En("2098", "NEW, NED", "NED", "NEW", "8 MID ST", "||||||") + "\n" +
                         En("2099", "NEW, NED", "NED", "NEW", "9 NEW ST", "||||||"),
                     "",
                     "KC1NEW",
                     true,
                     {{13, "NED NEW, 8 MID ST, BOSTON"}, {5, "03042024"}},
                     7,
                     0,
                     3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FccDaily, ADailyFileOfTheDumpsOwnDayIsApplied) {
  // l_am_sun.zip is dated an hour before the Sunday dump: the same day, so applied.
  std::vector<TBuildEntry> us;
  const TFccImportReport r =
      Import(kDaily + "/l_amat.zip", {kDaily + "/l_am_mon.zip", kDaily + "/l_am_sun.zip"}, us);
  ASSERT_EQ(r.dailyApplied.size(), 2u);
  EXPECT_NE(r.dailyApplied[0].find("l_am_sun.zip"), std::string::npos);
  const auto m = ByCall(us);
  EXPECT_EQ(m.at("K3GGG")->FieldOr(4), "G");
  EXPECT_EQ(m.at("K3GGG")->FieldOr(13), "GUS GRAY, 7 LANE, NOWHERESVILLE");
  EXPECT_FALSE(m.count("W1BBB"));  // Monday's cancellation, after it
}

TEST_F(FccDaily, ADailyFileOlderThanTheDumpIsRefused) {
  std::vector<TBuildEntry> us;
  try {
    Import(kDaily + "/l_amat_after.zip", {kDaily + "/l_am_mon.zip"}, us);
    FAIL() << "no error";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("l_am_mon.zip"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("older"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(us.empty());
}

TEST_F(FccDaily, DamagedDownloadsNameTheFileMemberAndReason) {
  TestDir d;
  const std::string good = Slurp(kDaily + "/l_am_tue.zip");
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(d.file(name), std::ios::binary) << bytes;
    return d.file(name);
  };
  const auto error = [&](const std::string& daily) {
    std::vector<TBuildEntry> us;
    try {
      Import(kDaily + "/l_amat.zip", {daily}, us);
    } catch (const EStatusError& e) {
      EXPECT_TRUE(us.empty());
      return std::string(e.what());
    }
    return std::string("no error");
  };
  const std::string cut = error(write("l_am_cut.zip", good.substr(0, good.size() - 30)));
  EXPECT_NE(cut.find("l_am_cut.zip"), std::string::npos) << cut;
  // A changed byte in the middle of the first member's deflated data.
  const size_t hdData = 30 + 6;  // local header, "HD.dat"
  std::string flipped = good;
  flipped[hdData + 20] = static_cast<char>(flipped[hdData + 20] ^ 0x10);
  const std::string bad = error(write("l_am_bad.zip", flipped));
  EXPECT_NE(bad.find("member HD.dat"), std::string::npos) << bad;
  EXPECT_NE(bad.find("damaged"), std::string::npos) << bad;
  EXPECT_EQ(error(d.file("absent.zip")).find("cannot open"), 0u);
}

TEST_F(FccDaily, CoverageOfTheUpdatedDump) {
  TBuildInput in;
  Import(kDaily + "/l_amat_after.zip", {}, in.us);
  TestDir d;
  WriteEdition(in, d.path());
  const TCoverage c = CountEditionCoverage(d.path());
  EXPECT_EQ(c.us, 7);
  EXPECT_EQ(c.usWithCounty, 6);  // all but the unknown town
  EXPECT_EQ(c.usWithCoordinates, 6);
  EXPECT_EQ(c.usWithLocator, 6);
  EXPECT_EQ(c.usStates, (std::map<std::string, int64_t>{
                            {"AK", 1}, {"CO", 2}, {"CT", 1}, {"MA", 1}, {"NY", 1}, {"PA", 1}}));
  EXPECT_EQ(c.usClasses.at("T - Technician"), 3);
  EXPECT_EQ(c.intl, 0);
}

TEST_F(FccDaily, EveryDamagedByteIsAnErrorOrAResultNeverACrash) {
  TestDir d;
  const std::string good = Slurp(kDaily + "/l_am_wed.zip");
  int errors = 0;
  for (size_t i = 0; i < good.size(); i += 3) {
    std::string bad = good;
    bad[i] = static_cast<char>(bad[i] ^ 0xA5);
    std::ofstream(d.file("l_am_wed.zip"), std::ios::binary | std::ios::trunc) << bad;
    std::vector<TBuildEntry> us;
    try {
      Import(kDaily + "/l_amat.zip", {d.file("l_am_wed.zip")}, us);
    } catch (const EStatusError& e) {
      ++errors;
      EXPECT_NE(std::string(e.what()).find("l_am_wed.zip"), std::string::npos) << e.what();
      EXPECT_TRUE(us.empty());
    }
  }
  EXPECT_GT(errors, static_cast<int>(good.size() / 3 / 2));  // most changes are caught
}

// ---------------------------------------------------------------------------------------------
// Coverage figures

TEST(Coverage, CountedFromTheStoredFieldsAndReadBackAlike) {
  TBuildInput in;
  const auto us = [&](std::vector<std::pair<int, std::string>> f, std::string surname) {
    TBuildEntry e;
    e.db = TDatabase::US;
    e.fields = std::move(f);
    e.surname = std::move(surname);
    in.us.push_back(std::move(e));
  };
  us({{1, "W1A"}, {2, "CT"}, {4, "E"}, {8, "72.6800"}, {9, "41.7600"}, {11, "Hartford"}}, "A");
  us({{1, "W1B"}}, "B");
  // Coordinates that are no numbers: the program shows a locator from them all the same.
  us({{1, "W1C"}, {2, "ct"}, {4, "g"}, {8, "west"}, {9, "north"}, {11, "X"}}, "C");
  us({{1, "W1D"}, {2, "NY"}, {4, "E"}, {8, "73.7500"}}, "D");  // half a coordinate
  TBuildEntry dx;
  dx.fields = {{1, "DL1AA"}, {5, "Germany"}, {10, "JO62QM"}};
  in.intl.push_back(dx);
  dx.fields = {{1, "G3AA"}};
  in.intl.push_back(dx);

  TCoverage direct;
  for (const auto* list : {&in.us, &in.intl})
    for (const TBuildEntry& e : *list) direct.Add(e.db, [&](int tag) { return e.FieldOr(tag); });
  TestDir d;
  WriteEdition(in, d.path());
  const TCoverage read = CountEditionCoverage(d.path());
  for (const TCoverage* c : {&std::as_const(direct), &read}) {
    EXPECT_EQ(c->us, 4);
    EXPECT_EQ(c->usClasses,
              (std::map<std::string, int64_t>{{"", 1}, {"E - Extra", 2}, {"G - General", 1}}));
    EXPECT_EQ(c->usStates, (std::map<std::string, int64_t>{{"", 1}, {"CT", 2}, {"NY", 1}}));
    EXPECT_EQ(c->usWithCounty, 2);
    EXPECT_EQ(c->usWithCoordinates, 2);
    EXPECT_EQ(c->usWithLocator, 2);
    EXPECT_EQ(c->intl, 2);
    EXPECT_EQ(c->intlWithLocator, 1);
    EXPECT_EQ(c->intlWithDxcc, 1);
  }
  const std::string text = read.Text();
  EXPECT_NE(text.find("with county 2 (50.0%), coordinates 2 (50.0%), locator 2 (50.0%)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("E - Extra"), std::string::npos);
  EXPECT_LT(text.find("E - Extra"), text.find("G - General"));  // most frequent first
  EXPECT_NE(text.find("with locator 1 (50.0%), DXCC entity 1 (50.0%)"), std::string::npos);
  EXPECT_THROW(CountEditionCoverage(d.file("nothing")), EDataSetError);
}

// ---------------------------------------------------------------------------------------------
// The city-and-state table

TEST(USPlaces, CityTableFromTheZips) {
  TSourceTables t;
  const auto zip = [&](const char* z, const char* city, const char* state, const char* county,
                       double lat, double lon, double people) {
    TZipRow r;
    r.zip = z, r.city = city, r.state = state, r.county = county, r.timeZone = "EST";
    r.lat = lat, r.lon = lon, r.population = people;
    t.zips.push_back(r);
  };
  zip("10001", "Saint Albans", "VT", "Franklin", 44.0, -73.0, 1000);
  zip("10002", "Saint Albans", "VT", "Franklin", 46.0, -73.0, 3000);
  zip("10003", "Saint Albans", "VT", "Grand Isle", 40.0, -70.0, 2000);
  zip("10004", "Saint Albans", "WV", "Kanawha", 38.4, -81.8, 500);
  zip("10005", "Fort Lee", "NJ", "Bergen", 40.85, -73.97, 0);
  zip("10006", "Fort Lee", "NJ", "Bergen", 40.87, -73.99, 0);
  t.areaCodes = {{"802", "VT", 44.0, -72.7}, {"304", "WV", 38.5, -80.8}};
  TUSPlaces p(t);
  EXPECT_EQ(p.CityCount(), 3u);
  TFccPlace pl;
  // The county with most people (4000 against 2000), at its weighted centre.
  ASSERT_TRUE(p.CityPlace("ST. ALBANS", "VT", pl));
  EXPECT_EQ(pl.county, "Franklin");
  EXPECT_EQ(pl.latitude, "45.5000");
  EXPECT_EQ(pl.longitude, "73.0000");
  EXPECT_EQ(pl.areaCode, "802");
  EXPECT_EQ(pl.state, "VT");
  ASSERT_TRUE(p.CityPlace("saint  albans", "WV", pl));
  EXPECT_EQ(pl.county, "Kanawha");
  EXPECT_EQ(pl.areaCode, "304");
  // ZIPs without people: the plain centre.
  ASSERT_TRUE(p.CityPlace("FT LEE", "NJ", pl));
  EXPECT_EQ(pl.latitude, "40.8600");
  EXPECT_FALSE(p.CityPlace("ST ALBANS", "NY", pl));
  EXPECT_FALSE(p.CityPlace("ALBANS", "VT", pl));
  EXPECT_FALSE(p.CityPlace("", "VT", pl));
  ASSERT_TRUE(p.ZipPlace("10004", pl));
  EXPECT_EQ(pl.state, "WV");
  EXPECT_FALSE(p.ZipPlace("99999", pl));
}

TEST(USPlaces, CityKeys) {
  const std::vector<std::pair<std::string, std::string>> same = {
      {"St. Louis", "SAINT LOUIS"},      {"Fort Worth", "FT WORTH"},
      {"Mount Vernon", "MT. VERNON"},    {"Winston-Salem", "WINSTON SALEM"},
      {"Coeur d'Alene", "COEUR DALENE"}, {"  North   Pole ", "N POLE"}};
  for (const auto& [a, b] : same) EXPECT_EQ(TUSPlaces::CityKey(a), TUSPlaces::CityKey(b)) << a;
  EXPECT_NE(TUSPlaces::CityKey("Springfield"), TUSPlaces::CityKey("Springfeld"));
  EXPECT_EQ(TUSPlaces::CityKey("...").size(), 0u);
}

}  // namespace
