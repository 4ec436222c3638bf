#pragma once
// Word list of one database: the word index (.idx, long-key index of key length 15, unique) and
// the reference file (.vws: for each word a 32-bit count followed by that many ascending entry
// references, no header).
//
// Words are split and folded as UWordFold describes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/UStatus.h"
#include "storage/UIndexWriter.h"
#include "textsearch/UWordFold.h"

class TWordIndexBuilder {
 public:
  TWordIndexBuilder();
  ~TWordIndexBuilder();
  TWordIndexBuilder(const TWordIndexBuilder&) = delete;
  TWordIndexBuilder& operator=(const TWordIndexBuilder&) = delete;

  // The words of entry 0, 1, 2 ... in turn, each between BeginEntry and EndEntry (a word given
  // twice for one entry is listed once).
  void BeginEntry();
  void AddText(std::string_view text, uint8_t tag = wtNone);
  void EndEntry();

  size_t EntryCount() const { return starts_.size(); }
  // Words listed by Finish.
  size_t WordCount() const { return listed_; }
  // References listed by Finish.
  uint64_t ReferenceCount() const { return written_; }

  // Lays out the word index and the reference file for the entries in `order` (entry numbers in
  // ascending reference order; entries not in it are left out), refOf[entry] being the entry's
  // reference. Words that only left-out entries have are not listed. Throws std::length_error
  // when the reference file would pass 2 GiB (offsets are 32-bit), std::invalid_argument when the
  // references are not ascending. Touches no file (may run on any thread).
  void Finish(const std::vector<uint32_t>& order, const std::vector<int32_t>& refOf);
  // Writes what Finish laid out; a write failure as "cannot write <path>: <reason>".
  TStatus Write(const std::string& idxPath, const std::string& vwsPath);

 private:
  struct TKey {
    uint8_t len = 0;
    char text[kWordKeyLength] = {};
    std::string_view View() const { return {text, len}; }
  };
  uint32_t Intern(const TKey& key);
  void AddWord(const char* word, size_t len);
  void Grow();

  std::vector<TKey> keys_;  // word id -> word
  struct TSlot {
    TKey key;
    uint32_t id = 0;  // word id + 1, 0 = empty
  };
  std::vector<TSlot> table_;       // open addressing
  std::vector<uint32_t> ids_;      // word ids of all entries, entry by entry
  std::vector<uint64_t> starts_;   // entry i's ids start at starts_[i]
  std::vector<uint32_t> current_;  // ids of the entry being added
  bool inEntry_ = false;
  uint64_t written_ = 0;
  size_t listed_ = 0;
  std::string vws_;                // laid out by Finish
  std::vector<TIndexItem> items_;  // laid out by Finish
};
