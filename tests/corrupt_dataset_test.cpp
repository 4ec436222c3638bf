// A data set damaged at random: every operation either works or fails with an error code; none
// reads past a buffer, crashes or hangs. Run under ASan/UBSan in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "dataset/UQslManagers.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s));
  return s;
}

void Spit(const std::string& path, const std::string& s) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << s;
}

// Runs every read path of the data set once; results are ignored, only their safety matters.
void ExerciseEverything() {
  for (int index = 0; index < kOrderCount; ++index) {
    bool exact = false;
    int32_t ref = -1;
    for (const char* key : {"", "a", "k1abc", "smith", "zz", "w<aw", "60601"})
      SearchIndex(index, MakeSearchKey(index, key), exact, ref);
    const int32_t count = OrderEntryCount(index);
    for (int32_t p = 0; p < std::min(count, 1300); p += 7) {
      if (!ReadOrderEntry(index, p, ref)) continue;
      TEntryRecord rec;
      if (ReadRecord(index == oiIntlCall ? TDatabase::Intl : TDatabase::US, ref, rec)) {
        const TEntryView v = MakeEntryView(rec);
        (void)v;
      }
    }
  }
  TLookup lookup;
  for (const char* call : {"w1aw", "dl1abc", "k1abc", "zzzzzz", "a"}) {
    lookup.FindCall(call);
    lookup.LoadCurrent();
    lookup.MoveBy(1000);
    lookup.MoveBy(-3);
    lookup.LoadCurrent();
  }
  lookup.SwitchToUS();
  lookup.SearchName("smith");
  lookup.SearchCity("boston");
  lookup.LoadCurrent();

  for (TDatabase db : {TDatabase::US, TDatabase::Intl}) {
    std::string message;
    auto words = OpenWordList(db, message);
    if (!words) continue;
    const TSearchKind kind = db == TDatabase::US ? skUS : skIntl;
    TSuchInfo info;
    for (const char* w : {"smith", "boston", "street", "city=denver", "united"})
      IncludeWord(info, *words, kind, w);
    DoTextSearch(info, nullptr);
    BrowseWordList(*words, kind, "s");
  }

  TQslManagerFile qsl;
  try {
    qsl.Open(DataSetPath("data\\qslmgr.dat"));
    for (int32_t r = 0; r < qsl.RowCount() + 2; ++r)
      for (int c = 0; c < kQslColumns; ++c) qsl.CellText(c, r);
  } catch (const EQslFileError&) {
  }
}

class CorruptDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(AllocIndexCaches()); }
  void TearDown() override {
    CloseDataSet();
    FreeIndexCaches();
  }
};

}  // namespace

TEST_F(CorruptDataSetTest, RandomDamageNeverCrashes) {
  fixture::TFixtureEdition edition;
  const std::string data = edition.path() + "/data";
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(data)) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  std::map<std::string, std::string> pristine;
  for (const auto& f : files) pristine[f] = Slurp(f);

  std::mt19937 rng(20261208);
  for (int round = 0; round < 300; ++round) {
    // Damage one file: flip bytes, overwrite a run with 0xFF or 0x00, or cut it short.
    const std::string& victim = files[rng() % files.size()];
    std::string bytes = pristine[victim];
    if (bytes.empty()) continue;
    switch (rng() % 4) {
      case 0:
        for (int i = 0; i < 40; ++i) bytes[rng() % bytes.size()] = static_cast<char>(rng());
        break;
      case 1: {
        const size_t at = rng() % bytes.size();
        std::fill(bytes.begin() + static_cast<long>(at),
                  bytes.begin() + static_cast<long>(std::min(bytes.size(), at + 64)), '\xFF');
        break;
      }
      case 2: {
        const size_t at = rng() % bytes.size();
        std::fill(bytes.begin() + static_cast<long>(at),
                  bytes.begin() + static_cast<long>(std::min(bytes.size(), at + 300)), '\0');
        break;
      }
      default:
        bytes.resize(rng() % bytes.size());
        break;
    }
    Spit(victim, bytes);
    SetHomeDir(edition.path());
    try {
      OpenDataSet();
      ExerciseEverything();
    } catch (const EDataSetError&) {
      // A damaged header refuses the data set with its message: fine.
    }
    CloseDataSet();
    Spit(victim, pristine[victim]);
  }
  // The undamaged edition still works after all of that (no stale cached pages).
  SetHomeDir(edition.path());
  OpenDataSet();
  bool exact = false;
  int32_t ref = -1;
  ASSERT_TRUE(SearchIndex(oiUSCall, "w1aw", exact, ref));
  EXPECT_TRUE(exact);
  TEntryRecord rec;
  ASSERT_TRUE(ReadUSRecord(ref, rec));
  EXPECT_EQ(rec.Field(1), "W1AW");
}
