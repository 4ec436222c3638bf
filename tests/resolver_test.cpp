// The country file and the call resolver: the file's three forms, every override, and the
// record's entity, continent, zones and place for calls at home, away and at sea.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "builder/USourceTables.h"
#include "callbook/UCallbookRecord.h"
#include "common/IOUtil.h"
#include "dataset/UCallParts.h"
#include "dataset/UCountryFile.h"
#include "dataset/UEntityFile.h"
#include "dataset/ULocator.h"
#include "place_cases.h"

namespace {

const std::string kSources = std::string(TELLMARK_SOURCE_DIR) + "/data/sources";

const TEntityTable& SourceTable() {
  static const TEntityTable t = MakeEntityTable(LoadSourceTables(kSources));
  return t;
}

TEntryRecord EntryRecord(const places::TStationEntry& s) {
  TEntryRecord r;
  r.db = s.db;
  r.ref = 1;
  for (const auto& [tag, text] : places::Fields(s, places::Locator(s)))
    EXPECT_TRUE(AppendField(r, tag, text));
  return r;
}

class CallPlace : public ::testing::TestWithParam<places::TPlaceCase> {};

TEST_P(CallPlace, RecordSaysWhereTheStationIs) {
  const places::TPlaceCase& c = GetParam();
  const TCallParts parts = SplitCallParts(c.logged);
  const places::TStationEntry* s = places::EntryOf(parts.base);
  ASSERT_NE(s, nullptr) << parts.base;
  const TCallbookRecord r =
      MakeCallbookRecord(EntryRecord(*s), TCallbookMatch::BaseCall, &SourceTable(), "W1QSL",
                         parts.designators, c.logged);
  EXPECT_EQ(r.dxccCode.value_or(0), c.code);
  EXPECT_EQ(r.dxcc, c.name);
  EXPECT_EQ(r.continent, c.continent);
  EXPECT_EQ(r.cqZone.value_or(0), c.cq);
  EXPECT_EQ(r.ituZone.value_or(0), c.itu);
  EXPECT_EQ(!r.city.empty(), c.place) << r.city;
  EXPECT_EQ(!r.grid.empty(), c.place) << r.grid;
  EXPECT_EQ(r.latitude.has_value(), c.place && s->db == TDatabase::US);
  if (!c.place) {
    EXPECT_EQ(r.state, "");
    EXPECT_EQ(r.zip, "");
    EXPECT_EQ(r.county, "");
    EXPECT_EQ(r.street, "");
    EXPECT_EQ(r.address, "");
  }
  // Who the station is does not depend on where it is.
  EXPECT_EQ(r.name.rfind("Pat", 0) == 0 || r.name.rfind("PAT", 0) == 0, true) << r.name;
  EXPECT_EQ(r.qslManager, "W1QSL");
}

INSTANTIATE_TEST_SUITE_P(CountryFile, CallPlace, ::testing::ValuesIn(places::Cases()),
                         [](const auto& info) {
                           std::string n;
                           for (char ch : std::string(info.param.logged)) n += ch == '/' ? '_' : ch;
                           return n;
                         });

TEST(CallPlace, CanadianPlaceFieldsAreClean) {
  const TCallbookRecord r = MakeCallbookRecord(EntryRecord(*places::EntryOf("VO2AAA")),
                                               TCallbookMatch::Exact, &SourceTable());
  EXPECT_EQ(r.city, "HAPPY VALLEY-GOOSE BAY");
  EXPECT_EQ(r.state, "NL");
  EXPECT_EQ(r.zip, "A0P 1E0");
  EXPECT_EQ(r.street, "1 Main Street");
  const TCallbookRecord d = MakeCallbookRecord(EntryRecord(*places::EntryOf("DL1ABC")),
                                               TCallbookMatch::Exact, &SourceTable());
  EXPECT_EQ(d.city, "Berlin");
  EXPECT_EQ(d.zip, "10115");
  EXPECT_EQ(d.state, "");
  EXPECT_EQ(d.grid.size(), 6u);
  EXPECT_TRUE(d.grid[4] >= 'a' && d.grid[4] <= 'x') << d.grid;
}

TEST(CountryFile, ReadsTheThreeFormsAlike) {
  const char* csv =
      "VE,Canada,1,NA,5,9,44.35,78.75,5.0,VE VA3(4)[4] =VE2EM/M =VER20230502 "
      "=VK9X/VE1ABC(30){OC}<-10.50/-105.67>~-7.0~;\n"
      "*TA1,European Turkey,390,EU,20,39,41.02,-28.97,-2.0,TA1;\n";
  const char* dat =
      "Canada:                    5:  9:  NA:   44.35:    78.75:     5.0:  VE:\n"
      "    VE,VA3(4)[4],=VE2EM/M,=VER20230502,\n"
      "    =VK9X/VE1ABC(30){OC}<-10.50/-105.67>~-7.0~;\n"
      "European Turkey:          20:  39:  EU:   41.02:   -28.97:    -2.0:  *TA1:\n"
      "    TA1;\n";
  const TResult<TCountryFile> ra = ParseCountryFile(csv, nullptr);
  ASSERT_TRUE(ra.ok()) << ra.Status().Message();
  const TCountryFile& a = *ra;
  const TResult<TCountryFile> rb = ParseCountryFile(dat, &a);
  ASSERT_TRUE(rb.ok()) << rb.Status().Message();
  const TCountryFile& b = *rb;
  std::string tsv = std::string(kCountryHeading) + "\n";
  for (const TCountryEntity& e : a.entities) tsv += FormatCountryRow(e) + "\n";
  const TResult<TCountryFile> rc = ParseCountryFile(tsv, nullptr);
  ASSERT_TRUE(rc.ok()) << rc.Status().Message();
  const TCountryFile& c = *rc;
  for (const TCountryFile* f : {&a, &b, &c}) {
    ASSERT_EQ(f->entities.size(), 2u);
    EXPECT_EQ(f->Version(), "VER20230502");
    EXPECT_EQ(f->entities[0].code, 1);
    EXPECT_EQ(f->entities[1].code, 390);
    EXPECT_TRUE(f->entities[1].waeOnly);
    EXPECT_EQ(f->entities[1].prefix, "TA1");
    EXPECT_EQ(f->entities[0].calls.size(), 5u);
    EXPECT_EQ(f->entities[0].calls[4], "=VK9X/VE1ABC(30){OC}<-10.50/-105.67>~-7.0~");
  }
  TEntityTable t;
  t.SetCountryFile(b);
  const auto x = t.ResolveCall("vk9x/ve1abc");
  ASSERT_TRUE(x);
  EXPECT_TRUE(x->exactCall);
  EXPECT_EQ(x->cqZone, 30);
  EXPECT_EQ(x->ituZone, 9);
  EXPECT_EQ(x->continent, "OC");
  EXPECT_DOUBLE_EQ(*x->latitude, -10.5);
  EXPECT_DOUBLE_EQ(*x->longitude, 105.67);  // the file writes longitudes west positive
  EXPECT_DOUBLE_EQ(*x->utcOffset, 7.0);
  const auto ta = t.ResolveCall("TA1ABC");
  ASSERT_TRUE(ta);
  EXPECT_EQ(ta->name, "European Turkey");  // no DXCC entity of its number in this small file
  EXPECT_EQ(ta->continent, "EU");
  EXPECT_FALSE(t.SingleZones(1));
}

struct TBadCountry {
  const char* text;
  const char* error;
};
class BadCountryFile : public ::testing::TestWithParam<TBadCountry> {};
TEST_P(BadCountryFile, IsRefusedWithTheLine) {
  const TResult<TCountryFile> f = ParseCountryFile(GetParam().text, nullptr);
  EXPECT_TRUE(f.Status().IsCorrupt());
  EXPECT_EQ(f.Status().Message(), GetParam().error);
}
INSTANTIATE_TEST_SUITE_P(
    Lines, BadCountryFile,
    ::testing::Values(
        TBadCountry{"", "no entities"},
        TBadCountry{"VE,Canada,1,NA,5,9,44.35,78.75,5.0,VE3(4[4];\n",
                    "line 1: bad prefix \"VE3(4[4]\" of entity VE"},
        TBadCountry{"VE,Canada,1,NA,55,9,44.35,78.75,5.0,VE;\n", "line 1: bad CQ zone \"55\""},
        TBadCountry{"VE,Canada,1,XX,5,9,44.35,78.75,5.0,VE;\n", "line 1: bad continent \"XX\""},
        TBadCountry{"VE,Canada,1,NA,5,9,44.35,78.75,5.0,VE{ZZ};\n",
                    "line 1: bad prefix \"VE{ZZ}\" of entity VE"},
        TBadCountry{"VE,Canada,1,NA,5,9\n", "line 1: 6 fields, expected 10"},
        TBadCountry{"Canada:  5:  9:  NA:  44.35:  78.75:  5.0:  VE:\n    VE,\n",
                    "line 1: entity VE has no ADIF number in the edition's country file"}));

TEST(EntityTable, CarriesTheCountryFileThroughItsText) {
  const TEntityTable& t = SourceTable();
  EXPECT_EQ(t.CountryFile().Version(), "VER20230502");
  const TResult<TEntityTable> parsed = ParseEntityTable(FormatEntityTable(t));
  ASSERT_TRUE(parsed.ok()) << parsed.Status().Message();
  const TEntityTable& back = *parsed;
  EXPECT_EQ(back.CountryFile().entities.size(), t.CountryFile().entities.size());
  EXPECT_EQ(back.CountryFile().Version(), "VER20230502");
  for (const places::TPlaceCase& c : places::Cases()) {
    const auto a = t.ResolveCall(SplitCallParts(c.logged).base);
    const auto b = back.ResolveCall(SplitCallParts(c.logged).base);
    ASSERT_TRUE(a && b) << c.logged;
    EXPECT_EQ(a->code, b->code);
    EXPECT_EQ(a->cqZone, b->cqZone);
    EXPECT_EQ(a->ituZone, b->ituZone);
    EXPECT_EQ(a->matched, b->matched);
  }
}

}  // namespace
