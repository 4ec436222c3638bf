#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>

#include "TestDir.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"
#include "storage/UIndexWriter.h"
#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"
#include "textsearch/UWordFold.h"

namespace fs = std::filesystem;

namespace {

using TWords = std::map<std::string, std::vector<int32_t>>;

void PutI32(std::string& out, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int s = 0; s < 32; s += 8) out += static_cast<char>((u >> s) & 0xFF);
}

// Writes a word index (key length 15, unique) and its reference file.
void WriteWordFiles(const std::string& idx, const std::string& vws, const TWords& words) {
  std::string refs;
  std::vector<TIndexItem> items;
  for (const auto& [word, list] : words) {
    items.push_back({word, static_cast<int32_t>(refs.size())});
    PutI32(refs, static_cast<int32_t>(list.size()));
    for (int32_t r : list) PutI32(refs, r);
  }
  SortIndexItems(items);
  ASSERT_TRUE(WriteIndexFile(idx, items, kWordKeyLen, false));
  std::ofstream(vws, std::ios::binary) << refs;
}

std::vector<int32_t> Range(int32_t first, int32_t count, int32_t step = 1) {
  std::vector<int32_t> v(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) v[static_cast<size_t>(i)] = first + i * step;
  return v;
}

std::vector<int32_t> Items(TAllgVerweisListe& list) {
  std::vector<int32_t> v;
  for (int32_t i = 1; i <= list.GetCount(); ++i) v.push_back(list.GetItem(i));
  return v;
}

class TextSearchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(AllocIndexCaches()); }
  void TearDown() override { FreeIndexCaches(); }

  // A word list in the test folder.
  std::unique_ptr<TWortListe> Make(const TWords& words) {
    WriteWordFiles(dir.file("w.idx"), dir.file("w.vws"), words);
    return std::make_unique<TWortListe>(dir.file("w.idx"), kWordListFileMode, dir.file("w.vws"));
  }
  std::unique_ptr<TWortVerweisListe> ListOf(TWortListe& wl, std::string_view word) {
    bool found = false;
    int32_t ref = 0;
    EXPECT_TRUE(wl.Find(word, found, ref));
    EXPECT_TRUE(found) << word;
    return std::make_unique<TWortVerweisListe>(wl, ref);
  }

  TestDir dir;
};

// Records the size of every bulk read.
class TChunkRecorder : public TWortVerweisListe {
 public:
  using TWortVerweisListe::TWortVerweisListe;
  bool ReadItems(int32_t first, int32_t n, int32_t* buffer) override {
    chunks.push_back(n);
    return TWortVerweisListe::ReadItems(first, n, buffer);
  }
  std::vector<int32_t> chunks;
};

// A progress window that records the gauge and aborts on request.
class TFakeProgress : public TSearchProgress {
 public:
  bool Show() override {
    ++shows;
    return showable;
  }
  bool Update(int percent) override {
    values.push_back(percent);
    return abortAt > 0 && static_cast<int>(values.size()) >= abortAt;
  }
  void Close() override { ++closes; }
  bool showable = true;
  int abortAt = 0;
  int shows = 0, closes = 0;
  std::vector<int> values;
};

}  // namespace

// --- word forms --------------------------------------------------------------------------------

TEST(WordFormsTest, NormaliseDisplayAndStoredForms) {
  EXPECT_EQ(NormaliseWord("  M\x9aLLER Str  "), "m\x9aller str");  // only A-Z lower-cased
  EXPECT_EQ(NormaliseWord(std::string(1, '\x84') + "SMITH"), "\x84smith");
  EXPECT_EQ(NormaliseWord("ABCDEFGHIJKLMNOPQRST"), "abcdefghijklmno");
  EXPECT_EQ(NormaliseWord("   "), "");

  const std::pair<int, const char*> tags[] = {
      {0x82, "state="},  {0x83, "zip="},  {0x84, "lastname="}, {0x85, "firstname="},
      {0x86, "county="}, {0x87, "city="}, {0x88, "prevcall="}};
  for (const auto& [tag, prefix] : tags) {
    const std::string stored = std::string(1, static_cast<char>(tag)) + "boston";
    EXPECT_EQ(ToDisplayForm(stored, skUS), std::string(prefix) + "boston");
    EXPECT_EQ(ToStoredForm(std::string(prefix) + "boston", skUS), stored);
    EXPECT_EQ(ToDisplayForm(stored, skIntl), stored);
    EXPECT_EQ(ToStoredForm(std::string(prefix) + "boston", skIntl), std::string(prefix) + "boston");
  }
  EXPECT_EQ(ToDisplayForm("\x87", skUS), "\x87");  // a tag alone stays as it is
  EXPECT_EQ(ToDisplayForm("boston", skUS), "boston");
  EXPECT_EQ(ToStoredForm("City=boston", skUS), "City=boston");  // case-sensitive
  EXPECT_EQ(ToStoredForm("xcity=boston", skUS), "xcity=boston");
  EXPECT_EQ(ToStoredForm("city=", skUS), "\x87");
  // Only the first prefix is replaced.
  EXPECT_EQ(ToStoredForm("zip=city=a", skUS),
            "\x83"
            "city=a");

  // Letters with accents (code page 437) are taken; they fold to ASCII letters in the lists.
  for (char c : std::string("'0189=AZaz\x84\xa4\xa5\xe1")) EXPECT_TRUE(IsWordEditChar(c)) << c;
  for (char c : std::string(" -./:@[`{~\x9b\x9f\xa6\xe0")) EXPECT_FALSE(IsWordEditChar(c)) << c;
}

// Typed words meet the stored ones: folded exactly as the word-list writer folds (code page 437).
TEST(WordFormsTest, QueriesFoldAsTheWordListsDo) {
  struct TCase {
    const char* text;
    bool us;
    std::vector<std::string> words;
  };
  const TCase cases[] = {
      {"Coru\xa4"
       "a",
       false,
       {"coruna"}},
      {"M\x81LLER", true, {"muller"}},
      {"Stra\xe1"
       "e",
       false,
       {"strasse"}},
      {"\x9b"
       "10",
       false,
       {"10"}},
      {"O'Brien-Smith", false, {"o'brien", "smith"}},
      {"'quoted'", false, {"quoted"}},
      {"City=A Coru\xa4"
       "a",
       true,
       {"\x87"
        "a",
        "\x87"
        "coruna"}},
      {"ZIP=02134",
       true,
       {"\x83"
        "02134"}},
      {"city=leeds", false, {"city=leeds"}},  // no tagged words in the International lists
      {"abcdefghijklmnopqrstuvwxyz", false, {"abcdefghijklmno"}},
      {"lastname=abcdefghijklmnopq",
       true,
       {"\x84"
        "abcdefghijklmn"}},
      {"--", false, {}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(QueryWords(c.text, c.us), c.words) << c.text;
    // The writer's own split gives the same words for untagged text.
    if (std::string_view(c.text).find('=') == std::string_view::npos) {
      EXPECT_EQ(StoredWords(c.text), c.words) << c.text;
    }
  }
  // The Word box folds letters and leaves the rest for the prefix rules.
  EXPECT_EQ(FoldLetters("city=Coru\xa4"
                        "a \x9b"),
            "city=Coruna \x9b");
}

TEST(WordFormsTest, TextsAndRounding) {
  EXPECT_EQ(ReadErrorText(100),
            "An error 100 (Disk read error) occurs during read. Close and restart the application");
  EXPECT_EQ(EntriesFoundText(0), "Number of entries found: 0");
  EXPECT_STREQ(kTextSearchInitError,
               "Due an initialisation error, text search is not possible at the moment.");
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5000001), 3);
  EXPECT_EQ(RoundHalfEven(3.49), 3);
  EXPECT_EQ(GaugeValue(0.125), 12);
  EXPECT_EQ(GaugeValue(0.375), 38);
  EXPECT_EQ(GaugeValue(1.0), 100);
  EXPECT_EQ(GaugeValue(1.01), 0);  // 101 mod 101

  EXPECT_TRUE(SearchButtonStates(5, 13).add);
  EXPECT_FALSE(SearchButtonStates(5, 14).add);  // no 15th word
  EXPECT_FALSE(SearchButtonStates(0, 0).add);
  EXPECT_FALSE(SearchButtonStates(5, 0).remove);
  EXPECT_TRUE(SearchButtonStates(0, 1).clear);
}

// --- files and lists ---------------------------------------------------------------------------

TEST_F(TextSearchTest, OpeningFailuresCarryTheCodeAndText) {
  WriteWordFiles(dir.file("w.idx"), dir.file("w.vws"), {{"a", {1}}});
  auto messageOf = [](const std::string& idx, const std::string& vws) -> std::string {
    try {
      TWortListe wl(idx, kWordListFileMode, vws);
    } catch (const ECreationFailed& e) {
      return e.what();
    }
    return {};
  };
  EXPECT_EQ(messageOf(dir.file("w.idx"), dir.file("w.vws")), "");
  EXPECT_EQ(messageOf(dir.file("w.idx"), dir.file("none.vws")), "2: File not found");
  EXPECT_EQ(messageOf(dir.file("none.idx"), dir.file("w.vws")), "2: File not found");
  ASSERT_TRUE(WriteIndexFile(dir.file("short.idx"), {{"a", 0}}, 6, false));
  EXPECT_EQ(messageOf(dir.file("short.idx"), dir.file("w.vws")), "1004: ");
  EXPECT_EQ(LastErrorCode(), 1004);

  // Closing keeps the last error code.
  auto wl = std::make_unique<TWortListe>(dir.file("w.idx"), kWordListFileMode, dir.file("w.vws"));
  SetLastErrorCode(77);
  wl.reset();
  EXPECT_EQ(LastErrorCode(), 77);
}

TEST_F(TextSearchTest, MissingUSWordListLeavesTheInternationalOneWorking) {
  fs::create_directories(dir.file("DATA"));
  WriteWordFiles(dir.file("DATA/INTLWORT.IDX"), dir.file("DATA/INTLWORT.VWS"), {{"paris", {8}}});
  WriteWordFiles(dir.file("DATA/USWORT.IDX"), dir.file("DATA/USWORT.VWS"), {{"boston", {8}}});
  fs::remove(dir.file("DATA/USWORT.IDX"));
  SetHomeDir(dir.path());
  std::string message;
  auto intl = OpenWordList(TDatabase::Intl, message);
  ASSERT_TRUE(intl) << message;
  EXPECT_EQ(message, "");
  auto us = OpenWordList(TDatabase::US, message);
  EXPECT_FALSE(us);
  EXPECT_EQ(message, "Can't open USWordList: 2 (File not found)");
  bool found = false;
  int32_t ref = 0;
  ASSERT_TRUE(intl->Find("paris", found, ref));
  EXPECT_TRUE(found);
}

TEST_F(TextSearchTest, FindNextPrevAndLongWords) {
  auto wl = Make({{"abcdefghijklmno", {1}}, {"apple", {2}}, {"zebra", {3}}, {"mango", {4}}});
  bool found = false;
  int32_t ref = -1;
  std::string word;
  ASSERT_TRUE(wl->Find("abcdefghijklmnopqrst", found, ref));  // 20 characters: its first 15
  EXPECT_TRUE(found);
  ASSERT_TRUE(wl->Next(found, word, ref));
  EXPECT_EQ(word, "apple");
  ASSERT_TRUE(wl->Find("b", found, ref));  // a miss: Next gives the first greater word
  EXPECT_FALSE(found);
  ASSERT_TRUE(wl->Next(found, word, ref));
  EXPECT_TRUE(found);
  EXPECT_EQ(word, "mango");
  ASSERT_TRUE(wl->Find("zebra", found, ref));
  ASSERT_TRUE(wl->Next(found, word, ref));
  EXPECT_FALSE(found);
  ASSERT_TRUE(wl->Find("mango", found, ref));
  ASSERT_TRUE(wl->Prev(found, word, ref));
  EXPECT_TRUE(found);
  EXPECT_EQ(word, "apple");
}

TEST_F(TextSearchTest, WordReferenceListsAndCopying) {
  auto wl = Make({{"empty", {}}, {"many", Range(100, 12345, 3)}, {"one", {42}}});

  auto empty = ListOf(*wl, "empty");
  EXPECT_EQ(empty->GetCount(), 0);
  EXPECT_FALSE(empty->Contains(0));
  TFinalVerweisListe f0;
  EXPECT_TRUE(CopyToFinal(*empty, f0));
  EXPECT_EQ(f0.GetCount(), 0);
  EXPECT_EQ(empty->FileReads(), 0u);

  auto one = ListOf(*wl, "one");
  EXPECT_TRUE(one->Contains(42));
  EXPECT_FALSE(one->Contains(41));
  EXPECT_FALSE(one->Contains(43));
  EXPECT_EQ(one->GetItem(1), 42);
  EXPECT_EQ(one->GetItem(2), -1);  // never read past the list

  bool found = false;
  int32_t ref = 0;
  ASSERT_TRUE(wl->Find("many", found, ref));
  TChunkRecorder many(*wl, ref);
  ASSERT_EQ(many.GetCount(), 12345);
  TFinalVerweisListe dest;
  ASSERT_TRUE(CopyToFinal(many, dest));
  EXPECT_EQ(many.chunks, (std::vector<int32_t>{5000, 5000, 2345}));
  EXPECT_EQ(many.FileReads(), 3u);
  EXPECT_EQ(Items(dest), Range(100, 12345, 3));
  EXPECT_EQ(dest.GetItem(12346), -1);

  // Binary search on the word list reads one item per halving step.
  const uint64_t before = many.FileReads();
  EXPECT_TRUE(many.Contains(100 + 3 * 7777));
  EXPECT_FALSE(many.Contains(101));
  EXPECT_LE(many.FileReads() - before, 2u * 15u);

  // Appending to a list that already ends inside a block fills that block first.
  TFinalVerweisListe partly;
  for (int32_t v = 0; v < 4998; ++v) partly.Add(v);
  TChunkRecorder again(*wl, ref);
  ASSERT_TRUE(CopyToFinal(again, partly));
  EXPECT_EQ(again.chunks, (std::vector<int32_t>{2, 5000, 5000, 2343}));
  EXPECT_EQ(partly.GetCount(), 4998 + 12345);
  EXPECT_EQ(partly.GetItem(4999), 100);
}

TEST_F(TextSearchTest, HostileCountsDoNotReadPastTheFile) {
  WriteWordFiles(dir.file("w.idx"), dir.file("w.vws"), {{"neg", {}}, {"big", {}}});
  // Rewrite the counts: "big" claims a million references, "neg" a negative count.
  std::string vws;
  PutI32(vws, 1000000);  // big at 0
  PutI32(vws, -5);       // neg at 4
  PutI32(vws, 1);
  std::ofstream(dir.file("w.vws"), std::ios::binary) << vws;
  TWortListe wl(dir.file("w.idx"), kWordListFileMode, dir.file("w.vws"));
  auto big = ListOf(wl, "big");
  auto neg = ListOf(wl, "neg");
  EXPECT_EQ(neg->GetCount(), 0);
  EXPECT_EQ(big->GetCount(), 1000000);
  TFinalVerweisListe f;
  EXPECT_FALSE(CopyToFinal(*big, f));
  EXPECT_EQ(LastErrorCode(), 100);
  EXPECT_EQ(f.GetCount(), 0);  // nothing committed from a failed read

  // A count read past the end leaves the list empty.
  TWortVerweisListe beyond(wl, 1 << 20);
  EXPECT_EQ(beyond.GetCount(), 0);
  // The reference file is read-only: writing an item fails.
  TWortVerweisListe two(wl, 8);
  two.SetItem(1, 5);
  EXPECT_EQ(LastErrorCode(), 105);
}

TEST(FinalListTest, ItemsBoundsAndGrowthPastTwoHundredThousand) {
  TFinalVerweisListe f;
  EXPECT_FALSE(f.Contains(1));
  EXPECT_EQ(f.GetItem(1), -1);
  f.SetItem(1, 9);  // beyond the count: ignored
  EXPECT_EQ(f.GetCount(), 0);
  f.Add(7);
  EXPECT_TRUE(f.Contains(7));
  EXPECT_FALSE(f.Contains(6));
  EXPECT_EQ(f.GetItem(0), -1);
  EXPECT_EQ(f.GetItem(2), -1);

  TFinalVerweisListe big;
  const int32_t n = 250001;
  for (int32_t v = 0; v < n; ++v) big.Add(2 * v);
  EXPECT_EQ(big.GetCount(), n);
  EXPECT_EQ(big.BlockCount(), 51u);
  EXPECT_EQ(big.GetItem(200000), 2 * 199999);
  EXPECT_EQ(big.GetItem(200001), 2 * 200000);
  EXPECT_EQ(big.GetItem(n), 2 * (n - 1));
  EXPECT_TRUE(big.Contains(2 * 240000));
  EXPECT_FALSE(big.Contains(2 * 240000 + 1));
  big.SetItem(n, -3);
  EXPECT_EQ(big.GetItem(n), -3);
}

// --- dialog helpers -----------------------------------------------------------------------------

TEST_F(TextSearchTest, BrowsingAndSpinning) {
  TWords words;
  for (char c = 'a'; c <= 't'; ++c) words[std::string("w") + c] = {1};  // wa .. wt
  words
      ["\x87"
       "boston"] = {2};
  words
      ["\x87"
       "chicago"] = {3};
  words
      ["\x84"
       "smith"] = {4};
  words["city"] = {5};
  auto wl = Make(words);

  TWordListPage page = BrowseWordList(*wl, skUS, "WC");
  EXPECT_TRUE(page.ok);
  EXPECT_TRUE(page.found);
  ASSERT_EQ(page.words.size(), 14u);
  EXPECT_EQ(page.words.front(), "wc");
  EXPECT_EQ(page.words.back(), "wp");

  page = BrowseWordList(*wl, skUS, "wcc");  // not a word: the next greater ones, none selected
  EXPECT_FALSE(page.found);
  EXPECT_EQ(page.words.front(), "wd");

  page = BrowseWordList(*wl, skUS, "city=B");
  EXPECT_FALSE(page.found);
  EXPECT_EQ(page.words, (std::vector<std::string>{"city=boston", "city=chicago"}));
  page = BrowseWordList(*wl, skUS, "City=boston");  // capital: no field, the plain words
  EXPECT_EQ(page.words.front(), "wa");
  page = BrowseWordList(*wl, skIntl, "city=");
  EXPECT_EQ(page.words.front(), "wa");
  EXPECT_EQ(page.words[13], "wn");
  // Accented letters typed in the Word box meet the folded words ("c\xa1ty" is "c\u00edty").
  page = BrowseWordList(*wl, skUS, "C\xa1TY");
  EXPECT_TRUE(page.found);
  EXPECT_EQ(page.words.front(), "city");
  page = BrowseWordList(*wl, skUS, "city=B\x95ston");
  EXPECT_TRUE(page.found);
  EXPECT_EQ(page.words.front(), "city=boston");
  page = BrowseWordList(*wl, skUS, "lastname=smith");
  EXPECT_TRUE(page.found);
  EXPECT_EQ(page.words,
            (std::vector<std::string>{"lastname=smith", "city=boston", "city=chicago"}));

  TSpinResult spin = SpinWord(*wl, skUS, "wc", true);
  EXPECT_TRUE(spin.moved);
  EXPECT_EQ(spin.text, "wd");
  spin = SpinWord(*wl, skUS, "wc", false);
  EXPECT_EQ(spin.text, "wb");
  spin = SpinWord(*wl, skUS, "wcc", false);  // not a word: the one right before it
  EXPECT_EQ(spin.text, "wc");
  spin = SpinWord(*wl, skUS, "wcc", true);
  EXPECT_EQ(spin.text, "wd");
  spin = SpinWord(*wl, skUS, "city=chicago", true);  // the last word: nothing to move to
  EXPECT_TRUE(spin.ok);
  EXPECT_FALSE(spin.moved);
  spin = SpinWord(*wl, skUS, "lastname=smith", true);
  EXPECT_EQ(spin.text, "city=boston");
  spin = SpinWord(*wl, skUS, "city", false);
  EXPECT_FALSE(spin.moved);  // the first word
  spin = SpinWord(*wl, skUS, "zzz", false);
  EXPECT_EQ(spin.text, "wt");
  spin = SpinWord(*wl, skUS, "prevcall=a", false);  // past the end: the greatest word
  EXPECT_EQ(spin.text, "city=chicago");
}

TEST_F(TextSearchTest, IncludeWordBuildsTheSearchListAtTheFront) {
  auto wl = Make({{"smith", {1, 2, 3}},
                  {"smithson", {4}},
                  {"\x87"
                   "boston",
                   {2, 5}},
                  {"abcdefghijklmno", Range(1, 123456)}});
  TSuchInfo info;
  EXPECT_EQ(IncludeWord(info, *wl, skUS, "smithson"), TIncludeOutcome::Added);
  EXPECT_EQ(IncludeWord(info, *wl, skUS, "smith"), TIncludeOutcome::AlreadyListed);
  EXPECT_EQ(IncludeWord(info, *wl, skUS, "city=boston"), TIncludeOutcome::Added);
  EXPECT_EQ(IncludeWord(info, *wl, skUS, "city=bost"), TIncludeOutcome::AlreadyListed);
  EXPECT_EQ(IncludeWord(info, *wl, skUS, "nothing"), TIncludeOutcome::NotFound);
  EXPECT_EQ(IncludeWord(info, *wl, skUS, "abcdefghijklmno"), TIncludeOutcome::Added);
  EXPECT_EQ(info.DisplayTexts(), (std::vector<std::string>{"abcdefghijklmno (123456)",
                                                           "city=boston (2)", "smithson (1)"}));
  // The display text is cut to 27 characters.
  TSuchItem long_(ListOf(*wl, "smith"), "lastname=abcdefghijklmn");
  EXPECT_EQ(long_.DisplayText(), "lastname=abcdefghijklmn (3)");
  TSuchItem longer(ListOf(*wl, "smith"), "firstname=abcdefghijklmn");
  EXPECT_EQ(longer.DisplayText(), "firstname=abcdefghijklmn (3");
  info.Delete(1);
  EXPECT_EQ(info.DisplayTexts(),
            (std::vector<std::string>{"abcdefghijklmno (123456)", "smithson (1)"}));
  info.Clear();
  EXPECT_TRUE(info.Empty());
}

// --- evaluation
// -----------------------------------------------------------------------------------

TEST_F(TextSearchTest, OneAndTwoWordsAndEmptySearch) {
  auto wl = Make({{"alpha", {10, 20, 30, 40}}, {"beta", {5, 20, 40, 50, 60}}});
  TSuchInfo info;
  TFakeProgress progress;
  TTextSearchResult r = DoTextSearch(info, &progress);
  EXPECT_EQ(r.outcome, TSearchOutcome::NotFound);
  EXPECT_EQ(r.Count(), 0);

  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "alpha"), "alpha"));
  r = DoTextSearch(info, &progress);
  ASSERT_EQ(r.outcome, TSearchOutcome::Found);
  EXPECT_EQ(Items(*r.list), (std::vector<int32_t>{10, 20, 30, 40}));
  EXPECT_EQ(progress.shows, 0);  // one word: no progress window

  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "beta"), "beta"));
  r = DoTextSearch(info, &progress);
  ASSERT_EQ(r.outcome, TSearchOutcome::Found);
  EXPECT_EQ(Items(*r.list), (std::vector<int32_t>{20, 40}));
  EXPECT_EQ(progress.shows, 1);
  EXPECT_EQ(progress.closes, 1);
  EXPECT_TRUE(progress.values.empty());  // fewer than 20 references tested

  // A progress window that cannot be shown does not stop the search.
  TFakeProgress broken;
  broken.showable = false;
  r = DoTextSearch(info, &broken);
  EXPECT_EQ(r.Count(), 2);
  EXPECT_TRUE(broken.values.empty());
  EXPECT_EQ(broken.closes, 0);
  r = DoTextSearch(info, nullptr);
  EXPECT_EQ(r.Count(), 2);
}

TEST_F(TextSearchTest, ShortestListsFirstAndTheThirdNeverRead) {
  auto wl = Make({{"big", Range(0, 9000)}, {"odd", Range(1, 30, 2)}, {"even", Range(0, 40, 2)}});
  TSuchInfo info;
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "big"), "big"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "even"), "even"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "odd"), "odd"));
  TTextSearchResult r = DoTextSearch(info, nullptr);
  EXPECT_EQ(r.outcome, TSearchOutcome::NotFound);
  EXPECT_FALSE(r.list);
  EXPECT_EQ(info.Item(0).List().FileReads(), 1u);  // odd: 30 references, one read
  EXPECT_EQ(info.Item(1).List().FileReads(), 1u);  // even
  EXPECT_EQ(info.Item(2).List().FileReads(), 0u);  // big: never read
}

TEST_F(TextSearchTest, EqualCountsKeepTheirOrderAndGaugeRoundsHalfToEven) {
  // first (160) is the shortest; second and third have equal counts and stay in list order.
  auto wl =
      Make({{"first", Range(0, 160, 2)}, {"second", Range(0, 400)}, {"third", Range(0, 400)}});
  TSuchInfo info;
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "third"), "third"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "second"), "second"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "first"), "first"));
  TFakeProgress progress;
  TTextSearchResult r = DoTextSearch(info, &progress);
  ASSERT_EQ(r.outcome, TSearchOutcome::Found);
  EXPECT_EQ(Items(*r.list), Range(0, 160, 2));
  // Step s = 1/2: the first intersection runs 0..50 %, the second 50..100 %, each gauge value
  // round((i / 160 * s + b) * 100) with halves to the even neighbour.
  const std::vector<int> expected = {6,  12, 19, 25, 31, 38, 44, 50,  // 6.25, 12.5, 18.75 ...
                                     56, 62, 69, 75, 81, 88, 94, 100};
  EXPECT_EQ(progress.values, expected);
  EXPECT_EQ(progress.closes, 1);
  // second, then third, both copied once in bulk.
  EXPECT_EQ(info.Item(1).List().FileReads(), 1u);
  EXPECT_EQ(info.Item(2).List().FileReads(), 1u);
}

TEST_F(TextSearchTest, EqualCountsAreTakenInListOrder) {
  // z is the shortest; x and y tie. z and x have nothing in common, z and y do: in list order
  // (x before y) the search stops after x and y is never read.
  auto wl = Make({{"x", {1, 2, 3, 4}}, {"y", {5, 6, 7, 8}}, {"z", {5, 6, 7}}});
  TSuchInfo info;
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "z"), "z"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "y"), "y"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "x"), "x"));
  EXPECT_EQ(DoTextSearch(info, nullptr).outcome, TSearchOutcome::NotFound);
  EXPECT_EQ(info.Item(0).List().FileReads(), 1u);  // x
  EXPECT_EQ(info.Item(1).List().FileReads(), 0u);  // y
  EXPECT_EQ(info.Item(2).List().FileReads(), 1u);  // z
}

TEST_F(TextSearchTest, AbortGivesNoResult) {
  auto wl = Make({{"a", Range(0, 1000)}, {"b", Range(0, 1000)}});
  TSuchInfo info;
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "a"), "a"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "b"), "b"));
  TFakeProgress progress;
  progress.abortAt = 3;
  TTextSearchResult r = DoTextSearch(info, &progress);
  EXPECT_EQ(r.outcome, TSearchOutcome::Aborted);
  EXPECT_FALSE(r.list);
  EXPECT_EQ(r.Count(), 0);
  EXPECT_EQ(progress.values.size(), 3u);
  EXPECT_EQ(progress.closes, 1);
}

TEST_F(TextSearchTest, ResultAboveTwoHundredThousandIsKeptWhole) {
  const int32_t n = 210017;
  auto wl = Make({{"common", Range(8, n, 4)}, {"wider", Range(8, 2 * n, 2)}});
  TSuchInfo info;
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "wider"), "wider"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "common"), "common"));
  TTextSearchResult r = DoTextSearch(info, nullptr);
  ASSERT_EQ(r.outcome, TSearchOutcome::Found);
  ASSERT_EQ(r.Count(), n);
  EXPECT_EQ(r.list->GetItem(1), 8);
  EXPECT_EQ(r.list->GetItem(200001), 8 + 4 * 200000);
  EXPECT_EQ(r.list->GetItem(n), 8 + 4 * (n - 1));
  EXPECT_EQ(info.Item(0).List().FileReads(), 43u);  // ceil(210017 / 5000)
}

// A few references against a list far longer: the result is the plain intersection, in order,
// and only small parts of the long list are read.
TEST_F(TextSearchTest, FewReferencesAgainstALongListReadOnlyPartsOfIt) {
  const std::vector<int32_t> longList = Range(1000, 100000, 3);  // 1000, 1003, ... 300997
  struct TCase {
    const char* name;
    std::vector<int32_t> few;
  };
  const std::vector<TCase> cases = {
      {"spread", {5, 1000, 1001, 1003, 40000, 40003, 150001, 150004, 298997, 298998, 400000}},
      {"clustered", {2000, 2002, 2003, 2005, 2006, 2008, 2009}},
      {"none inside", {1, 2, 3, 300000, 300001}},
      {"every third", Range(100000, 30, 3)},
      // The first and the last reference of the long list are matches too.
      {"both ends", {999, 1000, 150001, 300997, 300998}},
      {"only the ends", {1000, 300997}},
  };
  for (const TCase& c : cases) {
    auto wl = Make({{"long", longList}, {"few", c.few}});
    bool found = false;
    int32_t ref = 0;
    ASSERT_TRUE(wl->Find("long", found, ref));
    auto recorder = std::make_unique<TChunkRecorder>(*wl, ref);
    TChunkRecorder* longRead = recorder.get();
    TSuchInfo info;
    info.Insert(0, std::make_unique<TSuchItem>(std::move(recorder), "long"));
    info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "few"), "few"));
    TFakeProgress progress;
    const TTextSearchResult r = DoTextSearch(info, &progress);
    std::vector<int32_t> expected;
    for (const int32_t v : c.few)
      if (std::binary_search(longList.begin(), longList.end(), v)) expected.push_back(v);
    if (expected.empty()) {
      EXPECT_EQ(r.outcome, TSearchOutcome::NotFound) << c.name;
    } else {
      ASSERT_EQ(r.outcome, TSearchOutcome::Found) << c.name;
      EXPECT_EQ(Items(*r.list), expected) << c.name;
    }
    int64_t itemsRead = 0;
    for (const int32_t n : longRead->chunks) itemsRead += n;
    EXPECT_LT(itemsRead, static_cast<int64_t>(longList.size()) / 10) << c.name;
    EXPECT_EQ(progress.values.size(), c.few.size() / 20) << c.name;  // every 20 tested
  }
}

TEST_F(TextSearchTest, ReadFailureIsReportedNotTakenForAnEmptyResult) {
  auto wl = Make({{"a", Range(0, 100)}, {"b", Range(0, 100)}});
  TSuchInfo info;
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "a"), "a"));
  info.Insert(0, std::make_unique<TSuchItem>(ListOf(*wl, "b"), "b"));
  // The reference file loses its tail after the lists were made.
  fs::resize_file(dir.file("w.vws"), 404 + 40);
  TTextSearchResult r = DoTextSearch(info, nullptr);
  EXPECT_EQ(r.outcome, TSearchOutcome::ReadError);
  EXPECT_EQ(r.errorCode, 100);
  EXPECT_FALSE(r.list);
  EXPECT_EQ(ReadErrorText(r.errorCode),
            "An error 100 (Disk read error) occurs during read. Close and restart the application");
}

TEST(PlainFileTest, CreateReadWriteAndErrors) {
  TestDir dir;
  TPlainFile f;
  ASSERT_TRUE(f.Open(dir.file("p.bin"), 2, true));  // created empty, read and write
  EXPECT_EQ(fs::file_size(dir.file("p.bin")), 0u);
  ASSERT_TRUE(f.WriteAt(4, 3, "abc"));
  char buf[8] = {};
  ASSERT_TRUE(f.ReadAt(4, 3, buf));
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_FALSE(f.ReadAt(5, 3, buf));  // past the end
  EXPECT_EQ(LastErrorCode(), 100);
  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.Close());
  EXPECT_EQ(LastErrorCode(), 103);
  EXPECT_FALSE(f.ReadAt(0, 1, buf));
  EXPECT_EQ(LastErrorCode(), 103);

  ASSERT_TRUE(f.Open(dir.file("p.bin"), kWordListFileMode, false));  // read only
  EXPECT_FALSE(f.WriteAt(0, 1, "x"));
  EXPECT_EQ(LastErrorCode(), 105);
  EXPECT_FALSE(f.Open(dir.file("missing.bin"), kWordListFileMode, false));
  EXPECT_EQ(LastErrorCode(), 2);
  EXPECT_FALSE(f.IsOpen());
  EXPECT_FALSE(f.Open(dir.path(), kWordListFileMode, false));  // a folder
  EXPECT_EQ(LastErrorCode(), 5);
}

// A count of INT32_MAX (a damaged reference file): the binary search neither overflows nor loops,
// whether the value is above every item, below every item or the last item.
TEST(ReferenceListTest, ContainsWithTheLargestCount) {
  struct THuge : TAllgVerweisListe {
    int32_t shift = 0;
    THuge() { count_ = INT32_MAX; }
    int32_t GetItem(int32_t i) override { return i + shift; }
    void SetItem(int32_t, int32_t) override {}
  } list;
  EXPECT_TRUE(list.Contains(INT32_MAX));
  EXPECT_TRUE(list.Contains(1));
  EXPECT_FALSE(list.Contains(0));
  list.shift = -3;  // items -2 .. INT32_MAX - 3
  EXPECT_FALSE(list.Contains(INT32_MAX));
  EXPECT_TRUE(list.Contains(-2));
}
