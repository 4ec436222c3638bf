// Every file of a data set truncated, emptied, zeroed and randomised in turn: the core open path
// and tellmark-lookup either work or refuse with a message ("Open files: " when opening fails);
// neither crashes nor hangs. Both agree on whether the data set opens. And every file cut short
// while the data set is open (its pages mapped): the reads fail, the program goes on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"

namespace fs = std::filesystem;

namespace {

enum TDamage { dmHalf, dmEmpty, dmZeroed, dmRandom };
constexpr const char* kDamageNames[] = {"truncated", "emptied", "zeroed", "randomised"};

std::string Damaged(const std::string& bytes, TDamage d, std::mt19937& rng) {
  switch (d) {
    case dmHalf:
      return bytes.substr(0, bytes.size() / 2);
    case dmEmpty:
      return {};
    case dmZeroed:
      return std::string(bytes.size(), '\0');
    case dmRandom: {
      std::string r(bytes.size(), '\0');
      for (char& c : r) c = static_cast<char>(rng());
      return r;
    }
  }
  return bytes;
}

void Write(const std::string& path, const std::string& s) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << s;
}

// The program's read paths once each; only their safety matters.
void Exercise() {
  for (int index = 0; index < kOrderCount; ++index) {
    bool exact = false;
    int32_t ref = -1;
    SearchIndex(index, MakeSearchKey(index, "smith"), exact, ref);
    for (int32_t p = 0; p < std::min(OrderEntryCount(index), 500); p += 11) {
      TEntryRecord rec;
      if (ReadOrderEntry(index, p, ref))
        ReadRecord(index == oiIntlCall ? TDatabase::Intl : TDatabase::US, ref, rec);
    }
  }
  TLookup lookup;
  lookup.FindCall("w1aw");
  lookup.LoadCurrent();
  lookup.MoveBy(1000);
  lookup.LoadCurrent();
  lookup.SwitchToUS();
  lookup.SearchName("smith");
  lookup.LoadCurrent();
  for (TDatabase db : {TDatabase::US, TDatabase::Intl}) {
    std::string message;
    auto words = OpenWordList(db, message);
    if (!words) continue;
    TSuchInfo info;
    IncludeWord(info, *words, db == TDatabase::US ? skUS : skIntl, "smith");
    DoTextSearch(info, nullptr);
  }
}

struct TCliRun {
  int status = -1;  // exit status; 124 timed out, above 128 killed by a signal
  std::string err;
};

TCliRun RunLookup(const std::string& dataDir, const std::string& args, const std::string& errFile) {
  const std::string cmd = "timeout -s KILL 60 '" + std::string(TELLMARK_LOOKUP_BIN) + "' --data '" +
                          dataDir + "' " + args + " </dev/null >/dev/null 2>'" + errFile + "'";
  const int rc = std::system(cmd.c_str());
  TCliRun r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
  ReadWholeFile(errFile, r.err);
  return r;
}

}  // namespace

TEST(DamageSuite, EveryFileDamagedEveryWay) {
  ASSERT_TRUE(AllocIndexCaches());
  fixture::TFixtureEdition edition;
  TestDir scratch;
  setenv("TELLMARK_INI", scratch.file("none.ini").c_str(), 1);
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(edition.path() + "/data"))
    files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 10u);
  std::mt19937 rng(2026);
  int refused = 0, cases = 0;
  for (const auto& file : files) {
    std::string pristine;
    ASSERT_TRUE(ReadWholeFile(file, pristine));
    for (TDamage d : {dmHalf, dmEmpty, dmZeroed, dmRandom}) {
      const std::string what = fs::path(file).filename().string() + " " + kDamageNames[d];
      Write(file, Damaged(pristine, d, rng));
      SetHomeDir(edition.path());
      std::string openError;
      try {
        OpenDataSet();
        Exercise();
      } catch (const EDataSetError& e) {
        openError = e.what();
      }
      CloseDataSet();
      for (const char* args : {"w1aw dl1abc zz9zz", "--name smith", "--words smith"}) {
        const TCliRun r = RunLookup(edition.path(), args, scratch.file("err.txt"));
        EXPECT_TRUE(r.status >= 0 && r.status <= 2)
            << what << ", " << args << ": tellmark-lookup ended with " << r.status << "\n"
            << r.err;
        const bool openFailed = r.err.find("tellmark-lookup: Open files: ") != std::string::npos;
        EXPECT_EQ(openFailed, !openError.empty()) << what << ", " << args << ": core said \""
                                                  << openError << "\", the program said " << r.err;
        if (openFailed) {
          EXPECT_EQ(r.status, 2) << what;
          EXPECT_NE(r.err.find(openError), std::string::npos) << what << ": " << r.err;
        }
      }
      if (!openError.empty()) ++refused;
      ++cases;
    }
    Write(file, pristine);
  }
  std::printf("%d damaged data sets, %d refused at opening\n", cases, refused);
  // The repaired edition opens again (no stale pages in the cache).
  SetHomeDir(edition.path());
  EXPECT_NO_THROW(OpenDataSet());
  CloseDataSet();
  FreeIndexCaches();
}

TEST(DamageSuite, FilesCutShortWhileOpenFailTheirReads) {
  ASSERT_TRUE(AllocIndexCaches());
  fixture::TFixtureEdition edition;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(edition.path() + "/data"))
    files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    std::string pristine;
    ASSERT_TRUE(ReadWholeFile(file, pristine));
    SetHomeDir(edition.path());
    ASSERT_NO_THROW(OpenDataSet());
    int32_t ref = -1;
    ASSERT_TRUE(ReadOrderEntry(oiUSCall, OrderEntryCount(oiUSCall) - 1, ref));
    // Cut short in place (the same file, so the open mapping loses its pages).
    ASSERT_EQ(::truncate(file.c_str(), 0), 0);
    Exercise();
    if (fs::path(file).filename() == "thedata.dat") {
      TEntryRecord rec;
      EXPECT_FALSE(ReadRecord(TDatabase::US, ref, rec));
      EXPECT_EQ(LastErrorCode(), 100);
    }
    if (fs::path(file).filename() == "spur.trc") {
      EXPECT_FALSE(ReadOrderEntry(oiUSCall, 0, ref));
      EXPECT_EQ(LastErrorCode(), 100);
    }
    CloseDataSet();
    Write(file, pristine);
  }
  FreeIndexCaches();
}
