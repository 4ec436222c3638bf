#include "builder/UWordIndexWriter.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "common/IOUtil.h"
#include "storage/UIndexWriter.h"

namespace {

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

TWordIndexBuilder::TWordIndexBuilder() { table_.resize(1u << 16); }

TWordIndexBuilder::~TWordIndexBuilder() = default;

// The table holds the words themselves, so finding a word touches one slot (one cache line
// mostly) and not a second array.
void TWordIndexBuilder::Grow() {
  std::vector<TSlot> bigger(table_.size() * 2);
  const size_t mask = bigger.size() - 1;
  for (const TSlot& slot : table_) {
    if (slot.id == 0) continue;
    size_t i = HashKey(slot.key.text, slot.key.len) & mask;
    while (bigger[i].id != 0) i = (i + 1) & mask;
    bigger[i] = slot;
  }
  table_.swap(bigger);
}

uint32_t TWordIndexBuilder::Intern(const TKey& key) {
  const size_t mask = table_.size() - 1;
  size_t i = HashKey(key.text, key.len) & mask;
  while (table_[i].id != 0) {
    const TKey& k = table_[i].key;
    if (k.len == key.len && std::memcmp(k.text, key.text, key.len) == 0) return table_[i].id - 1;
    i = (i + 1) & mask;
  }
  const auto id = static_cast<uint32_t>(keys_.size());
  keys_.push_back(key);
  table_[i] = TSlot{key, id + 1};
  if (keys_.size() * 2 > table_.size()) Grow();
  return id;
}

void TWordIndexBuilder::AddWord(const char* word, size_t len) {
  TKey key;
  key.len = static_cast<uint8_t>(len);
  std::memcpy(key.text, word, len);
  current_.push_back(Intern(key));
}

void TWordIndexBuilder::BeginEntry() {
  if (inEntry_) EndEntry();
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
  std::sort(current_.begin(), current_.end());
  current_.erase(std::unique(current_.begin(), current_.end()), current_.end());
  starts_.push_back(ids_.size());
  ids_.insert(ids_.end(), current_.begin(), current_.end());
}

void TWordIndexBuilder::Finish(const std::vector<uint32_t>& order,
                               const std::vector<int32_t>& refOf) {
  EndEntry();
  const auto idsOf = [this](uint32_t entry) {
    const uint64_t b = starts_[entry];
    const uint64_t e = entry + 1 < starts_.size() ? starts_[entry + 1] : ids_.size();
    return std::pair<uint64_t, uint64_t>(b, e);
  };
  std::vector<uint32_t> counts(keys_.size(), 0);
  uint64_t pairs = 0;
  int32_t last = INT32_MIN;
  for (const uint32_t entry : order) {
    if (entry >= starts_.size()) throw std::invalid_argument("word list: unknown entry");
    if (refOf[entry] <= last)
      throw std::invalid_argument("word list entries must come in ascending reference order");
    last = refOf[entry];
    const auto [b, e] = idsOf(entry);
    for (uint64_t k = b; k < e; ++k) ++counts[ids_[k]];
    pairs += e - b;
  }
  // Words in index order (unsigned bytes, a proper prefix first); words of no kept entry go.
  std::vector<uint32_t> words;
  words.reserve(keys_.size());
  for (uint32_t id = 0; id < keys_.size(); ++id)
    if (counts[id] > 0) words.push_back(id);
  std::sort(words.begin(), words.end(), [this](uint32_t a, uint32_t b) {
    return CompareKeys(keys_[a].View(), keys_[b].View()) < 0;
  });

  const uint64_t slots = words.size() + pairs;
  if (slots * 4 > static_cast<uint64_t>(INT32_MAX))
    throw std::length_error("word reference file would pass 2 GiB (" + std::to_string(slots * 4) +
                            " bytes); its offsets are 32-bit");

  // Each word's list: its count, then its references; cursor = the slot of its next reference.
  std::vector<uint32_t> cursor(keys_.size(), 0);
  std::vector<TIndexItem> items;
  items.reserve(words.size());
  std::string vws(static_cast<size_t>(slots * 4), '\0');
  uint32_t at = 0;
  for (const uint32_t id : words) {
    items.push_back(TIndexItem{std::string(keys_[id].View()), static_cast<int32_t>(at * 4)});
    PutLE(vws, static_cast<size_t>(at) * 4, static_cast<int32_t>(counts[id]));
    cursor[id] = at + 1;
    at += 1 + counts[id];
  }
  // Entries come in ascending reference order, so every list is ascending as it fills.
  for (const uint32_t entry : order) {
    const auto [b, e] = idsOf(entry);
    for (uint64_t k = b; k < e; ++k)
      PutLE(vws, static_cast<size_t>(cursor[ids_[k]]++) * 4, refOf[entry]);
  }
  written_ = pairs;
  listed_ = words.size();
  // The entries' words are laid out: free them.
  std::vector<uint32_t>().swap(ids_);
  std::vector<uint64_t>().swap(starts_);
  std::vector<TSlot>().swap(table_);
  vws_.swap(vws);
  items_.swap(items);
}

TStatus TWordIndexBuilder::Write(const std::string& idxPath, const std::string& vwsPath) {
  const auto failed = [](const std::string& path) {
    const int code = LastErrorCode();
    return TStatus::WithMessage(StatusFromLastError(path, code, TFileAccess::Write).Code(),
                                "cannot write " + path + ": " + ErrorCodeText(code));
  };
  if (!WriteFileAtomically(vwsPath, vws_)) return failed(vwsPath);
  std::string().swap(vws_);
  if (!WriteIndexFile(idxPath, std::move(items_), kWordKeyLength, false)) return failed(idxPath);
  items_.clear();
  return TStatus::Ok();
}
