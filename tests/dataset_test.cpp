#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "TestDir.h"
#include "common/IOUtil.h"
#include "dataset/UCallParts.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"
#include "storage/UIndexWriter.h"

namespace fs = std::filesystem;

namespace {

// A tiny data set: 3 International and 4 U.S. entries, every file written by hand.
struct Fixture {
  TestDir dir;
  std::vector<int32_t> intlRefs, usRefs;

  explicit Fixture(bool upperCase = false) {
    const std::string data = dir.file(upperCase ? "DATA" : "data");
    fs::create_directories(data);
    auto name = [&](std::string n) {
      if (upperCase)
        for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return data + "/" + n;
    };
    std::string file(kDataFileMagic, sizeof kDataFileMagic);
    const char* intl[] = {"DL1ABC", "G3XYZ", "JA1AA"};
    for (int i = 0; i < 3; ++i) {
      TEntryRecord r;
      r.db = TDatabase::Intl;
      r.ref = static_cast<int32_t>(file.size());
      r.pos[0] = i;
      AppendField(r, 1, intl[i]);
      AppendField(r, 3, std::string("Op ") + intl[i] + ", Street 1, Town");
      intlRefs.push_back(r.ref);
      file += EncodeRecord(r);
    }
    // U.S. entries: call, surname, city, zip, county
    struct U {
      const char *call, *name, *city, *zip, *county;
    };
    const U us[] = {{"K1ABC", "SMITH", "BOSTON", "02108", "SUFFOLK"},
                    {"N<XX", "JONES", "DENVER", "80202", "DENVER"},
                    {"W1AW", "ARRL", "NEWINGTON", "06111", "HARTFORD"},
                    {"W9ZZ", "SMITH", "CHICAGO", "60601", "COOK"}};
    // positions: call order is the order above; name: ARRL, JONES, SMITH(K1ABC), SMITH(W9ZZ)
    const int namePos[] = {2, 1, 0, 3}, cityPos[] = {0, 2, 3, 1}, zipPos[] = {0, 3, 1, 2},
              countyPos[] = {3, 1, 2, 0};
    for (int i = 0; i < 4; ++i) {
      TEntryRecord r;
      r.db = TDatabase::US;
      r.ref = static_cast<int32_t>(file.size());
      r.pos = {i, namePos[i], cityPos[i], zipPos[i], countyPos[i]};
      AppendField(r, 1, us[i].call);
      AppendField(r, 3, us[i].zip);
      AppendField(r, 13, std::string(us[i].name) + ", 1 MAIN ST, " + us[i].city);
      usRefs.push_back(r.ref);
      file += EncodeRecord(r);
    }
    std::ofstream(name("thedata.dat"), std::ios::binary) << file;

    auto keyed = [&](int index, auto keyOf) {
      std::vector<TIndexItem> items;
      for (int i = 0; i < (index == 0 ? 3 : 4); ++i)
        items.push_back({MakeSearchKey(index, keyOf(i)), index == 0
                                                             ? intlRefs[static_cast<size_t>(i)]
                                                             : usRefs[static_cast<size_t>(i)]});
      SortIndexItems(items);
      return items;
    };
    std::vector<std::vector<TIndexItem>> orders = {
        keyed(0, [&](int i) { return std::string(intl[i]); }),
        keyed(1, [&](int i) { return std::string(us[i].call); }),
        keyed(2, [&](int i) { return std::string(us[i].zip); }),
        keyed(3, [&](int i) { return std::string(us[i].name); }),
        keyed(4, [&](int i) { return std::string(us[i].city); }),
        keyed(5, [&](int i) { return std::string(us[i].county); })};
    // MakeSearchKey writes "0" as "<" for calls; the fixture stores N<XX already.
    std::string seq;
    TEdition ed;
    ed.title = "Fixture";
    ed.intlCount = 3;
    ed.usCount = 4;
    int32_t at = 0;
    for (int i = 0; i < kOrderCount; ++i) {
      const auto& items = orders[static_cast<size_t>(i)];
      ed.stretches[static_cast<size_t>(i)] = {at, at + static_cast<int32_t>(items.size()) - 1};
      at += static_cast<int32_t>(items.size());
      for (const auto& it : items) seq.append(reinterpret_cast<const char*>(&it.ref), 4);
      const std::string rel = kIndexFileNames[i];
      EXPECT_TRUE(
          WriteIndexFile(name(rel.substr(5)), items, kIndexKeyLengths[i], kIndexDuplicates[i]));
    }
    std::ofstream(name("spur.trc"), std::ios::binary) << seq;
    std::ofstream(name("edition.ini"), std::ios::binary) << FormatEdition(ed);
  }
};

class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(AllocIndexCaches()); }
  void TearDown() override {
    CloseDataSet();
    FreeIndexCaches();
  }
};

std::string OpenMessage() {
  try {
    OpenDataSet();
  } catch (const EDataSetError& e) {
    return e.what();
  }
  return {};
}

}  // namespace

TEST_F(DataSetTest, OpensReadsOrdersAndSearches) {
  Fixture fx;
  SetHomeDir(fx.dir.path());
  EXPECT_EQ(HomeDir(), fx.dir.path() + "/");
  ASSERT_EQ(OpenMessage(), "");
  EXPECT_EQ(CurrentEdition().title, "Fixture");
  EXPECT_EQ(OrderEntryCount(oiIntlCall), 3);
  EXPECT_EQ(OrderEntryCount(oiUSName), 4);

  int32_t ref = 0;
  TEntryRecord rec;
  ASSERT_TRUE(ReadOrderEntry(oiUSCall, 0, ref));
  ASSERT_TRUE(ReadUSRecord(ref, rec));
  EXPECT_EQ(rec.Field(1), "K1ABC");
  // Every record's stored position matches its place in every order.
  for (int index = 1; index < kOrderCount; ++index)
    for (int32_t p = 0; p < OrderEntryCount(index); ++p) {
      ASSERT_TRUE(ReadOrderEntry(index, p, ref));
      ASSERT_TRUE(ReadUSRecord(ref, rec));
      const int slot[] = {0, upCall, upZIP, upName, upCity, upCounty};
      EXPECT_EQ(rec.pos[static_cast<size_t>(slot[index])], p) << index;
    }
  EXPECT_FALSE(ReadOrderEntry(oiUSCounty, 4, ref));  // past the sequence file
  EXPECT_FALSE(ReadOrderEntry(oiIntlCall, 3, ref));  // past its order, not into the next one
  EXPECT_FALSE(ReadOrderEntry(oiIntlCall, -1, ref));

  bool exact = false;
  ASSERT_TRUE(SearchIndex(oiUSCall, MakeSearchKey(1, "n0xx"), exact, ref));
  EXPECT_TRUE(exact);
  EXPECT_EQ(ref, fx.usRefs[1]);
  ASSERT_TRUE(SearchIndex(oiUSCall, MakeSearchKey(1, "W1AA"), exact, ref));
  EXPECT_FALSE(exact);
  EXPECT_EQ(ref, fx.usRefs[2]);  // next greater call
  ref = -7;
  ASSERT_TRUE(SearchIndex(oiUSCall, "zz", exact, ref));
  EXPECT_FALSE(exact);
  EXPECT_EQ(ref, -7);
  ASSERT_TRUE(SearchIndex(oiUSName, "smith", exact, ref));
  EXPECT_TRUE(exact);
  EXPECT_EQ(ref, fx.usRefs[0]);  // first of the equal names
  ASSERT_TRUE(SearchIndex(oiUSCity, "c", exact, ref));
  EXPECT_FALSE(exact);
  EXPECT_EQ(ref, fx.usRefs[3]);
  ASSERT_TRUE(SearchIndex(oiIntlCall, "g3xyz", exact, ref));
  ASSERT_TRUE(ReadIntlRecord(ref, rec));
  EXPECT_EQ(rec.Field(3), "Op G3XYZ, Street 1, Town");
  EXPECT_FALSE(ReadIntlRecord(1 << 30, rec));
}

TEST_F(DataSetTest, UpperCaseMediaAndHomeWithoutSeparator) {
  Fixture fx(true);
  SetHomeDir(fx.dir.path());
  EXPECT_EQ(OpenMessage(), "");
  int32_t ref = 0;
  EXPECT_TRUE(ReadOrderEntry(oiIntlCall, 2, ref));
}

TEST_F(DataSetTest, MissingFilesNameTheFileAndCode) {
  {
    Fixture fx;
    fs::remove(fx.dir.file("data/uszip.idx"));
    SetHomeDir(fx.dir.path());
    EXPECT_EQ(OpenMessage(), "Error opening US ZIP IndexFile: Error: 2");
    CloseDataSet();
  }
  {
    Fixture fx;
    fs::remove(fx.dir.file("data/spur.trc"));
    SetHomeDir(fx.dir.path());
    EXPECT_EQ(OpenMessage(), "Error opening SpurFile (data\\spur.trc): Error: 2");
    CloseDataSet();
  }
  {
    TestDir empty;
    SetHomeDir(empty.path());
    EXPECT_EQ(OpenMessage(), "Error opening DataFile (data\\thedata.dat): Error: 2");
    CloseDataSet();
  }
  {
    Fixture fx;
    // A city index written with the wrong key length fails its header check.
    ASSERT_TRUE(WriteIndexFile(fx.dir.file("data/uscity.idx"), {{"a", 1}}, 6, true));
    SetHomeDir(fx.dir.path());
    EXPECT_EQ(OpenMessage(), "Error opening US city IndexFile: Error: 1004");
  }
}

// A program finds the edition in its own folder first, then the installed one beside it.
TEST(DataSetPlace, ProgramHomeDirFindsTheInstalledEdition) {
  TestDir prefix;
  const std::string bin = prefix.file("bin");
  fs::create_directories(bin);
  EXPECT_EQ(ProgramHomeDir(bin), bin);  // nothing anywhere: its own folder, to be asked about
  fs::create_directories(prefix.file("share/tellmark/DATA"));
  std::ofstream(prefix.file("share/tellmark/DATA/THEDATA.DAT")) << "x";
  EXPECT_EQ(ProgramHomeDir(bin), prefix.file("share/tellmark"));
  fs::create_directories(bin + "/data");
  std::ofstream(bin + "/data/thedata.dat") << "x";
  EXPECT_EQ(ProgramHomeDir(bin), bin);
}

TEST(CallParts, BaseCallAndDesignators) {
  const std::pair<const char*, TCallParts> cases[] = {
      {"K5DRC", {"K5DRC", ""}},
      {"K5DRC/P", {"K5DRC", "P"}},
      {"K5DRC/4", {"K5DRC", "4"}},
      {"K5DRC/QRP", {"K5DRC", "QRP"}},
      {"W1AW/MM", {"W1AW", "MM"}},
      {"VE3/K5DRC", {"K5DRC", "VE3"}},
      {"VE3/K5DRC/P", {"K5DRC", "VE3/P"}},
      {"DL/G3XYZ", {"G3XYZ", "DL"}},
      {"G3XYZ/DL1", {"G3XYZ", "DL1"}},  // a prefix ends with its digit
      {"KH6/K1A", {"K1A", "KH6"}},
      {"K1A/W1AW", {"W1AW", "K1A"}},    // two calls: the longer
      {"W1AW/K1AB", {"W1AW", "K1AB"}},  // two calls of equal length: the first
      {"K1AB/W1AW", {"K1AB", "W1AW"}},
      {"AB1/CD2/P", {"AB1", "CD2/P"}},  // no call: the first of the longest with a digit
      {"K5DRC//P/", {"K5DRC", "P"}},
      {"/", {"", ""}},
      {"", {"", ""}},
      {"QRP/P", {"QRP", "P"}},
  };
  for (const auto& [text, want] : cases) {
    const TCallParts got = SplitCallParts(text);
    EXPECT_EQ(got.base, want.base) << text;
    EXPECT_EQ(got.designators, want.designators) << text;
  }
}

TEST(Edition, ManifestRoundTripAndFallback) {
  const TEdition e99 = Edition1999();
  EXPECT_EQ(e99.stretches[1].start, 694720);
  EXPECT_EQ(e99.stretches[1].Count(), 782655);
  EXPECT_EQ(e99.stretches[5].end, 4408844);
  const TResult<TEdition> parsed = ParseEdition(FormatEdition(e99));
  ASSERT_TRUE(parsed.ok()) << parsed.Status().Message();
  const TEdition& back = *parsed;
  EXPECT_EQ(back.title, e99.title);
  EXPECT_EQ(back.mapDirOffset, 257314152);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(back.stretches[static_cast<size_t>(i)].start,
              e99.stretches[static_cast<size_t>(i)].start);
    EXPECT_EQ(back.stretches[static_cast<size_t>(i)].end,
              e99.stretches[static_cast<size_t>(i)].end);
  }
  EXPECT_EQ(ParseEdition("[Edition]\nTitle=x\n").Status().Message(), "missing edition/intlcount");
  std::string text = FormatEdition(e99);
  text.replace(text.find("Order3=") + 7, 1, "x");
  EXPECT_EQ(ParseEdition(text).Status().Message(), "bad orders/order3");
}

TEST_F(DataSetTest, StretchesAreCountedIn64BitsAndMustLieInTheSequenceFile) {
  EXPECT_EQ((TStretch{0, INT32_MAX}.Count()), int64_t{1} << 31);
  EXPECT_EQ((TStretch{INT32_MAX, INT32_MAX - 1}.Count()), 0);
  Fixture fx;
  const auto manifest = [&](const std::string& order0) {
    std::string text;
    ASSERT_TRUE(ReadWholeFile(fx.dir.file("data/edition.ini"), text));
    const size_t at = text.find("Order0=");
    text.replace(at, text.find('\r', at) - at, "Order0=" + order0);
    std::ofstream(fx.dir.file("data/edition.ini"), std::ios::binary | std::ios::trunc) << text;
  };
  SetHomeDir(fx.dir.path());
  manifest("0,2147483646");
  EXPECT_EQ(OpenMessage(), "Error reading data\\edition.ini: order0 runs past data\\spur.trc");
  CloseDataSet();
  manifest("0,2147483647");
  EXPECT_EQ(OpenMessage(), "Error reading data\\edition.ini: order0 runs past data\\spur.trc");
  CloseDataSet();
  // A sequence file that long (sparse) is taken; the count stays one below INT32_MAX so that the
  // list view's row count (entries + 1) fits.
  manifest("0,2147483646");
  std::error_code ec;
  fs::resize_file(fx.dir.file("data/spur.trc"), (int64_t{1} << 31) * 4, ec);
  if (ec) GTEST_SKIP() << "no sparse 8 GB file here: " << ec.message();
  ASSERT_EQ(OpenMessage(), "");
  EXPECT_EQ(OrderEntryCount(oiIntlCall), INT32_MAX - 1);
  int32_t ref = 0;
  EXPECT_TRUE(ReadOrderEntry(oiIntlCall, INT32_MAX - 2, ref));
  EXPECT_EQ(ref, 0);  // the sparse tail reads as zeros
  EXPECT_FALSE(ReadOrderEntry(oiIntlCall, INT32_MAX - 1, ref));
}
