#include "storage/UIndexWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/IOUtil.h"
#include "common/ULittleEndian.h"
#include "storage/UIndexEngine.h"

namespace {

int CompareItems(const TIndexItem& a, const TIndexItem& b) {
  const size_t n = std::min(a.key.size(), b.key.size());
  const int c = std::memcmp(a.key.data(), b.key.data(), n);
  if (c != 0) return c;
  if (a.key.size() != b.key.size()) return a.key.size() < b.key.size() ? -1 : 1;
  return a.ref < b.ref ? -1 : (a.ref > b.ref ? 1 : 0);
}

// Bulk loader: lays out a B-tree of order 40 whose pages (but the root) hold 40..80 items, with
// subtrees of one level of equal size, pages numbered in pre-order (root = 1).
class TTreeBuilder {
 public:
  TTreeBuilder(const std::vector<TIndexItem>& items, int keyLength)
      : items_(items), keyLength_(keyLength), pageSize_(IndexPageSize(keyLength)) {
    minItems_.push_back(0);
    maxItems_.push_back(0);
    // Height h: a tree of h levels holds minItems_[h]..maxItems_[h] items (non-root pages full
    // enough); maxItems_ grows fast, so a few levels cover any 32-bit count.
    while (maxItems_.back() < static_cast<int64_t>(items.size())) {
      const int64_t lo = minItems_.back(), hi = maxItems_.back();
      minItems_.push_back(kIndexOrder + (kIndexOrder + 1) * lo);
      maxItems_.push_back(kIndexMaxItems + (kIndexMaxItems + 1) * hi);
    }
  }

  // Returns the file image; root page number in the header.
  std::vector<uint8_t> Build() {
    image_.assign(static_cast<size_t>(pageSize_), 0);  // header page
    const int height = static_cast<int>(maxItems_.size()) - 1;
    int32_t root = 0;
    if (!items_.empty()) root = BuildSubtree(0, static_cast<int64_t>(items_.size()), height, true);
    uint8_t* h = image_.data();
    std::memcpy(h, kIndexMagic, 4);
    PutI32(h + 4, static_cast<int32_t>(items_.size()));
    PutI32(h + 8, root);
    h[12] = static_cast<uint8_t>(pageSize_);
    h[13] = static_cast<uint8_t>(pageSize_ >> 8);
    return std::move(image_);
  }

 private:
  int32_t NewPage() {
    const auto nr = static_cast<int32_t>(image_.size() / static_cast<size_t>(pageSize_));
    image_.resize(image_.size() + static_cast<size_t>(pageSize_), 0);
    return nr;
  }

  uint8_t* Page(int32_t nr) {
    return image_.data() + static_cast<size_t>(nr) * static_cast<size_t>(pageSize_);
  }

  void SetItem(int32_t pageNr, int i, const TIndexItem& item, int32_t child) {
    uint8_t* p = Page(pageNr) + 5 + (i - 1) * (keyLength_ + 9);
    PutI32(p, item.ref);
    PutI32(p + 4, child);
    const size_t len = std::min(item.key.size(), static_cast<size_t>(keyLength_));
    p[8] = static_cast<uint8_t>(len);
    std::memcpy(p + 9, item.key.data(), len);
  }

  // Items [first, first + count) as a subtree of the given height; returns its page number.
  int32_t BuildSubtree(int64_t first, int64_t count, int height, bool isRoot) {
    const int32_t pageNr = NewPage();
    if (height == 1) {
      Page(pageNr)[0] = static_cast<uint8_t>(count);
      for (int64_t i = 0; i < count; ++i)
        SetItem(pageNr, static_cast<int>(i + 1), items_[static_cast<size_t>(first + i)], 0);
      return pageNr;
    }
    const int64_t childMax = maxItems_[static_cast<size_t>(height - 1)];
    int64_t children = (count + 1 + childMax) / (childMax + 1);  // ceil((count+1)/(childMax+1))
    children = std::max<int64_t>(children, isRoot ? 2 : kIndexOrder + 1);
    const int64_t below = count - (children - 1);
    const int64_t base = below / children, extra = below % children;
    Page(pageNr)[0] = static_cast<uint8_t>(children - 1);
    int64_t at = first;
    for (int64_t c = 0; c < children; ++c) {
      const int64_t n = base + (c < extra ? 1 : 0);
      const int32_t child = BuildSubtree(at, n, height - 1, false);
      at += n;
      if (c == 0) {
        PutI32(Page(pageNr) + 1, child);
      } else {
        // The separator before this child was stored when the previous child ended.
        uint8_t* p = Page(pageNr) + 5 + (static_cast<int>(c) - 1) * (keyLength_ + 9);
        PutI32(p + 4, child);
      }
      if (c + 1 < children) {
        SetItem(pageNr, static_cast<int>(c + 1), items_[static_cast<size_t>(at)], 0);
        ++at;
      }
    }
    return pageNr;
  }

  const std::vector<TIndexItem>& items_;
  int keyLength_;
  int pageSize_;
  std::vector<int64_t> minItems_, maxItems_;
  std::vector<uint8_t> image_;
};

}  // namespace

void SortIndexItems(std::vector<TIndexItem>& items) {
  std::sort(items.begin(), items.end(),
            [](const TIndexItem& a, const TIndexItem& b) { return CompareItems(a, b) < 0; });
}

bool WriteIndexFile(const std::string& path, std::vector<TIndexItem> items, int keyLength,
                    bool duplicates) {
  if (keyLength < 1 || keyLength > 15)
    throw std::invalid_argument("index key length must be 1..15");
  for (auto& it : items)
    if (it.key.size() > static_cast<size_t>(keyLength))
      it.key.resize(static_cast<size_t>(keyLength));
  for (size_t i = 1; i < items.size(); ++i) {
    const int c = CompareItems(items[i - 1], items[i]);
    const bool sameKey = items[i - 1].key == items[i].key;
    if (c >= 0 || (sameKey && !duplicates))
      throw std::invalid_argument("index items out of order or duplicate key at \"" + items[i].key +
                                  "\"");
  }
  const std::vector<uint8_t> image = TTreeBuilder(items, keyLength).Build();
  return WriteFileAtomically(path, std::string(image.begin(), image.end()));
}
