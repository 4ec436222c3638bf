#pragma once
// The look-up every output shares: a call as a logging program writes it ("K5DRC/P",
// "VE3/K5DRC") to its callbook record, on the open data set.
//
// Shared state: the look-up goes through the data-set layer (UDataSet, the index engine and its
// page caches, the last error code), which is global and not safe for concurrent use; callers
// on several threads must serialise Lookup and Record. What a TCallbook holds itself (the entity
// table and the QSL managers' calls) is read once in Open and never changed afterwards.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "callbook/UCallbookRecord.h"
#include "common/UStatus.h"
#include "dataset/UCoverage.h"
#include "dataset/UDataSet.h"

// Outcome of a call look-up.
struct TCallbookAnswer {
  TCallbookRecord record;  // match None: nothing found, record.call the call asked for
  std::string message;     // UTF-8 notice ("Call \"w1aa\" not found. ..."); empty = none
  bool Found() const { return record.match != TCallbookMatch::None; }
  bool Exact() const {
    return record.match == TCallbookMatch::Exact || record.match == TCallbookMatch::BaseCall;
  }
};

// The entry a call finds, before it is made a record.
struct TCallbookEntry {
  std::string key;          // the call box key of the base call (code page 437); empty: no call
  std::string designators;  // "VE3/P" of "VE3/K5DRC/P"
  TCallbookMatch match = TCallbookMatch::None;
  TEntryRecord rec;    // the entry; with match None nothing
  std::string notice;  // the call box's notice (UTF-8), empty = none
};

class TCallbook {
 public:
  // Reads the entity table and the QSL managers file of the open data set. Either may be missing
  // (the record then has no zones, or no managers); a damaged entity table leaves it empty and
  // its error in Warning().
  void Open();
  const TEntityTable& Entities() const { return entities_; }
  const std::string& Warning() const { return warning_; }

  // The base call's entry of a call with designators: exact, base-call (the call had
  // designators), next-greater (the entry after it in the call order of the database searched
  // first), none. A data-set file that cannot be read is the status ("cannot read
  // data/thedata.dat: Disk read error").
  TResult<TCallbookAnswer> Lookup(std::string_view typed) const;
  // The entry behind Lookup, for outputs made from the stored entry itself (Morse text).
  TResult<TCallbookEntry> FindEntry(std::string_view typed) const;
  // The record of an entry read otherwise (order listings, word searches).
  TCallbookRecord Record(const TEntryRecord& rec, TCallbookMatch match,
                         std::string_view designators = {}, std::string_view loggedCall = {}) const;
  // The manager's call of a QSL manager record number; empty when none (UTF-8).
  std::string QslManager(int32_t nr) const;

 private:
  // Lookup and FindEntry on the data-set layer, which throws EDataSetError.
  TCallbookAnswer Answer(std::string_view typed) const;
  TCallbookEntry Entry(std::string_view typed) const;
  std::string_view ManagerCall(int32_t nr) const;

  TEntityTable entities_;
  std::vector<std::string> managers_;  // by record number; [0] is the heading row
  std::string warning_;
};

// The coverage figures of the open data set (tellmark-lookup --stats); a read error as
// "cannot read <file>: <reason>", the wording of a failed look-up.
TResult<TCoverage> CountCoverage();
// Why a typed call cannot be one of the data set's calls, empty when it can: it holds letters,
// digits and "/" only, at most three parts between the slashes (prefix, call, suffix), none
// longer than a key of the call indexes (15 characters). Blanks at both ends do not count.
std::string CallTextProblem(std::string_view typed);

// Throws EDataSetError "cannot read <file>: <reason>" for a data-set file (name as stored, with
// "\") and the error code of the failed read.
[[noreturn]] void ThrowReadFailure(std::string_view relName, int code);

// Where the data-set layer meets the callbook's callers: what read() returns, or the status of
// the EDataSetError it throws (its message as it is; its kind from the last error code).
TStatus DataSetErrorStatus(const std::exception& e);
template <class Read>
auto ReadingDataSet(Read&& read) -> TResult<decltype(read())> {
  try {
    return read();
  } catch (const EDataSetError& e) {
    return DataSetErrorStatus(e);
  }
}

// The value of a result, or EStatusError with its status: for callers behind an interface that
// cannot return a status (a record source of the log filler, the service, the WSJT-X annotation).
template <class T>
T ValueOrThrow(TResult<T> r) {
  if (!r.ok()) throw EStatusError(r.Status());
  return std::move(r).Value();
}
