#include "service/UServiceData.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "callbook/UCallbookSearch.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"

TDataSetSource::TDataSetSource(std::string myLocator) : myLocator_(std::move(myLocator)) {}

TDataSetSource::~TDataSetSource() {
  std::lock_guard<std::mutex> lock(mutex_);
  Close();
}

void TDataSetSource::Close() {
  if (open_) CloseDataSet();
  open_ = false;
}

TStatus TDataSetSource::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  Close();
  try {
    OpenDataSet();
  } catch (const EDataSetError& e) {
    CloseDataSet();
    return TStatus::WithMessage(TStatusCode::IOError,
                                std::string("Open files: ") + e.what() + " in " + HomeDir());
  }
  open_ = true;
  callbook_.Open();
  return TStatus::Ok();
}

void TDataSetSource::CheckOpen() const {
  if (!open_) throw EDataSetError("no data set is open");
}

TCallbookRecord TDataSetSource::Record(const TEntryRecord& rec, TCallbookMatch match) {
  return callbook_.Record(rec, match);
}

TCallbookRecord TDataSetSource::FindCall(std::string_view typed) {
  std::lock_guard<std::mutex> lock(mutex_);
  CheckOpen();
  return ValueOrThrow(callbook_.Lookup(typed)).record;
}

namespace {

int OrderIndexOf(TSearchField field) {
  return field == TSearchField::Name   ? oiUSName
         : field == TSearchField::City ? oiUSCity
         : field == TSearchField::Zip  ? oiUSZIP
                                       : oiUSCounty;
}

}  // namespace

TListPage TDataSetSource::ListOrderPage(TSearchField field, std::string_view text, int offset,
                                        int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  CheckOpen();
  TListPage page;
  const TOrderListing l = ValueOrThrow(ListOrderEntries(OrderIndexOf(field), text, count, offset));
  page.total = l.total;
  // With an exact hit the page holds the equal keys only; else the order from the next key on.
  for (const TFoundEntry& e : l.entries) {
    if (l.exact && e.match != TCallbookMatch::Exact) break;
    page.found.push_back(Record(e.rec, e.match));
  }
  page.more = offset + static_cast<int64_t>(page.found.size()) < page.total;
  return page;
}

TListPage TDataSetSource::SearchWordsPage(const std::vector<std::string>& words,
                                          std::string_view db, int offset, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  CheckOpen();
  TListPage page;
  page.total = 0;
  // The U.S. entries first, then the International ones, as one list.
  int32_t skip = offset;
  for (const TDatabase d : {TDatabase::US, TDatabase::Intl}) {
    if ((db == "us" && d != TDatabase::US) || (db == "intl" && d != TDatabase::Intl)) continue;
    const int32_t left = count - static_cast<int32_t>(page.found.size());
    int32_t total = 0;
    for (const TFoundEntry& e : ValueOrThrow(SearchWordEntries(d, words, left, skip, &total)))
      page.found.push_back(Record(e.rec, e.match));
    page.total += total;
    skip = std::max<int32_t>(skip - total, 0);
  }
  page.more = offset + static_cast<int64_t>(page.found.size()) < page.total;
  return page;
}

std::vector<TCallbookRecord> TDataSetSource::ListOrder(TSearchField field, std::string_view text,
                                                       int count) {
  const int index = OrderIndexOf(field);
  std::lock_guard<std::mutex> lock(mutex_);
  CheckOpen();
  std::vector<TCallbookRecord> out;
  for (const TFoundEntry& e : ValueOrThrow(ListOrderEntries(index, text, count)).entries)
    out.push_back(Record(e.rec, e.match));
  return out;
}

std::vector<TCallbookRecord> TDataSetSource::SearchWords(const std::vector<std::string>& words,
                                                         std::string_view db, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  CheckOpen();
  std::vector<TCallbookRecord> out;
  for (const TDatabase d : {TDatabase::US, TDatabase::Intl}) {
    if ((db == "us" && d != TDatabase::US) || (db == "intl" && d != TDatabase::Intl)) continue;
    const int32_t left = count - static_cast<int32_t>(out.size());
    if (left <= 0) break;
    for (const TFoundEntry& e : ValueOrThrow(SearchWordEntries(d, words, left)))
      out.push_back(Record(e.rec, e.match));
  }
  return out;
}

TServiceHealth TDataSetSource::Health() {
  std::lock_guard<std::mutex> lock(mutex_);
  TServiceHealth h;
  h.open = open_;
  if (!open_) return h;
  const TEdition& ed = CurrentEdition();
  h.title = Cp437ToUtf8(ed.title);
  h.madeOf = EditionSourcesText(ed);
  h.sample = SampleEdition(ed);
  h.sources = ed.sources;
  h.usCount = ed.usCount;
  h.intlCount = ed.intlCount;
  struct stat st {};
  if (::stat(DataSetPath(kDataFileName).c_str(), &st) == 0) {
    std::tm tm{};
    gmtime_r(&st.st_mtime, &tm);
    char buf[16];
    h.dataDate = std::string(buf, std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm));
  }
  return h;
}

namespace {

// The position in the name order of the first entry whose key is key or greater (exact: equal);
// the order's count (its end) when there is none.
bool FirstNamePosition(const std::string& key, bool& exact, int32_t& position) {
  int32_t ref = -1;
  if (!SearchIndex(oiUSName, key, exact, ref)) return false;
  if (ref == -1) {
    position = OrderEntryCount(oiUSName);
    return true;
  }
  TEntryRecord rec;
  if (!ReadRecord(TDatabase::US, ref, rec)) return false;
  position = rec.pos[upName];
  return true;
}

}  // namespace

std::string TDataSetSource::Surname(const TCallbookRecord& r) {
  if (r.database != TDatabase::US || r.ref < 0 || r.name.empty()) return {};
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return {};
  TEntryRecord rec;
  // The entry the record was made of (not another one, after a reopening in between).
  if (!ReadRecord(TDatabase::US, r.ref, rec) ||
      Cp437ToUtf8(TrimBlanks(rec.Field(utCall))) != r.call)
    return {};
  const int32_t position = rec.pos[upName];
  // The name's words, in the data set's code page, as the keys are made of them.
  const std::string name = Utf8ToCp437(r.name);
  std::vector<std::pair<size_t, size_t>> words;  // offset, length
  for (size_t at = 0; at < name.size();) {
    const size_t end = std::min(name.find(' ', at), name.size());
    if (end > at) words.emplace_back(at, end - at);
    at = end + 1;
  }
  // The surname follows the given names (a suffix after it): the runs ending last are tried
  // first. A run is the surname when the entry lies within its key's stretch of the name order.
  for (size_t last = words.size(); last-- > 0;) {
    for (size_t first = last + 1; first-- > 0;) {
      const size_t from = words[first].first;
      const std::string run = name.substr(from, words[last].first + words[last].second - from);
      const std::string key = MakeSearchKey(oiUSName, run);
      bool exact = false;
      int32_t begin = 0, end = 0;
      if (!FirstNamePosition(key, exact, begin) || !exact || position < begin) continue;
      // The first key after this one: the key with one more character below any stored one,
      // or, at full length, with its last character raised.
      std::string next = key;
      if (next.size() < static_cast<size_t>(kIndexKeyLengths[oiUSName]))
        next += '\x01';
      else if (static_cast<unsigned char>(next.back()) < 0xFF)
        next.back() = static_cast<char>(next.back() + 1);
      else
        continue;
      if (!FirstNamePosition(next, exact, end) || position >= end) continue;
      return Cp437ToUtf8(run);
    }
  }
  return {};
}
