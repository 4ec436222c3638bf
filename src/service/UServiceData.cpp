#include "service/UServiceData.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "callbook/UCallbookSearch.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"

// One opening of the data set: what every request reads, and the data sets requests borrow.
struct TDataSetSource::TOpening {
  std::string homeDir;
  TCallbook callbook;
  TServiceHealth health;
  std::vector<std::unique_ptr<TThreadDataSet>> idle;  // under the source's mutex
};

// A data set of the current opening for one request, made the thread's while it lives.
class TDataSetSource::TBorrowed {
 public:
  explicit TBorrowed(const TDataSetSource& source) : TBorrowed(source, std::nothrow) {
    if (!opening_) throw EDataSetError("no data set is open");
  }
  // With no data set open: empty (false), nothing borrowed.
  TBorrowed(const TDataSetSource& source, std::nothrow_t) : source_(source) {
    {
      std::lock_guard<std::mutex> lock(source.mutex_);
      opening_ = source.opening_;
      if (opening_ && !opening_->idle.empty()) {
        data_ = std::move(opening_->idle.back());
        opening_->idle.pop_back();
      }
    }
    if (!opening_) return;
    if (!data_) {  // more requests at once than before
      data_ = std::make_unique<TThreadDataSet>();
      data_->Open(opening_->homeDir);
    }
    use_.emplace(*data_);
  }
  ~TBorrowed() {
    if (!data_) return;
    use_.reset();
    std::lock_guard<std::mutex> lock(source_.mutex_);
    opening_->idle.push_back(std::move(data_));
  }
  TBorrowed(const TBorrowed&) = delete;
  TBorrowed& operator=(const TBorrowed&) = delete;
  explicit operator bool() const { return data_ != nullptr; }
  const TCallbook& Callbook() const { return opening_->callbook; }

 private:
  const TDataSetSource& source_;
  std::shared_ptr<TOpening> opening_;  // the last one out of an old opening closes it
  std::unique_ptr<TThreadDataSet> data_;
  std::optional<TDataSetUse> use_;
};

namespace {

TServiceHealth ReadHealth() {
  TServiceHealth h;
  h.open = true;
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

TStatus OpenFailure(const EDataSetError& e) {
  return TStatus::WithMessage(TStatusCode::IOError,
                              std::string("Open files: ") + e.what() + " in " + HomeDir());
}

}  // namespace

TDataSetSource::TDataSetSource(std::string myLocator) : myLocator_(std::move(myLocator)) {}

TDataSetSource::~TDataSetSource() = default;

TStatus TDataSetSource::Open() {
  std::lock_guard<std::mutex> reopen(reopenMutex_);
  // Requests go on with the old opening meanwhile; a failed reopening leaves no data, not the
  // old edition.
  std::shared_ptr<TOpening> old;
  const auto replace = [&](std::shared_ptr<TOpening> with) {
    std::lock_guard<std::mutex> lock(mutex_);
    old = std::exchange(opening_, std::move(with));
  };
  auto opening = std::make_shared<TOpening>();
  opening->homeDir = HomeDir();
  auto first = std::make_unique<TThreadDataSet>();
  try {
    first->Open(opening->homeDir);
  } catch (const EDataSetError& e) {
    replace(nullptr);
    return OpenFailure(e);
  }
  {
    const TDataSetUse use(*first);
    opening->callbook.Open();
    opening->health = ReadHealth();
  }
  opening->idle.push_back(std::move(first));
  replace(std::move(opening));
  return TStatus::Ok();
}

std::string TDataSetSource::Warning() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opening_ ? opening_->callbook.Warning() : std::string();
}

TCallbookRecord TDataSetSource::FindCall(std::string_view typed) {
  const TBorrowed data(*this);
  return ValueOrThrow(data.Callbook().Lookup(typed)).record;
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
  const TBorrowed data(*this);
  TListPage page;
  const TOrderListing l = ValueOrThrow(ListOrderEntries(OrderIndexOf(field), text, count, offset));
  page.total = l.total;
  // With an exact hit the page holds the equal keys only; else the order from the next key on.
  for (const TFoundEntry& e : l.entries) {
    if (l.exact && e.match != TCallbookMatch::Exact) break;
    page.found.push_back(data.Callbook().Record(e.rec, e.match));
  }
  page.more = offset + static_cast<int64_t>(page.found.size()) < page.total;
  return page;
}

TListPage TDataSetSource::SearchWordsPage(const std::vector<std::string>& words,
                                          std::string_view db, int offset, int count) {
  const TBorrowed data(*this);
  TListPage page;
  page.total = 0;
  // The U.S. entries first, then the International ones, as one list.
  int32_t skip = offset;
  for (const TDatabase d : {TDatabase::US, TDatabase::Intl}) {
    if ((db == "us" && d != TDatabase::US) || (db == "intl" && d != TDatabase::Intl)) continue;
    const int32_t left = count - static_cast<int32_t>(page.found.size());
    int32_t total = 0;
    for (const TFoundEntry& e : ValueOrThrow(SearchWordEntries(d, words, left, skip, &total)))
      page.found.push_back(data.Callbook().Record(e.rec, e.match));
    page.total += total;
    skip = std::max<int32_t>(skip - total, 0);
  }
  page.more = offset + static_cast<int64_t>(page.found.size()) < page.total;
  return page;
}

std::vector<TCallbookRecord> TDataSetSource::ListOrder(TSearchField field, std::string_view text,
                                                       int count) {
  const int index = OrderIndexOf(field);
  const TBorrowed data(*this);
  std::vector<TCallbookRecord> out;
  for (const TFoundEntry& e : ValueOrThrow(ListOrderEntries(index, text, count)).entries)
    out.push_back(data.Callbook().Record(e.rec, e.match));
  return out;
}

std::vector<TCallbookRecord> TDataSetSource::SearchWords(const std::vector<std::string>& words,
                                                         std::string_view db, int count) {
  const TBorrowed data(*this);
  std::vector<TCallbookRecord> out;
  for (const TDatabase d : {TDatabase::US, TDatabase::Intl}) {
    if ((db == "us" && d != TDatabase::US) || (db == "intl" && d != TDatabase::Intl)) continue;
    const int32_t left = count - static_cast<int32_t>(out.size());
    if (left <= 0) break;
    for (const TFoundEntry& e : ValueOrThrow(SearchWordEntries(d, words, left)))
      out.push_back(data.Callbook().Record(e.rec, e.match));
  }
  return out;
}

TServiceHealth TDataSetSource::Health() {
  std::lock_guard<std::mutex> lock(mutex_);
  return opening_ ? opening_->health : TServiceHealth{};
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
  const TBorrowed data(*this, std::nothrow);
  if (!data) return {};
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
