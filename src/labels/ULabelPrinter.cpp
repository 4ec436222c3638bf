#include "labels/ULabelPrinter.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/IOUtil.h"
#include "common/StrUtil.h"

namespace {

constexpr int kDeviceWriteFault = 160;
constexpr const char* kJobTitle = "Tellmark labels";

std::string& SpoolError() {
  static std::string error;
  return error;
}
int lastJobId = 0;

bool SubmitFail(std::string why) {
  SpoolError() = std::move(why);
  SetLastErrorCode(kDeviceWriteFault);
  return false;
}

std::string CupsReason() {
  const char* s = cupsLastErrorString();
  return s && *s ? s : "no reason given";
}

// A PostScript string literal of one line: code page 437 mapped to Latin-1 where it has the
// character, else "?"; the PostScript string delimiters escaped.
std::string PsString(std::string_view cp437) {
  std::string out = "(";
  const std::string utf8 = Cp437ToUtf8(cp437);
  size_t i = 0;
  uint32_t cp = 0;
  while (i < utf8.size()) {
    if (!DecodeUtf8(utf8, i, cp)) cp = '?';
    if (cp == '(' || cp == ')' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp >= 32 && cp < 127) {
      out += static_cast<char>(cp);
    } else if (cp >= 160 && cp <= 255) {
      char oct[5];
      std::snprintf(oct, sizeof oct, "\\%03o", static_cast<unsigned>(cp));
      out += oct;
    } else {
      out += '?';
    }
  }
  return out + ")";
}

}  // namespace

// The spooled text as a line printer would print it: Courier 10 pt, 66 lines a page, a form
// feed starts a new page. The lines keep a quarter inch from every edge of a Letter or A4
// page, outside the part most printers cannot print, so the 66 lines stand a little closer
// than six an inch. Sent as PostScript so every queue and filter chain prints it alike.
std::string LabelSpoolPostScript(std::string_view spooled) {
  constexpr int kLinesPerPage = 66;
  constexpr double kMarginPt = 18;                                    // a quarter inch
  constexpr double kPitchPt = (792 - 2 * kMarginPt) / kLinesPerPage;  // 11.45 pt on Letter
  constexpr double kAscentPt = 7.5;  // Courier 10 pt: top of the capitals to the baseline
  std::string ps =
      "%!PS-Adobe-3.0\n%%Title: Tellmark labels\n%%Pages: (atend)\n%%EndComments\n"
      "/TmFont /Courier findfont dup length dict begin {1 index /FID ne {def} {pop pop} ifelse}"
      " forall /Encoding ISOLatin1Encoding def currentdict end definefont pop\n"
      "/L { currentpagedevice /PageSize get 1 get exch sub 18 exch moveto show } bind def\n";
  int page = 0, line = 0;
  std::string body;
  auto startPage = [&] {
    ++page;
    line = 0;
    body += "%%Page: " + std::to_string(page) + " " + std::to_string(page) +
            "\n/TmFont 10 selectfont\n";
  };
  auto endPage = [&] { body += "showpage\n"; };
  startPage();
  std::string cur;
  auto flushLine = [&] {
    if (line == kLinesPerPage) {
      endPage();
      startPage();
    }
    if (!cur.empty()) {
      char y[16];
      std::snprintf(y, sizeof y, "%.1f", kMarginPt + kAscentPt + kPitchPt * line);
      body += PsString(cur) + " " + y + " L\n";
    }
    ++line;
    cur.clear();
  };
  for (size_t i = 0; i < spooled.size(); ++i) {
    const char c = spooled[i];
    if (c == '\r') continue;
    if (c == '\n') {
      flushLine();
    } else if (c == '\f') {
      if (!cur.empty()) flushLine();
      if (i + 1 < spooled.size()) {
        endPage();
        startPage();
      }
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) flushLine();
  endPage();
  return ps + body + "%%Trailer\n%%Pages: " + std::to_string(page) + "\n%%EOF\n";
}

namespace {

bool SendJob(const std::string& text) {
  http_t* http =
      httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
  if (!http)
    return SubmitFail(std::string("The print server ") + cupsServer() + " cannot be reached (" +
                      CupsReason() + ")");
  struct TClose {
    http_t* h;
    ~TClose() { httpClose(h); }
  } close{http};
  cups_dest_t* dest = cupsGetNamedDest(http, nullptr, nullptr);
  if (!dest) return SubmitFail("No default printer queue is set up (" + CupsReason() + ")");
  const std::string queue = dest->name;
  const int job = cupsCreateJob(http, queue.c_str(), kJobTitle, dest->num_options, dest->options);
  cupsFreeDests(1, dest);
  if (job <= 0) return SubmitFail("The queue " + queue + " refused the job (" + CupsReason() + ")");
  bool ok = cupsStartDocument(http, queue.c_str(), job, kJobTitle, CUPS_FORMAT_POSTSCRIPT, 1) ==
            HTTP_STATUS_CONTINUE;
  ok = ok && cupsWriteRequestData(http, text.data(), text.size()) == HTTP_STATUS_CONTINUE;
  if (ok) {
    ok = cupsFinishDocument(http, queue.c_str()) == IPP_STATUS_OK;
  } else {
    cupsFinishDocument(http, queue.c_str());
  }
  if (!ok) {
    const std::string why = CupsReason();
    cupsCancelJob2(http, queue.c_str(), job, 0);
    return SubmitFail("The job for the queue " + queue + " failed (" + why + ")");
  }
  lastJobId = job;
  return true;
}

}  // namespace

namespace {

// Beside the spool: the number of labels in it and the spool's size when they were counted, so
// a spool changed or removed behind the program's back is not miscounted.
std::string CountPath() { return LabelSpoolPath() + ".count"; }

int64_t SpoolSize() {
  struct stat st {};
  return ::stat(LabelSpoolPath().c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

void SetSpoolCount(int n) {
  if (n <= 0)
    ::unlink(CountPath().c_str());
  else
    WriteFileAtomically(CountPath(), std::to_string(n) + " " + std::to_string(SpoolSize()));
}

// The count as recorded and the size it was recorded at; false without a record.
bool ReadSpoolCount(int& n, int64_t& size) {
  std::string text;
  if (!ReadWholeFile(CountPath(), text)) return false;
  long long sz = -1;
  return std::sscanf(text.c_str(), "%d %lld", &n, &sz) == 2 && n > 0 && (size = sz) >= 0;
}

}  // namespace

bool IsPrinterDeviceName(const std::string& name) {
  std::string n = AsciiLower(TrimBlanks(name));
  if (!n.empty() && n.back() == ':') n.pop_back();
  return n == "prn" || n == "lpt1" || n == "lpt2" || n == "lpt3";
}

std::string LabelSpoolPath() {
  namespace fs = std::filesystem;
  if (const char* p = std::getenv("TELLMARK_LABEL_SPOOL"); p && *p) return p;
  fs::path dir;
  if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s)
    dir = fs::path(s) / "tellmark";
  else if (const char* h = std::getenv("HOME"); h && *h)
    dir = fs::path(h) / ".local" / "state" / "tellmark";
  else
    dir = fs::temp_directory_path() / "tellmark";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return (dir / "labels.spool").string();
}

bool LabelSpoolPending() {
  struct stat st {};
  return ::stat(LabelSpoolPath().c_str(), &st) == 0 && st.st_size > 0;
}

bool SubmitLabelSpool() {
  const std::string path = LabelSpoolPath();
  std::string spooled;
  if (::access(path.c_str(), F_OK) != 0) {
    SpoolError().clear();
    return true;
  }
  if (!ReadWholeFile(path, spooled))
    return SubmitFail("The spool file " + path + " cannot be read (" +
                      ErrorCodeText(LastErrorCode()) + ")");
  if (spooled.find_first_not_of("\r\n\f") != std::string::npos &&
      !SendJob(LabelSpoolPostScript(spooled)))
    return false;
  // Only what was submitted goes; lines appended meanwhile stay for the next job.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && static_cast<size_t>(st.st_size) == spooled.size()) {
    if (::truncate(path.c_str(), 0) != 0)
      return SubmitFail("The spool file " + path + " cannot be emptied");
    SetSpoolCount(0);
  } else {
    std::string now;
    if (ReadWholeFile(path, now) && now.size() >= spooled.size())
      WriteFileAtomically(path, now.substr(spooled.size()));
  }
  SpoolError().clear();
  SetLastErrorCode(0);
  return true;
}

int LabelSpoolLabelCount() {
  const int64_t size = SpoolSize();
  if (size == 0) return 0;
  int n = 0;
  int64_t counted = 0;
  return ReadSpoolCount(n, counted) && counted == size ? n : -1;
}

void CountSpooledLabel(size_t bytes) {
  const int64_t size = SpoolSize();
  int n = 0;
  int64_t counted = 0;
  if (ReadSpoolCount(n, counted) && counted + static_cast<int64_t>(bytes) == size)
    SetSpoolCount(n + 1);
  else if (static_cast<int64_t>(bytes) == size)
    SetSpoolCount(1);
  else
    SetSpoolCount(0);  // lines spooled before were not counted: no count
}

std::string LabelSpoolStatusText() {
  const int n = LabelSpoolLabelCount();
  if (n == 0) return {};
  if (n < 0) return "Label lines waiting for the printer";
  return std::to_string(n) + (n == 1 ? " label" : " labels") + " waiting for the printer";
}

bool DiscardLabelSpool() {
  const std::string path = LabelSpoolPath();
  SetSpoolCount(0);
  if (::access(path.c_str(), F_OK) == 0 && ::truncate(path.c_str(), 0) != 0) {
    SetLastErrorCode(IOCodeFromErrno(errno));
    return false;
  }
  SpoolError().clear();
  return true;
}

const std::string& LabelSpoolError() { return SpoolError(); }

int LastLabelJobId() { return lastJobId; }

void SetLabelPrintServer(const std::string& server) {
  cupsSetServer(server.empty() ? nullptr : server.c_str());
}
