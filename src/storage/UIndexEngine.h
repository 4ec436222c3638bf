#pragma once
// Read-only B-tree index engine (order 40) with a 25-page cache shared by all files of a variant.
// The short-key variant takes keys up to 6 characters, the long-key one up to 15 and can also
// walk backwards. Operations return false on a file error and leave the last error code:
// the I/O code, 100 (page read returned no data), 154 (corrupt page: item count above 80, path
// deeper than 7 levels), 1002 (key too long), 1004 (page size mismatch), 1005 (no cache).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/IOUtil.h"

constexpr int kIndexOrder = 40;
constexpr int kIndexMaxItems = 2 * kIndexOrder;
constexpr int kIndexMaxDepth = 7;
constexpr int kIndexCacheSlots = 25;
constexpr int kCorruptIndexCode = 154;

inline constexpr int IndexPageSize(int keyLength) { return (keyLength + 9) * kIndexMaxItems + 5; }

// Index control block: one per open index file.
struct TIndexCtl {
  struct TPathEntry {
    int32_t page = 0;
    int32_t item = 0;
  };
  TReadOnlyFile file;
  std::array<uint8_t, 14> header{};
  int64_t fileSize = 0;  // records at opening
  bool duplicates = false;
  int keyLength = 0;
  int32_t root = 0;
  int depth = 0;
  std::array<TPathEntry, kIndexMaxDepth> path{};
  uint64_t serial = 0;  // identity of this opening in the page cache
};

class TIndexEngine {
 public:
  TIndexEngine(int maxKeyLength, int stride);
  virtual ~TIndexEngine();
  TIndexEngine(const TIndexEngine&) = delete;
  TIndexEngine& operator=(const TIndexEngine&) = delete;

  // The page cache; sets 1005 when it cannot be allocated.
  bool AllocateCache();
  void FreeCache();
  bool CacheAllocated() const { return cache_ != nullptr; }
  int MaxKeyLength() const { return maxKeyLength_; }

  bool OpenIndex(TIndexCtl& ctl, const std::string& fileName, int keyLength, bool duplicates);
  bool CloseIndex(TIndexCtl& ctl);
  // Exact search; sets the cursor (on the item, or just before the next greater key).
  bool Find(TIndexCtl& ctl, std::string_view key, bool& found, int32_t& ref);
  // Next item in key order; from depth 0 the smallest.
  bool FindNext(TIndexCtl& ctl, bool& found, std::string& key, int32_t& ref);
  // First item with this key (duplicates: the first of the equal keys); on a miss in a file
  // with duplicates ref becomes the next greater key's reference (unchanged when none).
  bool FindKey(TIndexCtl& ctl, std::string_view key, bool& found, int32_t& ref);

  // Pages read from files since the cache was allocated (for tests and benchmarks).
  uint64_t PageReads() const { return pageReads_; }

 protected:
  bool FindPrevItem(TIndexCtl& ctl, bool& found, std::string& key, int32_t& ref);

 private:
  struct TSlot;
  struct TCache;
  // Cached page n of ctl, widened to the stride; nullptr on failure (last error code set).
  uint8_t* FetchPage(TIndexCtl& ctl, int32_t page);
  bool Push(TIndexCtl& ctl, int32_t page, int32_t item);
  uint8_t* Item(uint8_t* page, int i) const { return page + 5 + (i - 1) * stride_; }
  std::string_view ItemKey(const TIndexCtl& ctl, const uint8_t* item) const;

  int maxKeyLength_;
  int stride_;
  std::unique_ptr<TCache> cache_;
  uint64_t pageReads_ = 0;
};

class TShortKeyEngine : public TIndexEngine {
 public:
  TShortKeyEngine() : TIndexEngine(6, 15) {}
};

class TLongKeyEngine : public TIndexEngine {
 public:
  TLongKeyEngine() : TIndexEngine(15, 24) {}
  // Previous item in key order; from depth 0 the greatest.
  bool FindPrev(TIndexCtl& ctl, bool& found, std::string& key, int32_t& ref) {
    return FindPrevItem(ctl, found, key, ref);
  }
};

// A pair of engines with caches of their own, for one thread: while a thread uses them
// (UseThreadIndexEngines), its ShortKeyEngine() and LongKeyEngine() are these, so threads with a
// pair each read index files at once. The caches are allocated here (throws std::bad_alloc).
struct TIndexEngines {
  TIndexEngines();
  TShortKeyEngine shortKeys;
  TLongKeyEngine longKeys;
};
// Makes engines the calling thread's (nullptr: the program's again); returns the ones before.
TIndexEngines* UseThreadIndexEngines(TIndexEngines* engines);

// The two engines of the program, or of the thread while it uses its own.
TShortKeyEngine& ShortKeyEngine();
TLongKeyEngine& LongKeyEngine();
// Allocates / frees both page caches of the program (program start and end).
bool AllocIndexCaches();
void FreeIndexCaches();
