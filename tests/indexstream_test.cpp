// Record store with free list and the read-write B-tree of order 40.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "storage/UIndexStream.h"

namespace {

int32_t LE32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                              uint32_t(p[3]) << 24);
}

std::string Payload(char fill, int size) { return std::string(size_t(size), fill); }

std::string ReadPayload(TDataStream& ds, int32_t n) {
  std::string buf(size_t(ds.RecordSize()), '\0');
  ds.Read(n, buf.data());
  return buf;
}

// ---------------------------------------------------------------------------------------------
// TDynMemoryStream

TEST(DynMemoryStream, GapsReadAsZerosAndReadsStopAtTheEnd) {
  TDynMemoryStream s;
  s.Seek(10, TDynMemoryStream::soBeginning);
  s.Write("ab", 2);
  EXPECT_EQ(s.Size(), 12);
  char buf[20];
  std::memset(buf, 'x', sizeof buf);
  s.Seek(0, TDynMemoryStream::soBeginning);
  EXPECT_EQ(s.Read(buf, 20), 12);
  EXPECT_EQ(std::string(buf, 12), std::string(10, '\0') + "ab");
  EXPECT_EQ(s.Read(buf, 5), 0);

  // Shrinking and growing again does not bring old bytes back.
  s.SetSize(11);
  s.SetSize(12);
  s.Seek(10, TDynMemoryStream::soBeginning);
  EXPECT_EQ(s.Read(buf, 2), 2);
  EXPECT_EQ(buf[0], 'a');
  EXPECT_EQ(buf[1], '\0');
  EXPECT_THROW(s.Seek(-1, TDynMemoryStream::soBeginning), std::runtime_error);
}

TEST(DynMemoryStream, LargeInitialCapacityIsReservedAtOnce) {
  TDynMemoryStream s(2000000);
  ASSERT_GE(s.Capacity(), 2000000);
  const uint8_t* block = nullptr;
  std::string chunk(4096, 'z');
  for (int64_t written = 0; written + 4096 <= 2000000; written += 4096) {
    s.Write(chunk.data(), 4096);
    if (!block) block = s.Memory();
    ASSERT_EQ(s.Memory(), block) << "moved after " << written;
  }
  // Growth keeps working past the reservation.
  s.Write(chunk.data(), 4096);
  s.Write(chunk.data(), 4096);
  EXPECT_GE(s.Capacity(), s.Size());
}

// ---------------------------------------------------------------------------------------------
// TDataStream

TEST(DataStream, NewStoreHeaderLayout) {
  TDataStream ds(12, 0);
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_EQ(ds.FreeCount(), 0);
  EXPECT_EQ(ds.FreeHead(), -1);
  ASSERT_GE(ds.Stream().Size(), 75);
  const uint8_t* h = ds.Stream().Memory();
  EXPECT_EQ(h[0], 0x1A);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 1), 50), std::string(50, ' '));
  EXPECT_EQ(LE32(h + 51), 100);
  EXPECT_EQ(LE32(h + 55), -1);
  EXPECT_EQ(LE32(h + 59), 0);
  EXPECT_EQ(LE32(h + 63), 0);
  EXPECT_EQ(LE32(h + 67), 12);
  EXPECT_EQ(LE32(h + 71), 0);
  EXPECT_EQ(ds.NewRecord(Payload('a', 12).data()), 1);
}

TEST(DataStream, FreedRecordsAreReusedLastFreedFirst) {
  TDataStream ds(8, 0);
  EXPECT_EQ(ds.NewRecord(Payload('1', 8).data()), 1);
  EXPECT_EQ(ds.NewRecord(Payload('2', 8).data()), 2);
  EXPECT_EQ(ds.NewRecord(Payload('3', 8).data()), 3);
  ds.FreeRecord(2);
  ds.FreeRecord(3);
  EXPECT_EQ(ds.FreeCount(), 2);
  EXPECT_EQ(ds.FreeHead(), 3);
  EXPECT_EQ(ds.ReadLink(3), 2);
  EXPECT_EQ(ds.ReadLink(2), -1);
  // The header in the stream follows every change.
  const uint8_t* h = ds.Stream().Memory();
  EXPECT_EQ(LE32(h + 55), 3);
  EXPECT_EQ(LE32(h + 59), 2);
  EXPECT_EQ(LE32(h + 63), 3);

  EXPECT_EQ(ds.NewRecord(Payload('c', 8).data()), 3);
  EXPECT_EQ(ds.NewRecord(Payload('b', 8).data()), 2);
  EXPECT_EQ(ds.NewRecord(Payload('d', 8).data()), 4);
  EXPECT_EQ(ds.FreeCount(), 0);
  EXPECT_EQ(ds.FreeHead(), -1);
  EXPECT_EQ(ds.RecordCount(), 4);
  EXPECT_EQ(ReadPayload(ds, 1), Payload('1', 8));
  EXPECT_EQ(ReadPayload(ds, 2), Payload('b', 8));
  EXPECT_EQ(ReadPayload(ds, 3), Payload('c', 8));
  EXPECT_EQ(ReadPayload(ds, 4), Payload('d', 8));
}

TEST(DataStream, ReadingAFreedRecordNamesIt) {
  TDataStream ds(4, 0);
  for (int i = 0; i < 3; ++i) ds.NewRecord("abcd");
  ds.FreeRecord(2);
  char buf[4];
  try {
    ds.Read(2, buf);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "DataStream.Read: Record (2) hat RecKennung <> RecordInUse");
  }
  // Freeing twice would hand the record out twice.
  EXPECT_THROW(ds.FreeRecord(2), std::runtime_error);
  EXPECT_EQ(ds.FreeCount(), 1);
  // Record numbers outside 1..count are refused instead of reading past the store.
  EXPECT_THROW(ds.Read(0, buf), std::runtime_error);
  EXPECT_THROW(ds.Read(4, buf), std::runtime_error);
  EXPECT_THROW(ds.Write(4, buf), std::runtime_error);
  EXPECT_THROW(ds.DirectMemAccess(-1), std::runtime_error);
  EXPECT_EQ(ds.RecordCount(), 3);
}

TEST(DataStream, SetHeaderSizeOnlyWhileUnused) {
  const std::string msg = "SetHeaderSize ist nur f\xFCr unbenutzte Datastreams zul\xE4ssig";
  TDataStream ds(4, 0);
  ds.NewRecord("abcd");
  ds.FreeRecord(1);
  try {
    ds.SetHeaderSize(10);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), msg);
  }
  EXPECT_EQ(ds.UserHeaderSize(), 0);

  TDataStream fresh(4, 0);
  EXPECT_NO_THROW(fresh.SetHeaderSize(10));
  EXPECT_EQ(LE32(fresh.Stream().Memory() + 71), 10);
  fresh.NewRecord("wxyz");
  EXPECT_THROW(fresh.SetHeaderSize(0), std::runtime_error);
}

TEST(DataStream, UserHeaderAndPayloadOffsets) {
  constexpr int32_t kRecSize = 10;
  constexpr int32_t kUserHeader = 7;
  TDataStream ds(kRecSize, 0);
  ds.SetHeaderSize(kUserHeader);
  ds.WriteUserHeader("USERHDR");
  char uh[kUserHeader];
  ds.ReadUserHeader(uh);
  EXPECT_EQ(std::string(uh, kUserHeader), "USERHDR");
  EXPECT_EQ(std::memcmp(ds.Stream().Memory() + 75, "USERHDR", kUserHeader), 0);

  for (char c = 'a'; c < 'f'; ++c) ds.NewRecord(Payload(c, kRecSize).data());
  for (int32_t n = 1; n <= 5; ++n) {
    const int64_t payloadPos = 75 + kUserHeader + int64_t(n - 1) * (kRecSize + 4) + 4;
    EXPECT_EQ(ds.DirectMemAccess(n) - ds.Stream().Memory(), payloadPos);
    EXPECT_EQ(LE32(ds.Stream().Memory() + payloadPos - 4), TDataStream::RecordInUse);
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(ds.Stream().Memory() + payloadPos), kRecSize),
        Payload(char('a' + n - 1), kRecSize));
  }
  // Changes through the pointer are the record.
  std::memcpy(ds.DirectMemAccess(3), "0123456789", 10);
  EXPECT_EQ(ReadPayload(ds, 3), "0123456789");
}

TEST(DataStream, PagesKeepTheirContentWhenTheBlockMoves) {
  TDataStream ds(100, 0);
  const int32_t first = ds.NewRecord(Payload('q', 100).data());
  std::memcpy(ds.DirectMemAccess(first), "kept", 4);
  const uint8_t* before = ds.Stream().Memory();
  for (int i = 0; i < 2000; ++i) ds.NewRecord(Payload(char('a' + i % 26), 100).data());
  EXPECT_NE(ds.Stream().Memory(), before) << "the test needs the block to move";
  EXPECT_EQ(std::memcmp(ds.DirectMemAccess(first), "kept", 4), 0);
  EXPECT_EQ(ReadPayload(ds, 2001), Payload(char('a' + 1999 % 26), 100));
}

// ---------------------------------------------------------------------------------------------
// TIndexStream: a structural checker.

// Walks the whole tree through the raw page bytes of the store and checks what every B-tree of
// order 40 must satisfy; hands every item, in tree order, to visit(key, ref).
class TTreeChecker {
 public:
  explicit TTreeChecker(TIndexStream& ix) : ix_(ix), ds_(ix.Store()) {}

  template <class Visit>
  void Check(Visit&& visit) {
    seen_.assign(size_t(ds_.RecordCount()) + 1, false);
    pagesInTree_ = 0;
    items_ = 0;
    leafDepth_ = -1;
    const int32_t root = ix_.RootPage();
    if (root == 0) {
      EXPECT_EQ(ix_.KeyCount(), 0);
    } else {
      Walk(root, 0, true, visit);
    }
    EXPECT_EQ(items_, ix_.KeyCount());

    // Every page is either in the tree or on the free list.
    int32_t f = ds_.FreeHead();
    for (int32_t i = 0; i < ds_.FreeCount(); ++i) {
      ASSERT_GE(f, 1);
      ASSERT_LE(f, ds_.RecordCount());
      ASSERT_FALSE(seen_[size_t(f)]) << "page " << f << " is free twice or free and in the tree";
      seen_[size_t(f)] = true;
      f = Mark(f);
      ASSERT_NE(f, TDataStream::RecordInUse);
    }
    EXPECT_EQ(f, -1) << "free list does not end after FreeCount records";
    EXPECT_EQ(pagesInTree_ + ds_.FreeCount(), ds_.RecordCount()) << "pages leaked";

    // The index header follows the object.
    const uint8_t* uh = ds_.Stream().Memory() + TDataStream::kHeaderSize;
    EXPECT_EQ(LE32(uh + 6), ix_.KeyCount());
    EXPECT_EQ(LE32(uh + 22), root);
  }

 private:
  int32_t Mark(int32_t page) const {
    return LE32(ds_.Stream().Memory() + ds_.RecordPosition(page));
  }
  const uint8_t* Page(int32_t page) const {
    return ds_.Stream().Memory() + ds_.RecordPosition(page) + 4;
  }

  template <class Visit>
  void Walk(int32_t page, int depth, bool isRoot, Visit& visit) {
    ASSERT_GE(page, 1);
    ASSERT_LE(page, ds_.RecordCount());
    ASSERT_FALSE(seen_[size_t(page)]) << "page " << page << " reached twice";
    seen_[size_t(page)] = true;
    ++pagesInTree_;
    ASSERT_EQ(Mark(page), TDataStream::RecordInUse) << "page " << page;
    ASSERT_LT(depth, TIndexStream::kMaxDepth);
    const uint8_t* p = Page(page);
    const int m = p[0];
    if (isRoot) {
      ASSERT_GE(m, 1) << "empty root";
    } else {
      ASSERT_GE(m, TIndexStream::N) << "page " << page << " underfull";
    }
    ASSERT_LE(m, TIndexStream::kMaxItems);
    const int itemSize = ix_.KeyLength() + 9;
    const int32_t left = LE32(p + 1);
    const bool leaf = left == 0;
    if (leaf) {
      if (leafDepth_ < 0) leafDepth_ = depth;
      ASSERT_EQ(depth, leafDepth_) << "leaves at different depths";
    } else {
      Walk(left, depth + 1, false, visit);
    }
    // Plain checks per item: this runs millions of times.
    for (int i = 1; i <= m; ++i) {
      const uint8_t* item = p + 5 + (i - 1) * itemSize;
      const int32_t child = LE32(item + 4);
      if (item[8] > ix_.KeyLength() || (child == 0) != leaf) {
        ADD_FAILURE() << "page " << page << " item " << i << ": key length " << int(item[8])
                      << ", child " << child << (leaf ? " in a leaf" : " in an inner page");
        return;
      }
      ++items_;
      visit(std::string_view(reinterpret_cast<const char*>(item + 9), item[8]), LE32(item));
      if (child != 0) Walk(child, depth + 1, false, visit);
    }
  }

  TIndexStream& ix_;
  const TDataStream& ds_;
  std::vector<bool> seen_;
  int32_t pagesInTree_ = 0;
  int32_t items_ = 0;
  int leafDepth_ = -1;
};

// Tree order equals the reference container of (key, ref) pairs (std::string compares bytes as
// unsigned, a prefix first, which is the index's order).
template <class Container>
void ExpectSameAs(TIndexStream& ix, const Container& expected) {
  auto it = expected.begin();
  size_t i = 0;
  bool same = true;
  TTreeChecker(ix).Check([&](std::string_view key, int32_t ref) {
    if (!same) return;
    if (it == expected.end() || key != it->first || ref != it->second) {
      ADD_FAILURE() << "item " << i << " differs: " << key << " / " << ref;
      same = false;
      return;
    }
    ++it;
    ++i;
  });
  EXPECT_TRUE(!same || it == expected.end()) << "tree has " << i << " of " << expected.size();
}

std::string Key3(int i) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "k%03d", i);
  return buf;
}

// ---------------------------------------------------------------------------------------------
// TIndexStream

TEST(IndexStream, EmptyIndex) {
  TIndexStream ix(6, 0, false);
  int32_t ref = 99;
  EXPECT_FALSE(ix.Find("abc", ref));
  std::string key;
  EXPECT_FALSE(ix.FindNext(6, key, ref));
  EXPECT_EQ(ix.RootPage(), 0);
  EXPECT_FALSE(ix.Delete("abc", 0));
  EXPECT_EQ(ix.KeyCount(), 0);
  // Index header: constant 1, unique, key length 6, 80 items, page size, 40, root 0.
  const uint8_t* uh = ix.Store().Stream().Memory() + 75;
  EXPECT_EQ(LE32(uh), 1);
  EXPECT_EQ(uh[4], 0);
  EXPECT_EQ(uh[5], 6);
  EXPECT_EQ(LE32(uh + 10), 80);
  EXPECT_EQ(LE32(uh + 14), (6 + 9) * 80 + 5);
  EXPECT_EQ(LE32(uh + 18), 40);
  EXPECT_EQ(ix.Store().RecordSize(), (6 + 9) * 80 + 5);
  EXPECT_EQ(ix.Store().UserHeaderSize(), 26);
}

TEST(IndexStream, RootSplitsIntoTwoHalvesInBothInsertOrders) {
  for (const bool ascending : {true, false}) {
    SCOPED_TRACE(ascending ? "ascending" : "descending");
    TIndexStream ix(6, 0, false);
    for (int i = 0; i < 80; ++i) {
      const int k = ascending ? i : 80 - i;
      ix.Insert(Key3(k), k);
    }
    EXPECT_EQ(ix.Store().RecordCount(), 1);
    ix.Insert(Key3(ascending ? 80 : 0), ascending ? 80 : 0);

    const int32_t root = ix.RootPage();
    ASSERT_EQ(ix.PageItemCount(root), 1);
    EXPECT_EQ(ix.PageKey(root, 1), Key3(40));
    EXPECT_EQ(ix.PageRef(root, 1), 40);
    const int32_t left = ix.PageChild(root, 0);
    const int32_t right = ix.PageChild(root, 1);
    ASSERT_EQ(ix.PageItemCount(left), 40);
    ASSERT_EQ(ix.PageItemCount(right), 40);
    EXPECT_EQ(ix.PageKey(left, 1), Key3(0));
    EXPECT_EQ(ix.PageKey(left, 40), Key3(39));
    EXPECT_EQ(ix.PageKey(right, 1), Key3(41));
    EXPECT_EQ(ix.PageKey(right, 40), Key3(80));
    EXPECT_EQ(ix.Store().RecordCount(), 3);
    EXPECT_EQ(ix.KeyCount(), 81);
  }
}

TEST(IndexStream, FindAndFindNextPositions) {
  TIndexStream ix(6, 0, false);
  std::map<std::string, int32_t> ref;
  // Every other key, ascending: half-full pages, three levels.
  for (int i = 0; i < 40000; i += 2) {
    ix.Insert(Key3(i / 10) + char('a' + i % 10), i);
    ref[Key3(i / 10) + char('a' + i % 10)] = i;
  }
  ExpectSameAs(ix, ref);
  const int32_t root = ix.RootPage();
  EXPECT_NE(ix.PageChild(ix.PageChild(root, 0), 0), 0) << "fewer than three levels";

  // Walk everything from no position.
  std::string key;
  int32_t r = 0;
  auto it = ref.begin();
  while (ix.FindNext(6, key, r)) {
    ASSERT_NE(it, ref.end());
    EXPECT_EQ(key, it->first);
    EXPECT_EQ(r, it->second);
    ++it;
  }
  EXPECT_EQ(it, ref.end());

  // Exact and next-greater positions for present and absent keys at every level.
  for (int i = 0; i < 40000; ++i) {
    const std::string probe = Key3(i / 10) + char('a' + i % 10);
    const bool present = ix.Find(probe, r);
    EXPECT_EQ(present, ref.count(probe) == 1) << probe;
    auto next = present ? std::next(ref.find(probe)) : ref.lower_bound(probe);
    if (present) {
      EXPECT_EQ(r, ref[probe]);
    }
    if (next == ref.end()) {
      EXPECT_FALSE(ix.FindNext(6, key, r)) << probe;
    } else {
      ASSERT_TRUE(ix.FindNext(6, key, r)) << probe;
      EXPECT_EQ(key, next->first) << probe;
    }
  }

  // Smaller than all: the next is the smallest; greater than all: nothing.
  EXPECT_FALSE(ix.Find("", r));
  ASSERT_TRUE(ix.FindNext(6, key, r));
  EXPECT_EQ(key, ref.begin()->first);
  EXPECT_FALSE(ix.Find("zzz", r));
  EXPECT_FALSE(ix.FindNext(6, key, r));
  // After running off the end the cursor starts again at the smallest key.
  ASSERT_TRUE(ix.FindNext(6, key, r));
  EXPECT_EQ(key, ref.begin()->first);
  // The key returned is cut to the length asked for.
  ASSERT_TRUE(ix.FindNext(2, key, r));
  EXPECT_EQ(key, "k0");
}

TEST(IndexStream, ExistingKeyIsRefusedAndNothingChanges) {
  TIndexStream ix(6, 0, false);
  std::map<std::string, int32_t> ref;
  for (int i = 0; i < 200; ++i) {
    ix.Insert(Key3(i), i);
    ref[Key3(i)] = i;
  }
  for (const int dup : {0, 57, 120, 199}) {
    try {
      ix.Insert(Key3(dup), 1000 + dup);
      FAIL() << "no exception for " << dup;
    } catch (const EIndexStreamError& e) {
      EXPECT_EQ(e.Code(), 1100);
      EXPECT_STREQ(e.what(), "Key is already defined");
    }
  }
  EXPECT_EQ(ix.KeyCount(), 200);
  ExpectSameAs(ix, ref);
  // A unique index ignores the reference when deleting.
  EXPECT_TRUE(ix.Delete(Key3(57), -5));
  EXPECT_FALSE(ix.Delete(Key3(57), 57));
  EXPECT_EQ(ix.KeyCount(), 199);
}

TEST(IndexStream, LongKeysAreCut) {
  TIndexStream ix(6, 0, false);
  ix.Insert("abcdefgh", 1);
  ix.Insert("ab", 2);
  int32_t r = 0;
  EXPECT_FALSE(ix.Find("abcdefgh", r));
  ASSERT_TRUE(ix.Find("abcdef", r));
  EXPECT_EQ(r, 1);
  EXPECT_THROW(ix.Insert("abcdefXY", 3), EIndexStreamError);
  EXPECT_EQ(ix.PageKey(ix.RootPage(), 2), "abcdef");
  // A proper prefix sorts first; bytes compare unsigned.
  ix.Insert("\xE4x", 4);
  ix.Insert("zz", 5);
  std::string key;
  std::vector<std::string> order;
  while (ix.FindNext(6, key, r)) order.push_back(key);
  EXPECT_EQ(order, (std::vector<std::string>{"ab", "abcdef", "zz", "\xE4x"}));
  // Keys are bytes: a zero byte is compared like any other.
  ix.Insert(std::string("a\0b", 3), 6);
  EXPECT_NO_THROW(ix.Insert(std::string("a\0c", 3), 7));
  ASSERT_TRUE(ix.Find(std::string("a\0c", 3), r));
  EXPECT_EQ(r, 7);
}

TEST(IndexStream, RandomInsertAndDeleteAgainstMap) {
  std::mt19937 rng(20240611);
  TIndexStream ix(6, 0, false);
  std::map<std::string, int32_t> ref;
  std::vector<std::string> keys;  // present keys, for picking deletions
  const std::string alphabet = "0123456789abcdefghijklmnopqrstuvwxyz<\xE4\xFC";
  auto randomKey = [&] {
    std::string k(size_t(1 + rng() % 8), ' ');  // up to 8: longer ones are cut to 6
    for (char& c : k) c = alphabet[rng() % alphabet.size()];
    return k;
  };
  auto check = [&](const char* what, int step) {
    SCOPED_TRACE(std::string(what) + " step " + std::to_string(step));
    ExpectSameAs(ix, ref);
  };

  int inserts = 0;
  int step = 0;
  while (inserts < 10000) {
    ++step;
    const unsigned dice = rng() % 100;
    if (dice < 70 || keys.empty()) {
      const std::string k = randomKey();
      const std::string stored = k.substr(0, 6);
      const int32_t r = int32_t(rng());
      if (ref.count(stored)) {
        EXPECT_THROW(ix.Insert(k, r), EIndexStreamError);
      } else {
        ix.Insert(k, r);
        ref[stored] = r;
        keys.push_back(stored);
        ++inserts;
      }
    } else if (dice < 95) {
      const size_t i = rng() % keys.size();
      int32_t r = 0;
      ASSERT_TRUE(ix.Find(keys[i], r));
      EXPECT_EQ(r, ref[keys[i]]);
      EXPECT_TRUE(ix.Delete(keys[i], r));
      ref.erase(keys[i]);
      keys[i] = keys.back();
      keys.pop_back();
    } else {
      const std::string k = randomKey();
      if (!ref.count(k)) {
        EXPECT_FALSE(ix.Delete(k, 0));
      }
    }
    check("mixed", step);
    if (HasFailure()) return;
  }

  std::shuffle(keys.begin(), keys.end(), rng);
  for (const auto& k : keys) {
    ++step;
    int32_t r = 0;
    ASSERT_TRUE(ix.Find(k, r));
    ASSERT_TRUE(ix.Delete(k, r));
    ref.erase(k);
    check("emptying", step);
    if (HasFailure()) return;
  }
  EXPECT_EQ(ix.RootPage(), 0);
  EXPECT_EQ(ix.KeyCount(), 0);
  EXPECT_GT(ix.Store().RecordCount(), 100);
  EXPECT_EQ(ix.Store().FreeCount(), ix.Store().RecordCount()) << "every page is freed";
}

// Deleting always at the left edge, always at the right edge, or always a key of the root makes
// every repair happen at every level: borrowing from the right and from the left neighbour,
// merging with either, and replacing a separator by the greatest key of a deep subtree.
TEST(IndexStream, DeletionRepairsPagesAtEveryLevel) {
  enum TOrder { kSmallestFirst, kGreatestFirst, kRootKeysFirst };
  for (const TOrder order : {kSmallestFirst, kGreatestFirst, kRootKeysFirst}) {
    SCOPED_TRACE("order " + std::to_string(order));
    std::mt19937 rng(1234 + order);
    TIndexStream ix(6, 0, false);
    std::map<std::string, int32_t> ref;
    while (ref.size() < 30000) {
      std::string k(6, ' ');
      for (char& c : k) c = char('a' + rng() % 26);
      if (ref.count(k)) continue;
      const int32_t r = int32_t(ref.size());
      ix.Insert(k, r);
      ref[k] = r;
    }
    ExpectSameAs(ix, ref);
    const int32_t root = ix.RootPage();
    ASSERT_NE(ix.PageChild(ix.PageChild(root, 0), 0), 0) << "fewer than three levels";

    int ops = 0;
    while (!ref.empty()) {
      std::string k;
      if (order == kSmallestFirst) {
        k = ref.begin()->first;
      } else if (order == kGreatestFirst) {
        k = std::prev(ref.end())->first;
      } else {
        const int32_t rp = ix.RootPage();
        k = ix.PageKey(rp, 1 + int32_t(rng() % uint32_t(ix.PageItemCount(rp))));
      }
      ASSERT_TRUE(ix.Delete(k, 0)) << k;
      ref.erase(k);
      if (++ops % 97 == 0 || ref.size() < 200) {
        ExpectSameAs(ix, ref);
        if (HasFailure()) return;
      }
    }
    EXPECT_EQ(ix.RootPage(), 0);
    EXPECT_EQ(ix.Store().FreeCount(), ix.Store().RecordCount());
  }
}

TEST(IndexStream, DuplicatesAreOrderedByReference) {
  std::mt19937 rng(77);
  TIndexStream ix(3, 0, true);
  std::set<std::pair<std::string, int32_t>> ref;
  std::vector<std::pair<std::string, int32_t>> present;
  const char* words[] = {"a", "ab", "abc", "b", "zz"};
  for (int step = 0; step < 6000; ++step) {
    if (rng() % 100 < 70 || present.empty()) {
      const std::string k = words[rng() % 5];
      const int32_t r = int32_t(rng() % 2001) - 1000;
      if (ref.count({k, r})) {
        EXPECT_THROW(ix.Insert(k, r), EIndexStreamError);  // same key and reference
        continue;
      }
      ix.Insert(k, r);
      ref.insert({k, r});
      present.push_back({k, r});
    } else {
      const size_t i = rng() % present.size();
      ASSERT_TRUE(ix.Delete(present[i].first, present[i].second));
      ref.erase(present[i]);
      present[i] = present.back();
      present.pop_back();
    }
    if (step % 50 == 0 || step > 5900) {
      ExpectSameAs(ix, ref);
      if (HasFailure()) return;
    }
  }
  ASSERT_GT(ix.KeyCount(), 500);

  // Find gives the first of equal keys; FindNext then lists the others by reference.
  for (const char* w : words) {
    const std::string k = w;
    int32_t r = 0;
    auto first = ref.lower_bound({k, INT32_MIN});
    ASSERT_TRUE(first != ref.end() && first->first == k);
    ASSERT_TRUE(ix.Find(k, r)) << k;
    EXPECT_EQ(r, first->second) << k;
    std::string key;
    int32_t prev = r;
    int n = 1;
    while (ix.FindNext(3, key, r) && key == k) {
      EXPECT_GT(r, prev);
      prev = r;
      ++n;
    }
    EXPECT_EQ(n, std::count_if(ref.begin(), ref.end(), [&](auto& p) { return p.first == k; }));
  }
  int32_t r = 0;
  EXPECT_FALSE(ix.Find("aa", r));
  // Deleting with a reference that is not there changes nothing.
  const int32_t before = ix.KeyCount();
  EXPECT_FALSE(ix.Delete("a", 5000));
  EXPECT_EQ(ix.KeyCount(), before);
}

}  // namespace
