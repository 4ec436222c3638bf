// The calls of tests/place_cases.h through every output, on an edition of their entries with the
// bundled country file: tellmark-lookup --json, the service's JSON, HamQTH, QRZ and callook
// answers, and tellmark-lookup --adif all give the table's entity, zones and place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "ServiceTestKit.h"
#include "TestDir.h"
#include "adif/UAdif.h"
#include "builder/UEditionWriter.h"
#include "builder/USourceTables.h"
#include "common/IOUtil.h"
#include "dataset/UCallParts.h"
#include "dataset/UDataSet.h"
#include "place_cases.h"
#include "service/UServiceData.h"
#include "storage/UIndexEngine.h"

using nlohmann::json;
using namespace servicetest;

namespace {

std::string Stored(std::string call) {
  for (char& c : call)
    if (c == '0') c = '<';
  return call;
}

std::string Encoded(const std::string& call) {
  std::string e;
  for (char c : call) e += c == '/' ? std::string("%2F") : std::string(1, c);
  return e;
}

class OutputPlaces : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestDir;
    TBuildInput in;
    in.title = "Places";
    for (const places::TStationEntry& s : places::Entries()) {
      TBuildEntry e;
      e.db = s.db;
      for (auto [tag, text] : places::Fields(s, places::Locator(s)))
        e.fields.emplace_back(tag, tag == 1 ? Stored(text) : text);
      if (s.db == TDatabase::US) e.surname = "EXAMPLE";
      (s.db == TDatabase::US ? in.us : in.intl).push_back(std::move(e));
    }
    in.entities =
        MakeEntityTable(LoadSourceTables(std::string(TELLMARK_SOURCE_DIR) + "/data/sources"));
    WriteEdition(in, dir_->path());
    ASSERT_TRUE(AllocIndexCaches());
    SetHomeDir(dir_->path());
    served_ = new servicetest::TServedEdition;
    ASSERT_TRUE(served_->Open());
  }
  static void TearDownTestSuite() {
    delete served_;
    delete dir_;
    FreeIndexCaches();
  }
  static TServiceResponse Get(const std::string& target) {
    return served_->router.Handle({"GET", target, "", ""});
  }
  static TestDir* dir_;
  static servicetest::TServedEdition* served_;
};
TestDir* OutputPlaces::dir_ = nullptr;
servicetest::TServedEdition* OutputPlaces::served_ = nullptr;

// A filled log's fields by record.
struct TAdifLogText {
  TAdifLog log;
  explicit TAdifLogText(std::string text) : log(TAdifLog::Parse(std::move(text))) {}
  std::string Field(size_t i, const char* name) const {
    if (i >= log.Records().size()) return "<no record>";
    return std::string(log.FieldText(log.Records()[i], name));
  }
};

// What an output said of a call: "" where it said nothing.
struct TSaid {
  std::string code, continent, cq, itu, grid, city;
};

std::string Text(const json& j, const char* key) {
  if (!j.contains(key) || j[key].is_null()) return {};
  return j[key].is_string() ? j[key].get<std::string>() : j[key].dump();
}

std::string Xml(const TXmlDoc& d, const std::string& path) {
  return d.Has(path) ? d.Text(path) : std::string();
}

void ExpectCase(const places::TPlaceCase& c, const TSaid& s, const char* output) {
  SCOPED_TRACE(std::string(output) + " " + c.logged);
  EXPECT_EQ(s.code, c.code ? std::to_string(c.code) : "");
  if (s.continent != "-") {
    EXPECT_EQ(s.continent, c.continent);
  }
  EXPECT_EQ(s.cq, c.cq ? std::to_string(c.cq) : "");
  EXPECT_EQ(s.itu, c.itu ? std::to_string(c.itu) : "");
  EXPECT_EQ(!s.grid.empty(), c.place) << s.grid;
  EXPECT_EQ(!s.city.empty(), c.place) << s.city;
  if (c.place) {
    EXPECT_EQ(s.grid.size(), 6u);
    EXPECT_TRUE(s.grid[4] >= 'a' && s.grid[4] <= 'x') << s.grid;  // EM12pr
  }
}

TEST_F(OutputPlaces, EveryOutputSaysTheSame) {
  const std::string lookup = TELLMARK_LOOKUP_BIN;
  // The command line, all calls at once.
  std::string args, adif;
  for (const places::TPlaceCase& c : places::Cases()) {
    args += std::string(" ") + c.logged;
    adif += "<CALL:" + std::to_string(std::string(c.logged).size()) + ">" + c.logged +
            " <QSO_DATE:8>20240101 <EOR>\n";
  }
  const std::string jsonOut = dir_->file("lookup.json"), adi = dir_->file("log.adi"),
                    filled = dir_->file("filled.adi");
  ASSERT_EQ(std::system((lookup + " --data " + dir_->path() + " --json" + args + " > " + jsonOut +
                         " 2>/dev/null")
                            .c_str()),
            0);
  std::string text;
  ASSERT_TRUE(ReadWholeFile(jsonOut, text));
  const json rows = json::parse(text);
  ASSERT_EQ(rows.size(), places::Cases().size());
  ASSERT_TRUE(WriteFileAtomically(adi, adif));
  ASSERT_EQ(std::system((lookup + " --data " + dir_->path() + " --adif " + adi + " --adif-out " +
                         filled + " 2>/dev/null")
                            .c_str()),
            0);
  ASSERT_TRUE(ReadWholeFile(filled, text));
  const TAdifLogText log(text);

  const std::string hamqth = ParseXml(Get("/xml.php?u=a&p=b").body).Text("session/session_id");
  const std::string qrz =
      ParseXml(Get("/xml/current/?username=a;password=b").body).Text("Session/Key");
  size_t i = 0;
  for (const places::TPlaceCase& c : places::Cases()) {
    const json& row = rows[i];
    ExpectCase(c,
               {Text(row, "dxcc_code"), Text(row, "continent"), Text(row, "cq_zone"),
                Text(row, "itu_zone"), Text(row, "grid"), Text(row, "city")},
               "tellmark-lookup --json");
    EXPECT_EQ(Text(row, "designators"), SplitCallParts(c.logged).designators);

    const std::string apiBody = Get("/api/v1/calls/" + Encoded(c.logged)).body;
    const json api = json::parse(apiBody, nullptr, false);
    ASSERT_FALSE(api.is_discarded()) << apiBody;
    ExpectCase(c,
               {Text(api, "dxcc_code"), Text(api, "continent"), Text(api, "cq_zone"),
                Text(api, "itu_zone"), Text(api, "grid"), Text(api, "city")},
               "service JSON");

    const TXmlDoc h =
        ParseXml(Get("/xml.php?id=" + hamqth + "&callsign=" + Encoded(c.logged) + "&prg=t").body);
    ExpectCase(c,
               {Xml(h, "search/adif"), "-", Xml(h, "search/cq"), Xml(h, "search/itu"),
                Xml(h, "search/grid"), Xml(h, "search/qth")},
               "HamQTH");

    const TXmlDoc q =
        ParseXml(Get("/xml/current/?s=" + qrz + ";callsign=" + Encoded(c.logged)).body);
    ExpectCase(c,
               {Xml(q, "Callsign/dxcc"), "-", Xml(q, "Callsign/cqzone"), Xml(q, "Callsign/ituzone"),
                Xml(q, "Callsign/grid"), Xml(q, "Callsign/addr2")},
               "QRZ");

    // callook answers U.S. entries only, with their place or none; its path holds a call
    // without designators.
    const places::TStationEntry* e = places::EntryOf(SplitCallParts(c.logged).base);
    ASSERT_NE(e, nullptr);
    if (SplitCallParts(c.logged).designators.empty()) {
      const std::string body = Get("/" + Encoded(c.logged) + "/json").body;
      const json ck = json::parse(body, nullptr, false);
      ASSERT_FALSE(ck.is_discarded()) << body;
      EXPECT_EQ(Text(ck, "status"), e->db == TDatabase::US ? "VALID" : "INVALID") << c.logged;
      if (e->db == TDatabase::US) {
        EXPECT_EQ(!Text(ck["location"], "gridsquare").empty(), c.place) << c.logged;
      }
    }

    ExpectCase(c,
               {log.Field(i, "DXCC"), log.Field(i, "CONT"), log.Field(i, "CQZ"),
                log.Field(i, "ITUZ"), log.Field(i, "GRIDSQUARE"), log.Field(i, "QTH")},
               "tellmark-lookup --adif");
    ++i;
  }
}

// An edition that tellmark-build made with the Canadian register (tests/fixtures/ised): every
// output says the province apart, as its two-letter code (HamQTH district, QRZ state, ADIF
// STATE, the JSON state), and the town alone (HamQTH qth, QRZ addr2, ADIF QTH, the JSON city).
TEST(RegisterPlaces, ProvinceAndTownApartInEveryOutput) {
  TestDir dir;
  const std::string out = dir.path() + "/ed";
  const std::string sources = std::string(TELLMARK_SOURCE_DIR) + "/data/sources";
  const std::string reg =
      std::string(TELLMARK_SOURCE_DIR) + "/tests/fixtures/ised/amateur_delim.txt";
  ASSERT_EQ(std::system((std::string(TELLMARK_BUILD_BIN) + " --out '" + out +
                         "' --sample-us 50 --no-maps --sources '" + sources + "' --ised '" + reg +
                         "' > /dev/null 2>&1")
                            .c_str()),
            0);
  struct TStation {
    const char *call, *town, *adifTown, *province, *postal;
  };
  // Read off the register's lines by hand; ADIF writes the town in ASCII.
  const TStation stations[] = {
      {"VA1AA", "MIDDLE SACKVILLE", "MIDDLE SACKVILLE", "NS", "B4E 2X8"},
      {"VE2GAG", "MONTR\u00c9AL", "MONTREAL", "QC", "H2X 3K4"},
      {"VE3OCE", "TORONTO", "TORONTO", "ON", "M5H 1A1"},
      {"VE7PEM", "PEMBERTON", "PEMBERTON", "BC", "V0N 2L0"},
      {"VO1ZZ", "ST. JOHN'S", "ST. JOHN'S", "NL", "A1C 1A1"},
  };
  std::string adif;
  for (const TStation& st : stations)
    adif += "<CALL:" + std::to_string(std::string(st.call).size()) + ">" + st.call +
            " <QSO_DATE:8>20240101 <EOR>\n";
  const std::string adi = dir.file("log.adi"), filled = dir.file("filled.adi");
  ASSERT_TRUE(WriteFileAtomically(adi, adif));
  ASSERT_EQ(std::system((std::string(TELLMARK_LOOKUP_BIN) + " --data '" + out + "' --adif " + adi +
                         " --adif-out " + filled + " > /dev/null 2>&1")
                            .c_str()),
            0);
  std::string text;
  ASSERT_TRUE(ReadWholeFile(filled, text));
  const TAdifLogText log(text);

  ASSERT_TRUE(AllocIndexCaches());
  SetHomeDir(out);
  {
    servicetest::TServedEdition served;
    ASSERT_TRUE(served.Open());
    const auto get = [&served](const std::string& target) {
      return served.router.Handle({"GET", target, "", ""});
    };
    const std::string hamqth = ParseXml(get("/xml.php?u=a&p=b").body).Text("session/session_id");
    const std::string qrz =
        ParseXml(get("/xml/current/?username=a;password=b").body).Text("Session/Key");
    size_t i = 0;
    for (const TStation& st : stations) {
      SCOPED_TRACE(st.call);
      const TXmlDoc h =
          ParseXml(get("/xml.php?id=" + hamqth + "&callsign=" + st.call + "&prg=t").body);
      EXPECT_EQ(Xml(h, "search/district"), st.province);
      EXPECT_EQ(Xml(h, "search/qth"), st.town);
      EXPECT_EQ(Xml(h, "search/adr_zip"), st.postal);
      const TXmlDoc q = ParseXml(get("/xml/current/?s=" + qrz + ";callsign=" + st.call).body);
      EXPECT_EQ(Xml(q, "Callsign/state"), st.province);
      EXPECT_EQ(Xml(q, "Callsign/addr2"), st.town);
      EXPECT_EQ(Xml(q, "Callsign/zip"), st.postal);
      const json api =
          json::parse(get(std::string("/api/v1/calls/") + st.call).body, nullptr, false);
      ASSERT_FALSE(api.is_discarded());
      EXPECT_EQ(Text(api, "state"), st.province);
      EXPECT_EQ(Text(api, "city"), st.town);
      EXPECT_EQ(Text(api, "zip"), st.postal);
      EXPECT_EQ(log.Field(i, "STATE"), st.province);
      EXPECT_EQ(log.Field(i, "QTH"), st.adifTown);
      EXPECT_EQ(log.Field(i, "DXCC"), "1");
      ++i;
    }
  }
  FreeIndexCaches();
}

}  // namespace
