#pragma once
// The QSL managers file "data\qslmgr.dat": fixed records of 53 bytes, each four length-prefixed
// strings (call served, manager call, info, date of last change). Record 0 is not shown; its row
// is the heading. One record is cached, so painting a row's cells reads the file once.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/IOUtil.h"

inline constexpr const char* kQslManagerFileName = "data\\qslmgr.dat";
constexpr int kQslRecordSize = 53;
constexpr int kQslColumns = 4;
constexpr size_t kQslLookupCallLen = 13;

inline constexpr const char* kQslHeadings[kQslColumns] = {"Call", "Manager", "Info", "Last edited"};

struct TQslRecord {
  std::string call;     // at most 13 characters
  std::string manager;  // at most 13 characters
  std::string info;     // at most 15 characters
  std::string date;     // at most 8 characters
};

// An I/O failure of the QSL managers file; the message is "Error: <code> (<text>)".
class EQslFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Splits 53 record bytes into the four fields; a length byte above its field's size is cut to
// that size.
TQslRecord DecodeQslRecord(const uint8_t* bytes);
// A date of exactly 8 characters shown 2-2-4 with slashes ("12311998" -> "12/31/1998"); any other
// length unchanged.
std::string QslDateText(std::string_view date);
// The call to look up for a manager: each "0" as "<" (the call index form), cut to 13.
std::string QslLookupCall(std::string_view managerCall);
// Record number of an entry's QSL manager field (blanks removed; 0 when absent or no number).
int32_t QslManagerRecordNumber(std::string_view field);

class TQslManagerFile {
 public:
  // Opens the file read-only; throws EQslFileError.
  void Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }
  // Whole records in the file (a trailing partial record is not counted).
  int32_t RecordCount() const { return recordCount_; }
  // Rows of the table: the heading row and records 1..count-1.
  int32_t RowCount() const { return recordCount_ > 1 ? recordCount_ : 1; }
  // Record nr (0..count-1), from the cache when it is the last one read; throws EQslFileError
  // on a read error or a number outside the file.
  const TQslRecord& Record(int32_t nr);
  // Text of a cell: row 0 the headings; row r the fields of record r, the date column with
  // slashes; other columns and rows outside the file empty.
  std::string CellText(int col, int32_t row);
  // Double click on a row: the manager's call in the form the call index stores it.
  std::string LookupCallOfRow(int32_t row);
  // Records read from the file since it was opened.
  uint64_t Reads() const { return reads_; }

 private:
  TReadOnlyFile file_;
  int32_t recordCount_ = 0;
  int32_t cachedNr_ = -1;
  TQslRecord cached_;
  uint64_t reads_ = 0;
};
