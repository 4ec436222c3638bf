// The look-up service on a real data set: answers equal to the command line's look-up path,
// the same answers from 1,000 concurrent requests of 8 threads as from one at a time, and
// SIGHUP reopening a rebuilt edition in a running tellmark-lookup --serve.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>

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

class ServiceDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AllocIndexCaches());
    edition_ = new fixture::TFixtureEdition;
    SetHomeDir(edition_->path());
    source_ = new TDataSetSource("FN42");
    std::string error;
    ASSERT_TRUE(source_->Open(error)) << error;
    router_ = new TServiceRouter(*source_);
    service_ = new TRunningService(*router_);
  }
  static void TearDownTestSuite() {
    delete service_;
    delete router_;
    delete source_;
    delete edition_;
    FreeIndexCaches();
  }
  static fixture::TFixtureEdition* edition_;
  static TDataSetSource* source_;
  static TServiceRouter* router_;
  static TRunningService* service_;
};
fixture::TFixtureEdition* ServiceDataTest::edition_ = nullptr;
TDataSetSource* ServiceDataTest::source_ = nullptr;
TServiceRouter* ServiceDataTest::router_ = nullptr;
TRunningService* ServiceDataTest::service_ = nullptr;

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
    const THttpAnswer a = Get(service_->Port(), c.target);
    EXPECT_EQ(a.status, c.status) << c.target;
    const json j = json::parse(a.body, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << a.body;
    EXPECT_EQ(j["call"], c.call) << c.target;
    EXPECT_EQ(j["match"], c.match) << c.target;
  }
}

TEST_F(ServiceDataTest, SearchesOfTheEdition) {
  json j = json::parse(Get(service_->Port(), "/api/v1/search?name=SMITH&count=3").body);
  ASSERT_TRUE(j.is_array());
  ASSERT_EQ(j.size(), 3u);
  EXPECT_EQ(j[0]["match"], "exact");
  j = json::parse(Get(service_->Port(), "/api/v1/search?words=berlin&db=intl").body);
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0]["call"], "DL1ABC");
  j = json::parse(Get(service_->Port(), "/api/v1/health").body);
  EXPECT_EQ(j["edition"], "Fixture edition");
  EXPECT_GT(j["entries"]["us"].get<int>(), 1000);
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
    const THttpAnswer a = Get(service_->Port(), t);
    expected[t] = {a.status, a.body};
  }
  std::vector<std::vector<std::string>> mismatches(8);
  std::vector<std::thread> threads;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (size_t w = 0; w < 8; ++w) {
    threads.emplace_back([&, w] {
      TConnection c(service_->Port());
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

#ifdef TELLMARK_LOOKUP_BIN
// A free port of 127.0.0.1, as the kernel hands them out.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

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

  // Rebuilt without K1ABC, under another title.
  in.title = "Rebuilt edition";
  in.us.erase(std::remove_if(in.us.begin(), in.us.end(),
                             [](const TBuildEntry& e) {
                               for (const auto& [tag, text] : e.fields)
                                 if (tag == 1 && text == "K1ABC") return true;
                               return false;
                             }),
              in.us.end());
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
