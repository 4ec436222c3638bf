#include "storage/UIndexEngine.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "common/ULittleEndian.h"

namespace {
// Serials are unique in the program: a page cache never takes another engine's opening for its own.
std::atomic<uint64_t> g_nextSerial{1};
thread_local TIndexEngines* g_threadEngines = nullptr;

// Unsigned byte comparison, a proper prefix first.
int CompareKeys(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  const int c = std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

constexpr int kPageCount = 0;
constexpr int kPageLeft = 1;
constexpr int kItemRef = 0;
constexpr int kItemChild = 4;
constexpr int kItemKey = 8;
}  // namespace

struct TIndexEngine::TSlot {
  std::vector<uint8_t> page;
  uint64_t owner = 0;
  int32_t pageNr = 0;
};

struct TIndexEngine::TCache {
  std::array<TSlot, kIndexCacheSlots> slots;
  std::array<int, kIndexCacheSlots> lru{};  // slot numbers, least recently used first
  std::vector<uint8_t> scratch;             // one record as read from the file
};

TIndexEngine::TIndexEngine(int maxKeyLength, int stride)
    : maxKeyLength_(maxKeyLength), stride_(stride) {}

TIndexEngine::~TIndexEngine() = default;

bool TIndexEngine::AllocateCache() {
  if (cache_) return true;
  try {
    auto c = std::make_unique<TCache>();
    for (int i = 0; i < kIndexCacheSlots; ++i) {
      c->slots[static_cast<size_t>(i)].page.assign(
          static_cast<size_t>(5 + kIndexMaxItems * stride_), 0);
      c->lru[static_cast<size_t>(i)] = i;
    }
    c->scratch.assign(static_cast<size_t>(IndexPageSize(maxKeyLength_)), 0);
    cache_ = std::move(c);
    pageReads_ = 0;
    return true;
  } catch (const std::bad_alloc&) {
    SetLastErrorCode(1005);
    return false;
  }
}

void TIndexEngine::FreeCache() { cache_.reset(); }

bool TIndexEngine::OpenIndex(TIndexCtl& ctl, const std::string& fileName, int keyLength,
                             bool duplicates) {
  ctl.file.Close();
  ctl.header = {};
  ctl.fileSize = 0;
  ctl.duplicates = false;
  ctl.keyLength = 0;
  ctl.root = 0;
  ctl.depth = 0;
  ctl.path = {};
  ctl.serial = 0;
  if (!cache_) {
    SetLastErrorCode(1005);
    return false;
  }
  if (!ctl.file.Open(fileName, true)) return false;
  if (keyLength < 1 || keyLength > maxKeyLength_) {
    ctl.file.Close();
    SetLastErrorCode(1002);
    return false;
  }
  const int pageSize = IndexPageSize(keyLength);
  uint8_t* rec = cache_->scratch.data();
  if (!ctl.file.ReadExact(0, rec, pageSize)) {
    const int code = LastErrorCode();  // the read's own code; 100 when it gave no data
    ctl.file.Close();
    SetLastErrorCode(code);
    return false;
  }
  std::memcpy(ctl.header.data(), rec, ctl.header.size());
  ctl.fileSize = ctl.file.Size() / pageSize;
  if ((ctl.header[12] | ctl.header[13] << 8) != pageSize) {
    ctl.file.Close();
    SetLastErrorCode(1004);
    return false;
  }
  ctl.duplicates = duplicates;
  ctl.keyLength = keyLength;
  ctl.root = GetI32(ctl.header.data() + 8);
  ctl.depth = 0;
  ctl.serial = g_nextSerial++;
  SetLastErrorCode(0);
  return true;
}

bool TIndexEngine::CloseIndex(TIndexCtl& ctl) {
  // Cached pages of the closed file can no longer match: the next opening gets a new serial.
  ctl.depth = 0;
  ctl.serial = 0;
  return ctl.file.Close();
}

uint8_t* TIndexEngine::FetchPage(TIndexCtl& ctl, int32_t page) {
  if (!cache_) {
    SetLastErrorCode(1005);
    return nullptr;
  }
  if (!ctl.file.IsOpen()) {
    SetLastErrorCode(103);
    return nullptr;
  }
  auto& lru = cache_->lru;
  int slotNr = -1;
  for (int i = 0; i < kIndexCacheSlots; ++i) {
    const TSlot& s = cache_->slots[static_cast<size_t>(i)];
    if (s.owner == ctl.serial && s.pageNr == page) {
      slotNr = i;
      break;
    }
  }
  if (slotNr < 0) {
    if (page < 1 || page >= ctl.fileSize) {  // outside the file: the read gives no data
      SetLastErrorCode(100);
      return nullptr;
    }
    slotNr = lru[0];
    TSlot& s = cache_->slots[static_cast<size_t>(slotNr)];
    s.owner = 0;
    const int itemSize = ctl.keyLength + 9;
    const int pageSize = IndexPageSize(ctl.keyLength);
    const int64_t at = static_cast<int64_t>(page) * pageSize;
    const uint8_t* rec = ctl.file.View(at, pageSize);  // mapped: widened straight from the file
    if (!rec) {
      rec = cache_->scratch.data();
      if (!ctl.file.ReadExact(at, cache_->scratch.data(), pageSize))
        return nullptr;  // the read's own code; 100 when it gave no data
    }
    ++pageReads_;
    bool corrupt = false;
    const bool read = GuardMappedRead([&] {
      if (rec[kPageCount] > kIndexMaxItems) {
        corrupt = true;
        return;
      }
      std::memcpy(s.page.data(), rec, 5);
      // Only the page's items are looked at.
      if (itemSize == stride_) {
        std::memcpy(s.page.data() + 5, rec + 5, static_cast<size_t>(s.page[kPageCount] * itemSize));
      } else {
        for (int i = s.page[kPageCount]; i >= 1; --i)
          std::memcpy(s.page.data() + 5 + (i - 1) * stride_, rec + 5 + (i - 1) * itemSize,
                      static_cast<size_t>(itemSize));
      }
    });
    if (!read) return nullptr;  // the slot stays unowned
    if (corrupt) {
      SetLastErrorCode(kCorruptIndexCode);
      return nullptr;
    }
    s.owner = ctl.serial;
    s.pageNr = page;
  }
  // Move the slot to the end of the least-recently-used list.
  auto it = std::find(lru.begin(), lru.end(), slotNr);
  std::rotate(it, it + 1, lru.end());
  SetLastErrorCode(0);
  return cache_->slots[static_cast<size_t>(slotNr)].page.data();
}

bool TIndexEngine::Push(TIndexCtl& ctl, int32_t page, int32_t item) {
  if (ctl.depth >= kIndexMaxDepth) {  // deeper than any valid tree: a cycle or a corrupt file
    ctl.depth = 0;
    SetLastErrorCode(kCorruptIndexCode);
    return false;
  }
  ctl.path[static_cast<size_t>(ctl.depth)] = {page, item};
  ++ctl.depth;
  return true;
}

std::string_view TIndexEngine::ItemKey(const TIndexCtl& ctl, const uint8_t* item) const {
  const int len = std::min<int>(item[kItemKey], ctl.keyLength);
  return {reinterpret_cast<const char*>(item + kItemKey + 1), static_cast<size_t>(len)};
}

bool TIndexEngine::Find(TIndexCtl& ctl, std::string_view key, bool& found, int32_t& ref) {
  found = false;
  const std::string_view k = key.substr(0, static_cast<size_t>(ctl.keyLength));
  ctl.depth = 0;
  int32_t pageNr = ctl.root;
  while (pageNr != 0) {
    if (!Push(ctl, pageNr, 0)) return false;
    uint8_t* page = FetchPage(ctl, pageNr);
    if (!page) {
      ctl.depth = 0;
      return false;
    }
    const int m = page[kPageCount];
    int L = 1, R = m, k_ = 0;
    while (L <= R) {
      k_ = (L + R) / 2;
      const uint8_t* item = Item(page, k_);
      int c = CompareKeys(k, ItemKey(ctl, item));
      if (c == 0 && ctl.duplicates && GetI32(item + kItemRef) != 0) c = -1;
      if (c <= 0) R = k_ - 1;
      if (c >= 0) L = k_ + 1;
    }
    if (L - R > 1) {
      ctl.path[static_cast<size_t>(ctl.depth - 1)].item = k_;
      found = true;
      ref = GetI32(Item(page, k_) + kItemRef);
      SetLastErrorCode(0);
      return true;
    }
    ctl.path[static_cast<size_t>(ctl.depth - 1)].item = R;
    pageNr = R == 0 ? GetI32(page + kPageLeft) : GetI32(Item(page, R) + kItemChild);
  }
  while (ctl.depth > 1 && ctl.path[static_cast<size_t>(ctl.depth - 1)].item == 0) --ctl.depth;
  if (ctl.depth == 1 && ctl.path[0].item == 0) ctl.depth = 0;
  SetLastErrorCode(0);
  return true;
}

bool TIndexEngine::FindNext(TIndexCtl& ctl, bool& found, std::string& key, int32_t& ref) {
  found = false;
  int32_t c;
  if (ctl.depth == 0) {
    c = ctl.root;
  } else {
    const auto& top = ctl.path[static_cast<size_t>(ctl.depth - 1)];
    uint8_t* page = FetchPage(ctl, top.page);
    if (!page) return false;
    c = top.item == 0 ? GetI32(page + kPageLeft) : GetI32(Item(page, top.item) + kItemChild);
  }
  while (c != 0) {
    if (!Push(ctl, c, 0)) return false;
    uint8_t* page = FetchPage(ctl, c);
    if (!page) {
      ctl.depth = 0;
      return false;
    }
    c = GetI32(page + kPageLeft);
  }
  if (ctl.depth == 0) {  // empty tree
    SetLastErrorCode(0);
    return true;
  }
  uint8_t* page = nullptr;
  for (;;) {
    auto& top = ctl.path[static_cast<size_t>(ctl.depth - 1)];
    page = FetchPage(ctl, top.page);
    if (!page) return false;
    if (ctl.depth > 1 && top.item >= page[kPageCount])
      --ctl.depth;
    else
      break;
  }
  auto& top = ctl.path[static_cast<size_t>(ctl.depth - 1)];
  if (top.item < page[kPageCount]) {
    ++top.item;
    const uint8_t* item = Item(page, top.item);
    key = std::string(ItemKey(ctl, item).substr(0, static_cast<size_t>(maxKeyLength_)));
    ref = GetI32(item + kItemRef);
    found = true;
  } else {
    ctl.depth = 0;
  }
  SetLastErrorCode(0);
  return true;
}

bool TIndexEngine::FindPrevItem(TIndexCtl& ctl, bool& found, std::string& key, int32_t& ref) {
  found = false;
  int32_t sub;
  if (ctl.depth > 0) {
    auto& top = ctl.path[static_cast<size_t>(ctl.depth - 1)];
    uint8_t* page = FetchPage(ctl, top.page);
    if (!page) return false;
    if (top.item > 0) {
      --top.item;
      sub = top.item == 0 ? GetI32(page + kPageLeft) : GetI32(Item(page, top.item) + kItemChild);
    } else {
      sub = 0;
    }
  } else {
    sub = ctl.root;
  }
  while (sub != 0) {
    uint8_t* page = FetchPage(ctl, sub);
    if (!page) {
      ctl.depth = 0;
      return false;
    }
    const int m = page[kPageCount];
    if (!Push(ctl, sub, m)) return false;
    sub = m == 0 ? GetI32(page + kPageLeft) : GetI32(Item(page, m) + kItemChild);
  }
  while (ctl.depth > 1 && ctl.path[static_cast<size_t>(ctl.depth - 1)].item == 0) --ctl.depth;
  if (ctl.depth == 0 || ctl.path[static_cast<size_t>(ctl.depth - 1)].item < 1) {
    ctl.depth = 0;
    SetLastErrorCode(0);
    return true;
  }
  const auto& top = ctl.path[static_cast<size_t>(ctl.depth - 1)];
  uint8_t* page = FetchPage(ctl, top.page);
  if (!page) return false;
  const uint8_t* item = Item(page, top.item);
  key = std::string(ItemKey(ctl, item).substr(0, static_cast<size_t>(maxKeyLength_)));
  ref = GetI32(item + kItemRef);
  found = true;
  SetLastErrorCode(0);
  return true;
}

bool TIndexEngine::FindKey(TIndexCtl& ctl, std::string_view key, bool& found, int32_t& ref) {
  const int32_t incoming = ref;
  if (!Find(ctl, key, found, ref)) return false;
  if (!found && ctl.duplicates) {
    bool nextFound = false;
    std::string nextKey;
    if (!FindNext(ctl, nextFound, nextKey, ref)) return false;
    if (!nextFound) ref = incoming;
    found = nextFound && nextKey == key.substr(0, static_cast<size_t>(ctl.keyLength));
  }
  return true;
}

TIndexEngines::TIndexEngines() {
  if (!shortKeys.AllocateCache() || !longKeys.AllocateCache()) throw std::bad_alloc();
}

TIndexEngines* UseThreadIndexEngines(TIndexEngines* engines) {
  return std::exchange(g_threadEngines, engines);
}

namespace {
TShortKeyEngine& ProgramShortKeyEngine() {
  static TShortKeyEngine engine;
  return engine;
}

TLongKeyEngine& ProgramLongKeyEngine() {
  static TLongKeyEngine engine;
  return engine;
}
}  // namespace

TShortKeyEngine& ShortKeyEngine() {
  return g_threadEngines ? g_threadEngines->shortKeys : ProgramShortKeyEngine();
}

TLongKeyEngine& LongKeyEngine() {
  return g_threadEngines ? g_threadEngines->longKeys : ProgramLongKeyEngine();
}

bool AllocIndexCaches() {
  return ProgramShortKeyEngine().AllocateCache() && ProgramLongKeyEngine().AllocateCache();
}

void FreeIndexCaches() {
  ProgramShortKeyEngine().FreeCache();
  ProgramLongKeyEngine().FreeCache();
}
