#pragma once
// Writes a read-only B-tree index file (order 40) from items sorted by (key, reference).
#include <cstdint>
#include <string>
#include <vector>

struct TIndexItem {
  std::string key;  // at most the file's key length; longer keys are cut
  int32_t ref = 0;
};

// Header bytes 0..3 of an index file written here.
constexpr char kIndexMagic[4] = {'T', 'M', 'K', 'I'};

// Writes items (which must be sorted by (key, ref) with unsigned byte comparison; equal keys only
// when duplicates is set) as an index of the given key length (1..15). Every page but the root
// holds 40..80 items. Returns false with the last error code set on a write failure; throws
// std::invalid_argument for unsorted input or a bad key length.
bool WriteIndexFile(const std::string& path, std::vector<TIndexItem> items, int keyLength,
                    bool duplicates);

// Sorts items the way the index orders them: by key (unsigned bytes, prefix first), then ref.
void SortIndexItems(std::vector<TIndexItem>& items);
