// The look-up service on a real data set: answers equal to the command line's look-up path,
// the same answers from 1,000 concurrent requests of 8 threads as from one at a time, look-ups
// going on while the edition is reopened, and SIGHUP reopening a rebuilt edition in a running
// tellmark-lookup --serve.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "ServiceTestKit.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "service/UServiceData.h"
#include "storage/UIndexEngine.h"

using nlohmann::json;
using namespace servicetest;

namespace {

// Every call of the fixture edition, and a few that are not in it or carry designators.
std::vector<std::string> FixtureCalls() {
  const TBuildInput in = fixture::Input();
  std::vector<std::string> calls;
  for (const auto* list : {&in.us, &in.intl})
    for (const TBuildEntry& e : *list)
      for (const auto& [tag, text] : e.fields)
        if (tag == 1) {
          std::string c(text);
          for (char& ch : c)
            if (ch == '<') ch = '0';
          calls.push_back(c);
        }
  for (const char* extra : {"K1ABC/P", "VE3/W1AW", "NOPE9", "ZZ9ZZZ", "A0", "DL1ABC/MM"})
    calls.push_back(extra);
  return calls;
}

// The fixture rebuilt without K1ABC, under another title.
void Rebuild(TBuildInput& in) {
  in.title = "Rebuilt edition";
  in.us.erase(std::remove_if(in.us.begin(), in.us.end(),
                             [](const TBuildEntry& e) {
                               for (const auto& [tag, text] : e.fields)
                                 if (tag == 1 && text == "K1ABC") return true;
                               return false;
                             }),
              in.us.end());
}

class ServiceDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AllocIndexCaches());
    edition_ = new fixture::TFixtureEdition;
    SetHomeDir(edition_->path());
    source_ = new TDataSetSource("FN42");
    const TStatus opened = source_->Open();
    ASSERT_TRUE(opened.ok()) << opened.Message();
    served_ = new TServedSource(*source_);
  }
  static void TearDownTestSuite() {
    delete served_;
    delete source_;
    delete edition_;
    FreeIndexCaches();
  }
  static fixture::TFixtureEdition* edition_;
  static TDataSetSource* source_;
  static TServedSource* served_;
};
fixture::TFixtureEdition* ServiceDataTest::edition_ = nullptr;
TDataSetSource* ServiceDataTest::source_ = nullptr;
TServedSource* ServiceDataTest::served_ = nullptr;

TEST_F(ServiceDataTest, CallsOfTheEdition) {
  struct TCase {
    const char* target;
    int status;
    const char* call;
    const char* match;
  };
  const TCase cases[] = {{"/api/v1/calls/W1AW", 200, "W1AW", "exact"},
                         {"/api/v1/calls/dl1abc", 200, "DL1ABC", "exact"},
                         {"/api/v1/calls/VE3%2FK1ABC%2FP", 200, "K1ABC", "base-call"},
                         {"/api/v1/calls/N0XX", 200, "N0XX", "exact"},
                         // Between two calls: no next-greater entry passed off as the call.
                         {"/api/v1/calls/W1AX", 404, "W1AX", "none"},
                         {"/api/v1/calls/ZZ9ZZZ", 404, "ZZ9ZZZ", "none"}};
  for (const TCase& c : cases) {
    const THttpAnswer a = Get(served_->Port(), c.target);
    EXPECT_EQ(a.status, c.status) << c.target;
    const json j = json::parse(a.body, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << a.body;
    EXPECT_EQ(j["call"], c.call) << c.target;
    EXPECT_EQ(j["match"], c.match) << c.target;
  }
}

TEST_F(ServiceDataTest, SearchesOfTheEdition) {
  json j = json::parse(Get(served_->Port(), "/api/v1/search?name=SMITH&count=3").body);
  ASSERT_TRUE(j.is_array());
  ASSERT_EQ(j.size(), 3u);
  EXPECT_EQ(j[0]["match"], "exact");
  j = json::parse(Get(served_->Port(), "/api/v1/search?words=berlin&db=intl").body);
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0]["call"], "DL1ABC");
  j = json::parse(Get(served_->Port(), "/api/v1/health").body);
  EXPECT_EQ(j["edition"], "Fixture edition");
  EXPECT_GT(j["entries"]["us"].get<int>(), 1000);
}

// The browser page says when a list is cut to a page ("50 of 80") and links the pages around
// it; the pages together hold the whole list, each entry once. Expected counts come from the
// fixture's entries: 80 of its 1,200 generated entries have the surname ADAMS, all 1,200 hold
// the words ELM and PAT.
struct TPagedSearch {
  const char* name;
  std::string query;  // without page
  int total;
  std::string surname;  // every entry's, when the list is an order listing; empty for words
};

class ServicePageListTest : public ServiceDataTest,
                            public ::testing::WithParamInterface<TPagedSearch> {};

namespace {

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Grouped(int n) {
  return n >= 1000
             ? std::to_string(n / 1000) + "," +
                   std::string(3 - std::to_string(n % 1000).size(), '0') + std::to_string(n % 1000)
             : std::to_string(n);
}

}  // namespace

TEST_P(ServicePageListTest, PagesSayWhereTheyAreAndLinkEachOther) {
  const TPagedSearch& c = GetParam();
  const TBuildInput in = fixture::Input();
  int fromFixture = 0;
  for (const TBuildEntry& e : in.us) fromFixture += e.surname == c.surname;
  if (!c.surname.empty()) {
    ASSERT_EQ(fromFixture, c.total);
  }
  const int pages = (c.total + 49) / 50;
  std::set<std::string> calls;
  std::string target = "/search?" + c.query;
  for (int p = 1; p <= pages; ++p) {
    SCOPED_TRACE(target);
    const THttpAnswer a = Get(served_->Port(), target);
    ASSERT_EQ(a.status, 200) << a.body;
    const int rows = std::min(50, c.total - (p - 1) * 50);
    EXPECT_EQ(Count(a.body, "<tr><td><a href=\"/entry?call="), rows);
    const std::string count = p == 1 ? "50 of " + Grouped(c.total)
                                     : Grouped((p - 1) * 50 + 1) + "\u2013" +
                                           Grouped((p - 1) * 50 + rows) + " of " + Grouped(c.total);
    EXPECT_NE(a.body.find("<p class=\"count\">" + count + "</p>"), std::string::npos) << a.body;
    const std::regex call("<a href=\"/entry\\?call=([A-Z0-9]+)\">");
    for (auto it = std::sregex_iterator(a.body.begin(), a.body.end(), call);
         it != std::sregex_iterator(); ++it)
      EXPECT_TRUE(calls.insert((*it)[1]).second) << (*it)[1] << " twice";
    if (!c.surname.empty()) {
      EXPECT_EQ(Count(a.body, "<td>PAT " + c.surname + "</td>"), rows);
    }
    std::smatch prev, next;
    const bool hasPrev =
        std::regex_search(a.body, prev, std::regex("<a rel=\"prev\" href=\"([^\"]+)\""));
    const bool hasNext =
        std::regex_search(a.body, next, std::regex("<a rel=\"next\" href=\"([^\"]+)\""));
    EXPECT_EQ(hasPrev, p > 1);
    EXPECT_EQ(hasNext, p < pages);
    if (hasPrev) {
      EXPECT_EQ(std::regex_replace(prev[1].str(), std::regex("&amp;"), "&"),
                "/search?" + c.query + "&page=" + std::to_string(p - 1));
    }
    if (!hasNext) break;
    target = std::regex_replace(next[1].str(), std::regex("&amp;"), "&");
    EXPECT_EQ(target, "/search?" + c.query + "&page=" + std::to_string(p + 1));
  }
  EXPECT_EQ(static_cast<int>(calls.size()), c.total);
  // Past the end: nothing, said so; a bad page number is refused.
  const THttpAnswer past =
      Get(served_->Port(), "/search?" + c.query + "&page=" + std::to_string(pages + 1));
  EXPECT_EQ(past.status, 200);
  EXPECT_EQ(Count(past.body, "<tr><td><a href"), 0);
  for (const char* bad : {"0", "-1", "x", "100001"})
    EXPECT_EQ(Get(served_->Port(), "/search?" + c.query + "&page=" + bad).status, 400) << bad;
}

INSTANTIATE_TEST_SUITE_P(
    CutLists, ServicePageListTest,
    ::testing::Values(TPagedSearch{"Name", "field=name&text=adams", 80, "ADAMS"},
                      TPagedSearch{"NameUpperCase", "field=name&text=PARKER", 80, "PARKER"},
                      TPagedSearch{"Words", "words=elm%20pat&db=", 1200, ""},
                      TPagedSearch{"WordsUS", "words=pat%20elm&db=us", 1200, ""}),
    [](const ::testing::TestParamInfo<TPagedSearch>& i) { return std::string(i.param.name); });

// A list that fits one page says how many, without links.
TEST_F(ServiceDataTest, ShortListHasNoPageLinks) {
  const THttpAnswer a = Get(served_->Port(), "/search?words=berlin&db=intl");
  ASSERT_EQ(a.status, 200);
  EXPECT_NE(a.body.find("<p class=\"count\">1 entry</p>"), std::string::npos) << a.body;
  EXPECT_EQ(a.body.find("rel=\"next\""), std::string::npos);
  EXPECT_EQ(a.body.find("rel=\"prev\""), std::string::npos);
}

// The answers of 1,000 requests from 8 threads, each on its own kept-alive connection, equal
// the answers given one at a time.
TEST_F(ServiceDataTest, ConcurrentAnswersEqualSingleThreaded) {
  const std::vector<std::string> calls = FixtureCalls();
  std::vector<std::string> targets;
  for (size_t i = 0; i < 1000; ++i) {
    const std::string& c = calls[(i * 7) % calls.size()];
    std::string encoded;
    for (char ch : c) encoded += ch == '/' ? std::string("%2F") : std::string(1, ch);
    switch (i % 4) {
      case 0:
      case 1:
        targets.push_back("/api/v1/calls/" + encoded);
        break;
      case 2:
        targets.push_back("/" + c.substr(0, c.find('/')) + "/xml");
        break;
      default:
        targets.push_back("/api/v1/search?zip=" + std::to_string(i % 100000) + "&count=3");
    }
  }
  std::map<std::string, std::pair<int, std::string>> expected;
  for (const std::string& t : targets) {
    if (expected.count(t)) continue;
    const THttpAnswer a = Get(served_->Port(), t);
    expected[t] = {a.status, a.body};
  }
  std::vector<std::vector<std::string>> mismatches(8);
  std::vector<std::thread> threads;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (size_t w = 0; w < 8; ++w) {
    threads.emplace_back([&, w] {
      TConnection c(served_->Port());
      for (size_t i = w; i < targets.size() && std::chrono::steady_clock::now() < deadline;
           i += 8) {
        std::string body;
        const int status = c.Get(targets[i], body);
        if (status != expected[targets[i]].first || body != expected[targets[i]].second)
          mismatches[w].push_back(targets[i] + " -> " + std::to_string(status));
      }
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the requests did not finish in time";
  for (const auto& m : mismatches) EXPECT_TRUE(m.empty()) << m.front();
}

// Look-ups from four threads while the edition is reopened 20 times, alternately the fixture
// and a rebuild without K1ABC: every look-up is answered from one whole edition (W1AW always
// found; K1ABC found, or in the rebuild the next call after it), none fails for want of data.
TEST(ServiceDataReopen, LookUpsGoOnWhileReopening) {
  ASSERT_TRUE(AllocIndexCaches());
  TestDir first, rebuilt;
  TBuildInput in = fixture::Input();
  fixture::WriteEditionFiles(in, first.path());
  Rebuild(in);
  fixture::WriteEditionFiles(in, rebuilt.path());
  {
    SetHomeDir(first.path());
    TDataSetSource source("");
    ASSERT_TRUE(source.Open().ok());
    std::atomic<bool> done{false};
    std::vector<std::vector<std::string>> faults(4);
    std::vector<int> answered(4, 0);
    std::vector<std::thread> threads;
    for (size_t w = 0; w < 4; ++w) {
      threads.emplace_back([&, w] {
        for (int i = 0; i < 200000 && (!done || i < 50); ++i) {
          try {
            const TCallbookRecord a = source.FindCall("W1AW");
            if (a.match != TCallbookMatch::Exact || a.call != "W1AW")
              faults[w].push_back("W1AW -> " + a.call);
            const TCallbookRecord b = source.FindCall("K1ABC");
            if (!(b.match == TCallbookMatch::Exact && b.call == "K1ABC") &&
                b.match != TCallbookMatch::NextGreater)
              faults[w].push_back("K1ABC -> " + b.call);
            ++answered[w];
          } catch (const std::exception& e) {
            faults[w].push_back(e.what());
          }
          if (faults[w].size() > 5) return;
        }
      });
    }
    for (int n = 0; n < 20; ++n) {
      SetHomeDir(n % 2 == 0 ? rebuilt.path() : first.path());
      const TStatus opened = source.Open();
      EXPECT_TRUE(opened.ok()) << opened.Message();
      const std::string title = source.Health().title;
      EXPECT_EQ(title, n % 2 == 0 ? "Rebuilt edition" : "Fixture edition");
    }
    done = true;
    for (auto& t : threads) t.join();
    for (size_t w = 0; w < 4; ++w) {
      EXPECT_TRUE(faults[w].empty()) << faults[w].front();
      EXPECT_GE(answered[w], 50);
    }
    // The last opening is the fixture again: K1ABC is there.
    EXPECT_EQ(source.FindCall("K1ABC").match, TCallbookMatch::Exact);
  }
  FreeIndexCaches();
}

// QRZ's fname and name from the surname the licence data gave the builder (kept as the entry's
// key in the name order), not from a rule on the name: the same name splits as its surname was
// given. Expected values written by hand from the surnames below.
struct TSurnameCase {
  const char* call;
  const char* name;     // as stored, the first part of the address
  const char* surname;  // as the builder was given it
  const char* fname;    // expected <fname>
  const char* qrzName;  // expected <name>
};

const TSurnameCase kSurnameCases[] = {
    {"W4JR", "JAMES W BENNETT JR", "BENNETT", "JAMES W JR", "BENNETT"},
    {"K2VDB", "MARY ANN VAN DER BERG", "VAN DER BERG", "MARY ANN", "VAN DER BERG"},
    {"N5DLC", "JOSE DE LA CRUZ", "DE LA CRUZ", "JOSE", "DE LA CRUZ"},
    {"N5CRZ", "JOSE DE LA CRUZ", "CRUZ", "JOSE DE LA", "CRUZ"},
    {"W6III", "ROBERT SMITH III", "SMITH", "ROBERT III", "SMITH"},
    {"K7MAD", "MADONNA", "MADONNA", "<absent>", "MADONNA"},
    {"W8JJ", "JOHN JOHN", "JOHN", "JOHN", "JOHN"},
    {"K9LEE", "LEE ANN LEE SR", "LEE", "LEE ANN SR", "LEE"},
    {"W0LNG", "PETER WOLFESCHLEGELSTEINHAUSEN", "WOLFESCHLEGELSTEINHAUSEN", "PETER",
     "WOLFESCHLEGELSTEINHAUSEN"},
    {"K0CLB", "DALLAS AMATEUR RADIO CLUB", "DALLAS AMATEUR RADIO CLUB", "<absent>",
     "DALLAS AMATEUR RADIO CLUB"},
};

class ServiceSurnameTest : public ::testing::TestWithParam<TSurnameCase> {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AllocIndexCaches());
    dir_ = new TestDir;
    TBuildInput in = fixture::Input();
    for (const TSurnameCase& c : kSurnameCases)
      in.us.push_back(fixture::US({{1, c.call},
                                   {2, "TX"},
                                   {3, "75217"},
                                   {4, "e"},
                                   {13, std::string(c.name) + ", 1 MAIN ST, DALLAS"},
                                   {16, "United States"},
                                   {17, "United States"}},
                                  c.surname));
    fixture::WriteEditionFiles(in, dir_->path());
    SetHomeDir(dir_->path());
    served_ = new servicetest::TServedEdition;
    ASSERT_TRUE(served_->Open());
  }
  static void TearDownTestSuite() {
    delete served_;
    delete dir_;
    FreeIndexCaches();
  }
  static TXmlDoc Qrz(const std::string& call) {
    TServiceRequest req;
    req.method = "GET";
    req.target = "/bin/xml?s=0123456789abcdef0123456789abcdef;callsign=" + call;
    const TServiceResponse r = served_->router.Handle(req);
    EXPECT_EQ(r.status, 200);
    return ParseXml(r.body);
  }
  static TestDir* dir_;
  static servicetest::TServedEdition* served_;
};
TestDir* ServiceSurnameTest::dir_ = nullptr;
servicetest::TServedEdition* ServiceSurnameTest::served_ = nullptr;

TEST_P(ServiceSurnameTest, QrzNameIsTheStoredSurname) {
  const TSurnameCase& c = GetParam();
  const TXmlDoc d = Qrz(c.call);
  EXPECT_EQ(d.Text("Callsign/call"), c.call);
  EXPECT_EQ(d.Text("Callsign/fname"), c.fname) << c.name;
  EXPECT_EQ(d.Text("Callsign/name"), c.qrzName) << c.name;
}
INSTANTIATE_TEST_SUITE_P(Names, ServiceSurnameTest, ::testing::ValuesIn(kSurnameCases));

// International entries have no stored surname: the rule splits their names.
TEST_F(ServiceSurnameTest, InternationalNameByRule) {
  const TXmlDoc d = Qrz("DL1ABC");
  EXPECT_EQ(d.Text("Callsign/fname"), "Hans");
  EXPECT_EQ(d.Text("Callsign/name"), "Mueller");
}

#ifdef TELLMARK_LOOKUP_BIN
std::string HealthTitle(int port) {
  const THttpAnswer a = Get(port, "/api/v1/health");
  const json j = json::parse(a.body, nullptr, false);
  return j.is_object() ? j.value("edition", "") : "";
}

TEST(ServiceProgram, SighupReopensRebuiltEditionSigtermStops) {
  TestDir dir;
  TBuildInput in = fixture::Input();
  fixture::WriteEditionFiles(in, dir.path());
  const int port = FreePort();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("TELLMARK_INI", (dir.path() + "/none.ini").c_str(), 1);
    const std::string serve = "127.0.0.1:" + std::to_string(port);
    ::execl(TELLMARK_LOOKUP_BIN, TELLMARK_LOOKUP_BIN, "--data", dir.path().c_str(), "--serve",
            serve.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto waitFor = [port](const std::string& title) {
    for (int i = 0; i < 100; ++i) {  // at most 10 s
      if (HealthTitle(port) == title) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  };
  EXPECT_TRUE(waitFor("Fixture edition"));
  EXPECT_EQ(Get(port, "/api/v1/calls/K1ABC").status, 200);

  Rebuild(in);
  fixture::WriteEditionFiles(in, dir.path());
  ::kill(pid, SIGHUP);
  EXPECT_TRUE(waitFor("Rebuilt edition"));
  EXPECT_EQ(Get(port, "/api/v1/calls/K1ABC").status, 404);
  EXPECT_EQ(Get(port, "/api/v1/calls/W1AW").status, 200);

  ::kill(pid, SIGTERM);
  int status = 0;
  bool reaped = false;
  for (int i = 0; i < 100 && !reaped; ++i) {  // at most 10 s
    reaped = ::waitpid(pid, &status, WNOHANG) == pid;
    if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!reaped) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "tellmark-lookup --serve did not stop on SIGTERM";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
