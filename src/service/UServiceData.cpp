#include "service/UServiceData.h"

#include <sys/stat.h>

#include <ctime>

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

bool TDataSetSource::Open(std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  Close();
  try {
    OpenDataSet();
  } catch (const EDataSetError& e) {
    CloseDataSet();
    error = std::string("Open files: ") + e.what() + " in " + HomeDir();
    return false;
  }
  open_ = true;
  callbook_.Open();
  if (!callbook_.Warning().empty())
    error = callbook_.Warning();  // a damaged entity table: records without zones
  return true;
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
  TCallbookAnswer a = callbook_.Lookup(typed);
  if (a.Exact()) return std::move(a.record);
  // Not the call asked for: the next greater entry is no answer for a logging program.
  TCallbookRecord none;
  none.call = AsciiUpper(TrimBlanks(typed));
  return none;
}

std::vector<TCallbookRecord> TDataSetSource::ListOrder(TSearchField field, std::string_view text,
                                                       int count) {
  const int index = field == TSearchField::Name   ? oiUSName
                    : field == TSearchField::City ? oiUSCity
                    : field == TSearchField::Zip  ? oiUSZIP
                                                  : oiUSCounty;
  std::lock_guard<std::mutex> lock(mutex_);
  CheckOpen();
  std::vector<TCallbookRecord> out;
  for (const TFoundEntry& e : ListOrderEntries(index, text, count).entries)
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
    for (const TFoundEntry& e : SearchWordEntries(d, words, left))
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
