#include "callbook/UCallbook.h"

#include <algorithm>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UCallParts.h"
#include "dataset/UDataSet.h"
#include "dataset/UEntityFile.h"
#include "dataset/ULookup.h"
#include "dataset/UQslManagers.h"

void ThrowReadFailure(std::string_view relName, int code) {
  std::string name(relName);
  std::replace(name.begin(), name.end(), '\\', '/');
  const std::string text = RunErrorText(code);
  throw EDataSetError("cannot read " + name + ": " + (text.empty() ? ErrorCodeText(code) : text));
}

void TCallbook::Open() {
  entities_ = {};
  managers_.clear();
  warning_.clear();
  if (!ReadEntityTable(entities_, warning_)) entities_ = {};
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

std::string TCallbook::QslManager(int32_t nr) const {
  if (nr <= 0 || static_cast<size_t>(nr) >= managers_.size()) return {};
  return managers_[static_cast<size_t>(nr)];
}

TCallbookRecord TCallbook::Record(const TEntryRecord& rec, TCallbookMatch match,
                                  std::string_view designators, std::string_view loggedCall) const {
  const int tag = rec.db == TDatabase::US ? int{utQslMgr} : int{itQslMgr};
  return MakeCallbookRecord(rec, match, &entities_,
                            QslManager(QslManagerRecordNumber(rec.Field(tag))), designators,
                            loggedCall);
}

TCallbookAnswer TCallbook::Lookup(std::string_view text) const {
  TCallbookAnswer a;
  const std::string typed = TrimBlanks(text);
  // The call box's rule: the base call's key and the designators.
  const TCallParts parts = TLookup::CallBoxParts(Utf8ToCp437(typed));
  const std::string& key = parts.base;
  if (key.empty()) {
    a.record.call = typed;
    a.message = "empty call";
    return a;
  }
  // The U.S. database first for calls that begin as U.S. calls do, as the call box does.
  TLookup lookup;
  if (key[0] == 'a' || key[0] == 'k' || key[0] == 'n' || key[0] == 'w')
    lookup.SwitchToUS();
  else
    lookup.SwitchToIntl();
  const TCallLookup r = lookup.FindCall(key);
  a.message = Cp437ToUtf8(r.message);
  if (!r.found) {
    if (a.message.empty()) a.message = Cp437ToUtf8(NotFoundText("Call", key));
    a.record.call = AsciiUpper(typed);
    return a;
  }
  TEntryRecord rec;
  if (!ReadRecord(lookup.Database(), lookup.CurrentRef(), rec))
    ThrowReadFailure(kDataFileName, LastErrorCode());
  const TCallbookMatch match = !r.exact                    ? TCallbookMatch::NextGreater
                               : parts.designators.empty() ? TCallbookMatch::Exact
                                                           : TCallbookMatch::BaseCall;
  a.record = Record(rec, match, parts.designators, AsciiUpper(typed));
  return a;
}
