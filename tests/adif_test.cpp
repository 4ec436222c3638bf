// The ADIF reader and writer (logs as other programs write them, damage) and filling a log from
// callbook records (field by field, the date rule, the portable rule, the summary).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "TestDir.h"
#include "TestRecords.h"
#include "adif/UAdif.h"
#include "adif/UAdifFill.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Reading and writing back

struct TLogCase {
  const char* label;
  std::string text;
  size_t records;
  const char* firstCall;
  const char* firstName;  // NAME of the first record, "" when none
};

class AdifRoundTrip : public ::testing::TestWithParam<TLogCase> {};

TEST_P(AdifRoundTrip, ReadsAndWritesBackUnchanged) {
  const TLogCase& c = GetParam();
  const TAdifLog log = TAdifLog::Parse(c.text);
  ASSERT_TRUE(log.Problems().empty()) << AdifProblemText(log.Problems().front());
  ASSERT_EQ(log.Records().size(), c.records);
  EXPECT_EQ(log.FieldText(log.Records()[0], "CALL"), c.firstCall);
  EXPECT_EQ(log.FieldText(log.Records()[0], "name"), c.firstName);
  EXPECT_EQ(WriteAdif(log, {}), c.text);
  // Fills of fields that have a value change nothing either.
  TAdifFills fills(log.Records().size(), {{"CALL", "X1X"}});
  EXPECT_EQ(WriteAdif(log, fills), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    AsProgramsWriteThem, AdifRoundTrip,
    ::testing::Values(
        TLogCase{"UpperCaseLf",
                 "ADIF export\n<ADIF_VER:5>3.1.0\n<EOH>\n<CALL:5>K5DRC <QSO_DATE:8>20240101 "
                 "<EOR>\n<CALL:4>W1AW <QSO_DATE:8>20240102 <EOR>\n",
                 2, "K5DRC", ""},
        TLogCase{"LowerCaseNoHeader", "<call:4>W1AW<qso_date:8>20240102<eor>\n", 1, "W1AW", ""},
        TLogCase{"TypeLetters",
                 "<CALL:5:S>K5DRC <QSO_DATE:8:D>20240101 <FREQ:6:N>14.025 <NAME:3:S>Bob <EOR>", 1,
                 "K5DRC", "Bob"},
        TLogCase{"ProgramFields",
                 "<CALL:5>K5DRC <APP_LOGGER_ID:3>123 <MYLOGGERFIELD:2>xy <USERDEF1:2>ab <EOR>", 1,
                 "K5DRC", ""},
        TLogCase{"FreeTextHeaderCrLf",
                 "Exported by op <op@example.org> on 2024-01-01\r\n<PROGRAMID:4>Test\r\n"
                 "<EOH>\r\n<CALL:5>K5DRC<EOR>\r\n<CALL:5>DL1AB<EOR>\r\n",
                 2, "K5DRC", ""},
        TLogCase{"Utf8LengthInBytes", "<CALL:5>DL1AB <NAME:10>J\xC3\xBCrgen Bo <EOR>\n", 1, "DL1AB",
                 "J\xC3\xBCrgen Bo"},
        TLogCase{"Utf8LengthInCharacters", "<CALL:5>DL1AB <NAME:9>J\xC3\xBCrgen Bo <EOR>\n", 1,
                 "DL1AB", "J\xC3\xBCrgen Bo"},
        TLogCase{"Utf8CharactersNoBlank", "<NAME:6>J\xC3\xBCrgen<CALL:5>DL1AB<EOR>", 1, "DL1AB",
                 "J\xC3\xBCrgen"},
        TLogCase{"BomMixedCaseNames",
                 "\xEF\xBB\xBF<ADIF_Ver:5>3.1.4\n<Eoh>\n<Call:5>K5DRC\n<QSO_Date:8>20240101\n"
                 "<Name:3>Bob\n<Eor>\n",
                 1, "K5DRC", "Bob"},
        TLogCase{"TextAfterValues", "<CALL:5>K5DRC  worked on 20m <NAME:3>Bob ; note\n<EOR>\n", 1,
                 "K5DRC", "Bob"},
        TLogCase{"ValueHoldingAngleBrackets", "<CALL:5>K5DRC <COMMENT:9><EOR> xyz <EOR>", 1,
                 "K5DRC", ""},
        TLogCase{"MultilineAddress", "<CALL:5>K5DRC <ADDRESS:19>Bob\r\n1 Main\r\nDallas <EOR>", 1,
                 "K5DRC", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(AdifRead, FieldsKeepNameTypeAndPlace) {
  const std::string text = "hdr <PROGRAMID:2>xy<EOH><Call:5:S>K5DRC<EOR>";
  const TAdifLog log = TAdifLog::Parse(text);
  ASSERT_TRUE(log.HasHeader());
  EXPECT_EQ(log.HeaderEnd(), text.find("<Call"));
  ASSERT_EQ(log.HeaderFields().size(), 1u);
  EXPECT_EQ(log.Value(log.HeaderFields()[0]), "xy");
  const TAdifField& f = log.Records()[0].fields[0];
  EXPECT_EQ(f.name, "Call");
  EXPECT_EQ(f.type, "S");
  EXPECT_EQ(f.tag, text.find("<Call"));
  EXPECT_EQ(log.Value(f), "K5DRC");
}

// ---------------------------------------------------------------------------------------------
// Damage

struct TDamageCase {
  const char* label;
  std::string text;
  size_t record;     // of the first problem
  size_t offset;     // of the first problem
  const char* what;  // part of its text
  size_t sound, damaged;
};

class AdifDamage : public ::testing::TestWithParam<TDamageCase> {};

TEST_P(AdifDamage, NamesRecordAndOffsetAndKeepsEveryByte) {
  const TDamageCase& c = GetParam();
  const TAdifLog log = TAdifLog::Parse(c.text);
  ASSERT_FALSE(log.Problems().empty());
  const TAdifProblem& p = log.Problems().front();
  EXPECT_EQ(p.record, c.record);
  EXPECT_EQ(p.offset, c.offset);
  EXPECT_NE(p.text.find(c.what), std::string::npos) << p.text;
  EXPECT_EQ(log.Records().size() - log.DamagedRecords(), c.sound);
  EXPECT_EQ(log.DamagedRecords(), c.damaged);
  // Damaged records are written back as they are, fills or not.
  TAdifFills fills(log.Records().size(), {{"NAME", "Bob"}});
  const std::string out = WriteAdif(log, fills);
  EXPECT_EQ(out.size(), c.text.size() + c.sound * std::string("<NAME:3>Bob").size());
  for (const TAdifRecord& r : log.Records())
    if (!r.sound) {
      EXPECT_NE(out.find(c.text.substr(r.begin, r.end - r.begin)), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Logs, AdifDamage,
    ::testing::Values(
        TDamageCase{"LengthPastTheEnd", "<CALL:5>K5DRC<EOR><CALL:50>W1AW<EOR>", 2, 18,
                    "runs past the end", 1, 1},
        TDamageCase{"EnormousLength", "<CALL:5>K5DRC<EOR><CALL:99999999999999999999999>W<EOR>", 2,
                    18, "runs past the end", 1, 1},
        TDamageCase{"NegativeLength", "<CALL:5>K5DRC<EOR><CALL:-4>W1AW<EOR><CALL:2>K1<EOR>", 2, 18,
                    "negative length", 2, 1},
        TDamageCase{"NoLength", "<CALL:>W1AW<EOR><CALL:2>K1<EOR>", 1, 0, "no length", 1, 1},
        TDamageCase{"BadTag", "<CALL:4x>W1AW<EOR><CALL:2>K1<EOR>", 1, 0, "bad tag", 1, 1},
        TDamageCase{"MissingEor", "<CALL:5>K5DRC<EOR>\n<CALL:4>W1AW <NAME:3>Bob\n", 2, 19,
                    "no <EOR>", 1, 1},
        TDamageCase{"BinaryBytes", std::string("<CALL:5>K5DRC<EOR><CALL:4>W1AW\0\x01<EOR>", 37), 2,
                    30, "binary byte 0", 1, 1},
        TDamageCase{"SecondEoh", "<EOH><CALL:5>K5DRC<EOR><CALL:4>W1AW<EOH><EOR>", 2, 35,
                    "<EOH> after the header", 1, 1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(AdifDamage, TruncatedAnywhereNeverReadsPastTheText) {
  const std::string full =
      "\xEF\xBB\xBFhdr <a@b> <ADIF_VER:5>3.1.0<EOH>\n<CALL:5>DL1AB <NAME:6>J\xC3\xBCrgen "
      "<QSO_DATE:8:D>20240101<EOR>\n";
  for (size_t n = 0; n <= full.size(); ++n) {
    // A copy of exactly n bytes: ASan sees any read past it.
    const TAdifLog log = TAdifLog::Parse(full.substr(0, n));
    EXPECT_EQ(WriteAdif(log, TAdifFills(log.Records().size(), {{"QTH", "Berlin"}})).substr(0, 3),
              full.substr(0, std::min<size_t>(n, 3)));
  }
}

// ---------------------------------------------------------------------------------------------
// Writing filled fields

struct TWriteCase {
  const char* label;
  std::string in;
  std::vector<std::pair<std::string, std::string>> fills;
  std::string out;
};

class AdifWrite : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(AdifWrite, PutsFieldsWhereTheRecordWritesThem) {
  const TWriteCase& c = GetParam();
  const TAdifLog log = TAdifLog::Parse(c.in);
  ASSERT_TRUE(log.Problems().empty());
  EXPECT_EQ(WriteAdif(log, TAdifFills(log.Records().size(), c.fills)), c.out);
  // What was written reads back with the same records and the new values.
  const TAdifLog again = TAdifLog::Parse(WriteAdif(log, TAdifFills(log.Records().size(), c.fills)));
  ASSERT_EQ(again.Records().size(), log.Records().size());
  for (const auto& [name, value] : c.fills)
    if (AdifCanFill(log, log.Records()[0], name, value)) {
      EXPECT_EQ(again.FieldText(again.Records()[0], name), value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, AdifWrite,
    ::testing::Values(TWriteCase{"SpaceSeparated",
                                 "<CALL:5>K5DRC <EOR> ",
                                 {{"NAME", "Bob"}, {"QTH", "Dallas"}},
                                 "<CALL:5>K5DRC <NAME:3>Bob <QTH:6>Dallas <EOR> "},
                      TWriteCase{"LineSeparatedCrLf",
                                 "<CALL:5>K5DRC\r\n<EOR>\r\n",
                                 {{"NAME", "Bob"}},
                                 "<CALL:5>K5DRC\r\n<NAME:3>Bob\r\n<EOR>\r\n"},
                      TWriteCase{"NoSeparator",
                                 "<CALL:5>K5DRC<EOR>",
                                 {{"NAME", "Bob"}},
                                 "<CALL:5>K5DRC<NAME:3>Bob<EOR>"},
                      TWriteCase{"LowerCaseNames",
                                 "<call:5>K5DRC\n<eor>\n",
                                 {{"NAME", "Bob"}},
                                 "<call:5>K5DRC\n<name:3>Bob\n<eor>\n"},
                      TWriteCase{"EmptyFieldTakesTheValue",
                                 "<CALL:5>K5DRC <Name:0:S> <QTH:0> <EOR>",
                                 {{"NAME", "Bob"}, {"QTH", "Dallas"}},
                                 "<CALL:5>K5DRC <Name:3:S>Bob <QTH:6>Dallas <EOR>"},
                      TWriteCase{"BlankFieldTakesTheValue",
                                 "<CALL:5>K5DRC <NAME:2>   <EOR>",
                                 {{"NAME", "Bob"}},
                                 "<CALL:5>K5DRC <NAME:3>Bob <EOR>"},
                      TWriteCase{"ValueKept",
                                 "<CALL:5>K5DRC <NAME:3>Bob <EOR>",
                                 {{"NAME", "Gerald"}},
                                 "<CALL:5>K5DRC <NAME:3>Bob <EOR>"},
                      TWriteCase{"Utf8InPlaceBeforeText",
                                 "<CALL:5>DL1AB <NAME:0> ) <EOR>",
                                 {{"NAME", "J\xC3\xBCrgen"}},
                                 "<CALL:5>DL1AB <NAME:7>J\xC3\xBCrgen ) <EOR>"},
                      // Read in characters, 7 would take the "x": such a field is left empty.
                      TWriteCase{"Utf8InPlaceAmbiguousLeftEmpty",
                                 "<CALL:5>DL1AB <NAME:0>x<EOR>",
                                 {{"NAME", "J\xC3\xBCrgen"}, {"QTH", "Berlin"}},
                                 "<CALL:5>DL1AB <NAME:0>x<QTH:6>Berlin<EOR>"},
                      TWriteCase{"Utf8InCharactersInPlaceBeforeText",
                                 "<CALL:5>DL1AB <C:1>\xC3\xBC <NAME:0> ) <EOR>",
                                 {{"NAME", "J\xC3\xBCrgen"}},
                                 "<CALL:5>DL1AB <C:1>\xC3\xBC <NAME:7>J\xC3\xBCrgen ) <EOR>"},
                      TWriteCase{"Utf8InBytes",
                                 "<CALL:5>DL1AB <EOR>",
                                 {{"NAME", "J\xC3\xBCrgen"}},
                                 "<CALL:5>DL1AB <NAME:7>J\xC3\xBCrgen <EOR>"},
                      TWriteCase{"Utf8InCharactersLikeTheLog",
                                 "<CALL:5>DL1AB <COMMENT:5>Gr\xC3\xBC\xC3\x9F"
                                 "e <EOR>",
                                 {{"NAME", "J\xC3\xBCrgen"}},
                                 "<CALL:5>DL1AB <COMMENT:5>Gr\xC3\xBC\xC3\x9F"
                                 "e <NAME:6>J\xC3\xBCrgen <EOR>"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------
// ADIF forms

TEST(AdifForms, Location) {
  const struct {
    double degrees;
    bool latitude;
    const char* text;
  } cases[] = {{32.7116, true, "N032 42.696"},
               {-96.6772, false, "W096 40.632"},
               {151.2093, false, "E151 12.558"},
               {-33.999999, true, "S034 00.000"},
               {0.0, true, "N000 00.000"},
               {180.0, false, "E180 00.000"},
               {90.5, true, ""},
               {-180.01, false, ""},
               {std::nan(""), true, ""}};
  for (const auto& c : cases) EXPECT_EQ(AdifLocation(c.degrees, c.latitude), c.text) << c.degrees;
}

TEST(AdifForms, CountyAndGrid) {
  const std::pair<std::pair<const char*, const char*>, const char*> counties[] = {
      {{"TX", "Dallas"}, "TX,Dallas"},
      {{"TX", "DALLAS"}, "TX,Dallas"},
      {{"tx", "MCLENNAN"}, "TX,McLennan"},
      {{"MO", "ST. LOUIS"}, "MO,St. Louis"},
      {{"GA", "DeKalb"}, "GA,DeKalb"},
      {{"VA", "JAMES CITY"}, "VA,James City"},
      {{"", "Dallas"}, ""},
      {{"TX", " "}, ""}};
  for (const auto& [in, out] : counties) EXPECT_EQ(AdifCounty(in.first, in.second), out);
  const std::pair<const char*, const char*> grids[] = {
      {"em12kq", "EM12kq"}, {"EM12KQ", "EM12kq"}, {"EM12", "EM12"}, {"ZZ99", ""}, {"EM1", ""}};
  for (const auto& [in, out] : grids) EXPECT_EQ(AdifGrid(in), out) << in;
}

// ---------------------------------------------------------------------------------------------
// Filling

// K5DRC with the fields the fill is checked on.
TCallbookRecord Gerald() {
  TCallbookRecord r = K5drcRecord();
  r.zip = "75201";
  r.county = "Dallas";
  r.country = "USA";
  r.grid = "EM12kq";
  r.latitude = 32.7116;
  r.email = "k5drc@example.org";
  return r;
}

TCallbookRecord Desire() {
  TCallbookRecord r;
  r.call = "F5DES";
  r.database = TDatabase::Intl;
  r.name = "D\xC3\xA9sir\xC3\xA9 Lucas";   // Désiré
  r.street = "3 Rue \xC3\x89mile Zola";    // Émile
  r.city = "P\xC3\xA9rtuis \xE2\x82\xAC";  // a euro sign, which ASCII leaves out
  r.country = "France";
  r.dxcc = "France";
  r.dxccCode = 227;
  return r;
}

TCallbookRecord Juergen() {
  TCallbookRecord r;
  r.call = "DL1AB";
  r.database = TDatabase::Intl;
  r.name = "J\xC3\xBCrgen Meier";
  r.city = "10115 Berlin";
  r.country = "Germany";
  r.dxcc = "Fed. Rep. of Germany";
  r.dxccCode = 230;
  r.cqZone = 14;
  r.ituZone = 28;
  r.continent = "EU";
  r.grid = "JO62qm";
  r.qslManager = "DL0XX";
  r.issued = "2020-01-01";  // never applies to an International entry
  return r;
}

class TFakeSource : public TAdifSource {
 public:
  TFakeSource() {
    // A country file of three entities: the U.S. with the zones of its 5th call area, Canada
    // with Ontario's, Germany with one pair.
    TResult<TCountryFile> f = ParseCountryFile(
        "K,United States,291,NA,5,8,37.60,91.87,5.0,K N W AA W5(4)[7] K5(4)[7];\n"
        "VE,Canada,1,NA,5,9,44.35,78.75,5.0,VE VA VE3(4)[4];\n"
        "DL,Fed. Rep. of Germany,230,EU,14,28,51.00,-10.00,-1.0,DL DA;\n",
        nullptr);
    EXPECT_TRUE(f.ok()) << f.Status().Message();
    if (f.ok()) table_.SetCountryFile(std::move(f).Value());
  }
  std::optional<TCallbookRecord> FindBaseCall(std::string_view call) override {
    ++asked[std::string(call)];
    if (call == "K5DRC") return Gerald();
    if (call == "DL1AB") return Juergen();
    if (call == "JA1XYZ" || call == "JA2XYZ") {  // invented entries of a sample edition
      TCallbookRecord r = Juergen();
      r.call = std::string(call);
      r.synthetic = true;
      return r;
    }
    if (call == "F5DES") return Desire();
    return std::nullopt;
  }
  const TEntityTable* Entities() override { return &table_; }
  std::map<std::string, int> asked;

 private:
  TEntityTable table_;
};

struct TFillCase {
  const char* call;
  const char* date;
  const char* field;
  const char* value;  // "" = not filled
};

class AdifFillField : public ::testing::TestWithParam<TFillCase> {};

TEST_P(AdifFillField, FromTheRecordOfTheCall) {
  const TFillCase& c = GetParam();
  const std::string call = c.call, date = c.date;
  const std::string text = "<CALL:" + std::to_string(call.size()) + ">" + call + " " +
                           (date.empty() ? "" : "<QSO_DATE:8>" + date + " ") + "<EOR>\n";
  TFakeSource source;
  const TAdifFillResult r = FillAdifLog(TAdifLog::Parse(text), source);
  const TAdifLog out = TAdifLog::Parse(r.text);
  ASSERT_EQ(out.Records().size(), 1u);
  EXPECT_EQ(out.FieldText(out.Records()[0], c.field), c.value) << r.text;
  EXPECT_EQ(out.FieldText(out.Records()[0], "CALL"), call);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AdifFillField,
    ::testing::Values(
        // Every field of a U.S. call at home.
        TFillCase{"K5DRC", "20240101", "NAME", "GERALD D SMITH"},
        TFillCase{"K5DRC", "20240101", "QTH", "DALLAS"},
        TFillCase{"K5DRC", "20240101", "STATE", "TX"},
        TFillCase{"K5DRC", "20240101", "CNTY", "TX,Dallas"},
        TFillCase{"K5DRC", "20240101", "GRIDSQUARE", "EM12kq"},
        TFillCase{"K5DRC", "20240101", "LAT", "N032 42.696"},
        TFillCase{"K5DRC", "20240101", "LON", "W096 40.632"},
        TFillCase{"K5DRC", "20240101", "COUNTRY", "United States"},
        TFillCase{"K5DRC", "20240101", "DXCC", "291"}, TFillCase{"K5DRC", "20240101", "CQZ", "4"},
        TFillCase{"K5DRC", "20240101", "ITUZ", "7"}, TFillCase{"K5DRC", "20240101", "CONT", "NA"},
        TFillCase{"K5DRC", "20240101", "EMAIL", "k5drc@example.org"},
        TFillCase{"K5DRC", "20240101", "QSL_VIA", ""},
        TFillCase{"k5drc", "20240101", "ADDRESS",
                  "GERALD D SMITH\r\n87 PICKETT BLVD\r\nDALLAS, TX 75201\r\nUSA"},
        // The date rule: before the grant, maybe an earlier holder.
        TFillCase{"K5DRC", "19990402", "NAME", ""}, TFillCase{"K5DRC", "19990402", "QTH", ""},
        TFillCase{"K5DRC", "19990402", "ADDRESS", ""}, TFillCase{"K5DRC", "19990402", "CNTY", ""},
        TFillCase{"K5DRC", "19990402", "GRIDSQUARE", ""}, TFillCase{"K5DRC", "19990402", "LAT", ""},
        TFillCase{"K5DRC", "19990402", "EMAIL", ""}, TFillCase{"K5DRC", "19990402", "DXCC", "291"},
        TFillCase{"K5DRC", "19990402", "CQZ", "4"}, TFillCase{"K5DRC", "19990402", "ITUZ", "7"},
        TFillCase{"K5DRC", "19990402", "CONT", "NA"},
        TFillCase{"K5DRC", "19990403", "NAME", "GERALD D SMITH"},
        TFillCase{"K5DRC", "", "NAME", "GERALD D SMITH"},
        // An ASCII log gets ASCII names, accents folded.
        TFillCase{"DL1AB", "19500101", "NAME", "Jurgen Meier"},
        // Portable: the name, but nothing of the home.
        TFillCase{"K5DRC/P", "20240101", "NAME", "GERALD D SMITH"},
        TFillCase{"K5DRC/P", "20240101", "QTH", ""},
        TFillCase{"K5DRC/P", "20240101", "ADDRESS", ""},
        TFillCase{"K5DRC/P", "20240101", "STATE", ""}, TFillCase{"K5DRC/P", "20240101", "CNTY", ""},
        TFillCase{"K5DRC/P", "20240101", "GRIDSQUARE", ""},
        TFillCase{"K5DRC/P", "20240101", "LAT", ""}, TFillCase{"K5DRC/P", "20240101", "LON", ""},
        TFillCase{"K5DRC/P", "20240101", "DXCC", "291"},
        TFillCase{"K5DRC/P", "20240101", "CONT", "NA"}, TFillCase{"K5DRC/P", "20240101", "CQZ", ""},
        TFillCase{"K5DRC/4", "20240101", "QTH", ""},
        TFillCase{"K5DRC/4", "20240101", "DXCC", "291"},
        TFillCase{"W5/K5DRC", "20240101", "DXCC", "291"},
        // A prefix of another entity gives that entity.
        TFillCase{"VE3/K5DRC", "20240101", "NAME", "GERALD D SMITH"},
        TFillCase{"VE3/K5DRC", "20240101", "DXCC", "1"},
        TFillCase{"VE3/K5DRC", "20240101", "COUNTRY", "Canada"},
        TFillCase{"VE3/K5DRC", "20240101", "CQZ", "4"},
        TFillCase{"VE3/K5DRC", "20240101", "ITUZ", "4"},
        TFillCase{"VE3/K5DRC/P", "20240101", "CONT", "NA"},
        TFillCase{"VE3/K5DRC", "20240101", "STATE", ""},
        TFillCase{"VE3/K5DRC", "20240101", "GRIDSQUARE", ""},
        // At sea: no entity.
        TFillCase{"K5DRC/MM", "20240101", "NAME", "GERALD D SMITH"},
        TFillCase{"K5DRC/MM", "20240101", "DXCC", ""}, TFillCase{"K5DRC/MM", "20240101", "CQZ", ""},
        // An International call: no state or county.
        TFillCase{"DL1AB", "20240101", "QTH", "10115 Berlin"},
        TFillCase{"DL1AB", "20240101", "QSL_VIA", "DL0XX"},
        TFillCase{"DL1AB", "20240101", "STATE", ""}, TFillCase{"DL1AB", "20240101", "CNTY", ""},
        TFillCase{"DL1AB", "20240101", "DXCC", "230"},
        TFillCase{"DL1AB", "20240101", "GRIDSQUARE", "JO62qm"},
        TFillCase{"DL1AB", "20240101", "LAT", ""}),
    [](const auto& info) {
      std::string n = std::string(info.param.call) + "_" + info.param.date + "_" + info.param.field;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n + "_" + std::to_string(info.index);
    });

// A contact whose logged place is not the directory's gets none of the directory's place.
struct TElsewhereCase {
  const char* fields;  // the contact's own fields after its CALL
  bool elsewhere;
};
class AdifFillPlace : public ::testing::TestWithParam<TElsewhereCase> {};
TEST_P(AdifFillPlace, OnlyWhereTheLoggedPlaceAgrees) {
  TFakeSource source;
  const std::string in = std::string("<CALL:5>K5DRC") + GetParam().fields + "<EOR>\n";
  const TAdifFillResult r = FillAdifLog(TAdifLog::Parse(in), source);
  const TAdifLog out = TAdifLog::Parse(r.text);
  ASSERT_EQ(out.Records().size(), 1u);
  const TAdifRecord& rec = out.Records()[0];
  EXPECT_EQ(r.summary.elsewhere, GetParam().elsewhere ? 1u : 0u);
  for (const char* f : {"ADDRESS", "CNTY", "LAT", "LON"}) {
    if (std::string(GetParam().fields).find(std::string("<") + f + ":") == std::string::npos) {
      EXPECT_EQ(out.FieldText(rec, f).empty(), GetParam().elsewhere) << f << "\n" << r.text;
    }
  }
  // Who and which entity are filled either way.
  EXPECT_EQ(out.FieldText(rec, "NAME"), "GERALD D SMITH");
  EXPECT_EQ(out.FieldText(rec, "DXCC"), "291");
  EXPECT_NE(AdifFillSummaryText(TAdifLog::Parse(in), r.summary)
                .find("contacts logged elsewhere (place not filled): " +
                      std::string(GetParam().elsewhere ? "1" : "0")),
            std::string::npos);
}
INSTANTIATE_TEST_SUITE_P(
    Logged, AdifFillPlace,
    ::testing::Values(TElsewhereCase{"", false}, TElsewhereCase{"<QTH:10>My Own QTH", true},
                      TElsewhereCase{"<QTH:6>Dallas", false},
                      TElsewhereCase{"<STATE:2>tx<GRIDSQUARE:6>EM12ab", false},
                      TElsewhereCase{"<STATE:2>OK", true},
                      TElsewhereCase{"<GRIDSQUARE:4>EM13", true},
                      TElsewhereCase{"<LAT:11>N032 40.000<LON:11>W096 30.000", false},
                      TElsewhereCase{"<LAT:11>N035 40.000", true},
                      TElsewhereCase{"<ADDRESS:20>PO Box 1, Dallas, TX", false},
                      TElsewhereCase{"<QTH:0>", false}));

struct TCharsetCase {
  const char* log;  // the log before the contact
  TAdifCharset charset;
  const char *name, *qth;
};
class AdifFillCharset : public ::testing::TestWithParam<TCharsetCase> {};
TEST_P(AdifFillCharset, AsciiUnlessTheLogHoldsUtf8) {
  TFakeSource source;
  const std::string in = std::string(GetParam().log) + "<CALL:5>F5DES<EOR>\n";
  const TAdifFillResult r = FillAdifLog(TAdifLog::Parse(in), source, GetParam().charset);
  const TAdifLog out = TAdifLog::Parse(r.text);
  ASSERT_EQ(out.Records().size(), GetParam().log[0] ? 2u : 1u);
  const TAdifRecord& rec = out.Records().back();
  EXPECT_EQ(out.FieldText(rec, "NAME"), GetParam().name) << r.text;
  EXPECT_EQ(out.FieldText(rec, "QTH"), GetParam().qth) << r.text;
}
INSTANTIATE_TEST_SUITE_P(
    Logs, AdifFillCharset,
    ::testing::Values(TCharsetCase{"", TAdifCharset::Auto, "Desire Lucas", "Pertuis"},
                      TCharsetCase{"", TAdifCharset::Ascii, "Desire Lucas", "Pertuis"},
                      TCharsetCase{"", TAdifCharset::Utf8, "D\xC3\xA9sir\xC3\xA9 Lucas",
                                   "P\xC3\xA9rtuis \xE2\x82\xAC"},
                      TCharsetCase{"<CALL:4>W1AW<NAME:5>Ren\xC3\xA9<EOR>\n", TAdifCharset::Auto,
                                   "D\xC3\xA9sir\xC3\xA9 Lucas", "P\xC3\xA9rtuis \xE2\x82\xAC"},
                      TCharsetCase{"<CALL:4>W1AW<NAME:5>Ren\xC3\xA9<EOR>\n", TAdifCharset::Ascii,
                                   "Desire Lucas", "Pertuis"}));

TEST(AdifAscii, FoldsAccentsAndLeavesOutTheRest) {
  EXPECT_EQ(AdifAscii("D\xC3\xA9sir\xC3\xA9"), "Desire");
  EXPECT_EQ(AdifAscii("\xC3\x89mile \xC3\x96zt\xC3\xBCrk"), "Emile Ozturk");
  EXPECT_EQ(AdifAscii("Stra\xC3\x9F"
                      "e"),
            "Strasse");
  EXPECT_EQ(AdifAscii("\xE5\xB1\xB1\xE7\x94\xB0 Taro"), "Taro");
  EXPECT_EQ(AdifAscii("P\xC3\xA9rtuis \xE2\x82\xAC\r\nFrance"), "Pertuis\r\nFrance");
  EXPECT_EQ(AdifAscii("Line 1\r\nLine 2"), "Line 1\r\nLine 2");
  TAdifCharset c = TAdifCharset::Auto;
  EXPECT_TRUE(ParseAdifCharset("utf8", c));
  EXPECT_EQ(c, TAdifCharset::Utf8);
  EXPECT_TRUE(ParseAdifCharset("ascii", c));
  EXPECT_EQ(c, TAdifCharset::Ascii);
  EXPECT_FALSE(ParseAdifCharset("latin1", c));
}

TEST(AdifFill, NeverChangesAValueAndKeepsTheRestByteForByte) {
  const std::string in =
      "Log\r\n<EOH>\r\n<CALL:5>K5DRC <NAME:3>Bob <QTH:0> <GRIDSQUARE:4>EM12 <MY_X:2>ab <EOR>\r\n";
  TFakeSource source;
  const TAdifFillResult r = FillAdifLog(TAdifLog::Parse(in), source);
  const std::string head =
      "Log\r\n<EOH>\r\n<CALL:5>K5DRC <NAME:3>Bob <QTH:6>DALLAS <GRIDSQUARE:4>EM12 <MY_X:2>ab ";
  ASSERT_EQ(r.text.substr(0, head.size()), head);
  EXPECT_EQ(r.text.substr(r.text.size() - 7), "<EOR>\r\n");
  EXPECT_EQ(r.text.find("<NAME", head.size()), std::string::npos);
  EXPECT_EQ(r.text.find("<GRIDSQUARE", head.size()), std::string::npos);
  EXPECT_EQ(r.summary.perField[0], 0u);  // NAME
  EXPECT_EQ(r.summary.perField[1], 1u);  // QTH
}

TEST(AdifFill, SummaryAndOneLookUpPerCall) {
  const std::string in =
      "<CALL:5>K5DRC<QSO_DATE:8>20240101<EOR>\n"
      "<CALL:7>K5DRC/P<QSO_DATE:8>20240102<EOR>\n"
      "<CALL:5>K5DRC<QSO_DATE:8>19980101<EOR>\n"
      "<CALL:6>N0CALL<EOR>\n<CALL:6>N0CALL<EOR>\n"
      "<QSO_DATE:8>20240101<EOR>\n"
      "<CALL:5>DL1AB<NAME:4>Juno<COUNTRY:7>Germany<DXCC:3>230<CQZ:2>14<ITUZ:2>28<CONT:2>EU"
      "<QTH:1>x<ADDRESS:1>x<GRIDSQUARE:4>JO62<QSL_VIA:1>x<EOR>\n";
  TFakeSource source;
  const TAdifLog log = TAdifLog::Parse(in);
  TAdifFillSummary s = FillAdifLog(log, source).summary;
  EXPECT_EQ(source.asked, (std::map<std::string, int>{{"DL1AB", 1}, {"K5DRC", 1}, {"N0CALL", 1}}));
  EXPECT_EQ(s.lookups, 3u);
  EXPECT_EQ(s.contacts, 7u);
  EXPECT_EQ(s.filledContacts, 3u);
  EXPECT_EQ(s.perField[0], 2u);   // NAME: not before the grant, not DL1AB
  EXPECT_EQ(s.perField[9], 3u);   // DXCC
  EXPECT_EQ(s.perField[10], 2u);  // CQZ: not portable
  EXPECT_EQ(s.notFound, 2u);
  EXPECT_EQ(s.notFoundCalls, std::vector<std::string>{"N0CALL"});
  EXPECT_EQ(s.noCall, 1u);
  EXPECT_EQ(s.dateRule, 1u);
  EXPECT_EQ(s.unreadable, 0u);
  EXPECT_EQ(AdifFillOutcome(s), TAdifFillOutcome::NotFound);
  const std::string text = AdifFillSummaryText(log, s);
  EXPECT_NE(text.find("contacts read: 7\n"), std::string::npos) << text;
  EXPECT_NE(text.find("calls not found: 2 (N0CALL)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  NAME: 2\n"), std::string::npos) << text;

  const TAdifLog damaged = TAdifLog::Parse("<CALL:5>K5DRC<EOR><CALL:-1>x<EOR>");
  s = FillAdifLog(damaged, source).summary;
  EXPECT_EQ(s.unreadable, 1u);
  EXPECT_EQ(AdifFillOutcome(s), TAdifFillOutcome::Unreadable);
  EXPECT_NE(AdifFillSummaryText(damaged, s).find("record 2, byte 18: negative length"),
            std::string::npos);
  s = FillAdifLog(TAdifLog::Parse("<CALL:5>K5DRC<EOR>"), source).summary;
  EXPECT_EQ(AdifFillOutcome(s), TAdifFillOutcome::AllFound);
}

// The outcome of a fill that read and wrote its files.
TAdifFillOutcome OutcomeOf(const TResult<TAdifFillSummary>& r) {
  EXPECT_TRUE(r.ok()) << r.Status().Message();
  return r.ok() ? AdifFillOutcome(*r) : TAdifFillOutcome::Unreadable;
}

TEST(AdifFill, InventedEntriesFillNothingUnlessAllowed) {
  const std::string in =
      "<CALL:6>JA1XYZ<EOR>\n<CALL:8>JA1XYZ/P<EOR>\n<CALL:6>JA2XYZ<EOR>\n<CALL:5>DL1AB<EOR>\n";
  TFakeSource source;
  const TAdifLog log = TAdifLog::Parse(in);
  const TAdifFillResult refused = FillAdifLog(log, source);
  EXPECT_EQ(refused.summary.synthetic, 3u);
  EXPECT_EQ(refused.summary.syntheticCalls, (std::vector<std::string>{"JA1XYZ", "JA2XYZ"}));
  EXPECT_EQ(refused.summary.filledContacts, 1u);  // DL1AB, a real entry
  const std::string invented = refused.text.substr(0, refused.text.find("<CALL:5>DL1AB"));
  EXPECT_EQ(invented.find("<NAME"), std::string::npos) << invented;
  const TAdifFillResult allowed = FillAdifLog(log, source, TAdifCharset::Auto, true);
  EXPECT_EQ(allowed.summary.synthetic, 0u);
  EXPECT_EQ(allowed.summary.filledContacts, 4u);

  // The file: refused whole, nothing written, status 2; with the flag, written.
  TestDir dir;
  const std::string path = dir.file("log.adi"), out = dir.file("out.adi");
  std::ofstream(path, std::ios::binary) << in;
  std::ostringstream stdOut, err;
  TAdifFileJob job{path, out};
  const TResult<TAdifFillSummary> refusedFile = FillAdifFile(job, source, stdOut, err);
  ASSERT_FALSE(refusedFile.ok());
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(refusedFile.Status().Message(),
            "refused: 3 contacts (JA1XYZ, JA2XYZ) would be filled from invented "
            "entries of a sample edition, with names and places of no real station; nothing was "
            "written (--allow-sample fills from the sample anyway)");
  job.allowSample = true;
  EXPECT_TRUE(FillAdifFile(job, source, stdOut, err).ok());
  EXPECT_TRUE(std::filesystem::exists(out));
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AdifFile, OutputInPlaceOrToStandardOutput) {
  TestDir dir;
  const std::string in = dir.file("log.adi"), out = dir.file("out.adi");
  const std::string log = "<CALL:5>K5DRC <QSO_DATE:8>20240101 <EOR>\n<CALL:4>W1XX <EOR>\n";
  std::ofstream(in, std::ios::binary) << log;
  ::chmod(in.c_str(), 0600);
  TFakeSource source;
  std::ostringstream stdOut, err;
  const std::string filled = FillAdifLog(TAdifLog::Parse(log), source).text;

  // To standard output: the input untouched, the summary on err.
  EXPECT_EQ(OutcomeOf(FillAdifFile({in, "", false}, source, stdOut, err)),
            TAdifFillOutcome::NotFound);
  EXPECT_EQ(stdOut.str(), filled);
  EXPECT_EQ(FileText(in), log);
  EXPECT_NE(err.str().find("tellmark-lookup: calls not found: 1 (W1XX)\n"), std::string::npos)
      << err.str();
  // To a file.
  stdOut.str("");
  EXPECT_EQ(OutcomeOf(FillAdifFile({in, out, false}, source, stdOut, err)),
            TAdifFillOutcome::NotFound);
  EXPECT_EQ(FileText(out), filled);
  EXPECT_TRUE(stdOut.str().empty());
  // In place: replaced whole, with its permissions.
  EXPECT_EQ(OutcomeOf(FillAdifFile({in, "", true}, source, stdOut, err)),
            TAdifFillOutcome::NotFound);
  EXPECT_EQ(FileText(in), filled);
  struct stat st {};
  ASSERT_EQ(::stat(in.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Filling a filled log changes nothing.
  EXPECT_EQ(OutcomeOf(FillAdifFile({in, "", true}, source, stdOut, err)),
            TAdifFillOutcome::NotFound);
  EXPECT_EQ(FileText(in), filled);

  // Errors: nothing written, status 2.
  const TResult<TAdifFillSummary> missing =
      FillAdifFile({dir.file("missing.adi"), out, false}, source, stdOut, err);
  ASSERT_FALSE(missing.ok());
  EXPECT_TRUE(missing.Status().IsIOError());
  EXPECT_EQ(missing.Status().Message(),
            "cannot read " + dir.file("missing.adi") + ": No such file or directory");
  EXPECT_EQ(FileText(out), filled);
  const TResult<TAdifFillSummary> unwritable =
      FillAdifFile({in, dir.file("no/such/dir/x.adi"), false}, source, stdOut, err);
  ASSERT_FALSE(unwritable.ok());
  EXPECT_EQ(unwritable.Status().Message().rfind(
                "cannot write " + dir.file("no/such/dir/x.adi") + ": ", 0),
            0u)
      << unwritable.Status().Message();
}

// Our reading of a log in the read-back script's line form.
std::string OurReading(const TAdifLog& log) {
  std::string lines;
  for (const TAdifRecord& r : log.Records()) {
    std::string line;
    for (const TAdifField& f : r.fields) {
      std::string name = f.name, value(log.Value(f));
      for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      std::string escaped;
      for (char c : value) escaped += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
      line += (line.empty() ? "" : "\t") + name + "=" + escaped;
    }
    lines += line + "\n";
  }
  return lines;
}

TEST(AdifReadBack, AFilledLogReadByAnotherProgramsReader) {
  const std::string script =
      std::string(TELLMARK_SOURCE_DIR) + "/scripts/adif-read-back/read-back.js";
  if (std::system("node --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no node";
  TestDir dir;
  const std::string in =
      "Field day log\r\n<ADIF_VER:5>3.1.4 <PROGRAMID:4>Test<EOH>\r\n"
      "<CALL:5>K5DRC <QSO_DATE:8>20240101 <BAND:3>20m <MODE:2>CW <EOR>\r\n"
      "<CALL:9>VE3/K5DRC <QSO_DATE:8>20240102 <NAME:0> <EOR>\r\n"
      "<CALL:5>K5DRC <QSO_DATE:8>19980101 <EOR>\r\n"
      "<CALL:5>DL1AB <QSO_DATE:8>20240103 <APP_X_NOTE:3>abc <EOR>\r\n"
      "<CALL:4>W1XX <QSO_DATE:8>20240104 <EOR>\r\n"
      "<CALL:5>F5DES <QSO_DATE:8>20240105 <EOR>\r\n";
  TFakeSource source;
  const std::string filled = FillAdifLog(TAdifLog::Parse(in), source).text;
  const std::string file = dir.file("filled.adi"), out = dir.file("out.txt");
  std::ofstream(file, std::ios::binary) << filled;
  const int rc = std::system(("node " + script + " " + file + " > " + out).c_str());
  if (WIFEXITED(rc) && WEXITSTATUS(rc) == 77) GTEST_SKIP() << "adif-parser-ts not installed";
  ASSERT_EQ(rc, 0);
  const std::string theirs = FileText(out);
  EXPECT_EQ(theirs, OurReading(TAdifLog::Parse(filled)));
  // The same contacts, with the new fields.
  EXPECT_NE(theirs.find("call=K5DRC\tqso_date=20240101\tband=20m\tmode=CW\tname=GERALD D SMITH"),
            std::string::npos)
      << theirs;
  EXPECT_NE(theirs.find("cnty=TX,Dallas"), std::string::npos);
  // Accented names and towns as ASCII, which every reader counts alike.
  EXPECT_NE(theirs.find("name=Jurgen Meier"), std::string::npos) << theirs;
  EXPECT_NE(theirs.find("name=Desire Lucas\tqth=Pertuis"), std::string::npos) << theirs;
  EXPECT_NE(theirs.find(R"(address=Desire Lucas\r\n3 Rue Emile Zola\r\nPertuis\r\nFrance)"),
            std::string::npos)
      << theirs;
  EXPECT_NE(theirs.find("call=W1XX\tqso_date=20240104\n"), std::string::npos);
  EXPECT_EQ(std::count(theirs.begin(), theirs.end(), '\n'), 6);
}

TEST(AdifCalls, BaseCallOfEveryContactInLogOrder) {
  const TAdifLog log = TAdifLog::Parse(
      "<CALL:9>VE3/K5DRC<EOR><call:6>w1aw/4<eor><CALL:5>K5DRC<EOR><NAME:1>x<EOR>"
      "<CALL:-2>ab<EOR><CALL:5>DL1AB<EOR>");
  const TAdifCalls c = AdifLogCalls(log);
  EXPECT_EQ(c.calls, (std::vector<std::string>{"K5DRC", "W1AW", "K5DRC", "DL1AB"}));
  EXPECT_EQ(c.noCall, 1u);
  EXPECT_EQ(c.unreadable, 1u);
}

}  // namespace
