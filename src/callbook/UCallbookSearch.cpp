#include "callbook/UCallbookSearch.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "callbook/UCallbook.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"
#include "textsearch/UWordFold.h"

namespace {

// Position in order index of the U.S. entry ref.
int32_t OrderPosition(int index, int32_t ref) {
  TEntryRecord rec;
  if (!ReadUSRecord(ref, rec)) ThrowReadFailure(kDataFileName, LastErrorCode());
  const int slot = index == oiUSName   ? upName
                   : index == oiUSCity ? upCity
                   : index == oiUSZIP  ? upZIP
                                       : upCounty;
  return rec.pos[static_cast<size_t>(slot)];
}

// Position after the last entry whose key in order index equals key (the order's end when the
// key's entries run to it).
int32_t EqualKeyEnd(int index, std::string key) {
  const size_t length = static_cast<size_t>(kIndexKeyLengths[index]);
  key = Cut(key, length);
  // The least key greater than every key equal to key.
  if (key.size() < length) {
    key += '\x01';
  } else {
    while (!key.empty() && static_cast<unsigned char>(key.back()) == 0xFF) key.pop_back();
    if (key.empty()) return OrderEntryCount(index);
    key.back() = static_cast<char>(static_cast<unsigned char>(key.back()) + 1);
  }
  bool exact = false;
  int32_t ref = -1;
  if (!SearchIndex(index, key, exact, ref))
    ThrowReadFailure(kIndexFileNames[index], LastErrorCode());
  return ref < 0 ? OrderEntryCount(index) : OrderPosition(index, ref);
}

TOrderListing OrderEntries(int index, std::string_view text, int32_t count, int32_t offset) {
  TOrderListing out;
  const char* kind = index == oiUSName   ? "Name"
                     : index == oiUSCity ? "City"
                     : index == oiUSZIP  ? "ZIP"
                                         : "County";
  const std::string key = MakeSearchKey(index, Cut(Utf8ToCp437(text), 15));
  if (key.empty()) return out;
  out.searched = true;
  int32_t ref = -1;
  if (!TLookup::SearchOrder(index, key, out.exact, ref))
    ThrowReadFailure(kIndexFileNames[index], LastErrorCode());
  if (ref < 0) {
    out.message = NotFoundText(kind, key);
    return out;
  }
  if (!out.exact) out.message = NotFoundText(kind, key) + kNextGreaterText;
  const int32_t first = OrderPosition(index, ref);
  const int32_t exactEnd = out.exact ? EqualKeyEnd(index, key) : first;
  out.total = (out.exact ? exactEnd : OrderEntryCount(index)) - first;
  const int64_t from = static_cast<int64_t>(first) + std::max<int32_t>(offset, 0);
  const int32_t last =
      static_cast<int32_t>(std::min<int64_t>(from + count, OrderEntryCount(index)) - 1);
  for (int32_t p = static_cast<int32_t>(std::min<int64_t>(from, INT32_MAX)); p <= last; ++p) {
    TFoundEntry e;
    if (!ReadOrderEntry(index, p, ref)) ThrowReadFailure(kSequenceFileName, LastErrorCode());
    if (!ReadUSRecord(ref, e.rec)) ThrowReadFailure(kDataFileName, LastErrorCode());
    e.match = p < exactEnd ? TCallbookMatch::Exact : TCallbookMatch::NextGreater;
    out.entries.push_back(std::move(e));
  }
  return out;
}

std::vector<TFoundEntry> WordEntries(TDatabase db, const std::vector<std::string>& words,
                                     int32_t count, int32_t offset, int32_t* total) {
  std::vector<TFoundEntry> out;
  if (total) *total = 0;
  std::string message;
  std::unique_ptr<TWortListe> list = OpenWordList(db, message);
  if (!list) throw EDataSetError(message);
  const TSearchKind kind = db == TDatabase::US ? skUS : skIntl;
  const char* const refFile = db == TDatabase::US ? kUSWordRefName : kIntlWordRefName;
  TSuchInfo info;  // after list: its items read list's reference file
  std::vector<std::string> taken;
  for (const std::string& arg : words) {
    // Folded as the word lists are written: "Coruña" is stored as "coruna".
    for (const std::string& word : QueryWords(Utf8ToCp437(arg), db == TDatabase::US)) {
      if (std::find(taken.begin(), taken.end(), word) != taken.end()) continue;
      taken.push_back(word);
      bool found = false;
      int32_t ref = 0;
      if (!list->Find(word, found, ref))
        ThrowReadFailure(db == TDatabase::US ? kUSWordIndexName : kIntlWordIndexName,
                         LastErrorCode());
      if (!found) return out;
      info.Insert(info.Count(),
                  std::make_unique<TSuchItem>(std::make_unique<TWortVerweisListe>(*list, ref),
                                              ToDisplayForm(word, kind)));
    }
  }
  if (info.Empty()) return out;
  const TTextSearchResult r = DoTextSearch(info, nullptr);
  if (r.outcome == TSearchOutcome::ReadError) ThrowReadFailure(refFile, r.errorCode);
  if (r.outcome != TSearchOutcome::Found) return out;
  if (total) *total = r.Count();
  const int32_t skip = std::clamp<int32_t>(offset, 0, r.Count());
  const int32_t left = r.Count() - skip;
  const int32_t n = count >= 0 ? std::min(count, left) : left;
  for (int32_t i = skip + 1; i <= skip + n; ++i) {
    TFoundEntry e;
    if (!ReadRecord(db, r.list->GetItem(i), e.rec))
      ThrowReadFailure(kDataFileName, LastErrorCode());
    e.match = TCallbookMatch::Words;
    out.push_back(std::move(e));
  }
  return out;
}

}  // namespace

TResult<TOrderListing> ListOrderEntries(int index, std::string_view text, int32_t count,
                                        int32_t offset) {
  return ReadingDataSet([&] { return OrderEntries(index, text, count, offset); });
}

TResult<std::vector<TFoundEntry>> SearchWordEntries(TDatabase db,
                                                    const std::vector<std::string>& words,
                                                    int32_t count, int32_t offset, int32_t* total) {
  return ReadingDataSet([&] { return WordEntries(db, words, count, offset, total); });
}
