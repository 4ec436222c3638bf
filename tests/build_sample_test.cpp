// Sample generator and its source tables: determinism, uniqueness, consistency with the tables,
// valid codes, dates and locators, QSL manager references, code page 437 texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "TestDir.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "common/StrUtil.h"
#include "dataset/ULocator.h"

namespace {

std::string SourcesDir() {
  return (std::filesystem::path(TELLMARK_TESTS_DIR).parent_path() / "data" / "sources").string();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A tiny complete source set: two ZIPs, one International entity with a call space of 26.
void WriteFixture(const TestDir& d) {
  WriteFile(d.file("us_zips.tsv"),
            "zip\tcity\tstate\tcounty\tlat\tlon\ttz\ttzname\tpopulation\n"
            "01001\tAgawam\tMA\tHampden\t42.06\t-72.62\tEST\tAmerica/New_York\t17000\n"
            "99501\tAnchorage\tAK\tAnchorage\t61.22\t-149.86\tAKST\tAmerica/Anchorage\t18000\n"
            "99999\tNowhere\tAK\tNone\t61\t-150\tAKST\tAmerica/Anchorage\t0\n");
  WriteFile(d.file("us_areacodes.tsv"),
            "code\tstate\tlat\tlon\tcity\n413\tMA\t42.3\t-72.6\tSpringfield\n"
            "617\tMA\t42.36\t-71.06\tBoston\n907\tAK\t61.2\t-149.9\tAnchorage\n");
  std::string first = "decade\tsex\tname\tweight\n";
  for (int dec = 1900; dec <= 1980; dec += 10)
    first += std::to_string(dec) + "\tM\tJohn\t10\n" + std::to_string(dec) + "\tF\tMary\t10\n";
  WriteFile(d.file("us_first_names.tsv"), first);
  WriteFile(d.file("us_surnames.tsv"), "rank\tname\tweight\n1\tSmith\t100\n2\tJohnson\t80\n");
  WriteFile(d.file("us_streets.tsv"),
            "kind\tvalue\tweight\nname\tOAK\t1\nname\tMAIN\t1\nsuffix\tST\t1\n");
  WriteFile(d.file("dxcc.tsv"),
            "prefix\tname\tdxcc\tcontinent\tcq\titu\tlat\tlon\tutc\tiso\tcountry\tprefixes\n"
            "K\tUnited States\t291\tNA\t5\t8\t37.6\t-91.87\t-5\tUS\tUnited States\tK N W\n"
            "KL\tAlaska\t6\tNA\t1\t1\t61.4\t-148.87\t-9\tUS\tUnited States\tKL AL NL WL\n"
            "VK9N\tNorfolk Island\t189\tOC\t32\t60\t-29.03\t167.93\t11\tNF\tNorfolk Island\tVK9N\n"
            "SP\tPoland\t269\tEU\t15\t28\t52.28\t18.67\t1\tPL\tPoland\tSP SQ\n");
  WriteFile(d.file("world_cities.tsv"),
            "name\tiso\tadmin1\tdxcc\tlat\tlon\tpopulation\n"
            "Kingston\tNF\t\tVK9N\t-29.05\t167.96\t1000\n"
            "\xc5\x81\xc3\xb3\x64\xc5\xba\tPL\t74\tSP\t51.77\t19.45\t700000\n");
  WriteFile(d.file("us_states.tsv"),
            "state\tname\tdistrict\tprefixes\tdxcc\nMA\tMassachusetts\t1\t\tK\n"
            "AK\tAlaska\t7\tKL7 AL7 NL7 WL7\tKL\n");
  WriteFile(d.file("dx_licensing.tsv"),
            "dxcc\tweight\tlocale\tcalls\tdigits\tclasses\n"
            "VK9N\t1000\ten_AU\tVK9N@:100\t\tUnrestricted:100\n");
  WriteFile(d.file("call_areas.tsv"), "dxcc\tadmin1\tarea\n");
  WriteFile(d.file("locale_names.tsv"), "locale\tkind\tvalue\n");
  WriteFile(d.file("locale_names_extra.tsv"),
            "locale\tkind\tvalue\npl\tfirst_m\tPaweł\npl\tfirst_f\tAnna\npl\tlast\tWróbel\n"
            "pl\tstreet\tul. Łąkowa\npl\tpostcode\t##-###\npl\torder\tstreet number\n");
}

bool ValidDate(const std::string& s, int& y, int& m, int& d) {
  if (s.size() != 8 ||
      !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  m = std::stoi(s.substr(0, 2));
  d = std::stoi(s.substr(2, 2));
  y = std::stoi(s.substr(4));
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  return !(m == 2 && d == 29 && (y % 4 != 0 || (y % 100 == 0 && y % 400 != 0)));
}

std::string PlainCall(const TBuildEntry& e) {
  std::string c = e.FieldOr(1);
  std::replace(c.begin(), c.end(), '<', '0');
  return c;
}

bool SameInput(const TBuildInput& a, const TBuildInput& b) {
  auto same = [](const std::vector<TBuildEntry>& x, const std::vector<TBuildEntry>& y) {
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i)
      if (x[i].fields != y[i].fields || x[i].surname != y[i].surname ||
          x[i].firstName != y[i].firstName || x[i].db != y[i].db || x[i].mapNr != y[i].mapNr)
        return false;
    return true;
  };
  if (a.title != b.title || !same(a.intl, b.intl) || !same(a.us, b.us) ||
      a.qslManagers.size() != b.qslManagers.size())
    return false;
  for (size_t i = 0; i < a.qslManagers.size(); ++i) {
    const auto& p = a.qslManagers[i];
    const auto& q = b.qslManagers[i];
    if (p.call != q.call || p.manager != q.manager || p.info != q.info || p.date != q.date)
      return false;
  }
  return true;
}

}  // namespace

TEST(SourceTablesTest, CodePageConversionTransliteratesWhatCp437Lacks) {
  EXPECT_EQ(ToCp437("M\xc3\xbcller"), "M\x81ller");  // ü kept
  EXPECT_EQ(ToCp437("\xc5\x81\xc3\xb3\x64\xc5\xba"),
            "L\xa2"
            "dz");  // Łódź: ó kept, Ł ź plain
  EXPECT_EQ(ToCp437("\xc5\x9e"
                    "i\xc5\x9f"
                    "li"),
            "Sisli");  // Şişli
  EXPECT_EQ(ToCp437("\xc5\x92uvre"), "OEuvre");
  EXPECT_EQ(ToCp437("O\xe2\x80\x99"
                    "Brien"),
            "O'Brien");
  EXPECT_EQ(ToCp437("S\xc3\xa3o Jo\xc3\xa3o"), "Sao Joao");
  EXPECT_EQ(ToCp437("e\xcc\x81"), "e");     // combining accent dropped
  EXPECT_EQ(ToCp437("\xe6\x9d\xb1"), "?");  // no Latin form
  EXPECT_EQ(ToCp437("bad\xc3"), "bad?");    // cut sequence
  EXPECT_EQ(UpperCp437("m\x81ller ca\xa4on \x85"), "M\x9aLLER CA\xa5ON A");
}

TEST(SourceTablesTest, LoadErrorsNameFileAndLine) {
  TestDir d;
  try {
    LoadSourceTables(d.path());
    FAIL() << "no error for an empty directory";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("us_zips.tsv"), std::string::npos) << e.what();
  }
  WriteFixture(d);
  EXPECT_NO_THROW(LoadSourceTables(d.path()));

  WriteFile(d.file("us_surnames.tsv"), "rank\tname\tweight\n1\tSmith\tmany\n");
  try {
    LoadSourceTables(d.path());
    FAIL() << "no error for a bad number";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("us_surnames.tsv line 2"), std::string::npos) << e.what();
  }
  WriteFixture(d);
  WriteFile(d.file("dxcc.tsv"), "prefix\tname\n");
  EXPECT_THROW(LoadSourceTables(d.path()), EStatusError);  // wrong header
  WriteFixture(d);
  WriteFile(d.file("us_states.tsv"),
            "state\tname\tdistrict\tprefixes\tdxcc\nAK\tAlaska\t7\tKL6\tKL\n");
  EXPECT_THROW(LoadSourceTables(d.path()), EStatusError);  // prefix digit is not the district
  WriteFixture(d);
  WriteFile(d.file("dx_licensing.tsv"),
            "dxcc\tweight\tlocale\tcalls\tdigits\tclasses\nXX\t1\t\tXX#@@\t\tA\n");
  const TSourceTables t = LoadSourceTables(d.path());
  EXPECT_THROW(GenerateSample(t, 0, 10, 1), EStatusError);  // entity not in dxcc.tsv
  EXPECT_THROW(GenerateSample(t, -1, 0, 1), EStatusError);
}

// The entity table an edition carries: every entity, and each state with its entity's number
// and the zones of the optional cq and itu columns.
TEST(SampleGeneratorFixtureTest, EntityTableFromTheSourceTables) {
  TestDir d;
  WriteFixture(d);
  WriteFile(d.file("us_states.tsv"),
            "state\tname\tdistrict\tprefixes\tdxcc\tcq\titu\nMA\tMassachusetts\t1\t\tK\t5\t8\n"
            "AK\tAlaska\t7\tKL7 AL7 NL7 WL7\tKL\t1\t1 2 -141\n");
  TEntityTable t = MakeEntityTable(LoadSourceTables(d.path()));
  ASSERT_EQ(t.Entities().size(), 4u);
  EXPECT_EQ(t.FindPrefix("SQ9ABC")->code, 269);
  ASSERT_NE(t.FindState("AK"), nullptr);
  EXPECT_EQ(t.FindState("AK")->code, 6);
  EXPECT_EQ(t.FindState("AK")->itu.Zone(-135.0), 2);
  EXPECT_EQ(t.FindState("MA")->cq.Zone(std::nullopt), 5);
  // Without the columns the states take their entity's zones.
  WriteFixture(d);
  t = MakeEntityTable(LoadSourceTables(d.path()));
  EXPECT_EQ(t.FindState("MA")->cq.west, 0);
  // A zone that is not one is an error naming the line.
  WriteFile(d.file("us_states.tsv"),
            "state\tname\tdistrict\tprefixes\tdxcc\tcq\titu\nMA\tMassachusetts\t1\t\tK\t5\t8 9\n");
  try {
    LoadSourceTables(d.path());
    FAIL() << "no error for a bad zone";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("us_states.tsv line 2: column itu"), std::string::npos)
        << e.what();
  }
}

TEST(SampleGeneratorFixtureTest, UsedUpCallSpaceFallsBackAndStaysUnique) {
  TestDir d;
  WriteFixture(d);
  // VK9N has 26 calls; the rest must come from another entity (the neutral default for SP).
  const TSourceTables t = LoadSourceTables(d.path());
  const TBuildInput in = GenerateSample(t, 50, 120, 3);
  ASSERT_EQ(in.intl.size(), 120u);
  ASSERT_EQ(in.us.size(), 50u);
  std::set<std::string> calls;
  int norfolk = 0;
  for (const auto& e : in.intl) {
    EXPECT_TRUE(calls.insert(e.FieldOr(itCall)).second) << e.FieldOr(itCall);
    if (e.FieldOr(itDxcc) == "Norfolk Island") ++norfolk;
    if (e.FieldOr(itDxcc) == "Poland") {
      // CP437 text of the Polish locale: "Łódź" and "ul. Łąkowa" without '?'.
      EXPECT_NE(e.FieldOr(itAddress).find("L\xa2"
                                          "dz"),
                std::string::npos);
      EXPECT_EQ(e.FieldOr(itAddress).find('?'), std::string::npos);
    }
  }
  EXPECT_LE(norfolk, 26);
  EXPECT_GE(norfolk, 20);
  for (const auto& e : in.us) {
    EXPECT_NE(e.FieldOr(utZIP), "99999");  // no population, never drawn
    if (e.FieldOr(utState) == "AK") {
      EXPECT_EQ(e.FieldOr(utDxcc), "Alaska");
    }
  }
}

class SampleGeneratorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tables_ = new TSourceTables(LoadSourceTables(SourcesDir()));
    sample_ = new TBuildInput(GenerateSample(*tables_, 6000, 6000, 1999));
  }
  static void TearDownTestSuite() {
    delete sample_;
    delete tables_;
  }
  static TSourceTables* tables_;
  static TBuildInput* sample_;
};
TSourceTables* SampleGeneratorTest::tables_ = nullptr;
TBuildInput* SampleGeneratorTest::sample_ = nullptr;

TEST_F(SampleGeneratorTest, SameSeedSameInputOtherSeedOther) {
  EXPECT_EQ(sample_->us.size(), 6000u);
  EXPECT_EQ(sample_->intl.size(), 6000u);
  EXPECT_TRUE(SameInput(*sample_, GenerateSample(*tables_, 6000, 6000, 1999)));
  const TBuildInput other = GenerateSample(*tables_, 6000, 6000, 2000);
  EXPECT_FALSE(SameInput(*sample_, other));
  // Entries do not depend on how many follow: a smaller sample is a prefix of a larger one.
  const TBuildInput small = GenerateSample(*tables_, 100, 100, 1999);
  for (size_t i = 0; i < 100; ++i) {
    EXPECT_EQ(small.us[i].FieldOr(utAddress), sample_->us[i].FieldOr(utAddress));
    EXPECT_EQ(small.intl[i].FieldOr(itAddress), sample_->intl[i].FieldOr(itAddress));
  }
  const TBuildInput none = GenerateSample(*tables_, 0, 0, 1);
  EXPECT_TRUE(none.us.empty() && none.intl.empty() && none.qslManagers.empty());
}

TEST_F(SampleGeneratorTest, CallsUniqueAndStoredWithZeroAsLessThan) {
  for (const auto* db : {&sample_->us, &sample_->intl}) {
    std::set<std::string> seen;
    for (const auto& e : *db) {
      const std::string c = e.FieldOr(1);
      ASSERT_GE(c.size(), 3u);
      EXPECT_LE(c.size(), 6u) << c;
      EXPECT_EQ(c.find('0'), std::string::npos) << c;
      EXPECT_TRUE(std::all_of(c.begin(), c.end(), [](char ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= '1' && ch <= '9') || ch == '<';
      })) << c;
      EXPECT_TRUE(seen.insert(c).second) << "duplicate " << c;
    }
  }
  for (const auto& e : sample_->us) EXPECT_EQ(e.FieldOr(utPrevCall).find('<'), std::string::npos);
}

// The desktop program starts on AA1A: every sample edition has it, once, as in the 1999 one.
TEST_F(SampleGeneratorTest, HoldsTheStartCall) {
  const TBuildInput small = GenerateSample(*tables_, 300, 0, 7);
  for (const TBuildInput* in : {static_cast<const TBuildInput*>(sample_), &small}) {
    int found = 0;
    for (const auto& e : in->us) {
      if (e.FieldOr(utCall) != "AA1A") continue;
      ++found;
      const TUSStateRow* st = tables_->FindState(e.FieldOr(utState));
      ASSERT_NE(st, nullptr);
      EXPECT_EQ(st->district, '1');
      EXPECT_EQ(e.FieldOr(utClass), "E");
      EXPECT_FALSE(e.FindField(utExtra).has_value());  // not a club station
    }
    EXPECT_EQ(found, 1);
  }
}

TEST_F(SampleGeneratorTest, USEntriesAgreeWithZipAndStateTables) {
  std::map<std::string, const TZipRow*> zips;
  for (const auto& z : tables_->zips) zips[z.zip] = &z;
  std::map<std::string, std::set<std::string>> codesOfState;
  for (const auto& a : tables_->areaCodes) codesOfState[a.state].insert(a.code);
  int vanity = 0, clubs = 0, prev = 0;
  std::map<char, int> classes;
  for (const auto& e : sample_->us) {
    ASSERT_EQ(e.db, TDatabase::US);
    const std::string zip = e.FieldOr(utZIP);
    ASSERT_TRUE(zips.count(zip)) << zip;
    const TZipRow& z = *zips[zip];
    EXPECT_EQ(e.FieldOr(utState), z.state);
    EXPECT_EQ(e.FieldOr(utCounty), z.county);
    EXPECT_EQ(e.FieldOr(utTimeZone), z.timeZone);
    EXPECT_NEAR(RealFieldValue(e.FieldOr(utLatitude)), z.lat, 0.03);
    EXPECT_NEAR(-RealFieldValue(e.FieldOr(utLongitude)), z.lon, 0.03);  // stored west-positive
    EXPECT_FALSE(CoordToLocator(e.FieldOr(utLongitude), e.FieldOr(utLatitude)).empty());
    if (codesOfState.count(z.state)) {
      EXPECT_TRUE(codesOfState[z.state].count(e.FieldOr(utAreaCode)));
    }
    EXPECT_EQ(e.FieldOr(utCountry), "United States");

    // Call district and special prefixes of the state.
    const TUSStateRow* st = tables_->FindState(z.state);
    ASSERT_NE(st, nullptr);
    const std::string call = PlainCall(e);
    const size_t digit = call.find_first_of("0123456789");
    ASSERT_NE(digit, std::string::npos);
    EXPECT_EQ(call[digit], st->district) << call << " " << z.state;
    const std::string prefix = call.substr(0, digit);
    if (!st->prefixes.empty()) {
      EXPECT_NE(std::find(st->prefixes.begin(), st->prefixes.end(), call.substr(0, 3)),
                st->prefixes.end())
          << call;
    } else {
      EXPECT_TRUE(prefix.size() <= 2 && std::string("AKNW").find(prefix[0]) != std::string::npos)
          << call;
      if (prefix.size() == 2) {
        EXPECT_EQ(std::string("HLP").find(prefix[1]), std::string::npos) << call;
      }
    }
    EXPECT_EQ(e.FieldOr(utDxcc), tables_->FindDxcc(st->dxcc)->name);

    // Class, dates, vanity, previous call.
    const std::string cls = e.FieldOr(utClass);
    ASSERT_EQ(cls.size(), 1u);
    EXPECT_NE(std::string("EAGPTNB").find(cls[0]), std::string::npos) << cls;
    ++classes[cls[0]];
    int y1, m1, d1, y2, m2, d2;
    ASSERT_TRUE(ValidDate(e.FieldOr(utIssued), y1, m1, d1)) << e.FieldOr(utIssued);
    ASSERT_TRUE(ValidDate(e.FieldOr(utExpires), y2, m2, d2)) << e.FieldOr(utExpires);
    EXPECT_GE(y1, 1989);
    EXPECT_LE(y1, 1999);
    EXPECT_EQ(y2, y1 + 10);
    EXPECT_EQ(m2, m1);
    const std::string v = e.FieldOr(utVanity);
    EXPECT_TRUE(v == "T" || v == "F");
    if (v == "T") {
      ++vanity;
      EXPECT_FALSE(e.FieldOr(utPrevCall).empty());
      EXPECT_GE(y1, 1996);
    }
    if (!e.FieldOr(utPrevCall).empty()) {
      ++prev;
      EXPECT_NE(e.FieldOr(utPrevCall), call);
      const std::string pc = e.FieldOr(utPrevClass);
      ASSERT_EQ(pc.size(), 1u);
      EXPECT_NE(std::string("EAGPTN").find(pc[0]), std::string::npos);
    }
    // Name and address: "NAME, STREET, CITY" in capitals; clubs have no first name.
    const std::string addr = e.FieldOr(utAddress);
    EXPECT_EQ(addr, UpperCp437(addr));
    EXPECT_EQ(addr.substr(addr.rfind(", ") + 2), UpperCp437(z.city));
    EXPECT_FALSE(e.surname.empty());
    EXPECT_NE(addr.find(e.surname), std::string::npos);
    if (cls == "B") {
      ++clubs;
      EXPECT_TRUE(e.firstName.empty());
      EXPECT_EQ(e.FieldOr(utExtra).rfind("TRUSTEE ", 0), 0u);
    } else {
      EXPECT_FALSE(e.firstName.empty());
      EXPECT_EQ(addr.rfind(e.firstName + " ", 0), 0u) << addr;
    }
  }
  // A realistic mix: Technicians most numerous, some clubs, a few vanity calls.
  EXPECT_GT(classes['T'], classes['E']);
  EXPECT_GT(classes['E'], 0);
  EXPECT_GT(classes['N'], 0);
  EXPECT_GT(clubs, 20);
  EXPECT_GT(vanity, 120);
  EXPECT_LT(vanity, 500);
  EXPECT_GT(prev, vanity);
}

TEST_F(SampleGeneratorTest, IntlEntriesHaveEntityTownAndLocator) {
  std::map<std::string, std::vector<const TCityRow*>> citiesOfEntity;
  std::map<std::string, const TDxccRow*> entityByName;
  for (const auto& d : tables_->dxcc) entityByName[d.name] = &d;
  for (const auto& c : tables_->cities) citiesOfEntity[c.dxcc].push_back(&c);
  std::map<std::string, int> perEntity;
  for (const auto& e : sample_->intl) {
    ASSERT_EQ(e.db, TDatabase::Intl);
    const std::string ent = e.FieldOr(itDxcc);
    ASSERT_TRUE(entityByName.count(ent)) << ent;
    const TDxccRow& d = *entityByName[ent];
    EXPECT_NE(d.iso, "US");
    EXPECT_EQ(e.FieldOr(itCountry), d.country.empty() ? d.name : d.country);
    ++perEntity[ent];
    EXPECT_FALSE(e.FieldOr(itClass).empty());
    const std::string loc = e.FieldOr(itLocator);
    ASSERT_EQ(loc.size(), 6u);
    ASSERT_TRUE(IsValidLocator(loc)) << loc;
    // The locator lies by a town of the entity, and the address ends with that town.
    const TGeoPoint p = LocatorToCoord(loc);
    const std::string addr = e.FieldOr(itAddress);
    bool near = false;
    for (const auto* c : citiesOfEntity[d.prefix])
      if (std::abs(c->lat - p.latitude) < 0.1 && std::abs(c->lon - p.longitude) < 0.15 &&
          addr.size() > c->name.size() &&
          addr.compare(addr.size() - c->name.size(), c->name.size(), c->name) == 0)
        near = true;
    EXPECT_TRUE(near) << loc << " " << addr;
    EXPECT_NE(addr.find(e.surname), std::string::npos);
    EXPECT_EQ(addr.rfind(e.firstName + " ", 0), 0u);
  }
  // Weighted realistically: Japan leads, the big countries follow, many entities appear.
  const auto top = std::max_element(perEntity.begin(), perEntity.end(),
                                    [](auto& a, auto& b) { return a.second < b.second; });
  EXPECT_EQ(top->first, "Japan");
  EXPECT_GT(perEntity["Fed. Rep. of Germany"], perEntity["Luxembourg"]);
  EXPECT_GT(perEntity.size(), 60u);
}

// Calls of countries with call areas carry their town's area, as the national call-sign plans
// give it (written here by hand, apart from the generator's table): the digit, and in Russia
// the subject's letter after it, in Argentina the province's letter after the free digit.
struct TTownArea {
  const char* entity;  // the stored DXCC field
  const char* town;
  const char* area;              // the call from its third character on (MatchesArea)
  const char* prefix = nullptr;  // a whole prefix instead (Canada's VY1, Brazil's states)
};
const TTownArea kTownAreas[] = {
    {"European Russia", "Moscow", "3A"},
    {"European Russia", "Saint Petersburg", "1A"},
    {"European Russia", "Kazan", "4P"},
    {"European Russia", "Samara", "4H"},
    {"European Russia", "Volgograd", "4A"},
    {"European Russia", "Voronezh", "3Q"},
    {"European Russia", "Perm", "9F"},
    {"Asiatic Russia", "Yekaterinburg", "9C"},
    {"Asiatic Russia", "Novosibirsk", "9O"},
    {"Asiatic Russia", "Omsk", "9M"},
    {"Asiatic Russia", "Chelyabinsk", "9A"},
    {"Asiatic Russia", "Ufa", "9W"},
    {"Asiatic Russia", "Krasnoyarsk", "0A"},
    {"Asiatic Russia", "Vladivostok", "0L"},
    {"Asiatic Russia", "Yuzhno-Sakhalinsk", "0F"},
    {"Asiatic Russia", "Irkutsk", "0S"},
    // China: the digit and the province's letters.
    {"China", "Beijing", "1"},
    {"China", "Shanghai", "4[A-H]"},
    {"China", "Guangzhou", "7[I-P]"},
    {"China", "Shenzhen", "7[I-P]"},
    {"China", "Nanning", "7[Q-X]"},
    {"China", "Harbin", "2[A-H]"},
    {"China", "Changchun", "2[I-P]"},
    {"China", "Shenyang", "2[Q-X]"},
    {"China", "Tianjin", "3[A-F]"},
    {"China", "Hangzhou", "5[A-H]"},
    {"China", "Wuhan", "6[Q-X]"},
    {"China", "Chengdu", "8[A-F]"},
    {"China", "Chongqing", "8[G-L]"},
    {"China", "Lanzhou", "9[G-L]"},
    // Brazil: the state's prefix and its region's digit.
    {"Brazil", "Rio de Janeiro", "", "PY1"},
    {"Brazil", "Porto Alegre", "", "PY3"},
    {"Brazil", "Belo Horizonte", "", "PY4"},
    {"Brazil", "Curitiba", "", "PY5"},
    {"Brazil", "Joinville", "", "PP5"},
    {"Brazil", "Salvador", "", "PY6"},
    {"Brazil", "Recife", "", "PY7"},
    {"Brazil", "Fortaleza", "", "PT7"},
    {"Brazil", "Natal", "", "PS7"},
    {"Brazil", "Manaus", "", "PP8"},
    {"Brazil", "Teresina", "", "PS8"},
    {"Brazil", "Campo Grande", "", "PT9"},
    {"Brazil", "Cuiab\u00e1", "", "PY9"},
    {"Brazil", "Goi\u00e2nia", "", "PP2"},
    {"Brazil", "Bras\u00edlia", "", "PT2"},
    {"Argentina", "Buenos Aires", "?[A-C]"},
    {"Argentina", "La Plata", "?[DE]"},
    {"Argentina", "Rosario", "?F"},
    {"Argentina", "Mendoza", "?M"},
    {"Argentina", "Salta", "?O"},
    {"Argentina", "Neuquén", "?Y"},
    {"Chile", "Santiago", "3"},
    {"Chile", "Antofagasta", "1"},
    {"Chile", "Temuco", "6"},
    {"Chile", "Talcahuano", "5"},
    {"Chile", "Punta Arenas", "8"},
    {"Australia", "Sydney", "2"},
    {"Australia", "Melbourne", "3"},
    {"Australia", "Brisbane", "4"},
    {"Australia", "Adelaide", "5"},
    {"Australia", "Perth", "6"},
    {"Australia", "Hobart", "7"},
    {"Australia", "Darwin", "8"},
    {"Canada", "Toronto", "3"},
    {"Canada", "Ottawa", "3"},
    {"Canada", "Calgary", "6"},
    {"Canada", "Vancouver", "7"},
    {"Canada", "Winnipeg", "4"},
    {"Canada", "Halifax", "1"},
    {"Canada", "Moncton", "", "VE9"},
    {"Canada", "Fredericton", "", "VE9"},
    {"Canada", "Whitehorse", "", "VY1"},
    {"Canada", "St. John's", "", "VO1"},
    {"Japan", "Tokyo", "1"},
    {"Japan", "Yokohama", "1"},
    {"Japan", "Nagoya", "2"},
    {"Japan", "Osaka", "3"},
    {"Japan", "Kobe", "3"},
    {"Japan", "Hiroshima", "4"},
    {"Japan", "Fukuoka", "6"},
    {"Japan", "Sendai", "7"},
    {"Japan", "Sapporo", "8"},
};

// Whether text begins as area says: a character stands for itself, '?' for a digit 1-9, and
// "[A-C]" or "[DE]" for one of the letters listed.
bool MatchesArea(std::string_view text, std::string_view area) {
  size_t at = 0;
  for (size_t i = 0; i < area.size(); ++i, ++at) {
    if (at >= text.size()) return false;
    const char c = text[at];
    if (area[i] == '?') {
      if (c < '1' || c > '9') return false;
    } else if (area[i] == '[') {
      const size_t end = area.find(']', i);
      const std::string_view set = area.substr(i + 1, end - i - 1);
      const bool in = set.size() == 3 && set[1] == '-' ? c >= set[0] && c <= set[2]
                                                       : set.find(c) != std::string_view::npos;
      if (!in) return false;
      i = end;
    } else if (c != area[i]) {
      return false;
    }
  }
  return true;
}

TEST_F(SampleGeneratorTest, IntlCallsCarryTheirTownsCallArea) {
  std::map<std::string, int> checked;  // per entity
  for (const auto& e : sample_->intl) {
    std::string call = e.FieldOr(itCall);
    std::replace(call.begin(), call.end(), '<', '0');
    const std::string addr = e.FieldOr(itAddress), entity = e.FieldOr(itDxcc);
    for (const TTownArea& t : kTownAreas) {
      const std::string town = ", " + ToCp437(t.town);
      if (entity != t.entity || addr.size() < town.size() ||
          addr.compare(addr.size() - town.size(), town.size(), town) != 0)
        continue;
      ++checked[entity];
      if (t.prefix) {
        EXPECT_EQ(call.rfind(t.prefix, 0), 0u) << call << " in " << t.town;
        continue;
      }
      EXPECT_TRUE(MatchesArea(call.substr(2), t.area)) << call << " in " << t.town;
    }
  }
  for (const char* entity : {"European Russia", "Asiatic Russia", "China", "Brazil", "Argentina",
                             "Chile", "Australia", "Canada", "Japan"})
    EXPECT_GE(checked[entity], 3) << entity;
}

// U.S. calls carry the call district of the licensee's state (the calls of Alaska, Hawaii and
// the territories have their own prefixes).
TEST_F(SampleGeneratorTest, USCallsCarryTheirStatesDistrict) {
  const std::map<std::string, char> district = {{"MA", '1'}, {"NY", '2'}, {"PA", '3'}, {"FL", '4'},
                                                {"TX", '5'}, {"CA", '6'}, {"WA", '7'}, {"OH", '8'},
                                                {"IL", '9'}, {"CO", '0'}};
  int checked = 0;
  for (const auto& e : sample_->us) {
    const auto it = district.find(e.FieldOr(utState));
    if (it == district.end()) continue;
    std::string call = e.FieldOr(utCall);
    std::replace(call.begin(), call.end(), '<', '0');
    const size_t digit = call.find_first_of("0123456789");
    ASSERT_NE(digit, std::string::npos) << call;
    EXPECT_EQ(call[digit], it->second) << call << " in " << it->first;
    ++checked;
  }
  EXPECT_GT(checked, 1000);
}

// An International address ends with its town, after a postcode only where a public table gives
// the town's postcodes ("75001 Paris", never "53594 Berlin").
TEST_F(SampleGeneratorTest, IntlPostcodesBelongToTheirTown) {
  std::map<std::pair<std::string, std::string>, std::set<std::string>> codesOf;  // (dxcc, town)
  for (const auto& c : tables_->cities)
    codesOf[{c.dxcc, c.name}].insert(c.postcodes.begin(), c.postcodes.end());
  ASSERT_GT((codesOf[{"F", "Paris"}].count("75001")), 0u);
  EXPECT_TRUE((codesOf[{"DL", "Berlin"}].empty()));
  std::map<std::string, std::string> prefixOf;
  for (const auto& d : tables_->dxcc) prefixOf[d.name] = d.prefix;
  int withCode = 0, without = 0;
  for (const auto& e : sample_->intl) {
    const std::string addr = e.FieldOr(itAddress);
    const std::string place = addr.substr(addr.rfind(", ") + 2);
    const std::string dxcc = prefixOf[e.FieldOr(itDxcc)];
    if (codesOf.count({dxcc, place})) {
      ++without;
      continue;
    }
    const size_t blank = place.find(' ');
    ASSERT_NE(blank, std::string::npos) << addr;
    const auto it = codesOf.find({dxcc, place.substr(blank + 1)});
    ASSERT_NE(it, codesOf.end()) << addr;
    EXPECT_EQ(it->second.count(place.substr(0, blank)), 1u) << addr;
    ++withCode;
  }
  EXPECT_GT(withCode, 20);
  EXPECT_GT(without, 5000);
}

TEST_F(SampleGeneratorTest, TextsAreCodePageFieldsAndFitTheRecords) {
  auto check = [](const TBuildEntry& e, size_t payload) {
    size_t used = 0;
    for (const auto& [tag, text] : e.fields) {
      EXPECT_GE(tag, 1);
      EXPECT_LE(tag, 31);
      EXPECT_FALSE(text.empty());
      for (char c : text) EXPECT_GE(static_cast<unsigned char>(c), 32u) << text;
      used += 1 + text.size();
    }
    EXPECT_LE(used, payload);
    // Names and addresses come out transliterated, never as '?'.
    const int addrTag =
        e.db == TDatabase::US ? static_cast<int>(utAddress) : static_cast<int>(itAddress);
    EXPECT_EQ(e.FieldOr(addrTag).find('?'), std::string::npos) << e.FieldOr(addrTag);
  };
  for (const auto& e : sample_->us) check(e, kUSPayloadSize);
  for (const auto& e : sample_->intl) check(e, kIntlPayloadSize);
}

TEST_F(SampleGeneratorTest, QslManagerReferencesMatchTheirRecords) {
  const auto& mgr = sample_->qslManagers;
  ASSERT_GT(mgr.size(), 10u);
  std::vector<int> refs(mgr.size() + 1, 0);
  std::set<std::string> allCalls;
  for (const auto& e : sample_->us) allCalls.insert(PlainCall(e));
  for (const auto& e : sample_->intl) allCalls.insert(PlainCall(e));
  auto visit = [&](const TBuildEntry& e, int tag) {
    const auto f = e.FindField(tag);
    if (!f) return;
    const int n = NumberFieldValue(std::string(*f));
    ASSERT_GE(n, 1);
    ASSERT_LE(n, static_cast<int>(mgr.size()));
    ++refs[n];
    EXPECT_EQ(mgr[n - 1].call, PlainCall(e));
  };
  for (const auto& e : sample_->intl) visit(e, itQslMgr);
  for (const auto& e : sample_->us) visit(e, utQslMgr);
  for (size_t n = 1; n < refs.size(); ++n) EXPECT_EQ(refs[n], 1) << "record " << n;
  for (const auto& m : mgr) {
    EXPECT_LE(m.call.size(), 13u);
    EXPECT_LE(m.info.size(), 15u);
    EXPECT_NE(m.manager, m.call);
    EXPECT_TRUE(allCalls.count(m.manager)) << m.manager;  // the manager has an entry of his own
    int y, mo, d;
    EXPECT_TRUE(ValidDate(m.date, y, mo, d)) << m.date;
  }
}
