// tellmark-build --update against FCC files served by a small HTTP server of the test's own on
// 127.0.0.1: the update's edition against a build by hand, conditional requests, a cut download,
// a kill during the rebuild; the edition's data date; the build record.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestDir.h"
#include "builder/UBuildRecord.h"
#include "common/IOUtil.h"
#include "dataset/UEdition.h"

namespace fs = std::filesystem;

namespace {

const std::string kDaily = std::string(TELLMARK_TESTS_DIR) + "/fixtures/fcc-daily";

std::string Slurp(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s)) << path;
  return s;
}

// Serves path -> bytes with an ETag each, answering If-None-Match with 304; counts answers.
class TFileServer {
 public:
  TFileServer() {
    server_.Get(R"(/uls/(complete|daily)/([a-z_]+\.zip))", [this](const httplib::Request& req,
                                                                  httplib::Response& res) {
      std::lock_guard<std::mutex> lock(m_);
      const auto it = files_.find(req.path);
      if (it == files_.end()) {
        res.status = 404;
        return;
      }
      const std::string etag = "\"" + std::to_string(std::hash<std::string>{}(it->second)) + "\"";
      res.set_header("ETag", etag);
      res.set_header("Last-Modified", "Sun, 06 Dec 2026 03:00:00 GMT");
      if (req.get_header_value("If-None-Match") == etag) {
        res.status = 304;
        ++notModified_;
        return;
      }
      ++sent_;
      res.set_content(it->second, "application/zip");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 500 && !server_.is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~TFileServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/uls/"; }
  // remote: "complete/l_amat.zip", "daily/l_am_mon.zip"
  void Put(const std::string& remote, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_);
    files_["/uls/" + remote] = bytes;
  }
  int Sent() {
    std::lock_guard<std::mutex> lock(m_);
    return sent_;
  }
  int NotModified() {
    std::lock_guard<std::mutex> lock(m_);
    return notModified_;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = -1;
  std::mutex m_;
  std::map<std::string, std::string> files_;
  int sent_ = 0, notModified_ = 0;
};

// Starts a program with the cache under `cache`; its output goes to `log`.
pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const std::string& cache, const std::string& log) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    if (!std::freopen(log.c_str(), "w", stdout) || ::dup2(::fileno(stdout), 2) < 0) ::_exit(126);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int st = 0;
  ::waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
}

// Every file under dir by relative path, but the build record (it names its own source paths).
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> m;
  if (!fs::exists(dir)) return m;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    const std::string rel = fs::relative(e.path(), dir).string();
    if (rel != kBuildRecordName) m[rel] = Slurp(e.path().string());
  }
  return m;
}

class FccUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Put("complete/l_amat.zip", Slurp(kDaily + "/l_amat.zip"));
    cache_ = dir_.file("cache");
    edition_ = dir_.file("edition");
    ::setenv("TELLMARK_INI", dir_.file("none.ini").c_str(), 1);
  }
  int Update(const std::string& log = "update.log", std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--update", edition_, "--fcc-url", server_.Url()};
    args.insert(args.end(), extra.begin(), extra.end());
    const int rc = Wait(Start(TELLMARK_BUILD_BIN, args, cache_, dir_.file(log)));
    last_ = Slurp(dir_.file(log));
    return rc;
  }
  // The small, fast edition every test builds.
  static std::vector<std::string> Small() { return {"--intl", "0", "--no-maps"}; }
  std::map<std::string, std::string> ByHand(const std::vector<std::string>& daily) {
    std::vector<std::string> args = {"--fcc", kDaily + "/l_amat.zip", "--out", dir_.file("hand")};
    for (const auto& d : daily) args.insert(args.end(), {"--fcc-daily", kDaily + "/" + d});
    const auto small = Small();
    args.insert(args.end(), small.begin(), small.end());
    EXPECT_EQ(Wait(Start(TELLMARK_BUILD_BIN, args, cache_, dir_.file("hand.log"))), 0)
        << Slurp(dir_.file("hand.log"));
    return Files(dir_.file("hand"));
  }

  TFileServer server_;
  TestDir dir_;
  std::string cache_, edition_, last_;
};

TEST_F(FccUpdate, FirstUpdateEqualsABuildByHandAndTheSecondDownloadsNothing) {
  server_.Put("daily/l_am_mon.zip", Slurp(kDaily + "/l_am_mon.zip"));
  server_.Put("daily/l_am_tue.zip", Slurp(kDaily + "/l_am_tue.zip"));
  ASSERT_EQ(Update("first.log", Small()), 0) << last_;
  EXPECT_EQ(server_.Sent(), 3);
  const auto first = Files(edition_);
  const auto hand = ByHand({"l_am_mon.zip", "l_am_tue.zip"});
  ASSERT_FALSE(hand.empty());
  ASSERT_EQ(first.size(), hand.size());
  for (const auto& [name, bytes] : hand) EXPECT_TRUE(first.at(name) == bytes) << name;
  EXPECT_NE(first.at("data/edition.ini").find("FccDaily=2026-12-08"), std::string::npos);

  TBuildRecord rec;
  ASSERT_TRUE(ReadBuildRecord(edition_, rec));
  EXPECT_EQ(rec.SourcesOf("--fcc-daily").size(), 2u);
  EXPECT_EQ(rec.fccWeekly, "2026-12-06");
  EXPECT_EQ(rec.options, (std::vector<std::string>{"--intl=0", "--no-maps", "--seed=1999"}));

  const auto stamp = fs::last_write_time(edition_ + "/data/thedata.dat");
  ASSERT_EQ(Update("second.log"), 0) << last_;
  EXPECT_EQ(server_.Sent(), 3);         // nothing downloaded again
  EXPECT_EQ(server_.NotModified(), 3);  // each asked conditionally
  EXPECT_NE(last_.find("up to date"), std::string::npos) << last_;
  EXPECT_EQ(fs::last_write_time(edition_ + "/data/thedata.dat"), stamp);
  ASSERT_EQ(Update("offline.log", {"--offline"}), 0) << last_;
  EXPECT_EQ(server_.NotModified(), 3);  // not asked at all
  EXPECT_NE(last_.find("up to date"), std::string::npos) << last_;

  // A new daily file: downloaded alone, applied, the build options kept from the record.
  server_.Put("daily/l_am_wed.zip", Slurp(kDaily + "/l_am_wed.zip"));
  ASSERT_EQ(Update("third.log"), 0) << last_;
  EXPECT_EQ(server_.Sent(), 4);
  fs::remove_all(dir_.file("hand"));
  const auto after = Files(edition_);
  const auto hand3 = ByHand({"l_am_mon.zip", "l_am_tue.zip", "l_am_wed.zip"});
  ASSERT_EQ(after.size(), hand3.size());
  for (const auto& [name, bytes] : hand3) EXPECT_TRUE(after.at(name) == bytes) << name;
  EXPECT_FALSE(fs::exists(edition_ + ".update"));
  // Build options go with a new edition only.
  EXPECT_EQ(Update("options.log", {"--us", "5"}), 2);
}

TEST_F(FccUpdate, ACutDailyFileIsRefusedAndTheEditionUnchanged) {
  server_.Put("daily/l_am_mon.zip", Slurp(kDaily + "/l_am_mon.zip"));
  ASSERT_EQ(Update("first.log", Small()), 0) << last_;
  const auto before = Files(edition_);
  const std::string tue = Slurp(kDaily + "/l_am_tue.zip");
  server_.Put("daily/l_am_tue.zip", tue.substr(0, tue.size() * 2 / 3));
  EXPECT_EQ(Update("cut.log"), 1);
  EXPECT_NE(last_.find("l_am_tue.zip"), std::string::npos) << last_;
  EXPECT_EQ(Files(edition_), before);
  EXPECT_FALSE(fs::exists(edition_ + ".update"));
  EXPECT_FALSE(fs::exists(cache_ + "/tellmark/fcc/l_am_tue.zip"));
  EXPECT_FALSE(fs::exists(cache_ + "/tellmark/fcc/l_am_tue.zip.part"));
  // Whole again: taken.
  server_.Put("daily/l_am_tue.zip", tue);
  ASSERT_EQ(Update("whole.log"), 0) << last_;
  EXPECT_NE(Slurp(edition_ + "/data/edition.ini").find("FccDaily=2026-12-08"), std::string::npos);
}

TEST_F(FccUpdate, AKillDuringTheRebuildLeavesTheOldEditionAndTheNextUpdateCompletes) {
  ASSERT_EQ(Update("first.log", Small()), 0) << last_;
  const auto old = Files(edition_);
  server_.Put("daily/l_am_mon.zip", Slurp(kDaily + "/l_am_mon.zip"));
  server_.Put("daily/l_am_tue.zip", Slurp(kDaily + "/l_am_tue.zip"));
  const auto fresh = ByHand({"l_am_mon.zip", "l_am_tue.zip"});
  ASSERT_NE(old, fresh);
  const std::vector<std::string> args = {"--update", edition_, "--fcc-url", server_.Url()};
  int killedInRebuild = 0;
  for (int delayMs : {0, 30, 100, 300, 700, 1200}) {
    const pid_t pid = Start(TELLMARK_BUILD_BIN, args, cache_, dir_.file("killed.log"));
    // The rebuild has begun when the sibling folder appears.
    bool begun = false;
    for (int i = 0; i < 3000 && !begun; ++i) {
      begun = fs::exists(edition_ + ".update");
      if (!begun) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ::kill(pid, SIGKILL);
    if (Wait(pid) == -SIGKILL && begun) ++killedInRebuild;
    const auto now = Files(edition_);
    EXPECT_TRUE(now == old || now == fresh) << "a mix after a kill " << delayMs << " ms in";
  }
  EXPECT_GT(killedInRebuild, 0);
  ASSERT_EQ(Update("next.log"), 0) << last_;
  EXPECT_EQ(Files(edition_), fresh);
  EXPECT_FALSE(fs::exists(edition_ + ".update"));
}

TEST_F(FccUpdate, TheLookUpShowsTheDataDateAndWarnsOnceWhenItIsOld) {
  ASSERT_EQ(Update("first.log", Small()), 0) << last_;
  const auto lookup = [&](const std::string& log) {
    const int rc =
        Wait(Start(TELLMARK_LOOKUP_BIN, {"--data", edition_, "--stats"}, cache_, dir_.file(log)));
    EXPECT_EQ(rc, 0);
    return Slurp(dir_.file(log));
  };
  std::string out = lookup("stats.log");
  EXPECT_NE(out.find("FCC data of 2026-12-06"), std::string::npos) << out;
  // The same edition, its data dated long ago.
  const std::string ini = edition_ + "/data/edition.ini";
  std::string text = Slurp(ini);
  text.replace(text.find("FccWeekly=2026-12-06"), 20, "FccWeekly=2001-02-03");
  ASSERT_TRUE(WriteFileAtomically(ini, text));
  out = lookup("old.log");
  const size_t warning = out.find("days old (2001-02-03)");
  EXPECT_NE(warning, std::string::npos) << out;
  EXPECT_EQ(out.find("days old", warning + 1), std::string::npos) << out;
}

// ---------------------------------------------------------------------------------------------
// The data date and the build record

struct TAgeCase {
  const char* weekly;
  const char* daily;
  const char* now;  // UTC, "YYYY-MM-DD HH:MM"
  int age;
  const char* text;
};

std::time_t Utc(const char* t) {
  std::tm tm{};
  strptime(t, "%Y-%m-%d %H:%M", &tm);
  return timegm(&tm);
}

class DataDate : public ::testing::TestWithParam<TAgeCase> {};

TEST_P(DataDate, AgeAndText) {
  const TAgeCase& c = GetParam();
  TEdition ed = Edition1999();
  ed.fccWeekly = c.weekly;
  ed.fccDaily = c.daily;
  EXPECT_EQ(DataAgeDays(ed, Utc(c.now)), c.age);
  EXPECT_EQ(DataDateText(ed), c.text);
  // Through the manifest and back.
  TEdition back;
  std::string error;
  ASSERT_TRUE(ParseEdition(FormatEdition(ed), back, error)) << error;
  EXPECT_EQ(back.fccWeekly, ed.fccWeekly);
  EXPECT_EQ(back.fccDaily, ed.fccDaily);
}

INSTANTIATE_TEST_SUITE_P(
    Edition, DataDate,
    ::testing::Values(TAgeCase{"", "", "2026-12-09 12:00", -1, ""},
                      TAgeCase{"2026-12-06", "", "2026-12-06 00:00", 0, "FCC data of 2026-12-06"},
                      TAgeCase{"2026-12-06", "2026-12-08", "2026-12-22 23:59", 14,
                               "FCC data of 2026-12-06, daily files to 2026-12-08"},
                      TAgeCase{"2026-11-29", "2026-12-05", "2027-01-01 00:00", 27,
                               "FCC data of 2026-11-29, daily files to 2026-12-05"},
                      TAgeCase{"2024-02-25", "2024-03-01", "2024-03-01 08:00", 0,
                               "FCC data of 2024-02-25, daily files to 2024-03-01"}));

TEST(DataDateManifest, ABadDateIsAnErrorAndTheSampleHasNone) {
  TEdition ed = Edition1999();
  EXPECT_EQ(FormatEdition(ed).find("Fcc"), std::string::npos);  // sample manifests unchanged
  std::string text = FormatEdition(ed);
  text.insert(text.find("MapDirOffset"), "FccWeekly=2026-13-01\r\n");
  TEdition out;
  std::string error;
  EXPECT_FALSE(ParseEdition(text, out, error));
  EXPECT_NE(error.find("fccweekly"), std::string::npos) << error;
}

TEST(BuildRecord, ReadBackAndMalformed) {
  TBuildRecord r;
  r.program = "tellmark-build 1.0.0";
  r.options = {"--intl=0", "--no-maps", "--seed=7"};
  r.sources = {"--fcc=/a/l_amat.zip", "--fcc-daily=/a/b=c.zip", "--intl-csv=/x.csv"};
  r.fccWeekly = "2026-12-06";
  const TBuildRecord back = ParseBuildRecord(FormatBuildRecord(r)).Value();
  EXPECT_EQ(back.options, r.options);
  EXPECT_EQ(back.sources, r.sources);
  EXPECT_EQ(back.SourcesOf("--fcc-daily"), std::vector<std::string>{"/a/b=c.zip"});
  EXPECT_EQ(back.SourcesExcept({"--fcc", "--fcc-daily"}),
            std::vector<std::string>{"--intl-csv=/x.csv"});
  EXPECT_EQ(back.fccWeekly, "2026-12-06");
  for (const char* bad : {"", "Option=--x\r\n", "[Build]\r\nOption=x\r\n",
                          "[Build]\r\nSource=--fcc\r\n", "[Build]\r\njunk\r\n"})
    EXPECT_TRUE(ParseBuildRecord(bad).Status().IsCorrupt()) << bad;
}

}  // namespace
