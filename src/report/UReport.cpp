#include "report/UReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "settings/USettings.h"
#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"

namespace {

struct TReportState {
  std::string name = DefaultReportFileName();
  TFd fd;
  bool open = false;
  // The file ends inside a line (a writer killed mid-line, or an edit without a last line
  // break): the next call starts with a line break of its own.
  bool lineOpen = false;
};

TReportState& State() {
  static TReportState state;
  return state;
}

int SetErrnoCode(int err) {
  const int code = IOCodeFromErrno(err);
  SetLastErrorCode(code);
  return code;
}

void CloseIfOpen() {
  if (State().fd.IsOpen()) CloseReportFile();
}

// Opening a file for writing fails with "no such file" only when a folder on the way is missing.
int OpenErrorCode(int err) { return err == ENOENT ? 3 : IOCodeFromErrno(err); }

// Whether the open file is still the one its name leads to.
bool StillTheFileNamed(int fd, const std::string& name) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 && ::stat(name.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

void SetReportFileName(const std::string& name) {
  auto& s = State();
  if (name == s.name) return;
  CloseIfOpen();
  s.name = name;
}

const std::string& ReportFileName() { return State().name; }

bool ReportFileIsOpen() { return State().open; }

bool OpenReportFile() {
  auto& s = State();
  CloseIfOpen();
  TFd fd(::open(s.name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.IsOpen()) {
    SetLastErrorCode(OpenErrorCode(errno));
    s.open = false;
    return false;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    // A device or directory is no report file.
    SetLastErrorCode(5);
    s.open = false;
    return false;
  }
  s.lineOpen = false;
  if (st.st_size > 0) {
    char last = '\n';
    if (TFd reader(::open(s.name.c_str(), O_RDONLY | O_CLOEXEC)); reader.IsOpen())
      s.lineOpen = PreadFull(reader.Get(), &last, 1, st.st_size - 1) == 1 && last != '\n';
  }
  s.fd = std::move(fd);
  s.open = true;
  SetLastErrorCode(0);
  return true;
}

bool CloseReportFile() {
  auto& s = State();
  s.open = false;
  return s.fd.CloseFile();
}

TReportResult AddToReportFile(std::string_view text) {
  auto& s = State();
  // A file deleted or replaced since it was opened (by hand, another program) is opened again:
  // lines written to the old one would be lost.
  if (s.open && !StillTheFileNamed(s.fd.Get(), s.name)) CloseReportFile();
  if (!s.open && !OpenReportFile())
    return {false, "Could not open report file: " + ErrorCodeText(LastErrorCode())};

  std::string line = s.lineOpen ? "\r\n" : "";
  line += text;
  line += "\r\n";
  const off_t before = ::lseek(s.fd.Get(), 0, SEEK_END);
  if (!PwriteFull(s.fd.Get(), line.data(), static_cast<int64_t>(line.size()), -1)) {
    int code = IOCodeFromErrno(errno);
    if (code == 100) code = 101;  // a failed write is a write error
    // No half line stays behind: cut the file back to where this line began.
    if (before >= 0) {
      [[maybe_unused]] const int rc = ::ftruncate(s.fd.Get(), before);
    }
    SetLastErrorCode(code);
    return {false, "Error during write to report file: " + ErrorCodeText(code)};
  }
  s.lineOpen = false;
  SetLastErrorCode(0);
  return {};
}

TReportResult ClearReportFile() {
  auto& s = State();
  CloseIfOpen();
  if (::unlink(s.name.c_str()) != 0) {
    const int code = SetErrnoCode(errno);
    return {false, "Can't delete file: " + ErrorCodeText(code)};
  }
  SetLastErrorCode(0);
  return {};
}

std::string PrepareReportFileForEditor() {
  auto& s = State();
  CloseIfOpen();
  TFd(::open(s.name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  return s.name;
}

int32_t ReportCallCount() {
  const std::string& name = State().name;
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
  std::string text;
  if (!S_ISREG(st.st_mode) || !ReadWholeFile(name, text)) return -1;
  int32_t count = 0;
  bool filled = false;  // the line so far holds more than blanks
  for (const char c : text) {
    if (c == '\n') {
      count += filled ? 1 : 0;
      filled = false;
    } else if (c != ' ' && c != '\r' && c != '\t') {
      filled = true;
    }
  }
  return count + (filled ? 1 : 0);
}

std::string CallsText(int32_t n) { return std::to_string(n) + (n == 1 ? " call" : " calls"); }

std::string ReportLogAddedText(int32_t added, const std::vector<std::string>& notFound) {
  std::string t = CallsText(added) + " of the log " + (added == 1 ? "was" : "were") +
                  " added to the report file.";
  if (notFound.empty()) return t;
  t += "\nNot in the directory (no address label): ";
  constexpr size_t kNamed = 20;
  for (size_t i = 0; i < notFound.size() && i < kNamed; ++i) t += (i ? ", " : "") + notFound[i];
  if (notFound.size() > kNamed) t += " and " + std::to_string(notFound.size() - kNamed) + " more";
  return t + ".";
}

std::string ReportAddedText(std::string_view what, int32_t count) {
  std::string text = std::string(what) + " added to the report file";
  if (count >= 0) text += " (" + CallsText(count) + ")";
  return text;
}

std::string ReportCall(const TEntryRecord& rec) { return Cut(rec.Field(1), kReportCallLen); }

TReportResult AddEntryToReport(std::string_view call) {
  return AddToReportFile(Cut(call, kReportCallLen));
}

TReportResult ReportShownEntry(int32_t mode, std::string_view call) {
  if (mode != rmAlways) return {};
  return AddEntryToReport(call);
}

bool ReportAddCommandsEnabled(int32_t mode) { return mode != rmNever; }

TReportCopyResult AddCallsToReport(const std::vector<std::string>& calls,
                                   const std::function<void(const std::string&)>& showError) {
  TReportCopyResult out;
  for (const std::string& call : calls) {
    if (TReportResult r = AddEntryToReport(call); !r) {
      if (showError) showError(r.message);
    } else {
      ++out.written;
    }
  }
  return out;
}

TReportCopyResult AddSearchResultsToReport(
    TDatabase db, TAllgVerweisListe& results, TSearchProgress* progress,
    const std::function<void(const std::string&)>& showError) {
  TReportCopyResult out;
  const int32_t count = results.GetCount();
  if (count < 1) return out;
  TSearchProgress* shown = nullptr;
  if (progress) {
    try {
      if (progress->Show()) shown = progress;
    } catch (...) {
      shown = nullptr;
    }
  }
  for (int32_t i = 1; i <= count; ++i) {
    TEntryRecord rec;
    if (!ReadRecord(db, results.GetItem(i), rec)) {
      if (showError) showError(kHandlingErrorPrefix + ErrorCodeText(LastErrorCode()));
    } else if (TReportResult r = AddEntryToReport(ReportCall(rec)); !r) {
      if (showError) showError(r.message);
    } else {
      ++out.written;
    }
    if (shown && shown->Update(GaugeValue(static_cast<double>(i) / count))) {
      out.aborted = true;
      break;
    }
  }
  if (shown) shown->Close();
  return out;
}
