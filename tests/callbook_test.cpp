// The callbook record: made from stored entries, its entity table file, its writers, and the
// look-up of a call as a logger types it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "OpenedDataSet.h"
#include "TestDir.h"
#include "callbook/UCallbook.h"
#include "callbook/UCallbookRecord.h"
#include "callbook/UCallbookWriters.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/UEntityFile.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"

namespace {

TEntityTable TestEntities() {
  TEntityTable t;
  for (TEntity e : std::vector<TEntity>{{291, "United States", "NA", 5, 8, {"K", "N", "W", "AA"}},
                                        {6, "Alaska", "NA", 1, 1, {"KL", "AL"}},
                                        {230, "Fed. Rep. of Germany", "EU", 14, 28, {"DL", "DA"}},
                                        {223, "England", "EU", 14, 27, {"G", "M"}},
                                        {1, "Canada", "NA", 5, 9, {"VE", "VA"}}})
    t.AddEntity(std::move(e));
  for (TStateZones z : std::vector<TStateZones>{{"TX", 291, {4, 0, 0}, {7, 0, 0}},
                                                {"MO", 291, {4, 0, 0}, {7, 8, -90}},
                                                {"AK", 6, {}, {1, 2, -141}}})
    t.AddState(std::move(z));
  return t;
}

using TFields = std::vector<std::pair<int, std::string>>;

TEntryRecord Entry(TDatabase db, const TFields& fields) {
  TEntryRecord r;
  r.db = db;
  r.ref = 4711;
  for (const auto& [tag, text] : fields) EXPECT_TRUE(AppendField(r, tag, text));
  return r;
}

// The U.S. entry of GERALD D SMITH, as the sample edition stores it; changes replace fields.
TFields USFields(const TFields& changes = {}) {
  TFields f = {{utCall, "K5DRC"},
               {utState, "TX"},
               {utZIP, "75217"},
               {utClass, "g"},
               {utIssued, "04031999"},
               {utExpires, "04032009"},
               {utLongitude, "96.6772"},
               {utLatitude, "32.7116"},
               {utAreaCode, "214"},
               {utCounty, "Dallas"},
               {utTimeZone, "CST"},
               {utAddress, "GERALD D SMITH, 87 PICKETT BLVD, DALLAS"},
               {utCountry, "United States"},
               {utDxcc, "United States"},
               {utPrevCall, "KJ5VQY"},
               {utPrevClass, "t"},
               {utVanity, "T"}};
  for (const auto& [tag, text] : changes) {
    bool replaced = false;
    for (auto& [t, v] : f)
      if (t == tag) v = text, replaced = true;
    if (!replaced) f.emplace_back(tag, text);
  }
  return f;
}

struct TRecordCase {
  const char* name;
  TDatabase db;
  TFields fields;
  bool withTable;
  // Column -> expected text; "" = left out.
  std::map<std::string, std::string> want;
};

void PrintTo(const TRecordCase& c, std::ostream* os) { *os << c.name; }

class RecordFromEntry : public ::testing::TestWithParam<TRecordCase> {};

TEST_P(RecordFromEntry, GivesEachColumn) {
  const TRecordCase& c = GetParam();
  const TEntityTable table = TestEntities();
  const TCallbookRecord r = MakeCallbookRecord(Entry(c.db, c.fields), TCallbookMatch::Exact,
                                               c.withTable ? &table : nullptr);
  const std::vector<std::string>& columns = CallbookColumns();
  const std::vector<TCallbookValue> values = CallbookValues(r);
  ASSERT_EQ(values.size(), columns.size());
  for (const auto& [column, text] : c.want) {
    const auto at = std::find(columns.begin(), columns.end(), column);
    ASSERT_NE(at, columns.end()) << column;
    const TCallbookValue& v = values[static_cast<size_t>(at - columns.begin())];
    EXPECT_EQ(CallbookValueText(v), text) << column;
    if (text.empty()) {
      EXPECT_TRUE(std::holds_alternative<std::monostate>(v) || std::get<std::string>(v).empty())
          << column;
    }
  }
  EXPECT_EQ(r.ref, 4711);
}

const TRecordCase kRecordCases[] = {
    {"USEntry",
     TDatabase::US,
     USFields(),
     true,
     {{"call", "K5DRC"},
      {"database", "us"},
      {"class", "G"},
      {"class_text", "G - General"},
      {"name", "GERALD D SMITH"},
      {"street", "87 PICKETT BLVD"},
      {"city", "DALLAS"},
      {"state", "TX"},
      {"latitude", "32.7116"},
      {"longitude", "-96.6772"},
      {"grid", "EM12pr"},
      {"dxcc", "United States"},
      {"dxcc_code", "291"},
      {"cq_zone", "4"},
      {"itu_zone", "7"},
      {"continent", "NA"},
      {"issued", "1999-04-03"},
      {"expires", "2009-04-03"},
      {"previous_call", "KJ5VQY"},
      {"previous_class", "T"},
      {"vanity", "true"},
      {"address", "GERALD D SMITH, 87 PICKETT BLVD, DALLAS"}}},
    {"OlderEditionWithoutTable",
     TDatabase::US,
     USFields(),
     false,
     {{"dxcc", "United States"},
      {"dxcc_code", ""},
      {"cq_zone", ""},
      {"itu_zone", ""},
      {"continent", ""},
      {"longitude", "-96.6772"}}},
    {"NoCoordinatesInASplitState",
     TDatabase::US,
     USFields({{utState, "MO"}, {utLongitude, ""}, {utLatitude, ""}}),
     true,
     {{"latitude", ""},
      {"longitude", ""},
      {"grid", ""},
      {"cq_zone", "4"},
      {"itu_zone", ""},
      {"dxcc_code", "291"}}},
    {"SplitStateEastOfTheBoundary",
     TDatabase::US,
     USFields({{utState, "MO"}, {utLongitude, "89.5"}, {utLatitude, "37"}}),
     true,
     {{"longitude", "-89.5"}, {"itu_zone", "8"}}},
    {"SplitStateWestOfTheBoundary",
     TDatabase::US,
     USFields({{utState, "MO"}, {utLongitude, "94.5"}, {utLatitude, "39"}}),
     true,
     {{"itu_zone", "7"}}},
    {"AlaskaIsItsOwnEntity",
     TDatabase::US,
     USFields({{utCall, "KL7AA"},
               {utState, "AK"},
               {utLongitude, "149.9"},
               {utLatitude, "61.2"},
               {utDxcc, "Alaska"}}),
     true,
     {{"dxcc_code", "6"}, {"cq_zone", "1"}, {"itu_zone", "1"}, {"continent", "NA"}}},
    {"UnreadableValuesAreLeftOut",
     TDatabase::US,
     USFields({{utIssued, "13011999"},
               {utExpires, "0403200"},
               {utLongitude, "west"},
               {utClass, ""},
               {utVanity, "F"},
               {utPrevClass, ""}}),
     true,
     {{"issued", ""},
      {"expires", ""},
      {"longitude", ""},
      {"latitude", ""},
      {"grid", ""},
      {"class", ""},
      {"class_text", ""},
      {"vanity", "false"},
      {"previous_class", ""}}},
    {"AddressOfOnePart",
     TDatabase::Intl,
     {{itCall, "OE2XAB"}, {itAddress, "Club station"}},
     true,
     {{"name", "Club station"}, {"street", ""}, {"city", ""}}},
    {"AddressOfTwoParts",
     TDatabase::Intl,
     {{itCall, "3D2AG"}, {itAddress, "Antonio Ravai, Suva"}},
     true,
     {{"name", "Antonio Ravai"}, {"street", ""}, {"city", "Suva"}}},
    {"AddressOfFiveParts",
     TDatabase::Intl,
     {{itCall, "VE3XYZ"}, {itAddress, "Ann Lee, Apt 4, 12 Bay St, Box 7, Toronto ON"}},
     true,
     {{"name", "Ann Lee"},
      {"street", "Apt 4, 12 Bay St, Box 7"},
      {"city", "Toronto ON"},
      {"dxcc_code", "1"}}},
    {"InternationalEntry",
     TDatabase::Intl,
     {{itCall, "DL1ABC"},
      {itClass, "Full"},
      {itAddress, "Hans M\x81ller, Hauptstrasse 5, 10115 K\x94ln"},
      {itCountry, "Germany"},
      {itDxcc, "Fed. Rep. of Germany"},
      {itComments, "QRV \"daily\", 40 m"},
      {itLocator, "JO62QM"}},
     true,
     {{"database", "intl"},
      {"class", "Full"},
      {"class_text", "Full"},
      {"name", "Hans M\u00fcller"},
      {"city", "K\u00f6ln"},
      {"zip", "10115"},
      {"country", "Germany"},
      {"dxcc_code", "230"},
      {"cq_zone", "14"},
      {"itu_zone", "28"},
      {"continent", "EU"},
      {"grid", "JO62qm"},
      {"latitude", ""},
      {"vanity", ""},
      {"issued", ""},
      {"comments", "QRV \"daily\", 40 m"}}},
    {"InternationalEntityFromTheCall",
     TDatabase::Intl,
     {{itCall, "G3XYZ"}, {itDxcc, "Britain"}, {itLocator, "ZZ99"}},
     true,
     {{"dxcc", "England"}, {"dxcc_code", "223"}, {"itu_zone", "27"}, {"grid", ""}}},
    {"BlankPaddingEmptyPartsAndCodePage437",
     TDatabase::Intl,
     {{itCall, "ON4<X "},
      {itClass, " A "},
      {itAddress, "  Jos\x82 Peeters ,  , Kerkstraat 1 , , 2000 Antwerpen  "},
      {itCountry, "  Belgium  "},
      {itDxcc, "Belgium"},
      {itComments, std::string(58, ' ') + "\x81\x81\x81"},
      {itFax, "\xB0\xB1 "}},
     true,
     {{"call", "ON40X"},
      {"class", "A"},
      {"class_text", "A"},
      {"name", "Jos\u00e9 Peeters"},
      {"street", "Kerkstraat 1"},
      {"city", "Antwerpen"},
      {"zip", "2000"},
      {"country", "Belgium"},
      {"dxcc", "Belgium"},
      {"dxcc_code", ""},
      {"comments", "\u00fc\u00fc"},
      {"fax", "\u2591\u2592"},
      {"address", "Jos\u00e9 Peeters ,  , Kerkstraat 1 , , 2000 Antwerpen"}}},
    {"CanadianPostalCodeAndProvince",
     TDatabase::Intl,
     {{itCall, "VE8AB"},
      {itAddress, "Ed Brown, 12 Main St, WHITEHORSE YT  Y1A 1A1"},
      {itCountry, "Canada"},
      {itDxcc, "Canada"}},
     true,
     {{"name", "Ed Brown"},
      {"street", "12 Main St"},
      {"city", "WHITEHORSE"},
      {"state", "YT"},
      {"zip", "Y1A 1A1"},
      {"dxcc_code", "1"}}},
    {"USFieldsWithPadding",
     TDatabase::US,
     USFields({{utCounty,
                " Do\xA4"
                "a Ana "},
               {utIssued, " 04031999 "},
               {utLongitude, " 96.6772 "},
               {utPrevCall, " KJ5VQY "},
               {utClass, "e"},
               {utVanity, "T "}}),
     true,
     {{"county", "Do\u00f1a Ana"},
      {"issued", "1999-04-03"},
      {"longitude", "-96.6772"},
      {"grid", "EM12pr"},
      {"previous_call", "KJ5VQY"},
      {"class", "E"},
      {"class_text", "E - Extra"},
      {"vanity", "false"}}},
};

INSTANTIATE_TEST_SUITE_P(Callbook, RecordFromEntry, ::testing::ValuesIn(kRecordCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CallbookRecord, MatchDesignatorsAndManagerAsGiven) {
  const TEntityTable table = TestEntities();
  const TCallbookRecord r = MakeCallbookRecord(Entry(TDatabase::US, USFields()),
                                               TCallbookMatch::BaseCall, &table, "W5QSL", "VE3/P");
  EXPECT_EQ(r.designators, "VE3/P");
  EXPECT_EQ(r.qslManager, "W5QSL");
  EXPECT_STREQ(MatchName(r.match), "base-call");
  EXPECT_STREQ(MatchName(TCallbookMatch::NextGreater), "next-greater");
  EXPECT_STREQ(MatchName(TCallbookMatch::Words), "words");
  EXPECT_STREQ(MatchName(TCallbookMatch::None), "none");
}

TEST(EntityTable, PrefixesNamesAndStates) {
  const TEntityTable t = TestEntities();
  struct {
    const char* call;
    int code;  // 0 = none
  } const prefixes[] = {{"KL7AA", 6}, {"K5DRC", 291}, {"dl1abc", 230},
                        {"ve3", 1},   {"ZS6AA", 0},   {"", 0}};
  for (const auto& p : prefixes) {
    const TEntity* e = t.FindPrefix(p.call);
    EXPECT_EQ(e ? e->code : 0, p.code) << p.call;
  }
  ASSERT_NE(t.FindName(" fed. rep. of germany "), nullptr);
  EXPECT_EQ(t.FindName("Germany"), nullptr);
  ASSERT_NE(t.FindState("tx"), nullptr);
  EXPECT_EQ(t.FindState("ZZ"), nullptr);
  EXPECT_EQ((TZoneRule{7, 8, -90}.Zone(-90.0)), 8);
  EXPECT_EQ((TZoneRule{7, 8, -90}.Zone(-90.01)), 7);
  EXPECT_EQ((TZoneRule{7, 8, -90}.Zone(std::nullopt)), std::nullopt);
  EXPECT_EQ((TZoneRule{4, 0, 0}.Zone(std::nullopt)), 4);
  EXPECT_EQ((TZoneRule{}.Zone(-100.0)), std::nullopt);
}

TEST(EntityFile, FormatsAndParsesBack) {
  const TEntityTable t = TestEntities();
  const std::string text = FormatEntityTable(t);
  TResult<TEntityTable> parsed = ParseEntityTable(text);
  ASSERT_TRUE(parsed.ok()) << parsed.Status().Message();
  TEntityTable back = std::move(parsed).Value();
  EXPECT_EQ(FormatEntityTable(back), text);
  ASSERT_EQ(back.Entities().size(), t.Entities().size());
  EXPECT_EQ(back.Entities()[0].prefixes, t.Entities()[0].prefixes);
  ASSERT_NE(back.FindState("MO"), nullptr);
  EXPECT_EQ(back.FindState("MO")->itu.Zone(-89.0), 8);
  EXPECT_EQ(back.FindState("AK")->cq.west, 0);  // none given: the entity's
  // CRLF line ends are read too.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const TResult<TEntityTable> fromCrlf = ParseEntityTable(crlf);
  ASSERT_TRUE(fromCrlf.ok()) << fromCrlf.Status().Message();
  EXPECT_EQ(FormatEntityTable(*fromCrlf), text);
}

TEST(EntityFile, RejectsMalformedRowsAndKeepsTheTable) {
  const std::string entities = "code\tname\tcontinent\tcq\titu\tprefixes\n";
  const std::string states = "state\tcode\tcq\titu\n";
  struct {
    std::string text;
    const char* error;
  } const cases[] = {
      {"291\tUnited States\tNA\t5\t8\tK\n", "line 1: a row before any heading"},
      {entities + "291\tUnited States\tNA\t5\t8\n", "line 2: 5 columns, expected 6"},
      {entities + "x\tUnited States\tNA\t5\t8\tK\n", "line 2: bad entity number \"x\""},
      {entities + "291\t\tNA\t5\t8\tK\n", "line 2: entity without a name"},
      {entities + "291\tUnited States\tNA\t0\t8\tK\n", "line 2: bad CQ zone \"0\""},
      {entities + "291\tUnited States\tNA\t5\t99\tK\n", "line 2: bad ITU zone \"99\""},
      {states + "TX\t291\t4\n", "line 2: 3 columns, expected 4"},
      {states + "MO\t291\t4\t7 8\n", "line 2: bad ITU zone \"7 8\""},
      {states + "MO\t291\t4\t7 8 -190\n", "line 2: bad ITU zone \"7 8 -190\""},
      {states + "MO\t-1\t4\t7\n", "line 2: bad entity number \"-1\""},
  };
  for (const auto& c : cases) {
    const TResult<TEntityTable> t = ParseEntityTable(c.text);
    EXPECT_TRUE(t.Status().IsCorrupt()) << c.text;
    EXPECT_EQ(t.Status().Message(), c.error) << c.text;
  }
}

TEST(CallbookWriters, CsvFieldsQuotedWhereNeeded) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"DALLAS", "DALLAS"},
      {"SMITH, GERALD", "\"SMITH, GERALD\""},
      {"QRV \"daily\"", "\"QRV \"\"daily\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(CsvField(in), out) << in;
  const TCallbookRecord r =
      MakeCallbookRecord(Entry(TDatabase::US, USFields()), TCallbookMatch::Exact, nullptr);
  const std::string row = CallbookCsvRow(r);
  EXPECT_EQ(row.substr(0, 19), "K5DRC,exact,us,,G,G") << row;
  // The address, then "synthetic" (empty: a real entry).
  EXPECT_TRUE(row.ends_with(",\"GERALD D SMITH, 87 PICKETT BLVD, DALLAS\",\r\n")) << row;
  const std::string heading = CallbookCsvHeading();
  EXPECT_EQ(std::count(heading.begin(), heading.end(), ','),
            static_cast<std::ptrdiff_t>(CallbookColumns().size() - 1));
}

TEST(CallbookWriters, JsonTypesAndLeftOutValues) {
  const TEntityTable table = TestEntities();
  const TCallbookRecord r =
      MakeCallbookRecord(Entry(TDatabase::US, USFields()), TCallbookMatch::Exact, &table);
  const nlohmann::ordered_json j = CallbookJson(r);
  EXPECT_TRUE(j["dxcc_code"].is_number_integer());
  EXPECT_TRUE(j["cq_zone"].is_number_integer());
  EXPECT_TRUE(j["longitude"].is_number_float());
  EXPECT_DOUBLE_EQ(j["longitude"].get<double>(), -96.6772);
  EXPECT_TRUE(j["vanity"].is_boolean());
  EXPECT_FALSE(j.contains("designators"));
  EXPECT_FALSE(j.contains("fax"));
  EXPECT_EQ(j.begin().key(), "call");
  // A real entry says nothing of it; an invented one is marked in every form.
  EXPECT_FALSE(j.contains("synthetic"));
  TCallbookRecord invented = r;
  invented.synthetic = true;
  EXPECT_EQ(CallbookJson(invented)["synthetic"], true);
  EXPECT_TRUE(CallbookCsvRow(invented).ends_with(",true\r\n"));
  EXPECT_NE(CallbookText(invented).find("\nsynthetic      : true\n"), std::string::npos);
  // A call that finds nothing keeps its call (even empty) and match.
  TCallbookRecord none;
  const std::string array = CallbookJsonArray({r, none});
  ASSERT_EQ(array.back(), '\n');
  const auto parsed = nlohmann::json::parse(array);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[1], (nlohmann::json{{"call", ""}, {"match", "none"}}));
  EXPECT_EQ(CallbookJsonArray({}), "[]\n");
}

TEST(CallbookWriters, TextLeavesOutEmptyValuesAndAligns) {
  const TCallbookRecord r = MakeCallbookRecord(
      Entry(TDatabase::Intl, {{itCall, "3D2AG"}, {itAddress, "Antonio Ravai, Suva"}}),
      TCallbookMatch::Words, nullptr);
  EXPECT_EQ(CallbookText(r),
            "call           : 3D2AG\n"
            "match          : words\n"
            "database       : intl\n"
            "name           : Antonio Ravai\n"
            "city           : Suva\n"
            "address        : Antonio Ravai, Suva\n");
}

// The fixture edition written with an entity table.
struct TEntityEdition {
  TestDir dir;
  TEntityEdition() {
    TBuildInput in = fixture::Input();
    in.entities = TestEntities();
    WriteEdition(in, dir.path());
  }
  const std::string& path() const { return dir.path(); }
};

// The look-up on an edition written with an entity table.
class CallbookLookup : public EditionSuite<TEntityEdition> {};

TEST_F(CallbookLookup, CallsAsLoggersTypeThem) {
  TCallbook callbook;
  callbook.Open();
  EXPECT_EQ(callbook.Warning(), "");
  ASSERT_FALSE(callbook.Entities().Empty());
  struct {
    const char* typed;
    const char* call;
    TCallbookMatch match;
    const char* designators;
    bool exact;
    bool message;
  } const cases[] = {
      {"K1ABC", "K1ABC", TCallbookMatch::Exact, "", true, false},
      {" k1abc/p ", "K1ABC", TCallbookMatch::BaseCall, "P", true, false},
      {"VE3/W1AW/QRP", "W1AW", TCallbookMatch::BaseCall, "VE3/QRP", true, false},
      {"W1AA", "W1AW", TCallbookMatch::NextGreater, "", false, true},
      {"zz9zzz", "ZZ9ZZZ", TCallbookMatch::None, "", false, true},
      {"/", "/", TCallbookMatch::None, "", false, true},
  };
  for (const auto& c : cases) {
    const TCallbookAnswer a = callbook.Lookup(c.typed).Value();
    EXPECT_EQ(a.record.call, c.call) << c.typed;
    EXPECT_EQ(a.record.match, c.match) << c.typed;
    EXPECT_EQ(a.record.designators, c.designators) << c.typed;
    EXPECT_EQ(a.Exact(), c.exact) << c.typed;
    EXPECT_EQ(!a.message.empty(), c.message) << c.typed << ": " << a.message;
  }
  // Manager and zones from the files of the edition.
  const TCallbookRecord k1abc = callbook.Lookup("K1ABC")->record;
  EXPECT_EQ(k1abc.qslManager, "W1QSL");
  EXPECT_EQ(k1abc.dxccCode, 291);  // no row for MA in the test table: the named entity
  const TCallbookRecord dl = callbook.Lookup("DL1ABC")->record;
  EXPECT_EQ(dl.qslManager, "DL9QSL");
  EXPECT_EQ(dl.dxccCode, 230);  // stored as "Germany": the call's prefix
  EXPECT_EQ(dl.ituZone, 28);
}

TEST_F(CallbookLookup, DamagedOrMissingTableGivesRecordsWithoutZones) {
  const std::string path = DataSetPath(kEntityFileName);
  std::string good;
  ASSERT_TRUE(ReadWholeFile(path, good));
  ASSERT_TRUE(WriteFileAtomically(path, "code\tname\tcontinent\tcq\titu\tprefixes\n1\n"));
  TCallbook damaged;
  damaged.Open();
  EXPECT_NE(damaged.Warning().find("data/entities.tsv line 2"), std::string::npos)
      << damaged.Warning();
  EXPECT_FALSE(damaged.Lookup("K1ABC")->record.dxccCode);
  ASSERT_EQ(::unlink(path.c_str()), 0);
  TCallbook missing;
  missing.Open();
  EXPECT_EQ(missing.Warning(), "");
  EXPECT_TRUE(missing.Entities().Empty());
  EXPECT_FALSE(missing.Lookup("K1ABC")->record.cqZone);
  ASSERT_TRUE(WriteFileAtomically(path, good));
}

}  // namespace
