#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "TestDir.h"
#include "common/IOUtil.h"
#include "storage/UIndexEngine.h"
#include "storage/UIndexWriter.h"

namespace {

std::string Key(int i, int width) {
  std::string s = std::to_string(i);
  return std::string(static_cast<size_t>(width) - s.size(), '0') + s;
}

class IndexEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(AllocIndexCaches()); }
  void TearDown() override { FreeIndexCaches(); }

  std::string Write(const std::string& name, std::vector<TIndexItem> items, int keyLen, bool dups) {
    SortIndexItems(items);
    const std::string path = dir_.file(name);
    EXPECT_TRUE(WriteIndexFile(path, items, keyLen, dups));
    return path;
  }

  // 60,000 calls of six digits, the even numbers from 0; item i refers to 1000 + i.
  std::string LargeTree() {
    std::vector<TIndexItem> items;
    for (int i = 0; i < 60000; ++i) items.push_back({Key(i * 2, 6), i + 1000});
    return Write("calls.idx", items, 6, false);
  }

  TestDir dir_;
};

std::string ReadFile(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s));
  return s;
}

void WriteFile(const std::string& path, const std::string& s) {
  std::ofstream(path, std::ios::binary) << s;
}

int32_t GetI32(const std::string& s, size_t at) {
  int32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

void PutI32(std::string& s, size_t at, int32_t v) { std::memcpy(s.data() + at, &v, 4); }

}  // namespace

TEST_F(IndexEngineTest, LargeTreeExactAndOrderedWalkWithCacheReuse) {
  auto& eng = ShortKeyEngine();
  TIndexCtl ctl;
  ASSERT_TRUE(eng.OpenIndex(ctl, LargeTree(), 6, false));

  // Every key in order from depth 0.
  bool found = false;
  std::string key;
  int32_t ref = 0;
  int n = 0;
  while (true) {
    ASSERT_TRUE(eng.FindNext(ctl, found, key, ref));
    if (!found) break;
    ASSERT_EQ(key, Key(n * 2, 6));
    ASSERT_EQ(ref, n + 1000);
    ++n;
  }
  EXPECT_EQ(n, 60000);

  // Exact hits; a miss leaves the cursor before the next greater key.
  for (int i : {0, 1, 777, 59999}) {
    ASSERT_TRUE(eng.Find(ctl, Key(i * 2, 6), found, ref));
    EXPECT_TRUE(found);
    EXPECT_EQ(ref, i + 1000);
    ASSERT_TRUE(eng.Find(ctl, Key(i * 2 + 1, 6), found, ref));
    EXPECT_FALSE(found);
    ASSERT_TRUE(eng.FindNext(ctl, found, key, ref));
    if (i == 59999) {
      EXPECT_FALSE(found);
    } else {
      EXPECT_TRUE(found);
      EXPECT_EQ(key, Key(i * 2 + 2, 6));
    }
  }

  // The same search twice reads no page; touching 26+ other pages evicts the first ones.
  ASSERT_TRUE(eng.Find(ctl, Key(0, 6), found, ref));
  const uint64_t before = eng.PageReads();
  ASSERT_TRUE(eng.Find(ctl, Key(0, 6), found, ref));
  EXPECT_EQ(eng.PageReads(), before);
  for (int i = 1; i <= 40; ++i) ASSERT_TRUE(eng.Find(ctl, Key(i * 2 * 1400, 6), found, ref));
  const uint64_t mid = eng.PageReads();
  ASSERT_TRUE(eng.Find(ctl, Key(0, 6), found, ref));
  EXPECT_TRUE(found);
  EXPECT_GT(eng.PageReads(), mid);
  EXPECT_TRUE(eng.CloseIndex(ctl));
}

TEST_F(IndexEngineTest, DuplicatesGiveTheFirstOfEqualKeys) {
  std::vector<TIndexItem> items;
  for (int i = 0; i < 500; ++i) items.push_back({"smith" + Key(i, 3), 10 * i + 1});
  items.push_back({"miller", 300});
  items.push_back({"miller", 100});
  items.push_back({"miller", 200});
  const std::string path = Write("names.idx", items, 15, true);
  auto& eng = LongKeyEngine();
  TIndexCtl ctl;
  ASSERT_TRUE(eng.OpenIndex(ctl, path, 15, true));
  int32_t ref = -5;
  bool found = false;
  ASSERT_TRUE(eng.FindKey(ctl, "miller", found, ref));
  EXPECT_TRUE(found);
  EXPECT_EQ(ref, 100);
  std::string key;
  ASSERT_TRUE(eng.FindNext(ctl, found, key, ref));
  EXPECT_TRUE(found);
  EXPECT_EQ(key, "miller");
  EXPECT_EQ(ref, 200);
  // A miss gives the next greater key's reference and found = false.
  ref = -5;
  ASSERT_TRUE(eng.FindKey(ctl, "mills", found, ref));
  EXPECT_FALSE(found);
  EXPECT_EQ(ref, 1);  // smith000
  // Greater than every key: not found, reference unchanged.
  ref = -5;
  ASSERT_TRUE(eng.FindKey(ctl, "zz", found, ref));
  EXPECT_FALSE(found);
  EXPECT_EQ(ref, -5);
  // A key longer than the file's key length is cut before comparing.
  ASSERT_TRUE(eng.FindKey(ctl, "smith000-and-more-text", found, ref));
  EXPECT_FALSE(found);
}

TEST_F(IndexEngineTest, FindPrevWalksBackwards) {
  std::set<std::string> keys;
  std::mt19937 rng(3);
  std::vector<TIndexItem> items;
  while (keys.size() < 20000) {
    std::string k;
    const int len = 1 + static_cast<int>(rng() % 15);
    for (int i = 0; i < len; ++i) k += static_cast<char>('a' + rng() % 26);
    if (keys.insert(k).second) items.push_back({k, static_cast<int32_t>(keys.size())});
  }
  const std::string path = Write("words.idx", items, 15, false);
  auto& eng = LongKeyEngine();
  TIndexCtl ctl;
  ASSERT_TRUE(eng.OpenIndex(ctl, path, 15, false));
  bool found = false;
  std::string key;
  int32_t ref = 0;
  // From depth 0: the greatest key, then every key in descending order.
  auto it = keys.rbegin();
  for (; it != keys.rend(); ++it) {
    ASSERT_TRUE(eng.FindPrev(ctl, found, key, ref));
    ASSERT_TRUE(found);
    ASSERT_EQ(key, *it);
  }
  ASSERT_TRUE(eng.FindPrev(ctl, found, key, ref));
  EXPECT_FALSE(found);

  // From a search position both ways agree with the set.
  for (int t = 0; t < 300; ++t) {
    std::string probe;
    for (int i = 0; i < 3; ++i) probe += static_cast<char>('a' + rng() % 26);
    ASSERT_TRUE(eng.Find(ctl, probe, found, ref));
    ASSERT_FALSE(keys.count(probe) && !found);
    auto next = keys.upper_bound(probe);
    if (found) {
      ASSERT_TRUE(eng.FindPrev(ctl, found, key, ref));
      auto prev = keys.lower_bound(probe);
      if (prev == keys.begin()) {
        EXPECT_FALSE(found);
      } else {
        EXPECT_EQ(key, *std::prev(prev));
      }
    } else {
      ASSERT_TRUE(eng.FindNext(ctl, found, key, ref));
      if (next == keys.end()) {
        EXPECT_FALSE(found);
      } else {
        ASSERT_TRUE(found);
        EXPECT_EQ(key, *next);
        ASSERT_TRUE(eng.FindPrev(ctl, found, key, ref));
        if (next == keys.begin()) {
          EXPECT_FALSE(found);
        } else {
          EXPECT_EQ(key, *std::prev(next));
        }
      }
    }
  }
}

TEST_F(IndexEngineTest, OpenFailures) {
  TIndexCtl ctl;
  EXPECT_FALSE(ShortKeyEngine().OpenIndex(ctl, dir_.file("missing.idx"), 6, false));
  EXPECT_EQ(LastErrorCode(), 2);
  const std::string path = Write("zip.idx", {{"20500", 1}}, 5, true);
  EXPECT_FALSE(ShortKeyEngine().OpenIndex(ctl, path, 7, true));
  EXPECT_EQ(LastErrorCode(), 1002);
  EXPECT_FALSE(ShortKeyEngine().OpenIndex(ctl, path, 6, true));
  EXPECT_EQ(LastErrorCode(), 1004);
  WriteFile(dir_.file("empty.idx"), "");
  EXPECT_FALSE(ShortKeyEngine().OpenIndex(ctl, dir_.file("empty.idx"), 6, false));
  EXPECT_EQ(LastErrorCode(), 100);
  FreeIndexCaches();
  EXPECT_FALSE(ShortKeyEngine().OpenIndex(ctl, path, 5, true));
  EXPECT_EQ(LastErrorCode(), 1005);
}

TEST_F(IndexEngineTest, EmptyIndexFindsNothing) {
  const std::string path = Write("empty.idx", {}, 6, false);
  TIndexCtl ctl;
  ASSERT_TRUE(ShortKeyEngine().OpenIndex(ctl, path, 6, false));
  bool found = true;
  std::string key;
  int32_t ref = 9;
  ASSERT_TRUE(ShortKeyEngine().FindKey(ctl, "w1aw", found, ref));
  EXPECT_FALSE(found);
  EXPECT_EQ(ref, 9);
  ASSERT_TRUE(ShortKeyEngine().FindNext(ctl, found, key, ref));
  EXPECT_FALSE(found);
}

TEST_F(IndexEngineTest, CorruptPagesFailCleanly) {
  std::vector<TIndexItem> items;
  for (int i = 0; i < 5000; ++i) items.push_back({Key(i, 6), i});
  const std::string good = ReadFile(Write("good.idx", items, 6, false));
  const size_t pageSize = static_cast<size_t>(IndexPageSize(6));
  const int32_t root = GetI32(good, 8);
  ASSERT_GT(good[static_cast<size_t>(root) * pageSize], 0);
  const size_t rootAt = static_cast<size_t>(root) * pageSize;

  auto expectFailure = [&](const std::string& image, int code) {
    const std::string path = dir_.file("bad.idx");
    WriteFile(path, image);
    TIndexCtl ctl;
    ASSERT_TRUE(ShortKeyEngine().OpenIndex(ctl, path, 6, false));
    bool found = false;
    int32_t ref = 0;
    std::string key;
    bool ok = ShortKeyEngine().Find(ctl, Key(2500, 6), found, ref);
    if (ok) {
      // The search may miss the damage; a full walk cannot.
      ctl.depth = 0;
      int steps = 0;
      do {
        ok = ShortKeyEngine().FindNext(ctl, found, key, ref);
      } while (ok && found && ++steps < 100000);
      ASSERT_LT(steps, 100000) << "walk did not end";
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastErrorCode(), code);
    ShortKeyEngine().CloseIndex(ctl);
  };

  std::string bad = good;
  bad[rootAt] = static_cast<char>(200);  // item count above 80
  expectFailure(bad, kCorruptIndexCode);

  bad = good;
  PutI32(bad, rootAt + 1, 999999);  // leftmost child outside the file
  expectFailure(bad, 100);

  bad = good;
  PutI32(bad, rootAt + 1, root);  // the root is its own child: a cycle
  expectFailure(bad, kCorruptIndexCode);

  bad = good;
  PutI32(bad, rootAt + 1, -3);
  expectFailure(bad, 100);

  bad = good;
  bad[rootAt + 5 + 8] = static_cast<char>(250);  // key length byte above the key length
  const std::string path = dir_.file("badkey.idx");
  WriteFile(path, bad);
  TIndexCtl ctl;
  ASSERT_TRUE(ShortKeyEngine().OpenIndex(ctl, path, 6, false));
  bool found = false;
  int32_t ref = 0;
  EXPECT_TRUE(ShortKeyEngine().Find(ctl, Key(100, 6), found, ref));
}

TEST_F(IndexEngineTest, WriterKeepsPagesHalfFull) {
  for (int count : {1, 80, 81, 161, 3280, 3361, 6561, 20000}) {
    std::vector<TIndexItem> items;
    for (int i = 0; i < count; ++i) items.push_back({Key(i, 6), i});
    const std::string image = ReadFile(Write("t.idx", items, 6, false));
    const size_t ps = static_cast<size_t>(IndexPageSize(6));
    const int32_t root = GetI32(image, 8);
    EXPECT_EQ(GetI32(image, 4), count);
    EXPECT_EQ(image.size() % ps, 0u);
    int total = 0;
    for (size_t p = 1; p < image.size() / ps; ++p) {
      const int m = static_cast<uint8_t>(image[p * ps]);
      total += m;
      if (static_cast<int32_t>(p) != root) {
        EXPECT_GE(m, 40) << count << " page " << p;
        EXPECT_LE(m, 80);
      }
    }
    EXPECT_EQ(total, count);
  }
  EXPECT_THROW(WriteIndexFile(dir_.file("x.idx"), {{"b", 1}, {"a", 2}}, 6, false),
               std::invalid_argument);
  EXPECT_THROW(WriteIndexFile(dir_.file("x.idx"), {{"a", 1}, {"a", 2}}, 6, false),
               std::invalid_argument);
  EXPECT_NO_THROW(WriteIndexFile(dir_.file("x.idx"), {{"a", 1}, {"a", 2}}, 6, true));
}

TEST_F(IndexEngineTest, CacheReplacesTheLeastRecentlyUsedPage) {
  auto& eng = ShortKeyEngine();
  TIndexCtl ctl;
  ASSERT_TRUE(eng.OpenIndex(ctl, LargeTree(), 6, false));
  bool found = false;
  int32_t ref = 0;
  // Pages used between every two searches elsewhere stay cached however many others pass
  // through; a first-in-first-out cache would lose them after 25 loads.
  ASSERT_TRUE(eng.Find(ctl, Key(0, 6), found, ref));
  for (int i = 1; i <= 40; ++i) {
    ASSERT_TRUE(eng.Find(ctl, Key(i * 2 * 1400, 6), found, ref));
    const uint64_t before = eng.PageReads();
    ASSERT_TRUE(eng.Find(ctl, Key(0, 6), found, ref));
    ASSERT_TRUE(found);
    EXPECT_EQ(eng.PageReads(), before) << "after search " << i;
  }
  EXPECT_TRUE(eng.CloseIndex(ctl));
}
