// The look-up service over real sockets, with records from a fixed table: routes, the three
// callbook interfaces with their session flows, the limits and 400 answers, escaping, the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "ServiceTestKit.h"
#include "TestRecords.h"
#include "callbook/UCallbookWriters.h"
#include "common/StrUtil.h"
#include "dataset/UCallParts.h"
#include "service/UServiceFormats.h"
#include "service/UServicePage.h"

using nlohmann::json;
using namespace servicetest;

namespace {

TCallbookRecord UsRecord() { return K5drcRecord(); }

TCallbookRecord IntlRecord() {
  TCallbookRecord r;
  r.call = "DL1ABC";
  r.match = TCallbookMatch::Exact;
  r.database = TDatabase::Intl;
  r.name = "Hans <Mueller> & \"Sohn\"";
  r.street = "Hauptstrasse 5";
  r.city = "10115 Berlin";
  r.country = "Germany";
  r.dxcc = "Germany";
  r.dxccCode = 230;
  r.cqZone = 14;
  r.ituZone = 28;
  r.continent = "EU";
  r.grid = "JO62QM";
  r.qslManager = "DL9QSL";
  r.email = "dl1abc@example.org";
  r.ref = 200;
  return r;
}

TCallbookRecord ClubRecord() {
  TCallbookRecord r = UsRecord();
  r.call = "W1AW";
  r.classCode = "B";
  r.classText = "B - Club";
  r.name = "ARRL HQ OPERATORS CLUB";
  r.city = "NEWINGTON";
  r.state = "CT";
  r.zip = "06111";
  r.ref = 300;
  return r;
}

// The directory of the tests: three records, searched by their fields.
class TTableSource : public TServiceSource {
 public:
  TTableSource() : records_{UsRecord(), IntlRecord(), ClubRecord()} {}
  TCallbookRecord FindCall(std::string_view typed) override {
    const TCallParts parts = SplitCallParts(AsciiUpper(typed));
    for (TCallbookRecord r : records_)
      if (r.call == parts.base) {
        r.designators = parts.designators;
        r.match = parts.designators.empty() ? TCallbookMatch::Exact : TCallbookMatch::BaseCall;
        return r;
      }
    TCallbookRecord none;
    none.call = AsciiUpper(typed);
    return none;
  }
  std::vector<TCallbookRecord> ListOrder(TSearchField field, std::string_view text,
                                         int count) override {
    std::vector<TCallbookRecord> out;
    for (const TCallbookRecord& r : records_) {
      if (r.database != TDatabase::US) continue;
      const std::string& key = field == TSearchField::Name   ? r.name
                               : field == TSearchField::City ? r.city
                               : field == TSearchField::Zip  ? r.zip
                                                             : r.county;
      if (key.find(AsciiUpper(text)) != std::string::npos && static_cast<int>(out.size()) < count)
        out.push_back(r);
    }
    return out;
  }
  std::vector<TCallbookRecord> SearchWords(const std::vector<std::string>& words,
                                           std::string_view db, int count) override {
    std::vector<TCallbookRecord> out;
    for (TCallbookRecord r : records_) {
      if ((db == "us" && r.database != TDatabase::US) ||
          (db == "intl" && r.database != TDatabase::Intl))
        continue;
      bool all = true;
      for (const std::string& w : words)
        all = all && AsciiUpper(r.name + " " + r.city).find(AsciiUpper(w)) != std::string::npos;
      if (all && static_cast<int>(out.size()) < count) {
        r.match = TCallbookMatch::Words;
        out.push_back(r);
      }
    }
    return out;
  }
  TServiceHealth Health() override {
    TServiceHealth h;
    h.open = true;
    h.title = "Table edition";
    h.dataDate = "2026-12-09";
    h.usCount = 2;
    h.intlCount = 1;
    return h;
  }
  std::string MyLocator() override { return "JO62QM"; }

 private:
  std::vector<TCallbookRecord> records_;
};

class ServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    source_ = new TTableSource;
    served_ = new TServedSource(*source_);
  }
  static void TearDownTestSuite() {
    delete served_;
    delete source_;
  }
  static int Port() { return served_->Port(); }
  static json GetJson(const std::string& target, int status) {
    const THttpAnswer a = Get(Port(), target);
    EXPECT_EQ(a.status, status) << target << "\n" << a.body;
    EXPECT_NE(a.head.find("application/json"), std::string::npos) << a.head;
    const json j = json::parse(a.body, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << a.body;
    return j;
  }
  static TXmlDoc GetXml(const std::string& target) {
    const THttpAnswer a = Get(Port(), target);
    EXPECT_EQ(a.status, 200) << target;
    EXPECT_NE(a.head.find("text/xml"), std::string::npos) << a.head;
    return ParseXml(a.body);
  }

  static TTableSource* source_;
  static TServedSource* served_;
};
TTableSource* ServiceTest::source_ = nullptr;
TServedSource* ServiceTest::served_ = nullptr;

TEST_F(ServiceTest, CallAnswersRecordOrNoneWith404) {
  json j = GetJson("/api/v1/calls/K5DRC", 200);
  EXPECT_EQ(j["call"], "K5DRC");
  EXPECT_EQ(j["match"], "exact");
  j = GetJson("/api/v1/calls/ve3%2Fk5drc%2Fp", 200);
  EXPECT_EQ(j["call"], "K5DRC");
  EXPECT_EQ(j["match"], "base-call");
  j = GetJson("/api/v1/calls/K5ZZZ", 404);
  EXPECT_EQ(j, json({{"call", "K5ZZZ"}, {"match", "none"}}));
}

TEST_F(ServiceTest, BatchAnswersInInputOrder) {
  for (const auto& [body, type] :
       {std::pair<std::string, std::string>{R"(["w1aw","NOPE1","dl1abc","K5DRC/P"])",
                                            "application/json"},
        {"w1aw\r\nNOPE1\n\ndl1abc\nK5DRC/P\n", "text/plain"}}) {
    const THttpAnswer a = Request(Port(), "POST", "/api/v1/calls", body, type);
    ASSERT_EQ(a.status, 200) << a.body;
    const json j = json::parse(a.body);
    ASSERT_EQ(j.size(), 4u);
    EXPECT_EQ(j[0]["call"], "W1AW");
    EXPECT_EQ(j[1]["call"], "NOPE1");
    EXPECT_EQ(j[1]["match"], "none");
    EXPECT_EQ(j[2]["call"], "DL1ABC");
    EXPECT_EQ(j[3]["match"], "base-call");
  }
}

TEST_F(ServiceTest, SearchListsAsArrays) {
  struct TCase {
    const char* target;
    std::vector<std::string> calls;
  };
  const TCase cases[] = {
      {"/api/v1/search?name=SMITH&count=5", {"K5DRC"}},
      {"/api/v1/search?city=newington", {"W1AW"}},
      {"/api/v1/search?zip=75217", {"K5DRC"}},
      {"/api/v1/search?county=DALLAS&count=10", {"K5DRC", "W1AW"}},
      {"/api/v1/search?words=hans+berlin", {"DL1ABC"}},
      {"/api/v1/search?words=hans&db=us", {}},
      {"/api/v1/search?name=NOBODY", {}},
  };
  for (const TCase& c : cases) {
    const json j = GetJson(c.target, 200);
    ASSERT_TRUE(j.is_array()) << c.target;
    std::vector<std::string> calls;
    for (const auto& r : j) calls.push_back(r["call"]);
    EXPECT_EQ(calls, c.calls) << c.target;
  }
}

TEST_F(ServiceTest, HealthNamesEditionAndCounts) {
  const json j = GetJson("/api/v1/health", 200);
  EXPECT_EQ(j["status"], "ok");
  EXPECT_EQ(j["edition"], "Table edition");
  EXPECT_EQ(j["entries"]["us"], 2);
  EXPECT_EQ(j["entries"]["intl"], 1);
}

TEST_F(ServiceTest, HamQthSessionFlow) {
  TXmlDoc login = GetXml("/xml.php?u=anyone&p=secret");
  EXPECT_EQ(login.root, "HamQTH");
  const std::string id = login.Text("session/session_id");
  ASSERT_EQ(id.size(), 32u);

  TXmlDoc found = GetXml("/xml.php?id=" + id + "&callsign=k5drc&prg=test");
  EXPECT_EQ(found.Children("search"),
            (std::vector<std::string>{"callsign", "nick", "qth", "country", "adif", "itu", "cq",
                                      "grid", "adr_name", "adr_street1", "adr_city", "adr_zip",
                                      "adr_country", "adr_adif", "us_state", "us_county",
                                      "latitude", "longitude", "continent"}));
  EXPECT_EQ(found.Text("search/nick"), "GERALD");
  EXPECT_EQ(found.Text("search/adif"), "291");
  EXPECT_EQ(found.Text("search/grid"), "EM12qr");
  EXPECT_EQ(std::stod(found.Text("search/longitude")), -96.6772);

  EXPECT_EQ(GetXml("/xml.php?id=" + id + "&callsign=NOPE1&prg=test").Text("session/error"),
            "Callsign not found");
  EXPECT_EQ(GetXml("/xml.php?id=0123&callsign=K5DRC&prg=test").Text("session/error"),
            "Session does not exist or expired");
  EXPECT_EQ(GetXml("/xml.php").Text("session/error"), "Wrong user name or password");
}

TEST_F(ServiceTest, QrzSessionFlowWithEitherSeparator) {
  for (const char sep : {';', '&'}) {
    const std::string s(1, sep);
    TXmlDoc login = GetXml("/xml/current/?username=me" + s + "password=pw" + s + "agent=test");
    EXPECT_EQ(login.root, "QRZDatabase");
    const std::string key = login.Text("Session/Key");
    ASSERT_EQ(key.size(), 32u);
    TXmlDoc found = GetXml("/xml/current/?s=" + key + s + "callsign=K5DRC");
    EXPECT_EQ(found.Text("Callsign/call"), "K5DRC");
    EXPECT_EQ(found.Text("Callsign/fname"), "GERALD D");
    EXPECT_EQ(found.Text("Callsign/name"), "SMITH");
    EXPECT_EQ(found.Text("Callsign/addr2"), "DALLAS");
    EXPECT_EQ(found.Text("Callsign/dxcc"), "291");
    EXPECT_EQ(found.Text("Callsign/efdate"), "1999-04-03");
    EXPECT_EQ(found.Text("Callsign/geoloc"), "geocode");
    EXPECT_EQ(found.Text("Session/Key"), key);
    EXPECT_EQ(GetXml("/xml/current/?s=" + key + s + "callsign=NOPE1").Text("Session/Error"),
              "Not found: NOPE1");
    EXPECT_EQ(GetXml("/xml/current/?s=bad" + s + "callsign=K5DRC").Text("Session/Error"),
              "Session Timeout");
  }
}

TEST_F(ServiceTest, CallookValidAndInvalid) {
  const json j = GetJson("/K5DRC/json", 200);
  EXPECT_EQ(j["status"], "VALID");
  EXPECT_EQ(j["type"], "PERSON");
  EXPECT_EQ(j["current"]["operClass"], "EXTRA");
  EXPECT_EQ(j["previous"]["callsign"], "KB5ABC");
  EXPECT_EQ(j["previous"]["operClass"], "GENERAL");
  EXPECT_EQ(j["address"]["line1"], "87 PICKETT BLVD");
  EXPECT_EQ(j["address"]["line2"], "DALLAS, TX 75217");
  EXPECT_EQ(j["location"]["gridsquare"], "EM12qr");
  EXPECT_EQ(j["otherInfo"]["grantDate"], "04/03/1999");
  EXPECT_EQ(GetJson("/W1AW/json", 200)["type"], "CLUB");
  for (const char* t : {"/NOPE1/json", "/DL1ABC/json"})
    EXPECT_EQ(GetJson(t, 200)["status"], "INVALID");

  TXmlDoc x = GetXml("/K5DRC/xml");
  EXPECT_EQ(x.root, "callook");
  EXPECT_EQ(x.Text("status"), "VALID");
  EXPECT_EQ(x.Text("address/line2"), "DALLAS, TX 75217");
  EXPECT_EQ(x.Text("otherInfo/expiryDate"), "04/03/2009");
  EXPECT_EQ(GetXml("/NOPE1/xml").Text("status"), "INVALID");
}

// A name holding < & " reads back whole from every format.
TEST_F(ServiceTest, MarkupInDataIsEscaped) {
  const std::string name = IntlRecord().name;
  const std::string id = GetXml("/xml.php?u=a&p=b").Text("session/session_id");
  EXPECT_EQ(GetXml("/xml.php?id=" + id + "&callsign=DL1ABC").Text("search/adr_name"), name);
  const std::string key = GetXml("/xml/current/?username=a;password=b").Text("Session/Key");
  const TXmlDoc q = GetXml("/xml/current/?s=" + key + ";callsign=DL1ABC");
  EXPECT_EQ(q.Text("Callsign/fname") + " " + q.Text("Callsign/name"), name);
  EXPECT_EQ(GetJson("/api/v1/calls/DL1ABC", 200)["name"], name);
  const THttpAnswer page = Get(Port(), "/entry?call=DL1ABC");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body.find("<Mueller>"), std::string::npos);
  EXPECT_NE(page.body.find("Hans &lt;Mueller&gt; &amp; &quot;Sohn&quot;"), std::string::npos);
}

TEST_F(ServiceTest, BadRequestsGet400WithOneLine) {
  const std::string longCall(200, 'K');
  const std::string batch1001 = [] {
    json j = json::array();
    for (int i = 0; i < 1001; ++i) j.push_back("K5DRC");
    return j.dump();
  }();
  struct TCase {
    std::string method, target, body;
  };
  const TCase cases[] = {
      {"GET", "/api/v1/calls/" + longCall, ""},
      {"GET", "/api/v1/calls/K5%ZZDRC", ""},
      {"GET", "/api/v1/calls/K5DRC%", ""},
      {"GET", "/api/v1/calls/K5%00DRC", ""},
      {"GET", "/api/v1/calls/K5%FFDRC", ""},
      {"GET", "/api/v1/calls/K5-DRC", ""},
      {"GET", "/api/v1/search?name=%C3", ""},
      {"GET", "/api/v1/search?name=SMITH&city=DALLAS", ""},
      {"GET", "/api/v1/search?name=SMITH&count=0", ""},
      {"GET", "/api/v1/search?name=SMITH&count=1001", ""},
      {"GET", "/api/v1/search?words=a&db=both", ""},
      {"GET", "/api/v1/search?zip=", ""},
      {"GET", "/api/v1/search?path=/etc/passwd", ""},
      {"GET", "/xml.php?id=x&callsign=" + longCall, ""},
      {"GET", "/xml/current/?s=x;callsign=" + longCall, ""},
      {"GET", "/K5%01DRC/json", ""},
      {"GET", "/entry?call=%3Cscript%3E", ""},
      {"POST", "/api/v1/calls", batch1001},
      {"POST", "/api/v1/calls", "[\"K5DRC\", 5]"},
      {"POST", "/api/v1/calls", "{\"call\": \"K5DRC\"}"},
      {"POST", "/api/v1/calls", "[\"K5DRC\", \"../etc\"]"},
  };
  for (const TCase& c : cases) {
    const THttpAnswer a = Request(Port(), c.method, c.target, c.body);
    EXPECT_EQ(a.status, 400) << c.method << " " << c.target.substr(0, 80);
    if (a.head.find("text/plain") != std::string::npos) {  // the page answers with a page
      EXPECT_EQ(std::count(a.body.begin(), a.body.end(), '\n'), 1) << a.body;
    }
  }
}

TEST_F(ServiceTest, NothingButTheDirectoryIsServed) {
  for (const char* t :
       {"/etc/passwd", "/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/tellmark.ini",
        "/notes.ndf", "/K5%2FDRC/json", "/api/v1/calls", "/favicon.ico"}) {
    const THttpAnswer a = Get(Port(), t);
    EXPECT_TRUE(a.status == 404 || a.status == 400) << t << " " << a.status;
    // The service's own one-line refusal, never the bytes of a file.
    if (a.status == 404)
      EXPECT_EQ(a.body, "Not found\n") << t;
    else
      EXPECT_EQ(a.body.rfind("Bad request: ", 0), 0u) << t << ": " << a.body;
    EXPECT_NE(a.head.find("text/plain; charset=utf-8"), std::string::npos) << t << ": " << a.head;
  }
  EXPECT_EQ(Request(Port(), "DELETE", "/api/v1/calls/K5DRC").status, 405);
}

TEST_F(ServiceTest, SizeLimits) {
  // A body above 64 KiB, a request line and headers above 8 KiB.
  const THttpAnswer big =
      Request(Port(), "POST", "/api/v1/calls", std::string(70 * 1024, 'K'), "text/plain");
  EXPECT_EQ(big.status, 413);
  const THttpAnswer longTarget = Get(Port(), "/api/v1/search?name=" + std::string(9000, 'A'));
  EXPECT_TRUE(longTarget.status == 400 || longTarget.status == 414) << longTarget.status;
  std::string headers = "GET /api/v1/health HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
  for (int i = 0; i < 20; ++i)
    headers += "X-Pad-" + std::to_string(i) + ": " + std::string(500, 'a') + "\r\n";
  EXPECT_EQ(SplitAnswer(RawExchange(Port(), headers + "\r\n")).status, 400);
  // Malformed request lines and binary bytes.
  for (const std::string& raw : {std::string("GARBAGE\r\n\r\n"), std::string("GET\r\n\r\n"),
                                 std::string("\x01\x02\xff\xfe HTTP/1.1\r\n\r\n")}) {
    const THttpAnswer a = SplitAnswer(RawExchange(Port(), raw));
    EXPECT_EQ(a.status, 400) << a.head;
  }
}

// Old clients: HTTP/1.0, the answer whole with its length, then the connection closes.
TEST_F(ServiceTest, Http10AnswerHasContentLength) {
  const std::string raw = RawExchange(Port(), "GET /K5DRC/xml HTTP/1.0\r\n\r\n");
  const THttpAnswer a = SplitAnswer(raw);
  EXPECT_EQ(a.status, 200);
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(a.head, m, std::regex("Content-Length: (\\d+)", std::regex::icase)));
  EXPECT_EQ(std::stoul(m[1]), a.body.size());
  EXPECT_EQ(ParseXml(a.body).Text("status"), "VALID");
}

// Several requests on one kept-alive connection.
TEST_F(ServiceTest, KeepAliveServesSeveralRequests) {
  TConnection c(Port());
  std::string body;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(c.Get("/api/v1/calls/K5DRC", body), 200) << i;
    EXPECT_EQ(json::parse(body)["call"], "K5DRC");
  }
  EXPECT_EQ(c.Get("/api/v1/calls/NOPE1", body), 404);
  EXPECT_EQ(c.Get("/api/v1/health", body), 200);
}

// Every link and form of the page leads to a page that answers.
TEST_F(ServiceTest, PageLinksAndFormsWork) {
  const THttpAnswer home = Get(Port(), "/");
  ASSERT_EQ(home.status, 200);
  EXPECT_NE(home.head.find("text/html"), std::string::npos);
  EXPECT_EQ(home.body.find("<script"), std::string::npos);
  EXPECT_EQ(home.body.find("http://"), std::string::npos);  // nothing fetched from elsewhere
  std::set<std::string> forms;
  const std::regex form("<form[^>]*action=\"([^\"]+)\"[^>]*method=\"get\"");
  for (auto it = std::sregex_iterator(home.body.begin(), home.body.end(), form);
       it != std::sregex_iterator(); ++it)
    forms.insert((*it)[1]);
  EXPECT_EQ(forms, (std::set<std::string>{"/entry", "/search"}));
  for (const char* name :
       {"name=\"call\"", "name=\"field\"", "name=\"text\"", "name=\"words\"", "name=\"db\""})
    EXPECT_NE(home.body.find(name), std::string::npos) << name;
  // What the forms send, as a browser sends it.
  for (const char* t : {"/entry?call=k5drc", "/search?field=county&text=dallas",
                        "/search?words=hans+berlin&db=", "/search?words=smith&db=us"}) {
    const THttpAnswer a = Get(Port(), t);
    EXPECT_EQ(a.status, 200) << t;
    // Every link of the answer works too.
    const std::regex href("href=\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(a.body.begin(), a.body.end(), href);
         it != std::sregex_iterator(); ++it) {
      std::string link = (*it)[1];
      link = std::regex_replace(link, std::regex("&amp;"), "&");
      EXPECT_EQ(Get(Port(), link).status, 200) << t << " -> " << link;
    }
  }
  const THttpAnswer entry = Get(Port(), "/entry?call=K5DRC");
  EXPECT_NE(entry.body.find("Grid EM12qr, "), std::string::npos);
  EXPECT_NE(entry.body.find(" from JO62qm"), std::string::npos);
  EXPECT_EQ(Get(Port(), "/entry?call=NOPE1").status, 404);
}

// The record's JSON text written straight into the answer is the JSON library's text of the same
// object, byte for byte: escapes, characters beyond ASCII, bytes that are not UTF-8 (replaced),
// numbers in the library's shortest form.
struct TJsonCase {
  const char* what;
  TCallbookRecord record;
};

std::vector<TJsonCase> JsonCases() {
  std::vector<TJsonCase> v;
  v.push_back({"us", UsRecord()});
  v.push_back({"intl-markup", IntlRecord()});
  v.push_back({"club", ClubRecord()});
  TCallbookRecord none;
  none.call = "NOPE1";
  v.push_back({"none", none});
  TCallbookRecord empty;
  v.push_back({"empty-call", empty});
  TCallbookRecord esc = UsRecord();
  esc.name = "A\\B \"Q\" \t\n\r\f\b \x01\x1f\x7f end";
  esc.comments = std::string("NUL\0here", 8);
  v.push_back({"escapes", esc});
  TCallbookRecord utf = IntlRecord();
  utf.name =
      "M\xC3\xBCller Stra\xC3\x9F"
      "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
  v.push_back({"utf8", utf});
  const char* bad[] = {"\xC3\x28 x",   "\xFF",        "\xE0\x80\x80",
                       "\xED\xA0\x80", "ok \xE2\x82", "\xF4\x90\x80\x80",
                       "\xC0\xAF",     "\x80 lone"};
  for (const char* b : bad) {
    TCallbookRecord r = IntlRecord();
    r.street = b;
    v.push_back({"not-utf8", r});
  }
  const double numbers[][2] = {{33.0, -96.0},     {0.0001, -0.00001},      {1e-7, 179.999999},
                               {-0.0, 0.0},       {32.776664, -96.796988}, {89.99999999999, -1e21},
                               {0.1 + 0.2, 1e16}, {123456789.125, 5e-324}};
  for (const auto& [lat, lon] : numbers) {
    TCallbookRecord r = UsRecord();
    r.latitude = lat;
    r.longitude = lon;
    v.push_back({"numbers", r});
  }
  // Escapes, characters beyond ASCII and bytes that are not UTF-8 at each place of an eight-byte
  // word, between runs of plain bytes.
  for (const char* special : {"\"", "\\", "\x1f", "\x7f", "\xC3\xBC", "\xE2\x96\x91", "\xFF"})
    for (const size_t at : {0, 1, 7, 8, 9, 15, 16, 23}) {
      TCallbookRecord r = IntlRecord();
      r.comments = std::string(at, 'a') + special + std::string(17, 'b');
      v.push_back({"word-places", r});
    }
  TCallbookRecord flags = UsRecord();
  flags.vanity = false;
  flags.synthetic = true;
  flags.match = TCallbookMatch::BaseCall;
  flags.designators = "VE3/P";
  flags.dxccCode = -5;
  v.push_back({"flags", flags});
  return v;
}

class RecordJsonTest : public ::testing::TestWithParam<TJsonCase> {};
TEST_P(RecordJsonTest, SameBytesAsTheJsonLibrary) {
  const TCallbookRecord& r = GetParam().record;
  const std::string expected =
      CallbookJson(r).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string written = "prefix:";
  AppendCallbookJson(written, r);
  EXPECT_EQ(written, "prefix:" + expected) << GetParam().what;
}
INSTANTIATE_TEST_SUITE_P(Records, RecordJsonTest, ::testing::ValuesIn(JsonCases()));

TEST(ServiceParsing, ServeAddress) {
  struct TCase {
    const char* text;
    bool ok;
    const char* address;
    int port;
  };
  const TCase cases[] = {{"8073", true, "127.0.0.1", 8073},
                         {"127.0.0.1:80", true, "127.0.0.1", 80},
                         {"0.0.0.0:8073", true, "0.0.0.0", 8073},
                         {"[::1]:8073", true, "::1", 8073},
                         {":8080", true, "127.0.0.1", 8080},
                         {"", false, "", 0},
                         {"70000", false, "", 0},
                         {"0", false, "", 0},
                         {"host:", false, "", 0},
                         {"::1:80", false, "", 0},
                         {"[::1]8073", false, "", 0},
                         {"8073x", false, "", 0}};
  for (const TCase& c : cases) {
    std::string address;
    int port = 0;
    const TStatus parsed = ParseServeAddress(c.text, address, port);
    EXPECT_EQ(parsed.ok(), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(address, c.address) << c.text;
      EXPECT_EQ(port, c.port) << c.text;
    } else {
      EXPECT_TRUE(parsed.IsInvalidArgument()) << c.text;
      EXPECT_FALSE(parsed.Message().empty());
    }
  }
}

TEST(ServiceParsing, QueryDecoding) {
  const TResult<TQuery> q = ParseQuery("a=1;b=x+y&c=%C3%A9&&d");
  ASSERT_TRUE(q.ok()) << q.Status().Message();
  EXPECT_EQ(*q, (TQuery{{"a", "1"}, {"b", "x y"}, {"c", "\xC3\xA9"}, {"d", ""}}));
  // What each refusal says, written out by hand.
  const std::pair<const char*, const char*> bad[] = {
      {"a=%", "bad percent-encoding"},
      {"a=%4", "bad percent-encoding"},
      {"a=%G1", "bad percent-encoding"},
      {"a=%00", "control character"},
      {"a=%0A", "control character"},
      {"a=%FF", "not UTF-8"},
      {"a=%C3", "not UTF-8"},
      {"a=\x01", "bad character in the request target"},
      {"a=b c", "bad character in the request target"}};
  for (const auto& [text, why] : bad) {
    const TResult<TQuery> r = ParseQuery(text);
    EXPECT_TRUE(r.Status().IsInvalidArgument()) << text;
    EXPECT_EQ(r.Status().Message(), why) << text;
  }
}

}  // namespace
