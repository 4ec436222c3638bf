#include "labels/ULabel.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "labels/ULabelLayout.h"
#include "labels/ULabelPrinter.h"

namespace {

constexpr size_t kCallLen = 15;
constexpr size_t kCountryLen = 30;
constexpr const char* kLineEnd = "\r\n";

int AddressTag(const TEntryRecord& e) {
  return e.db == TDatabase::US ? int{utAddress} : int{itAddress};
}

std::string CallPart(const TEntryRecord& e, const TAddressStyle& style) {
  return style.addCall ? Cut(e.Field(1), kCallLen) : std::string();
}

std::string StateZip(const TEntryRecord& e) { return e.Field(utState) + " " + e.Field(utZIP); }

std::string CountryLine(const TEntryRecord& e, const TAddressStyle& style) {
  std::string country;
  if (style.addCountry == 1)
    country = e.Field(e.db == TDatabase::US ? int{utCountry} : int{itCountry});
  else if (style.addCountry == 2)
    country = e.Field(e.db == TDatabase::US ? int{utDxcc} : int{itDxcc});
  return Cut(country, kCountryLen);
}

// Only the space character counts as a blank here.
std::string TrimSpaces(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  const size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

bool Fail(int code) {
  SetLastErrorCode(code);
  return false;
}

// The no-break space of code page 437 is 255 (160 there is the letter a with acute accent).
constexpr unsigned char kCp437NoBreakSpace = 255;

std::string NoBreakToSpace(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) == kCp437NoBreakSpace) c = ' ';
  return s;
}

// A CSV field: in double quotes, a double quote inside doubled.
std::string CsvField(std::string_view s) {
  std::string f = "\"";
  for (const char c : s) {
    if (c == '"') f += '"';
    f += c;
  }
  return f + '"';
}

// Files are written in UTF-8; the printer spool keeps code page 437.
bool WriteLabelText(const std::string& name, const std::string& cp437) {
  TLabelOutput out;
  if (!OpenForAppend(name, out)) return false;
  const bool printer = out.IsPrinter();
  const std::string bytes = printer ? cp437 : Cp437ToUtf8(cp437);
  const bool written = out.Write(bytes);
  const int code = LastErrorCode();
  const bool closed = out.Close();
  if (!written) return Fail(code);
  if (closed && printer) CountSpooledLabel(bytes.size());
  return closed;
}

}  // namespace

bool FormatAddress(const TEntryRecord& entry, const TAddressStyle& style, TAddressBlock& block) {
  block = TAddressBlock{};
  const std::string call = CallPart(entry, style);
  const std::string address = entry.Field(AddressTag(entry));
  size_t start = 0;
  while (start <= address.size()) {
    const size_t comma = address.find(',', start);
    const bool last = comma == std::string::npos;
    const std::string_view piece =
        std::string_view(address).substr(start, last ? std::string::npos : comma - start);
    if (last && piece.empty()) break;
    if (block.count > 10) return Fail(kLabelTooLargeCode);
    block.line[static_cast<size_t>(block.count++)] = Cut(TrimSpaces(piece), kAddressLineLen);
    if (last) break;
    start = comma + 1;
  }
  if (block.count >= 1 && !call.empty())
    block.line[0] = Cut(block.line[0] + ", " + call, kAddressLineLen);
  if (entry.db == TDatabase::US && block.count >= 1) {
    std::string& l = block.line[static_cast<size_t>(block.count - 1)];
    l = Cut(l + ", " + StateZip(entry), kAddressLineLen);
  }
  if (block.count > 10) return Fail(kLabelTooLargeCode);
  if (const std::string country = CountryLine(entry, style); !country.empty())
    block.line[static_cast<size_t>(block.count++)] = country;
  return true;
}

std::vector<std::string> FormatAddressLines(const TEntryRecord& entry, const TAddressStyle& style) {
  std::vector<std::string> lines;
  const std::string call = CallPart(entry, style);
  const std::string address = entry.Field(AddressTag(entry));
  size_t start = 0;
  for (;;) {
    const size_t sep = address.find(", ", start);
    if (sep == std::string::npos) {
      if (start < address.size()) lines.push_back(address.substr(start));
      break;
    }
    lines.push_back(address.substr(start, sep - start));
    start = sep + 2;
  }
  if (!lines.empty() && !call.empty()) lines.front() += ", " + call;
  if (entry.db == TDatabase::US && !lines.empty()) lines.back() += ", " + StateZip(entry);
  if (std::string country = CountryLine(entry, style); !country.empty())
    lines.push_back(std::move(country));
  return lines;
}

std::string AddressBlockText(const TAddressBlock& block) {
  std::string text;
  for (int i = 0; i < block.count; ++i) text += block.line[static_cast<size_t>(i)] + kLineEnd;
  return text;
}

TLabelOutput::~TLabelOutput() {
  if (fd_ >= 0) ::close(fd_);
}

TLabelOutput::TLabelOutput(TLabelOutput&& other) noexcept
    : fd_(other.fd_), printer_(other.printer_) {
  other.fd_ = -1;
}

TLabelOutput& TLabelOutput::operator=(TLabelOutput&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    printer_ = other.printer_;
    other.fd_ = -1;
  }
  return *this;
}

bool TLabelOutput::Write(std::string_view bytes) {
  if (fd_ < 0) return Fail(103);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(IOCodeFromErrno(errno));
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool TLabelOutput::Close() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) return Fail(IOCodeFromErrno(errno));
  return true;
}

bool OpenForAppend(const std::string& name, TLabelOutput& out) {
  out = TLabelOutput{};
  std::string path = name;
  const bool printer = IsPrinterDeviceName(name);
  if (printer)
    path = LabelSpoolPath();
  else if (IsDeviceFileName(name))
    return Fail(102);
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  // A missing file is created: "no such file" means a folder on the way is missing.
  if (fd < 0) return Fail(errno == ENOENT ? 3 : IOCodeFromErrno(errno));
  out.fd_ = fd;
  out.printer_ = printer;
  SetLastErrorCode(0);
  return true;
}

bool PrintLabelDirect(const TAddressBlock& block, const TPrintOptions& options) {
  if (options.useItForCSV) return ExportLabelCsv(block, options);
  if (options.numLines < block.count) return Fail(kLabelTooLargeCode);
  for (int i = 0; i < block.count; ++i)
    if (block.line[static_cast<size_t>(i)].size() > options.numChar)
      return Fail(kLabelTooLargeCode);
  const std::string margin(options.leftMargin & 0xFF, ' ');
  std::string text;
  for (int i = 0; i < options.numLines; ++i) {
    if (i < block.count && !block.line[static_cast<size_t>(i)].empty())
      text += margin + NoBreakToSpace(block.line[static_cast<size_t>(i)]);
    text += kLineEnd;
  }
  return WriteLabelText(options.outfileName, text);
}

std::string LabelCsvLine(const TAddressBlock& block, char separator) {
  std::string line;
  for (int i = 0; i < block.count; ++i) {
    if (i > 0) line += separator;
    line += CsvField(NoBreakToSpace(block.line[static_cast<size_t>(i)]));
  }
  return line;
}

bool ExportLabelCsv(const TAddressBlock& block, const TPrintOptions& options) {
  return WriteLabelText(options.outfileName, LabelCsvLine(block, options.separatorChar) + kLineEnd);
}

TAddressBlock SampleAddressBlock(const TPrintOptions& options) {
  constexpr int kSampleLines = 5;
  TAddressBlock block;
  const int n = std::clamp<int>(options.numLines, 0, kSampleLines);
  for (int i = 0; i < n; ++i)
    block.line[static_cast<size_t>(block.count++)] =
        Cut(SampleLabelLines()[static_cast<size_t>(i)], options.numChar);
  return block;
}

bool SendFormFeed(const TPrintOptions& options) {
  if (IsPrinterDeviceName(options.outfileName)) return SubmitLabelSpool();
  TLabelOutput out;
  if (!OpenForAppend(options.outfileName, out)) return false;
  const bool written = out.Write("\f");
  const int code = LastErrorCode();
  const bool closed = out.Close();
  if (!written) return Fail(code);
  return closed;
}

std::string LabelOutputErrorText(int code) {
  if (code == 160 && !LabelSpoolError().empty())
    return LabelSpoolError() + ". The label lines stay spooled for the next form feed.";
  return ErrorCodeText(code);
}
