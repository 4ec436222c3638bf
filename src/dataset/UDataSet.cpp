#include "dataset/UDataSet.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "common/IOUtil.h"
#include "common/ULittleEndian.h"
#include "storage/UIndexEngine.h"

// The files of an open data set.
struct TDataSetState {
  std::string homeDir;
  TReadOnlyFile dataFile;
  TReadOnlyFile sequenceFile;
  std::array<TIndexCtl, kOrderCount> indexes;
  TEdition edition = Edition1999();
  bool open = false;
  uint64_t opening = 0;  // this opening's number, so that what was read of an earlier one is known
};

namespace {

// Openings are numbered across the program's data set and the threads' own.
std::atomic<uint64_t> g_openings{0};
uint64_t NextOpening() { return ++g_openings; }

// The record read last on this thread while a TRecordReuse lives on it.
struct TLastRecord {
  int reusers = 0;  // TRecordReuse objects alive on the thread
  uint64_t opening = 0;
  TDatabase db = TDatabase::Intl;
  int32_t ref = -1;
  TEntryRecord rec;
};

TLastRecord& LastRecord() {
  thread_local TLastRecord last;
  return last;
}

void CopyRecord(const TEntryRecord& from, TEntryRecord& to) {
  to.db = from.db;
  to.ref = from.ref;
  to.pos = from.pos;
  to.mapNr = from.mapNr;
  to.payloadLen = from.payloadLen;
  std::memcpy(to.payload.data(), from.payload.data(), from.payloadLen);
}

thread_local TDataSetState* g_threadState = nullptr;

TDataSetState& State() {
  static TDataSetState state;
  return g_threadState ? *g_threadState : state;
}

TIndexEngine& EngineFor(int index) {
  if (index <= oiUSZIP) return ShortKeyEngine();
  return LongKeyEngine();
}

constexpr const char* kOpenPrefixes[kOrderCount] = {
    "Error opening intl. IndexFile: ",   "Error opening US call IndexFile: ",
    "Error opening US ZIP IndexFile: ",  "Error opening US name IndexFile: ",
    "Error opening US city IndexFile: ", "Error opening US county IndexFile: "};

[[noreturn]] void Fail(const std::string& prefix) {
  throw EDataSetError(prefix + ErrorCodeText(LastErrorCode()));
}

}  // namespace

struct TThreadDataSet::TImpl {
  TDataSetState state;
  TIndexEngines engines;
};

TThreadDataSet::TThreadDataSet() : impl_(std::make_unique<TImpl>()) {}

TThreadDataSet::~TThreadDataSet() {
  const TDataSetUse use(*this);
  CloseDataSet();
}

void TThreadDataSet::Open(const std::string& homeDir) {
  const TDataSetUse use(*this);
  SetHomeDir(homeDir);
  OpenDataSet();
}

TDataSetUse::TDataSetUse(TThreadDataSet& data)
    : state_(std::exchange(g_threadState, &data.impl_->state)),
      engines_(UseThreadIndexEngines(&data.impl_->engines)) {}

TDataSetUse::~TDataSetUse() {
  g_threadState = state_;
  UseThreadIndexEngines(engines_);
}

TRecordReuse::TRecordReuse() { ++LastRecord().reusers; }

TRecordReuse::~TRecordReuse() {
  TLastRecord& last = LastRecord();
  if (--last.reusers == 0) last.ref = -1;
}

void SetHomeDir(const std::string& dir) { State().homeDir = WithTrailingSeparator(dir); }

const std::string& HomeDir() { return State().homeDir; }

std::string ProgramHomeDir(const std::string& programDir) {
  const std::string installed =
      (std::filesystem::path(programDir) / ".." / "share" / "tellmark").lexically_normal().string();
  for (const std::string& dir : {programDir, installed})
    if (::access(ResolveDataPath(WithTrailingSeparator(dir), kDataFileName).c_str(), R_OK) == 0)
      return dir;
  return programDir;
}

std::string DataSetPath(std::string_view relName) {
  return ResolveDataPath(State().homeDir, std::string(relName));
}

void OpenDataSet() {
  auto& s = State();
  s.opening = NextOpening();
  s.open = true;  // files opened before a failure stay open until CloseDataSet
  s.edition = Edition1999();
  if (!s.dataFile.Open(DataSetPath(kDataFileName), true))
    Fail("Error opening DataFile (data\\thedata.dat): ");
  if (!s.sequenceFile.Open(DataSetPath(kSequenceFileName), true))
    Fail("Error opening SpurFile (data\\spur.trc): ");
  std::string text;
  if (ReadWholeFile(DataSetPath(kEditionFileName), text)) {
    TResult<TEdition> parsed = ParseEdition(text);
    if (!parsed.ok())
      throw EDataSetError("Error reading data\\edition.ini: " + parsed.Status().Message());
    const TEdition ed = std::move(parsed).Value();
    // Every stretch must lie in the sequence file: a damaged manifest would otherwise promise
    // more entries than there are, up to 2^31.
    const int64_t sequenceRecords = s.sequenceFile.Size() / 4;
    for (size_t i = 0; i < ed.stretches.size(); ++i)
      if (ed.stretches[i].Count() > 0 && ed.stretches[i].end >= sequenceRecords)
        throw EDataSetError("Error reading data\\edition.ini: order" + std::to_string(i) +
                            " runs past data\\spur.trc");
    s.edition = ed;
  }
  for (int i = 0; i < kOrderCount; ++i) {
    auto& ctl = s.indexes[static_cast<size_t>(i)];
    if (!EngineFor(i).OpenIndex(ctl, DataSetPath(kIndexFileNames[i]), kIndexKeyLengths[i],
                                kIndexDuplicates[i]))
      Fail(kOpenPrefixes[i]);
  }
  SetLastErrorCode(0);
}

void CloseDataSet() {
  auto& s = State();
  s.opening = NextOpening();
  const int saved = LastErrorCode();
  if (s.dataFile.IsOpen()) s.dataFile.Close();
  if (s.sequenceFile.IsOpen()) s.sequenceFile.Close();
  for (int i = 0; i < kOrderCount; ++i) {
    auto& ctl = s.indexes[static_cast<size_t>(i)];
    if (ctl.file.IsOpen()) EngineFor(i).CloseIndex(ctl);
  }
  s.open = false;
  SetLastErrorCode(saved);
}

bool DataSetIsOpen() { return State().open && State().dataFile.IsOpen(); }

const TEdition& CurrentEdition() { return State().edition; }

int32_t OrderEntryCount(int index) {
  if (index < 0 || index >= kOrderCount) return 0;
  // At most INT32_MAX - 1, so that a row count of the list view (entries + 1) still fits.
  const int64_t n = State().edition.stretches[static_cast<size_t>(index)].Count();
  return static_cast<int32_t>(std::clamp<int64_t>(n, 0, INT32_MAX - 1));
}

bool ReadOrderEntry(int index, int32_t position, int32_t& ref) {
  auto& s = State();
  if (index < 0 || index >= kOrderCount || position < 0 ||
      position >= OrderEntryCount(index)) {  // never into the next order's stretch
    SetLastErrorCode(100);
    return false;
  }
  const int64_t record =
      static_cast<int64_t>(s.edition.stretches[static_cast<size_t>(index)].start) + position;
  if (const uint8_t* m = s.sequenceFile.View(record * 4, 4)) {
    int32_t r = -1;
    if (!GuardMappedRead([&] { r = GetI32(m); })) return false;
    ref = r;
    SetLastErrorCode(0);
    return true;
  }
  uint8_t b[4];
  if (!s.sequenceFile.ReadExact(record * 4, b, 4)) return false;
  ref = GetI32(b);
  return true;
}

bool SearchIndex(int index, std::string_view key, bool& exact, int32_t& ref) {
  exact = false;
  if (index < 0 || index >= kOrderCount) {
    SetLastErrorCode(1002);
    return false;
  }
  auto& ctl = State().indexes[static_cast<size_t>(index)];
  TIndexEngine& engine = EngineFor(index);
  const std::string_view k = key.substr(0, 15);
  if (!engine.FindKey(ctl, k, exact, ref)) return false;
  if (!exact && (index == oiIntlCall || index == oiUSCall)) {
    bool found = false;
    std::string nextKey;
    int32_t nextRef = ref;
    if (!engine.FindNext(ctl, found, nextKey, nextRef)) return false;
    if (found) ref = nextRef;
  }
  return true;
}

bool ReadRecord(TDatabase db, int32_t ref, TEntryRecord& rec) {
  const int size = db == TDatabase::US ? kUSRecordSize : kIntlRecordSize;
  if (ref < 0) {
    SetLastErrorCode(156);
    return false;
  }
  TReadOnlyFile& file = State().dataFile;
  TLastRecord& last = LastRecord();
  if (last.reusers > 0 && last.ref == ref && last.db == db && last.opening == State().opening &&
      file.IsOpen()) {
    CopyRecord(last.rec, rec);
    SetLastErrorCode(0);
    return true;
  }
  if (const uint8_t* m = file.View(ref, size)) {  // mapped: decoded in place
    bool decoded = false;
    if (!GuardMappedRead([&] { decoded = DecodeRecord(db, m, size, ref, rec); })) return false;
    if (!decoded) {
      SetLastErrorCode(100);
      return false;
    }
    if (last.reusers > 0) {
      CopyRecord(rec, last.rec);
      last.opening = State().opening;
      last.db = db;
      last.ref = ref;
    }
    SetLastErrorCode(0);
    return true;
  }
  uint8_t bytes[kUSRecordSize];
  int64_t got = 0;
  if (!file.ReadAt(ref, bytes, size, got)) return false;
  if (!DecodeRecord(db, bytes, static_cast<int>(got), ref, rec)) {
    SetLastErrorCode(100);
    return false;
  }
  return true;
}

bool ReadIntlRecord(int32_t ref, TEntryRecord& rec) {
  return ReadRecord(TDatabase::Intl, ref, rec);
}

bool ReadUSRecord(int32_t ref, TEntryRecord& rec) { return ReadRecord(TDatabase::US, ref, rec); }
