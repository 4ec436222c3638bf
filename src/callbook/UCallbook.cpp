#include "callbook/UCallbook.h"

#include <algorithm>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/UStatus.h"
#include "dataset/UCallParts.h"
#include "dataset/UDataSet.h"
#include "dataset/UEntityFile.h"
#include "dataset/ULookup.h"
#include "dataset/UQslManagers.h"

void ThrowReadFailure(std::string_view relName, int code) {
  throw EDataSetError(StatusFromLastError(ShownDataSetName(relName), code).Message());
}

TStatus DataSetErrorStatus(const std::exception& e) {
  return TStatus::WithMessage(StatusFromLastError({}, LastErrorCode()).Code(), e.what());
}

TResult<TCoverage> CountCoverage() {
  TCoverage c;
  const char* failed = "";
  if (!CountDataSetCoverage(c, failed))
    return StatusFromLastError(ShownDataSetName(failed), LastErrorCode());
  return c;
}

std::string CallTextProblem(std::string_view typed) {
  const std::string_view text = TrimBlanksView(typed);
  const std::string quoted = "\"" + std::string(text) + "\"";
  const auto allowed = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/';
  };
  if (!std::all_of(text.begin(), text.end(), allowed))
    return quoted + " is not a call: a call holds letters, digits and \"/\" only";
  constexpr size_t longest = 15;  // the longest key of the call indexes
  size_t parts = 0;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t slash = std::min(text.find('/', at), text.size());
    if (slash > at) ++parts;
    if (slash - at > longest)
      return quoted + " is not a call: longer than a call can be (" + std::to_string(longest) +
             " characters between slashes)";
    at = slash + 1;
  }
  if (parts > 3) return quoted + " is not a call: more than prefix, call and suffix";
  return {};
}

void TCallbook::Open() {
  entities_ = {};
  managers_.clear();
  warning_.clear();
  if (TResult<TEntityTable> table = ReadEntityTable(); table.ok())
    entities_ = std::move(table).Value();
  else
    warning_ = table.Status().Message();
  // Read whole: a few thousand 53-byte records, then nothing of the file changes.
  std::string bytes;
  if (ReadWholeFile(DataSetPath(kQslManagerFileName), bytes)) {
    const size_t n = bytes.size() / kQslRecordSize;
    managers_.reserve(n);
    for (size_t i = 0; i < n; ++i)
      managers_.push_back(Cp437ToUtf8(TrimBlanks(
          DecodeQslRecord(reinterpret_cast<const uint8_t*>(bytes.data()) + i * kQslRecordSize)
              .manager)));
  }
}

std::string TCallbook::QslManager(int32_t nr) const { return std::string(ManagerCall(nr)); }

std::string_view TCallbook::ManagerCall(int32_t nr) const {
  if (nr <= 0 || static_cast<size_t>(nr) >= managers_.size()) return {};
  return managers_[static_cast<size_t>(nr)];
}

TCallbookRecord TCallbook::Record(const TEntryRecord& rec, TCallbookMatch match,
                                  std::string_view designators, std::string_view loggedCall) const {
  const int tag = rec.db == TDatabase::US ? int{utQslMgr} : int{itQslMgr};
  TCallbookRecord r = MakeCallbookRecord(rec, match, &entities_,
                                         ManagerCall(QslManagerRecordNumber(rec.FieldView(tag))),
                                         designators, loggedCall);
  r.synthetic = DatabaseSynthetic(CurrentEdition(), rec.db == TDatabase::US ? "us" : "intl");
  return r;
}

TResult<TCallbookEntry> TCallbook::FindEntry(std::string_view typed) const {
  return ReadingDataSet([&] { return Entry(typed); });
}

TResult<TCallbookAnswer> TCallbook::Lookup(std::string_view typed) const {
  return ReadingDataSet([&] { return Answer(typed); });
}

TCallbookEntry TCallbook::Entry(std::string_view text) const {
  const TRecordReuse reuse;  // the entry is read to check its call, then for the record
  TCallbookEntry e;
  // The call box's rule: the base call's key and the designators.
  TCallParts parts = TLookup::CallBoxParts(Utf8ToCp437(TrimBlanksView(text)));
  e.key = std::move(parts.base);
  e.designators = std::move(parts.designators);
  if (e.key.empty()) return e;
  // The U.S. database first for calls that begin as U.S. calls do, as the call box does.
  TLookup lookup;
  if (BeginsAsUSCall(e.key))
    lookup.SwitchToUS();
  else
    lookup.SwitchToIntl();
  const TCallLookup r = lookup.FindCall(e.key);
  e.notice = Cp437ToUtf8(r.message);
  if (!r.found) return e;
  if (!ReadRecord(lookup.Database(), lookup.CurrentRef(), e.rec))
    ThrowReadFailure(kDataFileName, LastErrorCode());
  e.match = !r.exact                ? TCallbookMatch::NextGreater
            : e.designators.empty() ? TCallbookMatch::Exact
                                    : TCallbookMatch::BaseCall;
  return e;
}

TCallbookAnswer TCallbook::Answer(std::string_view text) const {
  const std::string_view typed = TrimBlanksView(text);
  TCallbookEntry e = Entry(typed);
  if (e.match != TCallbookMatch::None)  // the record made in place
    return {Record(e.rec, e.match, e.designators, AsciiUpper(typed)), std::move(e.notice)};
  TCallbookAnswer a;
  if (e.key.empty()) {
    a.record.call = typed;
    a.message = "empty call";
    return a;
  }
  a.message = std::move(e.notice);
  if (a.message.empty()) a.message = Cp437ToUtf8(NotFoundText("Call", e.key));
  a.record.call = AsciiUpper(typed);
  return a;
}
