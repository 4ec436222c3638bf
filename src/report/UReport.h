#pragma once
// The report file: a text file of collected call signs, one per line (CR LF), only ever
// appended. It is kept open between additions; every line goes to the file with its own write,
// so nothing collected is lost when the program ends abnormally.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/UEntry.h"

class TAllgVerweisListe;
class TSearchProgress;

constexpr size_t kReportCallLen = 15;

inline constexpr const char* kCantStartNotepad = "Can't start NotePad";
inline constexpr const char* kCopyingCallsCaption = "Copying calls...";

// Outcome of a report file operation: ok, or the text of the error message box.
struct TReportResult {
  bool ok = true;
  std::string message;
  explicit operator bool() const { return ok; }
};

// A different name (exact comparison) closes the file and is taken; an equal one changes nothing.
// Before the first call the name is DefaultReportFileName().
void SetReportFileName(const std::string& name);
const std::string& ReportFileName();
bool ReportFileIsOpen();

// Closes the file when open, then opens it for appending, creating it when missing. Returns
// success (the last error code holds the I/O result).
bool OpenReportFile();
// Clears the open flag and closes the file.
bool CloseReportFile();

// Appends text and a line end, opening the file first when it is closed. Messages:
// "Could not open report file: Error: <code>" and "Error during write to report file: Error:
// <code>". A failed write leaves the file as it was before it.
TReportResult AddToReportFile(std::string_view text);

// Closes the file when open and deletes it: "Can't delete file: Error: <code>" on failure.
TReportResult ClearReportFile();

// For the text editor: closes the file when open and makes sure it exists (empty when new), so
// the editor can open it; returns the name to hand to the editor. When the editor cannot be
// started the window shows kCantStartNotepad.
std::string PrepareReportFileForEditor();

// The calls in the report file: its lines holding more than blanks; 0 when it does not exist,
// -1 when it cannot be read.
int32_t ReportCallCount();

// The status line after an addition: "K5DRC added to the report file (12 calls)", or with what
// "37 calls"; the count in brackets left out when it is below 0 (the file could not be read).
std::string ReportAddedText(std::string_view what, int32_t count);
// After the calls of a log were added: "25 calls of the log were added to the report file.", and
// when some are not in the directory "Not in the directory (no address label): ZZ9ZZZ, XX1XX."
// (at most 20 named, then "and N more").
std::string ReportLogAddedText(int32_t added, const std::vector<std::string>& notFound);
// "37 calls", "1 call".
std::string CallsText(int32_t n);

// The call an entry adds: the first field of its entry text, cut to 15 characters.
std::string ReportCall(const TEntryRecord& rec);
// "&Add entry to report file": the call cut to 15 characters, appended.
TReportResult AddEntryToReport(std::string_view call);
// After an entry has been shown: appends its call when the mode is "always" (2).
TReportResult ReportShownEntry(int32_t mode, std::string_view call);
// The two "Add ..." commands are enabled unless the mode is "never" (3).
bool ReportAddCommandsEnabled(int32_t mode);

struct TReportCopyResult {
  int32_t written = 0;  // lines appended
  bool aborted = false;
};
// "Add search results to report file": for each reference of the result list in order, reads
// the entry of db and appends its call, updating the progress window (may be null) after each
// one; stops when the user aborts. Every failure (read, open, write) goes to showError and the
// loop goes on with the next entry.
TReportCopyResult AddSearchResultsToReport(
    TDatabase db, TAllgVerweisListe& results, TSearchProgress* progress,
    const std::function<void(const std::string&)>& showError);

// "Add calls from ADIF log...": each call cut to 15 characters and appended, in order. Every
// failure goes to showError and the loop goes on with the next call.
TReportCopyResult AddCallsToReport(const std::vector<std::string>& calls,
                                   const std::function<void(const std::string&)>& showError);
