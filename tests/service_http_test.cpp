// The look-up service as loggers and hostile clients meet it, over real sockets of 127/8: the
// shapes fldigi, CQRLOG and PyQSO read (QRZ's /bin/xml, apostrophes, session keys across a
// restart, country names, the QRZ name split), the batch body, and the HTTP layer's framing,
// limits, pipelining and deadlines; tellmark-lookup --serve for the port and memory checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ServiceTestKit.h"
#include "TestDir.h"
#include "common/StrUtil.h"
#include "dataset/UCallParts.h"
#include "service/UServiceFormats.h"
#include "service/UServiceHttp.h"
#ifdef TELLMARK_LOOKUP_BIN
#include "lookup_fixture.h"
#endif

using nlohmann::json;
using namespace servicetest;
using namespace std::chrono_literals;

namespace {

// Entries as the country file and the licence data name them; values written by hand.
TCallbookRecord Rec(const char* call, TDatabase db, const char* name, const char* dxcc, int code) {
  TCallbookRecord r;
  r.call = call;
  r.match = TCallbookMatch::Exact;
  r.database = db;
  r.name = name;
  r.dxcc = dxcc;
  r.dxccCode = code;
  r.ref = 1;
  return r;
}

std::vector<TCallbookRecord> Records() {
  std::vector<TCallbookRecord> v;
  TCallbookRecord k = Rec("K5DRC", TDatabase::US, "GERALD D SMITH", "United States", 291);
  k.city = "DALLAS";
  k.state = "TX";
  k.country = "United States";
  v.push_back(k);
  TCallbookRecord w = Rec("W9APO", TDatabase::US, "MARY O'NEIL", "United States", 291);
  w.city = "LAND O'LAKES";
  w.state = "WI";
  w.county = "QUEEN ANNE'S";
  w.street = "1 O'BRIEN RD";
  v.push_back(w);
  v.push_back(Rec("W4JR", TDatabase::US, "JAMES W BENNETT JR", "United States", 291));
  v.push_back(Rec("N3III", TDatabase::US, "JOHN Q PUBLIC III", "United States", 291));
  TCallbookRecord ve = Rec("VE3XYZ", TDatabase::Intl, "PAT ROY", "Canada", 1);
  ve.state = "ON";
  ve.city = "OTTAWA";
  ve.country = "Canada";
  v.push_back(ve);
  TCallbookRecord dl = Rec("DL1ABC", TDatabase::Intl, "Hans Mueller", "Fed. Rep. of Germany", 230);
  dl.country = "Germany";
  v.push_back(dl);
  TCallbookRecord g = Rec("G3XYZ", TDatabase::Intl, "John Smith", "England", 223);
  g.country = "United Kingdom";
  v.push_back(g);
  TCallbookRecord w1 = Rec("W1AW", TDatabase::US, "ARRL HQ OPERATORS CLUB", "United States", 291);
  w1.classCode = "B";
  v.push_back(w1);
  return v;
}

class TRecordSource : public TServiceSource {
 public:
  TCallbookRecord FindCall(std::string_view typed) override {
    const TCallParts parts = SplitCallParts(AsciiUpper(typed));
    for (TCallbookRecord r : Records())
      if (r.call == parts.base) {
        r.match = parts.designators.empty() ? TCallbookMatch::Exact : TCallbookMatch::BaseCall;
        return r;
      }
    TCallbookRecord none;
    none.call = AsciiUpper(typed);
    return none;
  }
  std::vector<TCallbookRecord> ListOrder(TSearchField, std::string_view, int) override {
    return {};
  }
  std::vector<TCallbookRecord> SearchWords(const std::vector<std::string>&, std::string_view,
                                           int) override {
    return {};
  }
  TServiceHealth Health() override {
    return {true, "Record edition", "2026-12-09", 6, 3, "", false, {}};
  }
  std::string MyLocator() override { return {}; }
};

class ServiceHttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    source_ = new TRecordSource;
    router_ = new TServiceRouter(*source_);
    service_ = new TRunningService(*router_);
  }
  static void TearDownTestSuite() {
    delete service_;
    delete router_;
    delete source_;
  }
  static int Port() { return service_->Port(); }
  static std::string Raw(const std::string& target) {
    const THttpAnswer a = Get(Port(), target);
    EXPECT_EQ(a.status, 200) << target;
    return a.body;
  }
  static TXmlDoc Xml(const std::string& target) { return ParseXml(Raw(target)); }
  static std::string QrzKey() {
    return Xml("/xml/current/?username=me;password=pw;agent=fldigi-4.1.23").Text("Session/Key");
  }
  static std::string HamQthId() { return Xml("/xml.php?u=me&p=pw").Text("session/session_id"); }

  static TRecordSource* source_;
  static TServiceRouter* router_;
  static TRunningService* service_;
};
TRecordSource* ServiceHttpTest::source_ = nullptr;
TServiceRouter* ServiceHttpTest::router_ = nullptr;
TRunningService* ServiceHttpTest::service_ = nullptr;

// fldigi's QRZ mode: log in at /xml/current/, then ask /bin/xml with ";" between parameters.
TEST_F(ServiceHttpTest, QrzAnswersUnderBinXml) {
  const std::string key = QrzKey();
  ASSERT_EQ(key.size(), 32u);
  const TXmlDoc d = Xml("/bin/xml?s=" + key + ";callsign=k5drc");
  EXPECT_EQ(d.root, "QRZDatabase");
  EXPECT_EQ(d.Text("Callsign/call"), "K5DRC");
  EXPECT_EQ(d.Text("Callsign/addr2"), "DALLAS");
  EXPECT_EQ(Xml("/bin/xml?s=" + key + ";callsign=NOPE1").Text("Session/Error"), "Not found: NOPE1");
}

// Element text holds ' as it is (clients that do not decode entities show it whole).
class ApostropheTest : public ServiceHttpTest, public ::testing::WithParamInterface<int> {};
TEST_P(ApostropheTest, ElementTextKeepsApostrophes) {
  std::string body;
  std::vector<std::string> expected;
  switch (GetParam()) {
    case 0:
      body = Raw("/xml.php?id=" + HamQthId() + "&callsign=W9APO&prg=FLDIGI");
      expected = {"<qth>LAND O'LAKES</qth>", "<us_county>QUEEN ANNE'S</us_county>",
                  "<adr_name>MARY O'NEIL</adr_name>"};
      break;
    case 1:
      body = Raw("/bin/xml?s=" + QrzKey() + ";callsign=W9APO");
      expected = {"<addr2>LAND O'LAKES</addr2>", "<county>QUEEN ANNE'S</county>",
                  "<name>O'NEIL</name>"};
      break;
    default:
      body = Raw("/W9APO/xml");
      expected = {"<line1>1 O'BRIEN RD</line1>", "<line2>LAND O'LAKES, WI</line2>",
                  "<name>MARY O'NEIL</name>"};
  }
  EXPECT_EQ(body.find("&apos;"), std::string::npos) << body;
  for (const std::string& e : expected) EXPECT_NE(body.find(e), std::string::npos) << e;
  ParseXml(body);  // still well-formed
}
INSTANTIATE_TEST_SUITE_P(Formats, ApostropheTest, ::testing::Values(0, 1, 2));

// A call with an empty part between slashes is no call: each path gives its own answer for that,
// never the entry of the call between the slashes (the record source here would find K5DRC for
// it). The JSON API and the callook paths answer 400, the two XML interfaces their not-found
// error.
struct TNotACall {
  const char* written;  // percent-encoded, as a client sends it
  const char* call;     // decoded, upper case, as the not-found texts echo it
};
class NotACallTest : public ServiceHttpTest, public ::testing::WithParamInterface<TNotACall> {};
TEST_P(NotACallTest, EveryPathAnswersNotACall) {
  const std::string w = GetParam().written;
  for (const std::string& t : {"/api/v1/calls/" + w, "/" + w + "/json", "/" + w + "/xml"}) {
    const THttpAnswer a = Get(Port(), t);
    EXPECT_EQ(a.status, 400) << t;
    EXPECT_EQ(a.body.find("SMITH"), std::string::npos) << t << ": " << a.body;
  }
  const TXmlDoc h = Xml("/xml.php?id=" + HamQthId() + "&callsign=" + w + "&prg=FLDIGI");
  EXPECT_EQ(h.Text("session/error"), "Callsign not found") << w;
  EXPECT_FALSE(h.Has("search")) << w;
  const TXmlDoc q = Xml("/bin/xml?s=" + QrzKey() + ";callsign=" + w);
  EXPECT_EQ(q.Text("Session/Error"), std::string("Not found: ") + GetParam().call) << w;
  EXPECT_FALSE(q.Has("Callsign")) << w;
  // The batch refuses it like any other malformed call.
  EXPECT_EQ(Request(Port(), "POST", "/api/v1/calls", std::string(GetParam().call) + "\n").status,
            400);
}
INSTANTIATE_TEST_SUITE_P(
    Calls, NotACallTest,
    ::testing::Values(TNotACall{"%2FK5DRC", "/K5DRC"}, TNotACall{"K5DRC%2F", "K5DRC/"},
                      TNotACall{"%2fk5drc", "/K5DRC"}, TNotACall{"VE3%2F%2FK5DRC", "VE3//K5DRC"},
                      TNotACall{"K5DRC%2F%2FP", "K5DRC//P"}, TNotACall{"%2F", "/"}));

// The same calls with every part there are found, as the base call.
TEST_F(ServiceHttpTest, CallsWithDesignatorsStillFound) {
  EXPECT_EQ(Get(Port(), "/api/v1/calls/VE3%2FK5DRC%2FP").status, 200);
  EXPECT_EQ(Xml("/bin/xml?s=" + QrzKey() + ";callsign=K5DRC%2FP").Text("Callsign/call"), "K5DRC");
  EXPECT_EQ(
      Xml("/xml.php?id=" + HamQthId() + "&callsign=VE3%2FK5DRC&prg=x").Text("search/callsign"),
      "K5DRC");
}

TEST(ServiceXmlText, OnlyAmpersandAndLessThan) {
  const std::pair<std::string, std::string> cases[] = {
      {"O'NEIL", "O'NEIL"},
      {"A & B < C > D \"E\"", "A &amp; B &lt; C > D \"E\""},
      {"x]]>y", "x]]&gt;y"},
      {std::string("a\x01"
                   "b\tc"),
       "ab\tc"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(XmlText(in), out) << in;
  EXPECT_EQ(XmlEscape("O'N\"<>"), "O&apos;N&quot;&lt;&gt;");  // attributes and the page
}

// The session errors clients log in again on; a well-formed key of another run is accepted.
TEST_F(ServiceHttpTest, SessionErrorsAndKeysOfAnotherRun) {
  EXPECT_EQ(Xml("/bin/xml?s=nokey;callsign=K5DRC").Text("Session/Error"), "Session Timeout");
  EXPECT_EQ(Xml("/xml/current/?s=nokey;callsign=K5DRC").Text("Session/Error"), "Session Timeout");
  EXPECT_EQ(Xml("/xml.php?id=nokey&callsign=K5DRC&prg=x").Text("session/error"),
            "Session does not exist or expired");
  // Keys handed out by another service (as before a restart): a second router of its own.
  TRecordSource otherSource;
  TServiceRouter other(otherSource);
  TRunningService before(other);
  const std::string key =
      ParseXml(Get(before.Port(), "/xml/current/?username=a;password=b").body).Text("Session/Key");
  const std::string id =
      ParseXml(Get(before.Port(), "/xml.php?u=a&p=b").body).Text("session/session_id");
  EXPECT_EQ(Xml("/bin/xml?s=" + key + ";callsign=K5DRC").Text("Callsign/call"), "K5DRC");
  EXPECT_EQ(Xml("/xml.php?id=" + id + "&callsign=K5DRC&prg=x").Text("search/callsign"), "K5DRC");
}

// The entity as the country file names it, its number, and Canada's province.
struct TCountryCase {
  const char* call;
  const char* country;
  const char* code;
  const char* district;
};
class CountryTest : public ServiceHttpTest, public ::testing::WithParamInterface<TCountryCase> {};
TEST_P(CountryTest, CountryFileNames) {
  const TCountryCase& c = GetParam();
  const TXmlDoc q = Xml("/bin/xml?s=" + QrzKey() + ";callsign=" + c.call);
  EXPECT_EQ(q.Text("Callsign/country"), c.country);
  EXPECT_EQ(q.Text("Callsign/ccode"), c.code);
  EXPECT_EQ(q.Text("Callsign/dxcc"), c.code);
  const TXmlDoc h = Xml("/xml.php?id=" + HamQthId() + "&callsign=" + c.call + "&prg=x");
  EXPECT_EQ(h.Text("search/country"), c.country);
  EXPECT_EQ(h.Text("search/adif"), c.code);
  EXPECT_EQ(h.Text("search/district"), c.district);
}
INSTANTIATE_TEST_SUITE_P(
    Entities, CountryTest,
    ::testing::Values(TCountryCase{"G3XYZ", "England", "223", "<absent>"},
                      TCountryCase{"DL1ABC", "Fed. Rep. of Germany", "230", "<absent>"},
                      TCountryCase{"VE3XYZ", "Canada", "1", "ON"},
                      TCountryCase{"K5DRC", "United States", "291", "<absent>"}));

// QRZ's fname and name: a suffix goes with the given names.
struct TNameCase {
  const char* name;
  const char* fname;
  const char* surname;
};
class QrzNameTest : public ::testing::TestWithParam<TNameCase> {};
TEST_P(QrzNameTest, Split) {
  std::string fname, surname;
  QrzNameParts(GetParam().name, fname, surname);
  EXPECT_EQ(fname, GetParam().fname);
  EXPECT_EQ(surname, GetParam().surname);
}
INSTANTIATE_TEST_SUITE_P(Names, QrzNameTest,
                         ::testing::Values(TNameCase{"JAMES W BENNETT JR", "JAMES W JR", "BENNETT"},
                                           TNameCase{"JOHN Q PUBLIC III", "JOHN Q III", "PUBLIC"},
                                           TNameCase{"ROBERT SMITH SR", "ROBERT SR", "SMITH"},
                                           TNameCase{"GERALD D SMITH", "GERALD D", "SMITH"},
                                           TNameCase{"  ANN   LEE ", "ANN", "LEE"},
                                           TNameCase{"MADONNA", "", "MADONNA"},
                                           TNameCase{"HENRY IV", "HENRY", "IV"}));

TEST_F(ServiceHttpTest, QrzNameWithSuffixOverSockets) {
  const TXmlDoc d = Xml("/bin/xml?s=" + QrzKey() + ";callsign=W4JR");
  EXPECT_EQ(d.Text("Callsign/fname"), "JAMES W JR");
  EXPECT_EQ(d.Text("Callsign/name"), "BENNETT");
}

// curl -d sends a form type; the body is still one call a line, or a JSON array.
TEST_F(ServiceHttpTest, BatchBodyWhateverItsType) {
  const char* form = "application/x-www-form-urlencoded";
  THttpAnswer a = Request(Port(), "POST", "/api/v1/calls", "W1AW\nDL1ABC", form);
  ASSERT_EQ(a.status, 200) << a.body;
  json j = json::parse(a.body);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["call"], "W1AW");
  EXPECT_EQ(j[1]["call"], "DL1ABC");
  json many = json::array();
  for (int i = 0; i < 1000; ++i) many.push_back(i % 2 ? "VE3/K5DRC" : "NOPE1/QRP");
  ASSERT_GT(many.dump().size(), 10000u);
  a = Request(Port(), "POST", "/api/v1/calls", many.dump(), form);
  ASSERT_EQ(a.status, 200) << a.body;
  EXPECT_EQ(json::parse(a.body).size(), 1000u);
  a = Request(Port(), "POST", "/api/v1/calls", std::string(70000, 'K'), "text/plain");
  EXPECT_EQ(a.status, 413);
  EXPECT_NE(a.body.find("body larger than 64 KiB"), std::string::npos) << a.body;
}

// Each answer in the order of its request, on one connection, sent at once.
TEST_F(ServiceHttpTest, HundredPipelinedRequestsInOrder) {
  const int fd = ConnectFrom(Port());
  ASSERT_GE(fd, 0);
  const char* calls[] = {"K5DRC", "NOPE1", "DL1ABC", "W1AW", "G3XYZ"};
  std::string all;
  for (int i = 0; i < 100; ++i)
    all += std::string("GET /api/v1/calls/") + calls[i % 5] + " HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_TRUE(SendAll(fd, all));
  std::string pending;
  for (int i = 0; i < 100; ++i) {
    const THttpAnswer a = ReadAnswer(fd, pending);
    ASSERT_EQ(a.status, i % 5 == 1 ? 404 : 200) << i;
    EXPECT_EQ(json::parse(a.body)["call"], calls[i % 5]) << i;
  }
  ::close(fd);
}

TEST_F(ServiceHttpTest, HeadAndHttp10KeepAlive) {
  const int fd = ConnectFrom(Port());
  ASSERT_GE(fd, 0);
  std::string pending;
  ASSERT_TRUE(SendAll(fd, "GET /K5DRC/xml HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
  const THttpAnswer get = ReadAnswer(fd, pending);
  EXPECT_EQ(get.status, 200);
  EXPECT_NE(get.head.find("Connection: keep-alive"), std::string::npos) << get.head;
  ASSERT_TRUE(SendAll(fd, "HEAD /K5DRC/xml HTTP/1.1\r\nHost: x\r\n\r\n"));
  const THttpAnswer head = ReadAnswer(fd, pending, true);
  EXPECT_EQ(head.status, 200);
  EXPECT_NE(head.head.find("Content-Length: " + std::to_string(get.body.size())), std::string::npos)
      << head.head;
  // Nothing follows the head: the next answer starts right after it.
  ASSERT_TRUE(SendAll(fd, "GET /api/v1/health HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
  EXPECT_EQ(ReadAnswer(fd, pending).status, 200);
  ::close(fd);
}

// Framing the layer refuses, and what it accepts.
struct TFramingCase {
  const char* what;
  std::string request;
  int status;
};
class FramingTest : public ServiceHttpTest, public ::testing::WithParamInterface<TFramingCase> {};
TEST_P(FramingTest, Answer) {
  const THttpAnswer a = SplitAnswer(RawExchange(Port(), GetParam().request));
  EXPECT_EQ(a.status, GetParam().status) << GetParam().what << "\n" << a.head << "\n" << a.body;
}
const std::string kPost = "POST /api/v1/calls HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
constexpr char kNulHeader[] = "GET / HTTP/1.1\r\nHost: x\r\nX-A: a\0b\r\n\r\n";
std::string Chunked(size_t bytes) {
  std::string body;
  while (body.size() < bytes) body += "4000\r\n" + std::string(0x4000, 'K') + "\r\n";
  return kPost + "Transfer-Encoding: chunked\r\n\r\n" + body + "0\r\n\r\n";
}
INSTANTIATE_TEST_SUITE_P(
    Requests, FramingTest,
    ::testing::Values(
        TFramingCase{"length", kPost + "Content-Length: 5\r\n\r\nK5DRC", 200},
        TFramingCase{"chunked",
                     kPost + "Transfer-Encoding: chunked\r\n\r\n3\r\nK5D\r\n2\r\nRC\r\n0\r\n\r\n",
                     200},
        TFramingCase{"no length", kPost + "\r\nK5DRC", 411},
        TFramingCase{"two lengths", kPost + "Content-Length: 5\r\nContent-Length: 5\r\n\r\nK5DRC",
                     400},
        TFramingCase{"length list", kPost + "Content-Length: 5, 5\r\n\r\nK5DRC", 400},
        TFramingCase{"length text", kPost + "Content-Length: five\r\n\r\nK5DRC", 400},
        TFramingCase{
            "length and chunked",
            kPost +
                "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nK5DRC\r\n0\r\n\r\n",
            400},
        TFramingCase{"bad chunk",
                     kPost + "Transfer-Encoding: chunked\r\n\r\nzz\r\nK5DRC\r\n0\r\n\r\n", 400},
        TFramingCase{"gzip", kPost + "Transfer-Encoding: gzip\r\n\r\n", 400},
        TFramingCase{"NUL", std::string(kNulHeader, sizeof kNulHeader - 1), 400},
        TFramingCase{"control", "GET / HTTP/1.1\r\nHost: x\r\nX-A: a\x01z\r\n\r\n", 400},
        TFramingCase{"chunked 70 KiB", Chunked(70 * 1024), 413},
        TFramingCase{"length 70 KiB", kPost + "Content-Length: 71680\r\n\r\n", 413},
        TFramingCase{"HTTP/2.0", "GET / HTTP/2.0\r\nHost: x\r\n\r\n", 505}));

// The request line and header lines are 8 KiB at most however they arrive: whole, or in pieces
// of which the parser takes the complete lines as they come.
std::string HeaderOfSize(size_t total) {
  std::string r = "GET /api/v1/health HTTP/1.1\r\nHost: x\r\n";
  // Lines of 100 bytes, then one padded to the size; the blank line ends the header.
  while (r.size() + 100 + 20 < total) r += "X-Line: " + std::string(90, 'l') + "\r\n";
  r += "X-Pad: ";
  r += std::string(total - r.size() - 4, 'p') + "\r\n\r\n";
  return r;
}
class HeaderLimitTest : public ::testing::TestWithParam<size_t> {};
TEST_P(HeaderLimitTest, EightKiBInAnyPieces) {
  const size_t piece = GetParam();
  for (const auto& [total, accepted] : {std::pair<size_t, bool>{8192, true},
                                        {8193, false},
                                        {10289, false},
                                        {60000, false},
                                        {300, true}}) {
    const std::string request = HeaderOfSize(total);
    ASSERT_EQ(request.size(), total);
    THttpRequestReader reader;
    std::string inbox;
    for (size_t at = 0; at < request.size() && reader.State() != THttpRequestReader::TState::Done &&
                        reader.State() != THttpRequestReader::TState::Failed;
         at += piece) {
      inbox += request.substr(at, piece);
      inbox.erase(0, reader.Feed(inbox));
    }
    if (accepted) {
      EXPECT_EQ(reader.State(), THttpRequestReader::TState::Done)
          << total << " in " << piece << ": " << reader.ErrorText();
    } else {
      EXPECT_EQ(reader.State(), THttpRequestReader::TState::Failed) << total << " in " << piece;
      EXPECT_EQ(reader.ErrorStatus(), 400) << total << " in " << piece;
    }
  }
}
INSTANTIATE_TEST_SUITE_P(Pieces, HeaderLimitTest,
                         ::testing::Values(1, 7, 100, 1000, 4096, 8192, 100000));

TEST_F(ServiceHttpTest, ExpectContinueThenBody) {
  const int fd = ConnectFrom(Port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendAll(fd, kPost + "Content-Length: 5\r\nExpect: 100-continue\r\n\r\n"));
  std::string pending;
  EXPECT_EQ(ReadAnswer(fd, pending).status, 100);
  ASSERT_TRUE(SendAll(fd, "W1AW\n"));
  const THttpAnswer a = ReadAnswer(fd, pending);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(json::parse(a.body)[0]["call"], "W1AW");
  ::close(fd);
}

// 300 clients connect at once (from five addresses), then each asks: every one is answered.
TEST_F(ServiceHttpTest, ThreeHundredConnectsAtOnce) {
  std::vector<int> fds(300, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 5; ++t)
    threads.emplace_back([&, t] {
      for (int i = t; i < 300; i += 5) fds[i] = ConnectFrom(Port(), 10 + t);
    });
  for (auto& t : threads) t.join();
  for (int fd : fds) ASSERT_GE(fd, 0);
  for (int fd : fds)
    ASSERT_TRUE(SendAll(fd, "GET /api/v1/calls/K5DRC HTTP/1.1\r\nHost: x\r\n\r\n"));
  int answered = 0;
  for (int fd : fds) {
    std::string pending;
    answered += ReadAnswer(fd, pending).status == 200;
    ::close(fd);
  }
  EXPECT_EQ(answered, 300);
}

// At most 64 connections from one address (other than this machine's 127.0.0.1); the 65th is
// told so, while 127.0.0.1 itself may hold more.
TEST_F(ServiceHttpTest, SixtyFourFromOneAddress) {
  std::vector<int> held;
  for (int i = 0; i < 64; ++i) {
    held.push_back(ConnectFrom(Port(), 40));
    ASSERT_GE(held.back(), 0);
  }
  std::this_thread::sleep_for(200ms);  // all accepted
  const int extra = ConnectFrom(Port(), 40);
  ASSERT_GE(extra, 0);
  std::string pending;
  EXPECT_EQ(ReadAnswer(extra, pending).status, 503);
  ::close(extra);
  // Another address is still served; 127.0.0.1 holds 70 at once.
  EXPECT_EQ(Get(Port(), "/api/v1/health").status, 200);
  std::vector<int> local;
  for (int i = 0; i < 70; ++i) {
    local.push_back(ConnectFrom(Port(), 1));
    ASSERT_GE(local.back(), 0);
  }
  for (int fd : local) {
    std::string pendingLocal;
    ASSERT_TRUE(SendAll(fd, "GET /api/v1/health HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(ReadAnswer(fd, pendingLocal).status, 200);
    ::close(fd);
  }
  for (int fd : held) ::close(fd);
}

// 400 clients sending their header a byte every 2 s hold nothing: another client's look-ups are
// answered within 100 ms each, and every slow one is closed once 5 s have passed since its
// first byte, though it never stopped sending.
TEST_F(ServiceHttpTest, SlowHeadersStallNobody) {
  std::vector<int> slow;
  for (int i = 0; i < 400; ++i) {
    const int fd = ConnectFrom(Port(), 100 + i % 7, 1);  // 7 addresses, 58 each at most
    if (fd >= 0) slow.push_back(fd);
  }
  ASSERT_EQ(slow.size(), 400u);
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    const std::string head = "GET /api/v1/calls/K5DRC HTTP/1.1\r\nHost: x\r\n";
    for (size_t step = 0; step < 4 && !done; ++step) {  // bytes at 0, 2, 4, 6 s
      for (int fd : slow) ::send(fd, head.data() + step, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      for (int i = 0; i < 20 && !done; ++i) std::this_thread::sleep_for(100ms);
    }
  });
  std::vector<double> ms;
  TConnection client(Port());
  const auto end = std::chrono::steady_clock::now() + 7s;
  while (std::chrono::steady_clock::now() < end) {
    const auto t0 = std::chrono::steady_clock::now();
    std::string body;
    EXPECT_EQ(client.Get("/api/v1/calls/K5DRC", body), 200);
    ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    std::this_thread::sleep_for(50ms);
  }
  done = true;
  trickle.join();
  ASSERT_GT(ms.size(), 50u);
  const double worst = *std::max_element(ms.begin(), ms.end());
  std::printf("%zu look-ups beside 400 slow clients, slowest %.1f ms\n", ms.size(), worst);
  EXPECT_LT(worst, 100.0);
  // Past the header deadline: the server has closed (or refused) every slow connection.
  int closed = 0;
  for (int fd : slow) {
    char buf[512];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
    }
    closed += n == 0 || (n < 0 && errno == ECONNRESET);
    ::close(fd);
  }
  EXPECT_EQ(closed, 400);
}

// When every place is taken, the connection idle longest makes room.
TEST(ServiceHttpLimits, OldestIdleClosedWhenFull) {
  TRecordSource source;
  TServiceRouter router(source);
  TServiceOptions options;
  options.maxConnections = 8;
  TRunningService service(router, options);
  std::vector<int> idle;
  for (int i = 0; i < 8; ++i) {
    idle.push_back(ConnectFrom(service.Port(), 1 + i));
    ASSERT_GE(idle.back(), 0);
    std::this_thread::sleep_for(20ms);  // an order of age
  }
  EXPECT_EQ(Get(service.Port(), "/api/v1/health").status, 200);
  char c;
  EXPECT_EQ(::recv(idle.front(), &c, 1, 0), 0) << "the oldest idle connection was not closed";
  std::string pending;
  ASSERT_TRUE(SendAll(idle.back(), "GET /api/v1/health HTTP/1.1\r\nHost: x\r\n\r\n"));
  EXPECT_EQ(ReadAnswer(idle.back(), pending).status, 200);
  for (int fd : idle) ::close(fd);
}

// The header and the body each have a deadline for the whole of them, not for each read: a
// client that keeps sending a byte every 200 ms is closed once its time is up.
TEST(ServiceHttpLimits, WholeRequestDeadlines) {
  TRecordSource source;
  TServiceRouter router(source);
  TServiceOptions options;
  options.headerSeconds = 1;
  options.bodySeconds = 2;
  TRunningService service(router, options);
  struct TCase {
    std::string start, trickle;
    double limit;
  };
  const TCase cases[] = {{"GET /api/v1/health HTTP/1.1\r\n", "X", 1.0},
                         {kPost + "Content-Length: 1000\r\n\r\n", "K", 2.0}};
  for (const TCase& c : cases) {
    const int fd = ConnectFrom(service.Port(), 1, 1);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, c.start));
    const auto t0 = std::chrono::steady_clock::now();
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() - t0 < 6s) {
      std::this_thread::sleep_for(200ms);
      char buf[256];
      const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      closed = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
      if (!closed) ::send(fd, c.trickle.data(), 1, MSG_NOSIGNAL);
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_TRUE(closed) << c.start;
    EXPECT_GE(took, c.limit - 0.3) << c.start;
    EXPECT_LT(took, c.limit + 1.5) << c.start;
    ::close(fd);
  }
}

#ifdef TELLMARK_LOOKUP_BIN
// tellmark-lookup --serve on the fixture edition, its standard error kept in a file.
class TServeProcess {
 public:
  TServeProcess(const std::string& dataDir, int port, const std::string& errFile) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, 2);
      ::setenv("TELLMARK_INI", (dataDir + "/none.ini").c_str(), 1);
      const std::string serve = "127.0.0.1:" + std::to_string(port);
      ::execl(TELLMARK_LOOKUP_BIN, TELLMARK_LOOKUP_BIN, "--data", dataDir.c_str(), "--serve",
              serve.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TServeProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  pid_t Pid() const { return pid_; }
  // The exit status once it ended within seconds; -1 otherwise.
  int WaitExit(int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(50ms);
    }
    return -1;
  }
  static bool WaitReady(int port) {
    for (int i = 0; i < 200; ++i) {  // at most 10 s
      if (Get(port, "/api/v1/health").status == 200) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  // Peak resident memory in KiB (VmHWM).
  long PeakKiB() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ServiceProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixture::WriteEditionFiles(fixture::Input(), dir_.path());
    port_ = FreePort();
  }
  TestDir dir_;
  int port_ = 0;
};

TEST_F(ServiceProgramTest, SecondServiceOnUsedPortExits2) {
  TServeProcess first(dir_.path(), port_, dir_.path() + "/first.err");
  ASSERT_TRUE(TServeProcess::WaitReady(port_));
  TServeProcess second(dir_.path(), port_, dir_.path() + "/second.err");
  EXPECT_EQ(second.WaitExit(10), 2);
  EXPECT_NE(ReadText(dir_.path() + "/second.err").find("address already in use"), std::string::npos)
      << ReadText(dir_.path() + "/second.err");
  // Every answer still comes from the first.
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Get(port_, "/api/v1/calls/K1ABC").status, 200);
  ::kill(first.Pid(), SIGTERM);
  EXPECT_EQ(first.WaitExit(10), 0);
}

// A damaged entity table does not stop the service (answers then have no zones) but is said on
// standard error, at the start and when SIGHUP reopens the edition.
TEST_F(ServiceProgramTest, DamagedEntityTableIsSaid) {
  {
    std::ofstream table(dir_.path() + "/data/entities.tsv", std::ios::trunc);
    table << "code\tname\tcontinent\tcq\titu\tprefixes\n1\n";
  }
  const std::string err = dir_.path() + "/serve.err";
  TServeProcess serve(dir_.path(), port_, err);
  ASSERT_TRUE(TServeProcess::WaitReady(port_)) << ReadText(err);
  EXPECT_EQ(Get(port_, "/api/v1/calls/K1ABC").status, 200);
  const auto said = [&err] {
    const std::string text = ReadText(err);
    size_t n = 0;
    for (size_t at = text.find("data/entities.tsv line 2"); at != std::string::npos;
         at = text.find("data/entities.tsv line 2", at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(said(), 1u) << ReadText(err);
  ::kill(serve.Pid(), SIGHUP);
  for (int i = 0; i < 100 && ReadText(err).find("edition reopened") == std::string::npos; ++i)
    std::this_thread::sleep_for(50ms);
  EXPECT_EQ(said(), 2u) << ReadText(err);
  ::kill(serve.Pid(), SIGTERM);
  EXPECT_EQ(serve.WaitExit(10), 0);
}

// A logger logged in before the restart looks up after it with the same key.
TEST_F(ServiceProgramTest, RestartBetweenLoginAndLookup) {
  std::string key, id;
  {
    TServeProcess before(dir_.path(), port_, dir_.path() + "/before.err");
    ASSERT_TRUE(TServeProcess::WaitReady(port_));
    key = ParseXml(Get(port_, "/xml/current/?username=a;password=b;agent=x").body)
              .Text("Session/Key");
    id = ParseXml(Get(port_, "/xml.php?u=a&p=b").body).Text("session/session_id");
    // A connection left open over the restart (the port is taken again at once all the same).
    TConnection kept(port_);
    std::string body;
    EXPECT_EQ(kept.Get("/api/v1/health", body), 200);
    ::kill(before.Pid(), SIGTERM);
    ASSERT_EQ(before.WaitExit(10), 0);
  }
  TServeProcess after(dir_.path(), port_, dir_.path() + "/after.err");
  ASSERT_TRUE(TServeProcess::WaitReady(port_)) << ReadText(dir_.path() + "/after.err");
  EXPECT_EQ(
      ParseXml(Get(port_, "/bin/xml?s=" + key + ";callsign=K1ABC").body).Text("Callsign/call"),
      "K1ABC");
  EXPECT_EQ(ParseXml(Get(port_, "/xml.php?id=" + id + "&callsign=K1ABC&prg=FLDIGI").body)
                .Text("search/callsign"),
            "K1ABC");
  ::kill(after.Pid(), SIGTERM);
  EXPECT_EQ(after.WaitExit(10), 0);
}

// Eight clients each sending a 100 MB chunked body: refused, and the service stays small.
TEST_F(ServiceProgramTest, EightHugeChunkedBodiesRefusedInBoundedMemory) {
  TServeProcess serve(dir_.path(), port_, dir_.path() + "/serve.err");
  ASSERT_TRUE(TServeProcess::WaitReady(port_));
  std::vector<int> statuses(8, -1);
  std::vector<size_t> sentBytes(8, 0);
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c)
    clients.emplace_back([&, c] {
      const int fd = ConnectFrom(port_, 1, 5);
      if (fd < 0) return;
      std::string chunk = "10000\r\n" + std::string(0x10000, 'K') + "\r\n";
      bool ok = SendAll(fd,
                        "POST /api/v1/calls HTTP/1.1\r\nHost: x\r\n"
                        "Transfer-Encoding: chunked\r\n\r\n");
      while (ok && sentBytes[c] < 100u * 1000 * 1000) {
        ok = SendAll(fd, chunk);
        if (ok) sentBytes[c] += 0x10000;
      }
      std::string pending;
      statuses[c] = ReadAnswer(fd, pending).status;
      ::close(fd);
    });
  for (auto& t : clients) t.join();
  for (int c = 0; c < 8; ++c) {
    EXPECT_TRUE(statuses[c] == 413 || statuses[c] == 0) << c << ": " << statuses[c];
    EXPECT_LT(sentBytes[c], 100u * 1000 * 1000) << c << ": the whole body was taken";
  }
  EXPECT_NE(std::count(statuses.begin(), statuses.end(), 413), 0);
  const long peak = serve.PeakKiB();
  std::printf("service peak resident memory: %ld KiB\n", peak);
  EXPECT_GT(peak, 0);
#if defined(__SANITIZE_ADDRESS__)
  constexpr long kBoundKiB = 128 * 1024;  // AddressSanitizer's shadow memory and quarantine
#else
  constexpr long kBoundKiB = 64 * 1024;
#endif
  EXPECT_LT(peak, kBoundKiB) << "peak resident KiB";
  EXPECT_EQ(Get(port_, "/api/v1/calls/K1ABC").status, 200);
  ::kill(serve.Pid(), SIGTERM);
  EXPECT_EQ(serve.WaitExit(10), 0);
}
#endif

}  // namespace
