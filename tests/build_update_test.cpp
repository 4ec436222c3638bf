// tellmark-build --update against FCC files served by a small HTTP server of the test's own on
// 127.0.0.1: the update's edition against a build by hand, conditional requests, a cut download,
// a kill during the rebuild; the edition's data date; the build record.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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
#include "builder/UFccDownload.h"
#include "builder/UFccUpdate.h"
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
    // Bytes without end, `crawl_` bytes a second: a server that never gives up.
    server_.Get(R"(/crawl/(complete|daily)/([a-z_]+\.zip))", [this](const httplib::Request&,
                                                                    httplib::Response& res) {
      res.set_chunked_content_provider("application/zip", [this](size_t, httplib::DataSink& sink) {
        const std::string chunk(static_cast<size_t>(crawl_ / 10), 'x');
        for (int i = 0; i < 10 && !stop_; ++i) {
          if (!sink.write(chunk.data(), chunk.size())) return false;
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return !stop_.load();
      });
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 500 && !server_.is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~TFileServer() {
    stop_ = true;
    server_.stop();
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/uls/"; }
  // The same files trickling in at bytesPerSecond without end.
  std::string CrawlUrl(int bytesPerSecond) {
    crawl_ = bytesPerSecond;
    return "http://127.0.0.1:" + std::to_string(port_) + "/crawl/";
  }
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
  std::atomic<int> crawl_{200};
  std::atomic<bool> stop_{false};
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
  EXPECT_NE(
      out.find("Tellmark FCC edition of 2026-12-06\nFCC licence data of 2026-12-06, 6 stations\n"),
      std::string::npos)
      << out;
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
  const TResult<TEdition> back = ParseEdition(FormatEdition(ed));
  ASSERT_TRUE(back.ok()) << back.Status().Message();
  EXPECT_EQ(back->fccWeekly, ed.fccWeekly);
  EXPECT_EQ(back->fccDaily, ed.fccDaily);
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
  const TResult<TEdition> out = ParseEdition(text);
  EXPECT_TRUE(out.Status().IsCorrupt());
  EXPECT_EQ(out.Status().Message(), "bad edition/fccweekly");
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

// ---------------------------------------------------------------------------------------------
// Real data without invented entries; updates decided from dates; downloads that crawl

TEdition ReadEdition(const std::string& dir) {
  const TResult<TEdition> ed = ParseEdition(Slurp(dir + "/data/edition.ini"));
  EXPECT_TRUE(ed.ok()) << ed.Status().Message();
  return ed.ok() ? *ed : TEdition{};
}

TEST_F(FccUpdate, AnUpdateAndAnFccBuildHoldNoInventedEntries) {
  // No size options at all: before, 40,000 invented International stations came along.
  ASSERT_EQ(Update("first.log", {"--no-maps"}), 0) << last_;
  const std::vector<std::string> hand = {"--fcc", kDaily + "/l_amat.zip", "--no-maps", "--out",
                                         dir_.file("hand")};
  ASSERT_EQ(Wait(Start(TELLMARK_BUILD_BIN, hand, cache_, dir_.file("hand.log"))), 0)
      << Slurp(dir_.file("hand.log"));
  for (const std::string& dir : {edition_, dir_.file("hand")}) {
    const TEdition ed = ReadEdition(dir);
    EXPECT_EQ(ed.intlCount, 0) << dir;
    EXPECT_EQ(ed.usCount, 6) << dir;  // the six active licences of the weekly fixture
    ASSERT_EQ(ed.sources.size(), 1u) << dir;
    EXPECT_EQ(ed.sources[0].kind, "fcc");
    EXPECT_EQ(ed.sources[0].date, "2026-12-06");
    EXPECT_EQ(ed.sources[0].count, 6);
    EXPECT_FALSE(DatabaseSynthetic(ed, "us"));
    EXPECT_FALSE(DatabaseSynthetic(ed, "intl"));
    EXPECT_EQ(ed.title, "Tellmark FCC edition of 2026-12-06");
    // The look-up marks nothing; a call of another country finds nothing.
    const std::string log = dir_.file("json.log");
    Wait(Start(TELLMARK_LOOKUP_BIN, {"--data", dir, "--json", "K1AAA", "JA1ABC"}, cache_, log));
    const std::string out = Slurp(log);
    EXPECT_NE(out.find("\"call\":\"K1AAA\",\"match\":\"exact\""), std::string::npos) << out;
    EXPECT_EQ(out.find("synthetic"), std::string::npos) << out;
    EXPECT_EQ(out.find("\"database\":\"intl\""), std::string::npos) << out;
  }
  EXPECT_NE(last_.find("Edition \"Tellmark FCC edition of 2026-12-06\" in " + edition_ + "/data"),
            std::string::npos)
      << last_;
}

TEST_F(FccUpdate, AnUpdateKilledAfterItsDownloadIsCompletedByTheNext) {
  ASSERT_EQ(Update("first.log", Small()), 0) << last_;
  ASSERT_EQ(ReadEdition(edition_).fccWeekly, "2026-12-06");
  const std::string newer = Slurp(kDaily + "/l_amat_after.zip");  // dated 2026-12-09
  server_.Put("complete/l_amat.zip", newer);
  const std::string meta = cache_ + "/tellmark/fcc/l_amat.zip.meta";
  const std::string etag = std::to_string(std::hash<std::string>{}(newer));
  // Killed as soon as the new file and its validators are in the cache.
  const pid_t pid = Start(TELLMARK_BUILD_BIN, {"--update", edition_, "--fcc-url", server_.Url()},
                          cache_, dir_.file("killed.log"));
  bool landed = false;
  for (int i = 0; i < 20000 && !landed; ++i) {
    std::string m;
    landed = ReadWholeFile(meta, m) && m.find(etag) != std::string::npos;
    if (!landed) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ::kill(pid, SIGKILL);
  Wait(pid);
  ASSERT_TRUE(landed);
  ASSERT_EQ(Slurp(cache_ + "/tellmark/fcc/l_amat.zip"), newer);
  const int sent = server_.Sent();
  // The next run gets "not modified" for every file and still builds from the newer one.
  ASSERT_EQ(Update("next.log"), 0) << last_;
  EXPECT_EQ(server_.Sent(), sent) << last_;
  EXPECT_EQ(last_.find("up to date"), std::string::npos) << last_;
  EXPECT_EQ(ReadEdition(edition_).fccWeekly, "2026-12-09");
  TBuildRecord rec;
  ASSERT_TRUE(ReadBuildRecord(edition_, rec));
  EXPECT_EQ(rec.fccWeekly, "2026-12-09");
  EXPECT_FALSE(fs::exists(edition_ + ".update"));
  // Only now up to date.
  ASSERT_EQ(Update("again.log"), 0) << last_;
  EXPECT_NE(last_.find("up to date (FCC data of 2026-12-09)"), std::string::npos) << last_;
}

TEST_F(FccUpdate, TwoEditionsSharingTheCacheBothReachTheNewestWeeklyFile) {
  const std::string a = edition_, b = dir_.file("second edition");
  ASSERT_EQ(Update("a1.log", Small()), 0) << last_;
  edition_ = b;
  ASSERT_EQ(Update("b1.log", Small()), 0) << last_;
  server_.Put("complete/l_amat.zip", Slurp(kDaily + "/l_amat_after.zip"));
  edition_ = a;
  ASSERT_EQ(Update("a2.log"), 0) << last_;
  EXPECT_NE(last_.find("Downloaded l_amat.zip"), std::string::npos) << last_;
  // b's update downloads nothing: the file is in the cache already, newer than b's data.
  edition_ = b;
  ASSERT_EQ(Update("b2.log"), 0) << last_;
  EXPECT_NE(last_.find("Nothing new to download"), std::string::npos) << last_;
  EXPECT_NE(last_.find("Edition \"Tellmark FCC edition of 2026-12-09\" in " + b + "/data"),
            std::string::npos)
      << last_;
  for (const std::string& dir : {a, b}) EXPECT_EQ(ReadEdition(dir).fccWeekly, "2026-12-09") << dir;
}

TEST_F(FccUpdate, ALeftoverSiblingGoesAtTheStartOfEveryUpdate) {
  ASSERT_EQ(Update("first.log", Small()), 0) << last_;
  // As a run killed in the rebuild leaves it; the next run has nothing to build.
  fs::create_directories(edition_ + ".update/data");
  ASSERT_TRUE(WriteFileAtomically(edition_ + ".update/data/thedata.dat", "part"));
  ASSERT_EQ(Update("second.log"), 0) << last_;
  EXPECT_NE(last_.find("up to date"), std::string::npos) << last_;
  EXPECT_FALSE(fs::exists(edition_ + ".update"));
}

// The real limits of the program: under 1,000 bytes/s for 60 s. Bounded at 2 minutes.
TEST_F(FccUpdate, AServerThatTricklesWithoutEndIsGivenUpAndNothingChanges) {
  ASSERT_EQ(Update("first.log", Small()), 0) << last_;
  const auto edition = Files(edition_);
  const std::string cached = Slurp(cache_ + "/tellmark/fcc/l_amat.zip");
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid =
      Start(TELLMARK_BUILD_BIN, {"--update", edition_, "--fcc-url", server_.CrawlUrl(200)}, cache_,
            dir_.file("crawl.log"));
  int rc = -1;
  for (int i = 0; i < 1200 && rc < 0; ++i) {  // 120 s at most
    int st = 0;
    if (::waitpid(pid, &st, WNOHANG) == pid)
      rc = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (rc < 0) {
    ::kill(pid, SIGKILL);
    Wait(pid);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string out = Slurp(dir_.file("crawl.log"));
  ASSERT_EQ(rc, 1) << "still downloading after " << seconds << " s\n" << out;
  EXPECT_GE(seconds, 59.0);
  EXPECT_LT(seconds, 120.0);
  EXPECT_NE(out.find("was given up: slower than 1000 bytes/s for 60 s"), std::string::npos) << out;
  EXPECT_EQ(Files(edition_), edition);
  EXPECT_EQ(Slurp(cache_ + "/tellmark/fcc/l_amat.zip"), cached);
  EXPECT_FALSE(fs::exists(cache_ + "/tellmark/fcc/l_amat.zip.part"));
  EXPECT_FALSE(fs::exists(edition_ + ".update"));
}

// The same code path with limits a test can wait for, and the size limits.
struct TLimitCase {
  const char* what;
  int bytesPerSecond;
  long lowSpeedTime;
  uint64_t maxBytes;
  const char* message;
};

class DownloadLimits : public ::testing::TestWithParam<TLimitCase> {};

TEST_P(DownloadLimits, GivenUpOrRefusedAsItArrives) {
  const TLimitCase& c = GetParam();
  TFileServer server;
  TestDir dir;
  TFccDownloadOptions o;
  o.baseUrl = server.CrawlUrl(c.bytesPerSecond);
  o.cacheDir = dir.file("cache");
  o.lowSpeedTime = c.lowSpeedTime;
  o.maxBytes = c.maxBytes;
  const auto start = std::chrono::steady_clock::now();
  try {
    DownloadFcc(o);
    ADD_FAILURE() << "downloaded";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, static_cast<double>(c.lowSpeedTime) + 10) << c.what;
  EXPECT_FALSE(fs::exists(o.cacheDir + "/l_amat.zip"));
  EXPECT_FALSE(fs::exists(o.cacheDir + "/l_amat.zip.part"));
}

INSTANTIATE_TEST_SUITE_P(
    Download, DownloadLimits,
    ::testing::Values(TLimitCase{"a crawl", 200, 2, uint64_t{2} << 30,
                                 "was given up: slower than 1000 bytes/s for 2 s"},
                      TLimitCase{"just under the limit", 900, 2, uint64_t{2} << 30,
                                 "was given up: slower than 1000 bytes/s for 2 s"},
                      TLimitCase{"an endless body past the size limit", 400000, 60, 100000,
                                 "was refused: larger than 100000 bytes"}));

struct TNewerCase {
  const char* weekly;
  const char* lastDaily;
  const char* builtWeekly;
  const char* builtDaily;
  bool newer;
};

class NewerDataCase : public ::testing::TestWithParam<TNewerCase> {};

TEST_P(NewerDataCase, FromTheDatesAlone) {
  const TNewerCase& c = GetParam();
  TFccDownloadResult d;
  d.weeklyDay = c.weekly;
  d.lastDailyDay = c.lastDaily;
  EXPECT_EQ(NewerData(d, c.builtWeekly, c.builtDaily), c.newer)
      << c.weekly << " " << c.lastDaily << " vs " << c.builtWeekly << " " << c.builtDaily;
}

INSTANTIATE_TEST_SUITE_P(
    Update, NewerDataCase,
    ::testing::Values(TNewerCase{"2026-12-06", "", "2026-12-06", "", false},
                      TNewerCase{"2026-12-06", "2026-12-08", "2026-12-06", "2026-12-08", false},
                      TNewerCase{"2026-12-06", "2026-12-09", "2026-12-06", "2026-12-08", true},
                      TNewerCase{"2026-12-06", "2026-12-07", "2026-12-06", "", true},
                      TNewerCase{"2026-12-13", "", "2026-12-06", "2026-12-12", true},
                      TNewerCase{"2026-12-06", "2026-12-08", "2026-12-13", "", false},
                      TNewerCase{"2026-12-06", "", "", "", true}));

// What an edition says it was made of, and what counts as invented.
struct TMadeOfCase {
  const char* manifestExtra;  // inserted after [Edition]'s keys
  const char* title;
  bool usSynthetic, intlSynthetic, sample;
  const char* text;
};

class MadeOf : public ::testing::TestWithParam<TMadeOfCase> {};

TEST_P(MadeOf, SourcesCountsAndMarks) {
  const TMadeOfCase& c = GetParam();
  std::string text = FormatEdition(Edition1999());
  text.replace(text.find("Tellmark on CD-ROM Summer 1999"), 30, c.title);
  text.insert(text.find("\r\n[Orders]"), c.manifestExtra);
  const TResult<TEdition> parsed = ParseEdition(text);
  ASSERT_TRUE(parsed.ok()) << parsed.Status().Message() << "\n" << text;
  const TEdition& ed = *parsed;
  EXPECT_EQ(DatabaseSynthetic(ed, "us"), c.usSynthetic);
  EXPECT_EQ(DatabaseSynthetic(ed, "intl"), c.intlSynthetic);
  EXPECT_EQ(SampleEdition(ed), c.sample);
  EXPECT_EQ(EditionSourcesText(ed), c.text);
  // Written and read back the same.
  const TResult<TEdition> back = ParseEdition(FormatEdition(ed));
  ASSERT_TRUE(back.ok()) << back.Status().Message();
  EXPECT_EQ(EditionSourcesText(*back), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Edition, MadeOf,
    ::testing::Values(
        TMadeOfCase{"FccWeekly=2026-11-29\r\n\r\n[Sources]\r\nSource1=fcc,us,2026-11-29,783412\r\n"
                    "Source2=ised,intl,2026-11-30,91870\r\n",
                    "Tellmark FCC and Canadian edition", false, false, false,
                    "FCC licence data of 2026-11-29, 783,412 stations; Canadian register of "
                    "2026-11-30, 91,870 stations"},
        TMadeOfCase{"\r\n[Sources]\r\nSource1=sample,us,,60000\r\nSource2=sample,intl,,40000\r\n",
                    "Tellmark sample edition", true, true, true,
                    "Sample edition: invented stations for trying the program"},
        TMadeOfCase{"FccWeekly=2026-12-06\r\nFccDaily=2026-12-08\r\n\r\n[Sources]\r\n"
                    "Source1=fcc,us,2026-12-06,12\r\nSource2=sample,intl,,1000\r\n",
                    "Mine", false, true, false,
                    "FCC licence data of 2026-12-06 and daily files to 2026-12-08, 12 stations; "
                    "invented International stations (sample), 1,000 stations"},
        TMadeOfCase{"\r\n[Sources]\r\nSource1=csv,intl,,999\r\n", "Mine", false, false, false,
                    "International list, 999 stations"},
        // Written before sources were recorded: known by the old builder's titles.
        TMadeOfCase{"", "Tellmark sample edition", true, true, true,
                    "Sample edition: invented stations for trying the program"},
        TMadeOfCase{"FccWeekly=2026-12-06\r\n", "Tellmark FCC edition", false, true, false,
                    "FCC data of 2026-12-06"},
        TMadeOfCase{"", "Fixture edition", false, false, false, ""}));

TEST(MadeOfManifest, MalformedSourcesAreErrors) {
  for (const char* bad :
       {"Source1=fcc,us,2026-11-29\r\n", "Source1=fcc,eu,,5\r\n", "Source1=fcc,us,2026-13-01,5\r\n",
        "Source1=fcc,us,,-5\r\n", "Source1=,us,,5\r\n"}) {
    std::string text = FormatEdition(Edition1999());
    text.insert(text.find("\r\n[Orders]"), std::string("\r\n[Sources]\r\n") + bad);
    const TResult<TEdition> ed = ParseEdition(text);
    EXPECT_TRUE(ed.Status().IsCorrupt()) << bad;
    EXPECT_EQ(ed.Status().Message(), "bad sources/source1") << bad;
  }
}

// The sample edition: every entry marked; the ADIF filler refuses it without --allow-sample.
class SampleEditionCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestDir;
    ::setenv("TELLMARK_INI", dir_->file("none.ini").c_str(), 1);
    const std::vector<std::string> args = {
        "--us", "40", "--intl", "40", "--no-maps", "--out", dir_->file("sample")};
    ASSERT_EQ(Wait(Start(TELLMARK_BUILD_BIN, args, dir_->path(), dir_->file("build.log"))), 0)
        << Slurp(dir_->file("build.log"));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static int Lookup(const std::vector<std::string>& args, std::string& out) {
    std::vector<std::string> all = {"--data", dir_->file("sample")};
    all.insert(all.end(), args.begin(), args.end());
    const int rc = Wait(Start(TELLMARK_LOOKUP_BIN, all, dir_->path(), dir_->file("lookup.log")));
    out = Slurp(dir_->file("lookup.log"));
    return rc;
  }
  static TestDir* dir_;
};

TestDir* SampleEditionCli::dir_ = nullptr;

TEST_F(SampleEditionCli, EveryRecordIsMarkedSynthetic) {
  std::string out;
  // No ZIP "0": the entries from the next greater one on (status 1).
  ASSERT_EQ(Lookup({"--json", "--count", "40", "--zip", "0"}, out), 1) << out;
  const size_t us = out.find("\"database\":\"us\"");
  ASSERT_NE(us, std::string::npos) << out;
  size_t records = 0, marked = 0;
  for (size_t at = out.find("\"call\""); at != std::string::npos; at = out.find("\"call\"", at + 1))
    ++records;
  for (size_t at = out.find("\"synthetic\":true"); at != std::string::npos;
       at = out.find("\"synthetic\":true", at + 1))
    ++marked;
  EXPECT_EQ(records, 40u) << out;
  EXPECT_EQ(marked, records) << out;
  // Calls between the sample's: each finds the next entry of its database (status 1).
  ASSERT_EQ(Lookup({"--json", "DL1AA", "JA1AA"}, out), 1) << out;
  EXPECT_NE(out.find("\"database\":\"intl\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"synthetic\":true"), out.rfind("\"synthetic\":true")) << out;  // both
  ASSERT_EQ(Lookup({"--stats"}, out), 0) << out;
  EXPECT_NE(out.find("Tellmark sample edition\nSample edition: invented stations for trying the "
                     "program\n"),
            std::string::npos)
      << out;
}

TEST_F(SampleEditionCli, TheAdifFillerRefusesItWithoutTheFlag) {
  std::string out;
  ASSERT_EQ(Lookup({"--json", "--count", "1", "--zip", "0"}, out), 1) << out;
  const size_t at = out.find("\"call\":\"") + 8;
  const std::string call = out.substr(at, out.find('"', at) - at);
  ASSERT_FALSE(call.empty()) << out;
  const std::string log = dir_->file("log.adi"), filled = dir_->file("filled.adi");
  const std::string text =
      "<CALL:" + std::to_string(call.size()) + ">" + call + " <QSO_DATE:8>20240101 <EOR>\r\n";
  ASSERT_TRUE(WriteFileAtomically(log, text));
  EXPECT_EQ(Lookup({"--adif", log, "--adif-out", filled}, out), 2) << out;
  EXPECT_NE(out.find("refused: 1 contacts (" + call + ") would be filled from invented entries"),
            std::string::npos)
      << out;
  EXPECT_FALSE(fs::exists(filled));
  EXPECT_EQ(Lookup({"--adif", log, "--in-place"}, out), 2) << out;
  EXPECT_EQ(Slurp(log), text);
  // With the flag: filled, as the sample's demonstration.
  EXPECT_EQ(Lookup({"--adif", log, "--adif-out", filled, "--allow-sample"}, out), 0) << out;
  EXPECT_NE(Slurp(filled).find("<NAME:"), std::string::npos) << Slurp(filled);
  EXPECT_EQ(Lookup({"--allow-sample", "W1AW"}, out), 2) << out;  // only with --adif
}

// tellmark-build --update DIR --enable-timer: the folder in the timer's environment file.
TEST_F(FccUpdate, EnableTimerNamesTheEditionInTheEnvironmentFile) {
  const std::string config = dir_.file("config");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ::setenv("TELLMARK_SYSTEMCTL", "true", 1);
  edition_ = dir_.file("my \"editions\" $HOME");
  ASSERT_EQ(Update("first.log", {"--no-maps", "--enable-timer"}), 0) << last_;
  EXPECT_NE(Slurp(config + "/tellmark/update.env")
                .find("\nTELLMARK_EDITION=\"" + dir_.file("my \\\"editions\\\" \\$HOME") + "\"\n"),
            std::string::npos)
      << Slurp(config + "/tellmark/update.env");
  EXPECT_NE(last_.find("tellmark-update.timer keeps"), std::string::npos) << last_;
  // systemctl cannot (no user session): told, the update itself done.
  ::setenv("TELLMARK_SYSTEMCTL", "false", 1);
  ASSERT_EQ(Update("second.log", {"--enable-timer"}), 0) << last_;
  EXPECT_NE(last_.find("systemctl --user enable --now tellmark-update.timer"), std::string::npos)
      << last_;
  ::unsetenv("TELLMARK_SYSTEMCTL");
  ::unsetenv("XDG_CONFIG_HOME");
}

// The units as installed pass systemd's own check (where systemd is there).
TEST(SystemdUnits, PassSystemdAnalyzeVerify) {
  if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no systemd-analyze";
  TestDir dir;
  const std::string units = std::string(TELLMARK_SOURCE_DIR) + "/data/systemd/";
  const auto configure = [&](const std::string& in, const std::string& out, const std::string& key,
                             const std::string& value) {
    std::string text = Slurp(units + in);
    const size_t at = text.find(key);
    ASSERT_NE(at, std::string::npos) << in;
    text.replace(at, key.size(), value);
    ASSERT_TRUE(WriteFileAtomically(dir.file(out), text));
  };
  configure("tellmark-update.service.in", "tellmark-update.service", "@TELLMARK_BUILD_PATH@",
            TELLMARK_BUILD_BIN);
  configure("tellmark-lookup.service.in", "tellmark-lookup.service", "@TELLMARK_LOOKUP_PATH@",
            TELLMARK_LOOKUP_BIN);
  fs::copy_file(units + "tellmark-update.timer", dir.file("tellmark-update.timer"));
  const std::string timer = Slurp(dir.file("tellmark-update.timer"));
  for (const char* key : {"Persistent=true", "RandomizedDelaySec=", "OnCalendar=Mon"})
    EXPECT_NE(timer.find(key), std::string::npos) << key;
  EXPECT_NE(Slurp(dir.file("tellmark-update.service")).find("ExecStartPost="), std::string::npos);
  EXPECT_NE(Slurp(dir.file("tellmark-lookup.service")).find("ExecReload="), std::string::npos);
  fs::create_directories(dir.file("run"));
  fs::permissions(dir.file("run"), fs::perms::owner_all);
  const std::string command = "cd '" + dir.path() + "' && XDG_RUNTIME_DIR='" + dir.file("run") +
                              "' systemd-analyze verify --user --man=no ./tellmark-update.timer "
                              "./tellmark-update.service ./tellmark-lookup.service > '" +
                              dir.file("verify.log") + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << Slurp(dir.file("verify.log"));
  // Any warning is a fault too. (--man=no: the units name manual pages that the build does not
  // install.)
  EXPECT_EQ(Slurp(dir.file("verify.log")), "");
}

}  // namespace
