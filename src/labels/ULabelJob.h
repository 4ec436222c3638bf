#pragma once
// The rules of the print job over the report file, without a window: the call column of a
// line, the look-up of a call in both call indexes, the progress and the questions.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "dataset/UEntry.h"

enum class TFindCallResult { Found, NotFound, IOError };

// The call column of a report file line (without its line end): its first 15 characters, a
// carriage return of the line end not counted.
std::string ReportLineCall(std::string_view line);

// The report file of a print job, line by line. A line read stays the current one until it is
// marked done, so a job paused between reading a line and printing its label goes on with that
// line.
class TReportLineReader {
 public:
  // Opens the file; false with the last error code set.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return in_.is_open(); }
  // The call column of the current line, reading the next line when the last one is done;
  // false at the end of the file.
  bool Current(std::string& call);
  // The current line was handled.
  void Done() { pending_ = false; }
  // Lines read from the file, the current one included.
  int64_t LinesRead() const { return linesRead_; }

 private:
  std::ifstream in_;
  std::string call_;
  bool pending_ = false;
  int64_t linesRead_ = 0;
};
// Looks a call up: U.S. call index first for keys beginning with a, k, n or w, else the
// International one first; only an exact match counts. IOError leaves the last error code.
TFindCallResult FindCallEntry(std::string_view text, TEntryRecord& rec);
// Lines read of total as a whole percentage 0..100 (0 when total is 0).
int JobProgress(int64_t linesRead, int64_t totalLines);

std::string CallNotFoundQuestion(std::string_view call15, int64_t line);
std::string LabelTooLargeQuestion(std::string_view call15, int64_t line);

inline constexpr const char* kIllegalReportFileName = "Illegal filename for report file";
inline constexpr const char* kAskAbortPrintJob =
    "This will abort the current print job immediately.";
