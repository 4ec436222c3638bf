#pragma once
// Word list of one database: the word index (.idx, long-key index of key length 15, unique) and
// the reference file (.vws: for each word a 32-bit count followed by that many ascending entry
// references, no header).
//
// Words: ASCII letters lower-cased, code page 437 letters folded to their ASCII letters ("Müller"
// gives "muller"), split at every character that is not a letter, a digit or an apostrophe;
// apostrophes at either end of a word are dropped; cut to 15 characters. A tagged word (U.S.
// database) starts with its field tag byte, which counts as the first of the 15 characters.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Field tags of the U.S. word list.
enum TWordTag : uint8_t {
  wtNone = 0,
  wtState = 0x82,
  wtZIP = 0x83,
  wtLastName = 0x84,
  wtFirstName = 0x85,
  wtCounty = 0x86,
  wtCity = 0x87,
  wtPrevCall = 0x88
};

constexpr int kWordKeyLength = 15;

// The words of a text in the stored form, in the order they occur (duplicates kept).
std::vector<std::string> SplitWords(std::string_view text, uint8_t tag = wtNone);

class TWordIndexBuilder {
 public:
  TWordIndexBuilder();
  ~TWordIndexBuilder();
  TWordIndexBuilder(const TWordIndexBuilder&) = delete;
  TWordIndexBuilder& operator=(const TWordIndexBuilder&) = delete;

  // Entries are added in ascending reference order; the words of one entry between BeginEntry
  // and EndEntry (a word given twice for one entry is listed once).
  void BeginEntry(int32_t ref);
  void AddText(std::string_view text, uint8_t tag = wtNone);
  void EndEntry();

  size_t WordCount() const { return keys_.size(); }
  size_t ReferenceCount() const { return ids_.size(); }

  // Writes the word index and the reference file; false with `error` set on failure. Throws
  // std::length_error when the reference file would pass 2 GiB (offsets are 32-bit).
  bool Write(const std::string& idxPath, const std::string& vwsPath, std::string& error);

 private:
  struct TKey {
    uint8_t len = 0;
    char text[kWordKeyLength] = {};
    std::string_view View() const { return {text, len}; }
  };
  uint32_t Intern(const TKey& key);
  void AddWord(const char* word, size_t len);
  void Grow();

  std::vector<TKey> keys_;        // word id -> word
  std::vector<uint32_t> table_;   // open addressing: word id + 1, 0 = empty
  std::vector<uint32_t> counts_;  // word id -> number of entries
  std::vector<uint32_t> ids_;     // word ids of all entries, entry by entry
  std::vector<int32_t> refs_;     // entry references, ascending
  std::vector<uint64_t> starts_;  // entry i's ids start at starts_[i]
  std::vector<uint32_t> current_; // ids of the entry being added
  int32_t currentRef_ = -1;
  bool inEntry_ = false;
};
