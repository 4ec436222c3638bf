// Canada's amateur licence register as International entries: the importer on a fixture written
// in the register's exact format, and the stations as tellmark-lookup finds them in an edition.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "TestDir.h"
#include "builder/UIsedImport.h"
#include "builder/USourceTables.h"
#include "callbook/UCallbookRecord.h"
#include "common/IOUtil.h"

namespace {

const std::string kRegister = std::string(TELLMARK_TESTS_DIR) + "/fixtures/ised/amateur_delim.txt";
const std::string kSources = std::string(TELLMARK_SOURCE_DIR) + "/data/sources";

const TSourceTables& Tables() {
  static const TSourceTables t = LoadSourceTables(kSources);
  return t;
}

std::string FieldOf(const TBuildEntry& e, int tag) {
  for (const auto& [t, text] : e.fields)
    if (t == tag) return std::string(text);
  return {};
}

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

struct TClassCase {
  const char* a;
  const char* b;
  const char* c;
  const char* d;
  const char* e;
  const char* text;
};

TEST(IsedImport, ClassTextAndPostalCode) {
  const TClassCase cases[] = {
      {"A", "", "", "", "", "Basic"},
      {"", "", "", "", "E", "Basic with Honours"},
      {"A", "", "", "", "E", "Basic with Honours"},
      {"A", "", "C", "D", "", "Basic, Advanced, 12 WPM"},
      {"A", "B", "C", "", "", "Basic, 12 WPM"},
      {"A", "B", "", "", "", "Basic, 5 WPM"},
      {"", "", "C", "D", "E", "Basic with Honours, Advanced, 12 WPM"},
      {"", "", "", "", "", ""},
  };
  for (const auto& k : cases)
    EXPECT_EQ(IsedClassText(k.a, k.b, k.c, k.d, k.e), k.text) << k.a << k.b << k.c << k.d << k.e;
  EXPECT_EQ(CanadianPostalCode("B4E2X8"), "B4E 2X8");
  EXPECT_EQ(CanadianPostalCode("b4e 2x8"), "B4E 2X8");
  EXPECT_EQ(CanadianPostalCode("12345"), "12345");
  EXPECT_EQ(CanadianPostalCode(""), "");
}

TEST(IsedImport, StationsBadLinesAndTheCsvWins) {
  TBuildInput input;
  // The user's CSV already has VE2GAG: it stays as the CSV gave it.
  TBuildEntry own;
  own.db = TDatabase::Intl;
  own.fields.emplace_back(itCall, "VE2GAG");
  own.fields.emplace_back(itAddress, "From my own list");
  input.intl.push_back(own);

  const TIsedImportReport r = ImportIsed(kRegister, input, Tables());
  EXPECT_EQ(r.lines, 11u);
  EXPECT_EQ(r.imported, 7u);
  EXPECT_EQ(r.keptFromCsv, 1u);
  EXPECT_EQ(r.clubs, 1u);
  EXPECT_EQ(r.bad, 3u);
  ASSERT_EQ(r.badSamples.size(), 3u);
  EXPECT_EQ(r.badSamples[0], "line 9: 3 fields instead of 18");
  EXPECT_EQ(r.badSamples[1], "line 10: no call sign");
  EXPECT_EQ(r.badSamples[2], "line 11: \"NOTACALL\" is not a call sign");
  EXPECT_EQ(r.locatorFromTown + r.locatorFromArea + r.withoutLocator, r.imported);
  ASSERT_EQ(input.intl.size(), 8u);
  EXPECT_EQ(FieldOf(input.intl[0], itAddress), "From my own list");
  std::set<std::string> calls;
  for (const auto& e : input.intl) calls.insert(FieldOf(e, itCall));
  EXPECT_EQ(calls.size(), 8u);  // no call twice
}

TEST(IsedImport, AnotherFileIsRefusedNamingTheHeader) {
  TestDir dir;
  const std::string path = dir.file("other.txt");
  ASSERT_TRUE(WriteFileAtomically(path, "call;name;city\r\nVE3AAA;Someone;Ottawa\r\n"));
  TBuildInput input;
  try {
    ImportIsed(path, input, Tables());
    FAIL() << "accepted another file";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find(kIsedHeader), std::string::npos) << e.what();
  }
  EXPECT_TRUE(input.intl.empty());
  EXPECT_THROW(ImportIsed(dir.file("missing.txt"), input, Tables()), EStatusError);
}

struct TStation {
  const char* call;
  const char* address;
  const char* classText;
  const char* grid;  // 6 characters: the town's; 4: the postal area's; empty: none
  const char* comments;
};

// An edition of the sample with the register: every station found as described, the sample
// with no Canadian entries of its own, a French name found typed without accents.
TEST(IsedImport, StationsInAnEditionAsTheLookupFindsThem) {
  TestDir dir;
  const std::string out = dir.path() + "/ed";
  const std::string build = Shell(std::string(TELLMARK_BUILD_BIN) + " --out '" + out +
                                  "' --sample-us 200 --no-maps --sources '" + kSources +
                                  "' --ised '" + kRegister + "' 2>&1");
  ASSERT_NE(build.find("Canadian register: 8 stations of 11 lines (1 club stations)"),
            std::string::npos)
      << build;
  EXPECT_NE(build.find("line 11: \"NOTACALL\" is not a call sign"), std::string::npos) << build;
  // The build record names the register, so that an update builds with it again.
  std::string record;
  ASSERT_TRUE(ReadWholeFile(out + "/data/build.ini", record));
  EXPECT_NE(record.find("Source=--ised=" + kRegister), std::string::npos) << record;
  setenv("TELLMARK_INI", dir.file("none.ini").c_str(), 1);
  const std::string lookup = std::string(TELLMARK_LOOKUP_BIN) + " --data '" + out + "' ";

  const TStation stations[] = {
      {"VA1AA", "Bill McFadden, 188 MILLWOOD DRIVE, MIDDLE SACKVILLE NS  B4E 2X8",
       "Basic, Advanced, 12 WPM", "FN84", ""},
      {"VA1ADV", "Advocate Fire Dept, PO BOX 126, ADVOCATE HARBOUR NS  B0M 1A0",
       "Basic, Advanced, 12 WPM", "", "Club station, responsible: James Hannon"},
      {"VA1XY", "Mary Cuddy, 12 CUDDY LANE, LOWER SACKVILLE NS  B4E 3A1", "Basic", "FN84ds", ""},
      {"VE2GAG", "H\u00e9l\u00e8ne Gagn\u00e9, 1234 RUE SAINT-DENIS, MONTR\u00c9AL QC  H2X 3K4",
       "Basic with Honours", "FN35em", ""},
      {"VE3OCE", "\u00c9lise C\u00f4t\u00e9, 55 KING ST W, TORONTO ON  M5H 1A1", "Basic, 5 WPM",
       "FN03hq", ""},
      {"VE7PEM", "Fran\u00e7ois Lef\u00e8bvre, 10 OAK AVE, PEMBERTON BC  V0N 2L0",
       "Basic, Advanced", "CO80oh", ""},
      {"VE7QQ", "Ann Berg, 4 RIDGE RD, BIRKEN BC  V0N 1B0", "Basic", "CO80", ""},
      {"VO1ZZ", "Gerry O'Brien, 9 WATER ST, ST. JOHN'S NL  A1C 1A1", "Basic, 12 WPM", "GN37pn", ""},
  };
  for (const TStation& s : stations) {
    SCOPED_TRACE(s.call);
    const auto rows = nlohmann::json::parse(Shell(lookup + "--json " + s.call + " 2>/dev/null"));
    ASSERT_EQ(rows.size(), 1u);
    const auto& r = rows[0];
    EXPECT_EQ(r.value("call", ""), s.call);
    EXPECT_EQ(r.value("match", ""), "exact");
    EXPECT_EQ(r.value("address", ""), s.address);
    EXPECT_EQ(r.value("class", ""), s.classText);
    EXPECT_EQ(r.value("grid", ""), s.grid);
    EXPECT_FALSE(r.contains("locator"));  // the JSON rows name it "grid" only
    EXPECT_EQ(r.value("country", ""), "Canada");
    EXPECT_EQ(r.value("dxcc", ""), "Canada");
    EXPECT_EQ(r.value("comments", ""), s.comments);
    // The town alone, the province and the postal code apart ("TORONTO ON  M5H 1A1").
    const std::string place = std::string(s.address).substr(std::string(s.address).rfind(", ") + 2);
    const size_t two = place.find("  ");
    EXPECT_EQ(r.value("city", ""), place.substr(0, two - 3));
    EXPECT_EQ(r.value("state", ""), place.substr(two - 2, 2));
    EXPECT_EQ(r.value("zip", ""), place.substr(two + 2));
  }

  // The entries of Canada are the register's (a town such as "Ca\u00f1ada" holds the word too).
  const auto canada =
      nlohmann::json::parse(Shell(lookup + "--json --words canada --db intl 2>/dev/null"));
  size_t canadian = 0;
  for (const auto& r : canada) canadian += r.value("country", "") == "Canada";
  EXPECT_EQ(canadian, std::size(stations));
  const auto french =
      nlohmann::json::parse(Shell(lookup + "--json --words gagne helene montreal 2>/dev/null"));
  ASSERT_EQ(french.size(), 1u);
  EXPECT_EQ(french[0].value("call", ""), "VE2GAG");
}

}  // namespace

namespace {

// A register line ended by extra empty fields is read; one with an extra value is not. The
// record made from a station says its province, postal code and town apart, with the province's
// zones (VE7(3)[2] for British Columbia, VE8(1)[3] for the Northwest Territories, VY0(2)[4] for
// Nunavut, as the country file gives them).
TEST(IsedImport, ExtraEmptyFieldsAndTheProvinceInTheRecord) {
  TestDir dir;
  const std::string path = dir.file("amateur_delim.txt");
  std::ifstream head(kRegister);
  std::string header;
  std::getline(head, header);
  ASSERT_TRUE(WriteFileAtomically(
      path, header + "\n" +
                "VA7ZZA;Ann;Lee;1 MAIN ST;VANCOUVER;BC;V6B1A1;A;;;;;;;;;;;\n"
                "VE8ZZB;Bob;Roe;2 MAIN ST;YELLOWKNIFE;NT;X1A2B3;A;;;;;;;;;;;;;\n"
                "VA3ZZC;Cy;Poe;3 MAIN ST;IQALUIT;NU;X0A0H0;A;;;;;;;;;;;\n"
                "VA3ZZD;Di;Lu;4 MAIN ST;OTTAWA;ON;K1P1J1;A;;;;;;;;;;;x\n"));
  TBuildInput input;
  const TIsedImportReport r = ImportIsed(path, input, Tables());
  EXPECT_EQ(r.imported, 3u);
  ASSERT_EQ(r.badSamples.size(), 1u);
  EXPECT_EQ(r.badSamples[0], "line 5: 19 fields instead of 18");
  TEntityTable entities = MakeEntityTable(Tables());
  struct TWant {
    const char *call, *city, *state, *zip;
    int cq, itu;
  };
  const TWant want[] = {{"VA7ZZA", "VANCOUVER", "BC", "V6B 1A1", 3, 2},
                        {"VE8ZZB", "YELLOWKNIFE", "NT", "X1A 2B3", 1, 3},
                        {"VA3ZZC", "IQALUIT", "NU", "X0A 0H0", 2, 4}};
  ASSERT_EQ(input.intl.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    TEntryRecord rec;
    rec.db = TDatabase::Intl;
    for (const auto& [tag, text] : input.intl[i].fields) ASSERT_TRUE(AppendField(rec, tag, text));
    const TCallbookRecord c = MakeCallbookRecord(rec, TCallbookMatch::Exact, &entities);
    EXPECT_EQ(c.call, want[i].call);
    EXPECT_EQ(c.city, want[i].city);
    EXPECT_EQ(c.state, want[i].state);
    EXPECT_EQ(c.zip, want[i].zip);
    EXPECT_EQ(c.dxccCode.value_or(0), 1);
    EXPECT_EQ(c.cqZone.value_or(0), want[i].cq) << c.call;
    EXPECT_EQ(c.ituZone.value_or(0), want[i].itu) << c.call;
  }
}

}  // namespace
