#pragma once
// The open data set: home directory, the data file, the sequence file and the six indexes.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dataset/UEdition.h"
#include "dataset/UEntry.h"

// Index numbers / sort orders.
enum TOrderIndex : int {
  oiIntlCall = 0,
  oiUSCall = 1,
  oiUSZIP = 2,
  oiUSName = 3,
  oiUSCity = 4,
  oiUSCounty = 5
};
constexpr int kOrderCount = 6;

// Relative names of the data-set files.
inline constexpr const char* kDataFileName = "data\\thedata.dat";
inline constexpr const char* kSequenceFileName = "data\\spur.trc";
inline constexpr const char* kEditionFileName = "data\\edition.ini";
inline constexpr const char* kIndexFileNames[kOrderCount] = {
    "data\\intlcall.idx", "data\\uscall.idx", "data\\uszip.idx",
    "data\\usname.idx",   "data\\uscity.idx", "data\\uscounty.idx"};
// Key length and duplicates of each index; orders 0..2 use the short-key engine.
inline constexpr int kIndexKeyLengths[kOrderCount] = {6, 6, 5, 15, 15, 15};
inline constexpr bool kIndexDuplicates[kOrderCount] = {false, false, true, true, true, true};

// First bytes of a data file written by tellmark-build; entries start after them, so no entry
// has the reference 0.
inline constexpr char kDataFileMagic[16] = {'T', 'M', 'K', ' ', 'D',  'A', 'T', 'A',
                                            ' ', 'S', 'E', 'T', 0x1A, 1,   0,   0};

void SetHomeDir(const std::string& dir);  // adds the trailing "/" when missing
const std::string& HomeDir();
// The data directory for a program in programDir when nothing else names one: programDir when it
// holds the data file, else the installed edition at programDir/../share/tellmark when that holds
// it, else programDir.
std::string ProgramHomeDir(const std::string& programDir);
// Full path of a data-set file named relative to the home directory ("data\uszip.idx").
std::string DataSetPath(std::string_view relName);

class EDataSetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opens every file in the fixed order; throws EDataSetError with the file's message prefix and
// "Error: <code>" on the first failure. Reads data\edition.ini when present.
void OpenDataSet();
void CloseDataSet();
bool DataSetIsOpen();
const TEdition& CurrentEdition();

// Number of entries in a sort order.
int32_t OrderEntryCount(int index);
bool ReadOrderEntry(int index, int32_t position, int32_t& ref);
// exact: the key exists; ref: the first item with a key >= key (unchanged when none).
bool SearchIndex(int index, std::string_view key, bool& exact, int32_t& ref);
bool ReadIntlRecord(int32_t ref, TEntryRecord& rec);
bool ReadUSRecord(int32_t ref, TEntryRecord& rec);
bool ReadRecord(TDatabase db, int32_t ref, TEntryRecord& rec);

// A data set opened for one thread: files, cursors and index page caches of its own. While a
// TDataSetUse of it lives on a thread, that thread's data-set functions above (and the index
// engines) work on it instead of the program's data set, so threads with one each read the same
// files at once without a lock. Closed when destroyed.
class TThreadDataSet {
 public:
  TThreadDataSet();
  ~TThreadDataSet();
  TThreadDataSet(const TThreadDataSet&) = delete;
  TThreadDataSet& operator=(const TThreadDataSet&) = delete;
  // Opens the data set of homeDir as OpenDataSet does (throws EDataSetError).
  void Open(const std::string& homeDir);

 private:
  friend class TDataSetUse;
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

struct TDataSetState;
struct TIndexEngines;

class TDataSetUse {
 public:
  explicit TDataSetUse(TThreadDataSet& data);
  ~TDataSetUse();
  TDataSetUse(const TDataSetUse&) = delete;
  TDataSetUse& operator=(const TDataSetUse&) = delete;

 private:
  TDataSetState* state_;    // the thread's data set before
  TIndexEngines* engines_;  // and its index engines
};

// While one lives on a thread, reading the record just read on it again copies it instead of
// decoding it a second time (a call look-up reads its entry to check the call, then for its
// record). Only for reads that belong together: a file damaged in between is not seen.
class TRecordReuse {
 public:
  TRecordReuse();
  ~TRecordReuse();
  TRecordReuse(const TRecordReuse&) = delete;
  TRecordReuse& operator=(const TRecordReuse&) = delete;
};
