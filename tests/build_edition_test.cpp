// The edition writer: files read back through the data-set reader, the orders, the B-tree rules,
// the word lists, determinism and the failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "OpenedDataSet.h"
#include "TestDir.h"
#include "builder/UEditionWriter.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "builder/UWordIndexWriter.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"

namespace fs = std::filesystem;

namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

std::string Letters(uint64_t r, int n) {
  std::string s;
  for (int i = 0; i < n; ++i, r /= 26) s += static_cast<char>('A' + r % 26);
  return s;
}

const char* const kSurnames[] = {"Smith",     "O'Brien", "Miller", "Vanderbilt-Wentworthshire",
                                 "M\x81ller", "Nguyen",  "Lee",    "Ab"};
const char* const kFirst[] = {"John", "Mary", "J\x82r\x93me", "Ann", "Bob"};
const char* const kCities[] = {"Springfield", "Coeur d'Alene", "Salt Lake City",
                               "Truth or Consequences NM", "Ames"};
const char* const kCounties[] = {"Greene", "Prince George's", "St. Louis", "", "Los Angeles"};

// Call signs unique within the input except where a test adds a repeat.
std::string USCall(int i) {
  const uint64_t r = Mix(static_cast<uint64_t>(i));
  const char pre[] = {'K', 'N', 'W', 'A'};
  std::string call(1, pre[r % 4]);
  call += std::to_string(i % 10);
  call += Letters(static_cast<uint64_t>(i / 10), 3);
  std::replace(call.begin(), call.end(), '0', '<');
  return call;
}

std::string IntlCall(int i) {
  const char* pre[] = {"DL", "G", "JA", "VK", "PY", "3DA"};
  std::string call = pre[i % 6];
  call += std::to_string((i / 6) % 10);
  call += Letters(static_cast<uint64_t>(i / 60), 2);
  std::replace(call.begin(), call.end(), '0', '<');
  return call;
}

TBuildEntry MakeUS(int i) {
  const uint64_t r = Mix(static_cast<uint64_t>(i) + 1000000);
  TBuildEntry e;
  e.db = TDatabase::US;
  e.surname = kSurnames[r % 8];
  e.firstName = kFirst[(r >> 8) % 5];
  if ((r >> 12) % 13 == 0) e.surname.clear();
  const std::string city = kCities[(r >> 16) % 5];
  const std::string zip = (r >> 20) % 17 == 0 ? "" : std::to_string(10000 + (r >> 24) % 700);
  const std::string county = kCounties[(r >> 32) % 5];
  e.fields = {{utCall, USCall(i)},
              {utState, "MO"},
              {utZIP, zip},
              {utClass, "E"},
              {utIssued, "07041999"},
              {utExpires, "07042009"},
              {utLongitude, "92.5"},
              {utLatitude, "38.1"},
              {utAreaCode, "417"},
              {utCounty, county},
              {utTimeZone, "CST"},
              {utAddress, e.firstName + " " + e.surname + ", " + std::to_string(r % 9999) +
                              " Main St, " + city},
              {utCountry, "United States"},
              {utDxcc, "K"},
              {utPrevCall, (r >> 40) % 3 == 0 ? "WB<XYZ" : ""},
              {utVanity, "F"}};
  if ((r >> 44) % 11 == 0) e.mapNr = static_cast<uint8_t>(1 + (r >> 48) % 50);
  return e;
}

TBuildEntry MakeIntl(int i) {
  const uint64_t r = Mix(static_cast<uint64_t>(i) + 2000000);
  TBuildEntry e;
  e.db = TDatabase::Intl;
  e.fields = {{itCall, IntlCall(i)},
              {itClass, "A"},
              {itAddress, std::string(kFirst[r % 5]) + " " + kSurnames[(r >> 8) % 8] +
                              ", Hauptstra\xe1"
                              "e " +
                              std::to_string(r % 200) + ", D-" +
                              std::to_string(10000 + (r >> 16) % 80000) + " K\x94ln"},
              {itCountry, "Fed. Rep. of Germany"},
              {itDxcc, "DL"},
              {itQslMgr, (r >> 24) % 7 == 0 ? "2" : ""},
              {itLocator, "JO30LW"}};
  return e;
}

TBuildInput MakeInput(int usCount, int intlCount) {
  TBuildInput in;
  in.title = "Test edition";
  for (int i = 0; i < usCount; ++i) in.us.push_back(MakeUS(i));
  for (int i = 0; i < intlCount; ++i) in.intl.push_back(MakeIntl(i));
  in.qslManagers = {{"DL1ABC", "DJ2XY", "via bureau", "12311998"},
                    {"3DA<AA", "W<ABC", "direct only, long info", "0101"}};
  return in;
}

std::string ReadFile(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s)) << path;
  return s;
}

int32_t GetI32(const std::string& s, size_t at) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(s[at])) |
                              static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8 |
                              static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
}

// The key an entry has in an order, as the index stores it.
std::string KeyOf(int index, const TBuildEntry& e) {
  std::string text;
  switch (index) {
    case oiIntlCall:
    case oiUSCall:
      text = e.FieldOr(1);
      break;
    case oiUSZIP:
      text = e.FieldOr(utZIP);
      break;
    case oiUSName:
      text = e.surname;
      break;
    case oiUSCity:
      text = CityOfAddress(e.FieldOr(utAddress));
      break;
    case oiUSCounty:
      text = e.FieldOr(utCounty);
      break;
  }
  return MakeSearchKey(index, text).substr(0, static_cast<size_t>(kIndexKeyLengths[index]));
}

bool KeyRefLess(const std::string& ka, int32_t ra, const std::string& kb, int32_t rb) {
  const int c = std::memcmp(ka.data(), kb.data(), std::min(ka.size(), kb.size()));
  if (c != 0) return c < 0;
  if (ka.size() != kb.size()) return ka.size() < kb.size();
  return ra < rb;
}

// Walks an index file page by page and checks the B-tree rules; returns the items in order.
struct TWalked {
  std::vector<std::pair<std::string, int32_t>> items;
  std::string problem;
};

TWalked WalkIndex(const std::string& path, int keyLength) {
  TWalked w;
  const std::string file = ReadFile(path);
  const int pageSize = IndexPageSize(keyLength);
  if (file.size() < static_cast<size_t>(pageSize) || file.size() % pageSize != 0) {
    w.problem = "file size not a multiple of the page size";
    return w;
  }
  if ((static_cast<uint8_t>(file[12]) | static_cast<uint8_t>(file[13]) << 8) != pageSize) {
    w.problem = "header page size";
    return w;
  }
  const int32_t pages = static_cast<int32_t>(file.size() / pageSize);
  const int32_t root = GetI32(file, 8);
  if (root == 0) return w;
  int leafDepth = -1;
  std::set<int32_t> seen;
  std::function<void(int32_t, int, bool)> walk = [&](int32_t page, int depth, bool isRoot) {
    if (!w.problem.empty()) return;
    if (page <= 0 || page >= pages || !seen.insert(page).second) {
      w.problem = "bad or repeated page number " + std::to_string(page);
      return;
    }
    const size_t base = static_cast<size_t>(page) * pageSize;
    const int m = static_cast<uint8_t>(file[base]);
    if (m > 80 || m < 1 || (!isRoot && m < 40)) {
      w.problem = "page " + std::to_string(page) + " holds " + std::to_string(m) + " items";
      return;
    }
    const int32_t left = GetI32(file, base + 1);
    const bool leaf = left == 0;
    if (leaf) {
      if (leafDepth < 0) leafDepth = depth;
      if (leafDepth != depth) w.problem = "leaves at different depths";
    } else {
      walk(left, depth + 1, false);
    }
    for (int i = 1; i <= m; ++i) {
      const size_t at = base + 5 + static_cast<size_t>(i - 1) * (keyLength + 9);
      const int32_t ref = GetI32(file, at);
      const int32_t child = GetI32(file, at + 4);
      const int len = static_cast<uint8_t>(file[at + 8]);
      if (len > keyLength) w.problem = "key length above the file's";
      w.items.emplace_back(file.substr(at + 9, static_cast<size_t>(len)), ref);
      if (leaf != (child == 0)) w.problem = "leaf and inner items mixed in one page";
      if (child != 0) walk(child, depth + 1, false);
    }
  };
  walk(root, 0, true);
  for (size_t i = 1; i < w.items.size() && w.problem.empty(); ++i)
    if (!KeyRefLess(w.items[i - 1].first, w.items[i - 1].second, w.items[i].first,
                    w.items[i].second))
      w.problem = "items not ascending at \"" + w.items[i].first + "\"";
  if (w.problem.empty() && seen.size() != static_cast<size_t>(pages - 1))
    w.problem = "pages not reached from the root";
  return w;
}

std::map<std::string, std::string> HashAll(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& f : fs::directory_iterator(dir + "/data"))
    files[f.path().filename().string()] = ReadFile(f.path().string());
  return files;
}

class EditionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestDir;
    input_ = new TBuildInput(MakeInput(kUS, kIntl));
    // Repeated calls and an entry without a call.
    input_->us.push_back(MakeUS(17));
    input_->us.back().fields.SetText(11, "Repeat Person, 1 Way, Nowhere");
    TBuildEntry noCall = MakeIntl(5);
    noCall.fields.SetText(0, "  ");
    input_->intl.push_back(noCall);
    TEditionOptions opt;
    opt.warning = [](const std::string& w) { warnings_->push_back(w); };
    warnings_ = new std::vector<std::string>;
    summary_ = new TEditionSummary(WriteEdition(*input_, dir_->path(), opt));
    opened_ = new TOpenedDataSet(dir_->path());
  }
  static void TearDownTestSuite() {
    delete opened_;
    delete summary_;
    delete warnings_;
    delete input_;
    delete dir_;
  }

  static const std::vector<TBuildEntry>& Entries(TDatabase db) {
    return db == TDatabase::US ? input_->us : input_->intl;
  }
  // Input entries that were kept (the repeat and the call-less one are dropped).
  static size_t Kept(TDatabase db) { return db == TDatabase::US ? kUS : kIntl; }

  static constexpr int kUS = 8000;
  static constexpr int kIntl = 3000;
  static TestDir* dir_;
  static TOpenedDataSet* opened_;
  static TBuildInput* input_;
  static TEditionSummary* summary_;
  static std::vector<std::string>* warnings_;
};
TestDir* EditionTest::dir_ = nullptr;
TOpenedDataSet* EditionTest::opened_ = nullptr;
TBuildInput* EditionTest::input_ = nullptr;
TEditionSummary* EditionTest::summary_ = nullptr;
std::vector<std::string>* EditionTest::warnings_ = nullptr;

TEST_F(EditionTest, ManifestCountsAndDroppedEntries) {
  const TEdition& ed = CurrentEdition();
  EXPECT_EQ(ed.title, "Test edition");
  EXPECT_EQ(ed.intlCount, kIntl);
  EXPECT_EQ(ed.usCount, kUS);
  EXPECT_EQ(ed.mapDirOffset, 0);
  EXPECT_EQ(ed.stretches[0].start, 0);
  for (int i = 0; i < kOrderCount; ++i) {
    EXPECT_EQ(ed.stretches[i].Count(), i == 0 ? kIntl : kUS) << i;
    if (i > 0) {
      EXPECT_EQ(ed.stretches[i].start, ed.stretches[i - 1].end + 1);
    }
  }
  EXPECT_EQ(fs::file_size(dir_->file("data/spur.trc")), 4u * (kIntl + 5 * kUS));
  EXPECT_EQ(summary_->droppedDuplicates, 1);
  EXPECT_EQ(summary_->droppedWithoutCall, 1);
  ASSERT_EQ(warnings_->size(), 2u);
  std::string repeated = USCall(17);
  std::replace(repeated.begin(), repeated.end(), '<', '0');
  EXPECT_NE((*warnings_)[1].find("call " + repeated + " (entry 8001)"), std::string::npos)
      << (*warnings_)[1];
  EXPECT_NE((*warnings_)[1].find("repeats entry 18"), std::string::npos) << (*warnings_)[1];
  // No staging file is left behind.
  for (const auto& f : fs::directory_iterator(dir_->file("data")))
    EXPECT_EQ(f.path().string().find(".partial"), std::string::npos) << f.path();
  const std::string data = ReadFile(dir_->file("data/thedata.dat"));
  EXPECT_EQ(data.compare(0, 16, std::string(kDataFileMagic, 16)), 0);
}

TEST_F(EditionTest, EveryEntryIsFoundByItsCallWithItsFields) {
  for (TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    const int index = db == TDatabase::US ? oiUSCall : oiIntlCall;
    for (size_t i = 0; i < Kept(db); ++i) {
      const TBuildEntry& e = Entries(db)[i];
      std::string call = e.FieldOr(1);
      std::replace(call.begin(), call.end(), '<', '0');
      bool exact = false;
      int32_t ref = -1;
      ASSERT_TRUE(SearchIndex(index, MakeSearchKey(index, call), exact, ref));
      ASSERT_TRUE(exact) << call;
      TEntryRecord rec;
      ASSERT_TRUE(ReadRecord(db, ref, rec));
      ASSERT_EQ(rec.Field(1), call);
      for (const auto& [tag, text] : e.fields) {
        if (tag != 1) {
          ASSERT_EQ(rec.Field(tag), text) << call << " tag " << tag;
        }
      }
      ASSERT_EQ(rec.mapNr, e.mapNr);
    }
  }
}

TEST_F(EditionTest, OrdersMatchPositionsKeysAndIndexes) {
  // Reference -> input entry.
  std::map<int32_t, const TBuildEntry*> byRef[2];
  for (TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    const int index = db == TDatabase::US ? oiUSCall : oiIntlCall;
    for (size_t i = 0; i < Kept(db); ++i) {
      bool exact = false;
      int32_t ref = -1;
      ASSERT_TRUE(SearchIndex(index, KeyOf(index, Entries(db)[i]), exact, ref));
      byRef[db == TDatabase::US][ref] = &Entries(db)[i];
    }
  }
  const int posSlot[kOrderCount] = {0, upCall, upZIP, upName, upCity, upCounty};
  for (int index = 0; index < kOrderCount; ++index) {
    const TDatabase db = index == oiIntlCall ? TDatabase::Intl : TDatabase::US;
    const auto& refs = byRef[db == TDatabase::US];
    const int32_t n = OrderEntryCount(index);
    std::vector<std::pair<std::string, int32_t>> order;
    std::set<int32_t> distinct;
    for (int32_t p = 0; p < n; ++p) {
      int32_t ref = -1;
      ASSERT_TRUE(ReadOrderEntry(index, p, ref));
      TEntryRecord rec;
      ASSERT_TRUE(ReadRecord(db, ref, rec));
      ASSERT_EQ(rec.pos[posSlot[index]], p) << "order " << index;
      ASSERT_TRUE(refs.count(ref)) << ref;
      order.emplace_back(KeyOf(index, *refs.at(ref)), ref);
      distinct.insert(ref);
      if (p > 0) {
        ASSERT_TRUE(
            KeyRefLess(order[p - 1].first, order[p - 1].second, order[p].first, order[p].second))
            << "order " << index << " at " << p;
      }
    }
    EXPECT_EQ(distinct.size(), refs.size()) << "every entry once in order " << index;
    const TWalked w = WalkIndex(DataSetPath(kIndexFileNames[index]), kIndexKeyLengths[index]);
    EXPECT_EQ(w.problem, "") << kIndexFileNames[index];
    EXPECT_EQ(w.items, order) << "index " << index << " holds the order";
  }
  // Entries without a ZIP stand first in the ZIP order, with the empty key.
  bool exact = false;
  int32_t ref = -1;
  ASSERT_TRUE(SearchIndex(oiUSZIP, "", exact, ref));
  EXPECT_TRUE(exact);
  TEntryRecord rec;
  ASSERT_TRUE(ReadUSRecord(ref, rec));
  EXPECT_EQ(rec.Field(utZIP), "");
  EXPECT_EQ(rec.pos[upZIP], 0);
  // A long surname is found by its first 15 characters.
  ASSERT_TRUE(
      SearchIndex(oiUSName, MakeSearchKey(oiUSName, "Vanderbilt-Wentworthshire"), exact, ref));
  EXPECT_TRUE(exact);
  EXPECT_EQ(MakeSearchKey(oiUSName, "Vanderbilt-Wentworthshire"), "vanderbilt-wen*");
}

// Reads a word list back: word -> references.
std::map<std::string, std::vector<int32_t>> ReadWordList(const std::string& idx,
                                                         const std::string& vws,
                                                         std::string& problem) {
  std::map<std::string, std::vector<int32_t>> words;
  const TWalked w = WalkIndex(idx, kWordKeyLength);
  problem = w.problem;
  const std::string refs = ReadFile(vws);
  size_t expectedAt = 0;
  for (size_t i = 0; i < w.items.size(); ++i) {
    const auto& [word, at] = w.items[i];
    if (i > 0 && word == w.items[i - 1].first) problem = "repeated word " + word;
    if (static_cast<size_t>(at) != expectedAt) problem = "lists not packed in word order";
    const int32_t count = GetI32(refs, static_cast<size_t>(at));
    if (count < 1) problem = "empty list for " + word;
    std::vector<int32_t> list;
    for (int32_t k = 0; k < count; ++k)
      list.push_back(GetI32(refs, at + 4 + 4 * static_cast<size_t>(k)));
    for (size_t k = 1; k < list.size(); ++k)
      if (list[k - 1] >= list[k]) problem = "list of " + word + " not strictly ascending";
    expectedAt = static_cast<size_t>(at) + 4 + 4 * static_cast<size_t>(count);
    words[word] = std::move(list);
  }
  if (expectedAt != refs.size()) problem = "reference file has bytes outside the lists";
  return words;
}

TEST_F(EditionTest, WordListsLeadBackToEveryEntry) {
  for (TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    const bool us = db == TDatabase::US;
    std::string problem;
    const auto words =
        ReadWordList(dir_->file(us ? "data/uswort.idx" : "data/intlwort.idx"),
                     dir_->file(us ? "data/uswort.vws" : "data/intlwort.vws"), problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(words.size(), us ? summary_->usWords : summary_->intlWords);
    size_t pairs = 0;
    for (const auto& [w, list] : words) pairs += list.size();
    EXPECT_EQ(pairs, us ? summary_->usWordRefs : summary_->intlWordRefs);
    const int index = us ? oiUSCall : oiIntlCall;
    for (size_t i = 0; i < Kept(db); ++i) {
      const TBuildEntry& e = Entries(db)[i];
      bool exact = false;
      int32_t ref = -1;
      ASSERT_TRUE(SearchIndex(index, KeyOf(index, e), exact, ref));
      std::vector<std::string> expected;
      const auto add = [&](const std::string& text, uint8_t tag) {
        for (auto& w : StoredWords(text, tag)) expected.push_back(w);
      };
      if (us) {
        std::string prev = e.FieldOr(utPrevCall);
        std::replace(prev.begin(), prev.end(), '<', '0');
        add(e.FieldOr(utAddress), wtNone);
        add(e.FieldOr(utCountry), wtNone);
        add(e.FieldOr(utState), wtState);
        add(e.FieldOr(utZIP), wtZIP);
        add(e.surname, wtLastName);
        add(e.firstName, wtFirstName);
        add(e.FieldOr(utCounty), wtCounty);
        add(CityOfAddress(e.FieldOr(utAddress)), wtCity);
        add(prev, wtPrevCall);
      } else {
        add(e.FieldOr(itAddress), wtNone);
        add(e.FieldOr(itCountry), wtNone);
      }
      ASSERT_FALSE(expected.empty());
      for (const auto& w : expected) {
        ASSERT_TRUE(words.count(w)) << "missing word \"" << w << "\"";
        const auto& list = words.at(w);
        ASSERT_TRUE(std::binary_search(list.begin(), list.end(), ref)) << w;
      }
    }
  }
}

TEST_F(EditionTest, TaggedWordsAndFoldedLetters) {
  std::string problem;
  const auto words =
      ReadWordList(dir_->file("data/uswort.idx"), dir_->file("data/uswort.vws"), problem);
  EXPECT_TRUE(words.count("muller"));  // M\x81ller folded
  EXPECT_TRUE(words.count("o'brien"));
  EXPECT_TRUE(
      words.count("\x84"
                  "o'brien"));  // lastname=
  EXPECT_TRUE(
      words.count("\x85"
                  "jerome"));  // firstname=, accents folded
  EXPECT_TRUE(
      words.count("\x87"
                  "coeur"));  // city=
  EXPECT_TRUE(
      words.count("\x86"
                  "george's"));  // county=
  EXPECT_TRUE(
      words.count("\x88"
                  "wb0xyz"));  // prevcall= with the digit 0
  EXPECT_TRUE(
      words.count("\x82"
                  "mo"));  // state=
  EXPECT_TRUE(words.count("united"));
  EXPECT_TRUE(words.count("vanderbilt"));
  for (const auto& [w, list] : words) {
    EXPECT_LE(w.size(), 15u) << w;
    const size_t from = static_cast<uint8_t>(w[0]) >= 0x82 ? 1 : 0;
    for (size_t k = from; k < w.size(); ++k) {
      const char c = w[k];
      EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '\'') << w;
    }
  }
  // Tagged words sort after all untagged ones.
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(static_cast<uint8_t>(words.rbegin()->first[0]), 0x88);
}

TEST_F(EditionTest, QslManagersFile) {
  const std::string q = ReadFile(dir_->file("data/qslmgr.dat"));
  ASSERT_EQ(q.size(), 53u * 3);
  EXPECT_EQ(q.substr(0, 5), std::string("\x04"
                                        "Call"));
  EXPECT_EQ(q.substr(53, 7), std::string("\x06"
                                         "DL1ABC"));
  EXPECT_EQ(q.substr(53 + 14, 6), std::string("\x05"
                                              "DJ2XY"));
  EXPECT_EQ(q.substr(53 + 28, 11), std::string("\x0a"
                                               "via bureau"));
  EXPECT_EQ(q.substr(53 + 44, 9), std::string("\x08"
                                              "12311998"));
  EXPECT_EQ(q.substr(106 + 28, 16), std::string("\x0f"
                                                "direct only, lo"));  // cut to 15
  EXPECT_EQ(q[106 + 44], 4);
}

TEST(EditionWriter, IdenticalInputGivesIdenticalFiles) {
  const TBuildInput in = MakeInput(3000, 2000);
  TestDir a, b;
  WriteEdition(in, a.path());
  WriteEdition(in, b.path());
  const auto fa = HashAll(a.path()), fb = HashAll(b.path());
  ASSERT_EQ(fa.size(), 14u);
  for (const auto& [name, bytes] : fa) EXPECT_TRUE(fb.count(name) && fb.at(name) == bytes) << name;
  // Rewriting over an existing edition gives the same files again.
  WriteEdition(in, a.path());
  EXPECT_EQ(HashAll(a.path()), fb);
}

TEST(EditionWriter, UsingTheInputUpGivesTheSameFilesAndWarnings) {
  TBuildInput in = MakeInput(3000, 2000);
  in.us.push_back(MakeUS(17));  // a repeated call: its warning names the call
  std::vector<std::string> kept, used;
  TEditionOptions opt;
  opt.warning = [&](const std::string& w) { kept.push_back(w); };
  TestDir a, b;
  WriteEdition(in, a.path(), opt);
  opt.warning = [&](const std::string& w) { used.push_back(w); };
  TBuildInput copy = in;
  WriteEdition(std::move(copy), b.path(), opt);
  EXPECT_EQ(HashAll(a.path()), HashAll(b.path()));
  ASSERT_EQ(used.size(), 1u);
  EXPECT_EQ(used, kept);
  EXPECT_TRUE(copy.us.empty() && copy.intl.empty());  // NOLINT: used up on purpose
}

TEST(EditionWriter, SampleEditionIsRepeatableAndEveryCallIsFound) {
  const std::string sources =
      (fs::path(TELLMARK_TESTS_DIR) / ".." / "data" / "sources").lexically_normal().string();
  const TSourceTables tables = LoadSourceTables(sources);
  TestDir a, b;
  const TBuildInput in = GenerateSample(tables, 3000, 2000, 42);
  WriteEdition(in, a.path());
  WriteEdition(GenerateSample(tables, 3000, 2000, 42), b.path());
  EXPECT_EQ(HashAll(a.path()), HashAll(b.path()));

  const TOpenedDataSet opened(a.path());
  for (const auto* list : {&in.intl, &in.us}) {
    for (const TBuildEntry& e : *list) {
      const int index = list == &in.us ? oiUSCall : oiIntlCall;
      bool exact = false;
      int32_t ref = -1;
      ASSERT_TRUE(SearchIndex(index, KeyOf(index, e), exact, ref));
      ASSERT_TRUE(exact) << e.FieldOr(1);
      TEntryRecord rec;
      ASSERT_TRUE(ReadRecord(e.db, ref, rec));
      std::string stored = e.FieldOr(1);
      std::replace(stored.begin(), stored.end(), '<', '0');
      ASSERT_EQ(rec.Field(1), stored);
      const int address = e.db == TDatabase::US ? int{utAddress} : int{itAddress};
      ASSERT_EQ(rec.Field(address), e.FieldOr(address));
    }
  }
}

TEST(EditionWriter, OverlongFieldsAreCutAndWordsComeFromWhatIsStored) {
  TBuildInput in;
  TBuildEntry e = MakeIntl(1);
  e.fields.SetText(2, std::string(295, 'x') + " tailword");
  e.fields.push_back({itComments, "never stored"});
  in.intl.push_back(e);
  TestDir d;
  const TEditionSummary s = WriteEdition(in, d.path());
  // The address is cut; country, DXCC, QSL manager, locator and comments are left out.
  EXPECT_EQ(s.fieldsCut, 6);
  std::string problem;
  const auto words =
      ReadWordList(d.file("data/intlwort.idx"), d.file("data/intlwort.vws"), problem);
  EXPECT_EQ(problem, "");
  EXPECT_FALSE(words.count("tailword"));
  EXPECT_TRUE(words.count(std::string(15, 'x')));
  const std::string data = ReadFile(d.file("data/thedata.dat"));
  EXPECT_EQ(data.size(), 16u + kIntlRecordSize);
}

TEST(EditionWriter, EmptyInputWritesAnEmptyButReadableEdition) {
  TestDir d;
  WriteEdition(TBuildInput{}, d.path());
  std::unique_ptr<TOpenedDataSet> opened;
  ASSERT_NO_THROW(opened = std::make_unique<TOpenedDataSet>(d.path()));
  EXPECT_EQ(OrderEntryCount(oiIntlCall), 0);
  EXPECT_EQ(OrderEntryCount(oiUSCounty), 0);
  bool exact = true;
  int32_t ref = 77;
  EXPECT_TRUE(SearchIndex(oiUSCall, "w1aw", exact, ref));
  EXPECT_FALSE(exact);
  EXPECT_EQ(ref, 77);
}

TEST(EditionWriter, TooLargeDataFileIsRefusedAndLeavesTheEarlierEditionAlone) {
  TestDir d;
  const TBuildInput small = MakeInput(10, 10);
  WriteEdition(small, d.path());
  const auto before = HashAll(d.path());
  TEditionOptions opt;
  opt.dataFileLimit = 20000;
  try {
    WriteEdition(MakeInput(500, 10), d.path(), opt);
    FAIL() << "no error";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("references are 32-bit"), std::string::npos) << e.what();
  }
  EXPECT_EQ(HashAll(d.path()), before);
}

// The limit is inclusive: a data file that reaches it exactly is written, one byte less is
// refused. One database only, so that its entries alone fill the room (then the check made while
// placing them is the one at the edge); a last row lets the maps reach the limit.
TEST(EditionWriter, DataFileLimitIsInclusive) {
  struct TRow {
    std::string name;
    TBuildInput input;
    bool maps;
  };
  TBuildInput intlOnly = MakeInput(0, 40), usOnly = MakeInput(40, 0);
  const TRow rows[] = {{"International only", intlOnly, false},
                       {"U.S. only", usOnly, false},
                       {"U.S. only, with maps", usOnly, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditionOptions opt;
    if (row.maps) opt.maps = [](int64_t) { return TMapBlock{std::string(500, 'M'), 0}; };
    TestDir free;
    WriteEdition(row.input, free.path(), opt);
    const auto size = static_cast<int64_t>(fs::file_size(free.file("data/thedata.dat")));
    ASSERT_GT(size, 500);

    TestDir exact;
    opt.dataFileLimit = size;
    ASSERT_NO_THROW(WriteEdition(row.input, exact.path(), opt));
    EXPECT_EQ(HashAll(exact.path()), HashAll(free.path()));

    TestDir tight;
    opt.dataFileLimit = size - 1;
    try {
      WriteEdition(row.input, tight.path(), opt);
      ADD_FAILURE() << "a data file of " << size << " bytes passed the limit of " << size - 1;
    } catch (const EStatusError& e) {
      EXPECT_NE(std::string(e.what()).find("limit of " + std::to_string(size - 1)),
                std::string::npos)
          << e.what();
    }
    EXPECT_FALSE(fs::exists(tight.file("data/thedata.dat")));
  }
}

TEST(EditionWriter, MapBlockFollowsTheEntries) {
  TestDir d;
  TEditionOptions opt;
  int64_t seenStart = -1;
  opt.maps = [&](int64_t start) {
    seenStart = start;
    return TMapBlock{std::string("IMAGEBYTES") + std::string(1 + 255 * 53, '\0'), 10};
  };
  const TEditionSummary s = WriteEdition(MakeInput(20, 20), d.path(), opt);
  const std::string data = ReadFile(d.file("data/thedata.dat"));
  EXPECT_EQ(seenStart + 10 + 1 + 255 * 53, static_cast<int64_t>(data.size()));
  EXPECT_EQ(s.edition.mapDirOffset, seenStart + 10);
  EXPECT_EQ(data.substr(static_cast<size_t>(seenStart), 10), "IMAGEBYTES");
  const TResult<TEdition> ed = ParseEdition(ReadFile(d.file("data/edition.ini")));
  ASSERT_TRUE(ed.ok()) << ed.Status().Message();
  EXPECT_EQ(ed->mapDirOffset, seenStart + 10);
}

TEST(EditionWriter, OutputFolderThatIsAFileIsAClearError) {
  TestDir d;
  std::ofstream(d.file("plain")) << "x";
  try {
    WriteEdition(MakeInput(5, 5), d.file("plain"));
    FAIL() << "no error";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("plain"), std::string::npos) << e.what();
  }
}

TEST(WordSplitting, NormalisedWords) {
  using V = std::vector<std::string>;
  EXPECT_EQ(StoredWords("Dr. John O'Brien-Smith, 12a Elm St."),
            (V{"dr", "john", "o'brien", "smith", "12a", "elm", "st"}));
  EXPECT_EQ(StoredWords("'quoted' ''"), (V{"quoted"}));
  EXPECT_EQ(StoredWords("Stra\xe1"
                        "e \x8e"
                        "rger \x91"),
            (V{"strasse", "arger", "ae"}));
  EXPECT_EQ(StoredWords("Abcdefghijklmnopqrstuvwxyz"), (V{"abcdefghijklmno"}));
  EXPECT_EQ(StoredWords("Abcdefghijklmnopqrstuvwxyz", wtCity), (V{"\x87"
                                                                  "abcdefghijklmn"}));
  EXPECT_EQ(StoredWords("  \xb0\xb1 -- "), V{});
  EXPECT_EQ(StoredWords("12345-6789", wtZIP), (V{"\x83"
                                                 "12345",
                                                 "\x83"
                                                 "6789"}));
}

}  // namespace

// An entry's field list, laid out as the payload: what each change leaves in the bytes.
struct TFieldListCase {
  const char* name;
  std::function<void(TEntryFields&)> change;
  std::string bytes;
  int dropped;
};

class FieldList : public ::testing::TestWithParam<TFieldListCase> {};

TEST_P(FieldList, ChangesLeaveThePayloadLayout) {
  TEntryFields f{{1, "dl1abc"}, {5, "Germany"}};
  GetParam().change(f);
  EXPECT_EQ(std::string(f.Bytes()), GetParam().bytes);
  EXPECT_EQ(f.Dropped(), GetParam().dropped);
  // Iterating gives the fields back in stored order.
  std::string again;
  for (const auto& [tag, text] : f) again += static_cast<char>(tag) + std::string(text);
  EXPECT_EQ(again, GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldList,
    ::testing::Values(TFieldListCase{"Unchanged", [](TEntryFields&) {},
                                     "\x01"
                                     "dl1abc\x05Germany",
                                     0},
                      TFieldListCase{"ControlBytesLeaveTheText",
                                     [](TEntryFields& f) { f.emplace_back(7, "a\tb\nc"); },
                                     "\x01"
                                     "dl1abc\x05Germany\x07"
                                     "abc",
                                     0},
                      TFieldListCase{"TagsOutsideTheRangeAreCounted",
                                     [](TEntryFields& f) {
                                       f.emplace_back(0, "zero");
                                       f.emplace_back(32, "space");
                                     },
                                     "\x01"
                                     "dl1abc\x05Germany",
                                     2},
                      TFieldListCase{"InsertByTagKeepsTheTagsAscending",
                                     [](TEntryFields& f) { f.InsertByTag(3, "Berlin"); },
                                     "\x01"
                                     "dl1abc\x03"
                                     "Berlin\x05Germany",
                                     0},
                      TFieldListCase{"SetTextLongerAndShorter",
                                     [](TEntryFields& f) {
                                       f.SetText(0, "dl1abcdef");
                                       f.SetText(1, "D");
                                     },
                                     "\x01"
                                     "dl1abcdef\x05"
                                     "D",
                                     0},
                      TFieldListCase{"SetOfAMissingTagChangesNothing",
                                     [](TEntryFields& f) { EXPECT_FALSE(f.Set(9, "x")); },
                                     "\x01"
                                     "dl1abc\x05Germany",
                                     0},
                      TFieldListCase{"EmptyTextKeepsItsTag", [](TEntryFields& f) { f.Set(5, ""); },
                                     "\x01"
                                     "dl1abc\x05",
                                     0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EditionWriter, DroppedTagsCountAsCutFields) {
  TBuildInput in;
  TBuildEntry e = MakeIntl(1);
  e.fields.emplace_back(40, "no such field");
  in.intl.push_back(e);
  TestDir d;
  EXPECT_EQ(WriteEdition(in, d.path()).fieldsCut, 1);
}
