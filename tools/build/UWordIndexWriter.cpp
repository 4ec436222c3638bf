#include "UWordIndexWriter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "common/IOUtil.h"
#include "storage/UIndexWriter.h"

namespace {

// ASCII spelling of the code page 437 letters 128..165 (nullptr: not a letter).
constexpr const char* kFold128[38] = {
    "c", "u", "e", "a", "a", "a", "a", "c", "e", "e", "e", "i", "i",     // 128..140
    "i", "a", "a", "e", "ae", "ae", "o", "o", "o", "u", "u", "y", "o",   // 141..153
    "u", nullptr, nullptr, nullptr, nullptr, nullptr,                    // 154..159
    "a", "i", "o", "u", "n", "n"};                                       // 160..165

// Letters a byte adds to a word; nullptr for a byte that ends the word.
inline const char* WordChars(unsigned char c, char& single) {
  if (c >= 'a' && c <= 'z') {
    single = static_cast<char>(c);
    return &single;
  }
  if (c >= 'A' && c <= 'Z') {
    single = static_cast<char>(c - 'A' + 'a');
    return &single;
  }
  if ((c >= '0' && c <= '9') || c == '\'') {
    single = static_cast<char>(c);
    return &single;
  }
  if (c >= 128 && c <= 165) return kFold128[c - 128];
  if (c == 225) return "ss";
  return nullptr;
}

// Calls f(word, length) for every word of text in its stored form.
template <typename F>
void ForEachWord(std::string_view text, uint8_t tag, F&& f) {
  char word[64];
  size_t len = 0;
  const auto flush = [&] {
    // Apostrophes at either end are quotation marks, not part of the word.
    size_t b = 0, e = len;
    while (b < e && word[b] == '\'') ++b;
    while (e > b && word[e - 1] == '\'') --e;
    if (e > b) {
      char out[kWordKeyLength];
      size_t n = 0;
      if (tag != wtNone) out[n++] = static_cast<char>(tag);
      const size_t take = std::min(e - b, static_cast<size_t>(kWordKeyLength) - n);
      std::memcpy(out + n, word + b, take);
      f(out, n + take);
    }
    len = 0;
  };
  for (const char ch : text) {
    char single;
    const char* letters = WordChars(static_cast<unsigned char>(ch), single);
    if (!letters) {
      if (len > 0) flush();
      continue;
    }
    const size_t n = letters == &single ? 1 : std::strlen(letters);
    if (len + n > sizeof word) continue;  // far past the 15 characters that are kept
    std::memcpy(word + len, letters, n);
    len += n;
  }
  if (len > 0) flush();
}

inline uint64_t HashKey(const char* p, size_t len) {
  uint64_t h = 0xcbf29ce484222325ull ^ len;
  for (size_t i = 0; i < len; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 0x100000001b3ull;
  return h ^ (h >> 29);
}

int CompareKeys(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void PutLE(std::string& out, size_t at, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  out[at] = static_cast<char>(u);
  out[at + 1] = static_cast<char>(u >> 8);
  out[at + 2] = static_cast<char>(u >> 16);
  out[at + 3] = static_cast<char>(u >> 24);
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view text, uint8_t tag) {
  std::vector<std::string> words;
  ForEachWord(text, tag, [&](const char* w, size_t n) { words.emplace_back(w, n); });
  return words;
}

TWordIndexBuilder::TWordIndexBuilder() { table_.assign(1u << 16, 0); }

TWordIndexBuilder::~TWordIndexBuilder() = default;

void TWordIndexBuilder::Grow() {
  std::vector<uint32_t> bigger(table_.size() * 2, 0);
  const size_t mask = bigger.size() - 1;
  for (uint32_t id = 0; id < keys_.size(); ++id) {
    size_t i = HashKey(keys_[id].text, keys_[id].len) & mask;
    while (bigger[i] != 0) i = (i + 1) & mask;
    bigger[i] = id + 1;
  }
  table_.swap(bigger);
}

uint32_t TWordIndexBuilder::Intern(const TKey& key) {
  size_t mask = table_.size() - 1;
  size_t i = HashKey(key.text, key.len) & mask;
  while (table_[i] != 0) {
    const TKey& k = keys_[table_[i] - 1];
    if (k.len == key.len && std::memcmp(k.text, key.text, key.len) == 0) return table_[i] - 1;
    i = (i + 1) & mask;
  }
  const auto id = static_cast<uint32_t>(keys_.size());
  keys_.push_back(key);
  counts_.push_back(0);
  table_[i] = id + 1;
  if (keys_.size() * 2 > table_.size()) Grow();
  return id;
}

void TWordIndexBuilder::AddWord(const char* word, size_t len) {
  TKey key;
  key.len = static_cast<uint8_t>(len);
  std::memcpy(key.text, word, len);
  current_.push_back(Intern(key));
}

void TWordIndexBuilder::BeginEntry(int32_t ref) {
  if (inEntry_) EndEntry();
  if (!refs_.empty() && ref <= refs_.back())
    throw std::invalid_argument("word list entries must come in ascending reference order");
  currentRef_ = ref;
  current_.clear();
  inEntry_ = true;
}

void TWordIndexBuilder::AddText(std::string_view text, uint8_t tag) {
  if (!inEntry_) throw std::logic_error("AddText outside an entry");
  ForEachWord(text, tag, [this](const char* w, size_t n) { AddWord(w, n); });
}

void TWordIndexBuilder::EndEntry() {
  if (!inEntry_) return;
  inEntry_ = false;
  if (current_.empty()) return;
  std::sort(current_.begin(), current_.end());
  current_.erase(std::unique(current_.begin(), current_.end()), current_.end());
  refs_.push_back(currentRef_);
  starts_.push_back(ids_.size());
  for (uint32_t id : current_) {
    ids_.push_back(id);
    ++counts_[id];
  }
}

bool TWordIndexBuilder::Write(const std::string& idxPath, const std::string& vwsPath,
                              std::string& error) {
  EndEntry();
  const size_t words = keys_.size();
  // Words in index order: unsigned bytes, a proper prefix first.
  std::vector<uint32_t> order(words);
  for (uint32_t i = 0; i < words; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
    return CompareKeys(keys_[a].View(), keys_[b].View()) < 0;
  });

  const uint64_t slots = static_cast<uint64_t>(words) + ids_.size();
  if (slots * 4 > static_cast<uint64_t>(INT32_MAX))
    throw std::length_error("word reference file would pass 2 GiB (" + std::to_string(slots * 4) +
                            " bytes); its offsets are 32-bit");

  // Each word's list: its count, then its references; the slot of the next reference per word.
  std::vector<uint32_t> cursor(words);
  std::vector<TIndexItem> items;
  items.reserve(words);
  std::string vws(static_cast<size_t>(slots * 4), '\0');
  uint32_t at = 0;
  for (uint32_t id : order) {
    items.push_back(TIndexItem{std::string(keys_[id].View()), static_cast<int32_t>(at * 4)});
    PutLE(vws, static_cast<size_t>(at) * 4, static_cast<int32_t>(counts_[id]));
    cursor[id] = at + 1;
    at += 1 + counts_[id];
  }
  // Entries come in ascending reference order, so every list is ascending as it fills.
  for (size_t e = 0; e < refs_.size(); ++e) {
    const size_t end = e + 1 < starts_.size() ? starts_[e + 1] : ids_.size();
    for (size_t k = starts_[e]; k < end; ++k)
      PutLE(vws, static_cast<size_t>(cursor[ids_[k]]++) * 4, refs_[e]);
  }
  // Free the entry lists before the index is built.
  std::vector<uint32_t>().swap(ids_);
  std::vector<uint32_t>().swap(cursor);

  if (!WriteFileAtomically(vwsPath, vws)) {
    error = "cannot write " + vwsPath + ": " + ErrorCodeText(LastErrorCode());
    return false;
  }
  std::string().swap(vws);
  if (!WriteIndexFile(idxPath, std::move(items), kWordKeyLength, false)) {
    error = "cannot write " + idxPath + ": " + ErrorCodeText(LastErrorCode());
    return false;
  }
  return true;
}
