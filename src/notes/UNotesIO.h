#pragma once
// The notes file: one short private note per call sign, in a file of 256-byte records (record 0
// the header, then one record per note), with an in-memory call-sign index rebuilt at opening.
// The file stays open and write-locked while a TNotes exists.
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/IOUtil.h"

class TIndexStream;

// One entry record of the notes file.
struct TNoteRec {
  uint8_t Status = 0;  // 2 = in use, 1 = free
  std::string Call;    // at most 6 characters, as made by NormaliseCall
  std::string Text;    // at most 247 single-byte characters, lines separated by CR LF
};

// A failed read, write or open of the notes file. Code() is the run-time I/O code
// (2 file not found, 3 path not found, 5 access denied, 100 read error, 101 write error ...).
class ENotesIOError : public std::runtime_error {
 public:
  explicit ENotesIOError(int code);
  ENotesIOError(int code, const std::string& message);
  int Code() const { return code_; }

 private:
  int code_;
};

class TNotes {
 public:
  static constexpr int kRecordSize = 256;
  static constexpr int kMaxCallLen = 6;
  static constexpr int kMaxTextLen = 247;
  static constexpr uint8_t kStatusFree = 1;
  static constexpr uint8_t kStatusInUse = 2;
  static constexpr int32_t kFileVersion = 1;
  static constexpr const char* kFileId = "TMK Notes File";

  // Opens the notes file, creating it when it does not exist, and builds the index. Throws
  // ENotesIOError (the file cannot be opened or created, or another program has it open),
  // std::runtime_error "Notes file has wrong file id" / "Notes file has wrong file version",
  // or EIndexStreamError 1100 when two records hold the same call sign. A failed opening leaves
  // the file as it was.
  explicit TNotes(const std::string& fileName);
  // Marks the file closed and closes it; errors are ignored.
  ~TNotes();
  TNotes(const TNotes&) = delete;
  TNotes& operator=(const TNotes&) = delete;

  // True when there is a note for the call; false for an invalid call sign, never throws.
  bool HasNote(std::string_view call);
  // Normalises the call (throws ECallError for an invalid one) and reads its note. Returns false
  // and an empty record when there is none.
  bool ReadNote(std::string_view call, TNoteRec& rec);
  // Stores rec.Text (cut to 247 characters) under rec.Call, replacing an existing note or taking
  // a free record (else appending one). rec.Status is ignored. Throws ECallError for an invalid
  // call sign.
  void SaveNote(const TNoteRec& rec);
  // Removes the note of the call if there is one.
  void DeleteNote(std::string_view call);

  const std::string& FileName() const { return fileName_; }
  // Number of records in the file, the header included.
  int32_t RecordCount() const { return recordCount_; }
  int32_t NoteCount() const;

 private:
  using TRecord = std::array<uint8_t, kRecordSize>;

  void Open();
  void Lock();
  void CloseFile();
  void ReadRecord(int32_t n, TRecord& buf);
  void WriteRecord(int32_t n, const TRecord& buf);
  void WriteHeader();
  void SetFreeHead(int32_t head);
  // A record number from the free list, or 0 when the list is empty or does not lead to a free
  // record (the list is then dropped rather than a note overwritten).
  int32_t TakeFreeRecord();
  // Builds the call-sign index and repairs the free list.
  void BuildIndex();
  void RepairFreeList(const std::vector<int32_t>& freeRecords, const std::vector<int32_t>& links);
  void Sync();

  std::string fileName_;
  TFd fd_;
  TRecord header_{};
  int32_t freeHead_ = 0;
  int32_t recordCount_ = 0;
  bool openedCompletely_ = false;
  std::unique_ptr<TIndexStream> index_;
};
