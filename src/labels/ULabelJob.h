#pragma once
// The rules of the print job over the report file, without a window: the call column of a
// line, the look-up of a call in both call indexes, the progress and the questions.
#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/UEntry.h"

enum class TFindCallResult { Found, NotFound, IOError };

// The call column of a report file line: its first 15 characters.
std::string ReportLineCall(std::string_view line);
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
