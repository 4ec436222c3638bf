#pragma once
// Address blocks of entries and the plain-text ("old" method) label output: labels padded to a
// fixed number of lines, comma-separated label lines and form feeds, appended to a file, a
// device path or, for the printer device names, the default print queue (ULabelPrinter).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/UEntry.h"
#include "settings/USettings.h"

constexpr int kAddressBlockLines = 11;
constexpr size_t kAddressLineLen = 65;
// Last error code of an address that does not fit the label.
constexpr int kLabelTooLargeCode = 201;

inline constexpr const char* kLabelTooLargeMessage =
    "Data of this entry exceeds selected label dimensions.";
inline constexpr const char* kErrorDuringPrint = "Error during print: ";

// Up to 11 lines of up to 65 characters (code page 437).
struct TAddressBlock {
  int16_t count = 0;
  std::array<std::string, kAddressBlockLines> line;
};

// The bounded address block of the old method, the CSV export and the clipboard. On failure
// (more than 10 address pieces) returns false with the last error code 201.
bool FormatAddress(const TEntryRecord& entry, const TAddressStyle& style, TAddressBlock& block);
// The unbounded address lines of the template method; never fails.
std::vector<std::string> FormatAddressLines(const TEntryRecord& entry, const TAddressStyle& style);
// The lines of a block, each followed by CR LF (the clipboard's address-only format).
std::string AddressBlockText(const TAddressBlock& block);

// An output opened for appending: a file, a device path, or the print spool.
class TLabelOutput {
 public:
  TLabelOutput() = default;
  ~TLabelOutput();
  TLabelOutput(TLabelOutput&& other) noexcept;
  TLabelOutput& operator=(TLabelOutput&& other) noexcept;
  TLabelOutput(const TLabelOutput&) = delete;
  TLabelOutput& operator=(const TLabelOutput&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // True when the output is the spool of the default print queue.
  bool IsPrinter() const { return printer_; }
  // Writes all bytes; false and the last error code on an I/O error.
  bool Write(std::string_view bytes);
  // Closes; false and the last error code when the close reports an error.
  bool Close();

 private:
  friend bool OpenForAppend(const std::string& name, TLabelOutput& out);
  int fd_ = -1;
  bool printer_ = false;
};

// Opens name for appending, creating it when missing. The printer device names ("prn",
// "lpt1".."lpt3") open the spool of the default print queue. Names refused by IsDeviceFileName
// fail with code 102. On failure returns false with the last error code.
bool OpenForAppend(const std::string& name, TLabelOutput& out);

// Writes one label of options.numLines lines (or one CSV line when options.useItForCSV). The
// whole label is checked before anything is written, so a label that does not fit (code 201)
// leaves the output as it was. The no-break space (255) becomes a space; files get UTF-8, the
// printer spool code page 437.
bool PrintLabelDirect(const TAddressBlock& block, const TPrintOptions& options);
// One line (code page 437): every block line in double quotes, a double quote inside doubled,
// separated by separator.
std::string LabelCsvLine(const TAddressBlock& block, char separator);
bool ExportLabelCsv(const TAddressBlock& block, const TPrintOptions& options);
// The test label of the label options: the first lines of the sample label (as many as the
// label has, at most five), each cut to NumChar; printed like any label.
TAddressBlock SampleAddressBlock(const TPrintOptions& options);
// Appends the form feed byte (12). For the printer device names it submits the spooled lines as
// one print job instead (ULabelPrinter); a failed submission keeps them spooled.
bool SendFormFeed(const TPrintOptions& options);
// What follows "Error during print: " for a failed label output with that last error code: why
// the print queue did not take the spooled lines (and that they are kept), else "Error: <code>".
std::string LabelOutputErrorText(int code);
