#pragma once
// What an edition is made of, before it is written: entries of both databases with their fields
// (code page 437 texts), their sort keys, and the QSL managers list.
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "callbook/UCallbookRecord.h"
#include "dataset/UEdition.h"
#include "dataset/UEntry.h"

// The fields of an entry laid out as a record payload lays them out: a tag byte (1..31), then
// its text, one field after the other in one string. A text keeps no byte below 32 (such a byte
// would end the field) and a field with a tag outside 1..31 is not kept; both are counted in
// Dropped(). Iterating yields (tag, text) in stored order; texts are views into the list.
class TEntryFields {
 public:
  struct TField {
    int first;                // tag
    std::string_view second;  // text
  };

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TField;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = TField;
    const_iterator() = default;
    const_iterator(std::string_view bytes, size_t at) : bytes_(bytes), at_(at) {}
    TField operator*() const {
      return {static_cast<uint8_t>(bytes_[at_]), bytes_.substr(at_ + 1, TextEnd() - at_ - 1)};
    }
    const_iterator& operator++() {
      at_ = TextEnd();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const const_iterator& o) const { return at_ == o.at_; }
    size_t Offset() const { return at_; }

   private:
    size_t TextEnd() const {
      size_t i = at_ + 1;
      while (i < bytes_.size() && static_cast<uint8_t>(bytes_[i]) >= 32) ++i;
      return i;
    }
    std::string_view bytes_;
    size_t at_ = 0;
  };

  TEntryFields() = default;
  TEntryFields(std::initializer_list<std::pair<int, std::string_view>> fields) {
    for (const auto& [tag, text] : fields) emplace_back(tag, text);
  }

  TEntryFields(const std::vector<std::pair<int, std::string>>& fields) {
    for (const auto& [tag, text] : fields) emplace_back(tag, text);
  }
  std::vector<std::pair<int, std::string>> ToPairs() const {
    std::vector<std::pair<int, std::string>> v;
    for (const auto& [tag, text] : *this) v.emplace_back(tag, std::string(text));
    return v;
  }
  bool operator==(const std::vector<std::pair<int, std::string>>& v) const {
    return ToPairs() == v;
  }

  const_iterator begin() const { return {bytes_, 0}; }
  const_iterator end() const { return {bytes_, bytes_.size()}; }
  bool empty() const { return bytes_.empty(); }
  size_t size() const { return static_cast<size_t>(std::distance(begin(), end())); }
  // The i-th field (0-based); i must be below size(). Const, so that assigning to it does not
  // compile: SetText changes a field.
  const TField operator[](size_t i) const {
    return *std::next(begin(), static_cast<std::ptrdiff_t>(i));
  }

  void reserve(size_t bytes) { bytes_.reserve(bytes); }
  void clear() {
    bytes_.clear();
    dropped_ = 0;
  }
  void emplace_back(int tag, std::string_view text) { Insert(bytes_.size(), tag, text); }
  void push_back(const std::pair<int, std::string_view>& f) { emplace_back(f.first, f.second); }
  // Puts the field before the first field with a greater tag.
  void InsertByTag(int tag, std::string_view text) {
    auto it = begin();
    while (it != end() && (*it).first <= tag) ++it;
    Insert(it.Offset(), tag, text);
  }
  // Replaces the text of the i-th field.
  void SetText(size_t i, std::string_view text) {
    const auto it = std::next(begin(), static_cast<std::ptrdiff_t>(i));
    const TField f = *it;
    const size_t at = it.Offset();
    bytes_.erase(at, 1 + f.second.size());
    Insert(at, f.first, text);
  }
  // Replaces the text of the first field with this tag; false when there is none.
  bool Set(int tag, std::string_view text) {
    size_t i = 0;
    for (const TField f : *this) {
      if (f.first == tag) {
        SetText(i, text);
        return true;
      }
      ++i;
    }
    return false;
  }
  // Copies another list into this one with no spare room.
  void AssignCompact(const TEntryFields& o) {
    bytes_ = std::string(o.bytes_);
    dropped_ = o.dropped_;
  }

  std::string_view Bytes() const { return bytes_; }
  int Dropped() const { return dropped_; }
  bool operator==(const TEntryFields&) const = default;

 private:
  void Insert(size_t at, int tag, std::string_view text) {
    if (tag < 1 || tag > 31) {
      ++dropped_;
      return;
    }
    bool clean = true;
    for (const char c : text) clean &= static_cast<uint8_t>(c) >= 32;
    if (clean && at == bytes_.size()) {
      bytes_ += static_cast<char>(tag);
      bytes_.append(text);
      return;
    }
    std::string field(1, static_cast<char>(tag));
    field.reserve(1 + text.size());
    for (const char c : text)
      if (static_cast<uint8_t>(c) >= 32) field += c;
    bytes_.insert(at, field);
  }

  std::string bytes_;
  int dropped_ = 0;
};

struct TBuildEntry {
  TDatabase db = TDatabase::Intl;
  // Call signs (tag 1) are stored with "0" written as "<".
  TEntryFields fields;
  uint8_t mapNr = 0;
  // Sort-key sources for the U.S. orders (plain text; the writer makes the keys with
  // MakeSearchKey): the surname (club name for clubs), first name (empty for clubs).
  std::string surname;
  std::string firstName;

  std::optional<std::string_view> FindField(int tag) const {
    for (const auto f : fields)
      if (f.first == tag) return f.second;
    return std::nullopt;
  }
  std::string FieldOr(int tag, const std::string& dflt = {}) const {
    const auto f = FindField(tag);
    return f ? std::string(*f) : dflt;
  }
};

// One record of data\qslmgr.dat (record numbers start at 1; record 0 is the heading row).
struct TQslManager {
  std::string call;     // station served, at most 13 characters
  std::string manager;  // manager's call, at most 13 characters
  std::string info;     // at most 15 characters
  std::string date;     // "MMDDYYYY"
};

struct TBuildInput {
  std::string title;
  std::string fccWeekly, fccDaily;      // "YYYY-MM-DD" of the FCC files, for the manifest
  std::vector<TEditionSource> sources;  // what the entries were made of, for the manifest
  std::vector<TBuildEntry> intl;
  std::vector<TBuildEntry> us;
  // qslManagers[i] is record i + 1; entries refer to it by that number (Intl tag 6, U.S. tag 18).
  std::vector<TQslManager> qslManagers;
  // Written as data/entities.tsv; empty: no such file (as in an edition without the table).
  TEntityTable entities;
};
