#pragma once
// QSL labels from a log: one label per station with its contacts (date, UTC, MHz, mode, report
// sent), the directory's address above them for direct mailing or none for the bureau, and the
// log's QSL_SENT / QSL_SDATE written back once the labels are printed.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "adif/UAdif.h"
#include "adif/UAdifFill.h"
#include "labels/ULabelLayout.h"

enum class TQslPick { Unsent, All };  // Unsent: QSL_SENT is not Y
enum class TQslKind { Direct, Bureau };

inline constexpr const char* kDefaultQslClosing = "PSE QSL TNX";

struct TQslOptions {
  TQslPick pick = TQslPick::Unsent;
  std::string from, to;  // QSO_DATE range, "20240101", both ends included; empty: open
  TQslKind kind = TQslKind::Direct;
  std::string closing = kDefaultQslClosing;
};

// One contact as a label shows it.
struct TQslContact {
  size_t record = 0;  // index in the log's records
  std::string date;   // "2024-01-05"
  std::string time;   // "14:32"
  std::string mhz;    // "14.025", or the band ("20M") without FREQ
  std::string mode;   // SUBMODE, else MODE
  std::string rst;    // RST_SENT
};

struct TQslLabel {
  std::string call;                  // as logged, upper case
  std::string via;                   // the QSL manager; empty when none
  bool bureau = false;               // no address
  bool beforeGrant = false;          // contacts before the licence's grant date
  bool unknown = false;              // the directory has no entry of the call
  std::string prefix;                // the entity's prefix the bureaus sort by
  std::vector<std::string> address;  // direct labels: the mailing address
  std::vector<TQslContact> contacts;
  size_t part = 1, parts = 1;  // "(1/2)" when a station's contacts need more labels
};

// The text lines of a label: "To: CALL via MANAGER", the address, a heading, one row per
// contact, the closing line.
std::vector<std::string> QslLabelLines(const TQslLabel& label, std::string_view closing);
// A contact row: "2024-01-05 14:32 14.025   CW     599".
std::string QslContactRow(const TQslContact& c);
inline constexpr const char* kQslRowHeading = "Date       UTC   MHz      Mode   RST";

// How many contact rows a label of the layout holds besides headLines other lines, at the
// smallest size labels are set in (at least 1).
size_t QslRowsPerLabel(const TLabelLayout& l, size_t headLines);

struct TQslSummary {
  size_t contacts = 0;      // sound records
  size_t picked = 0;        // contacts on labels
  size_t alreadySent = 0;   // QSL_SENT=Y, left out
  size_t outsideDates = 0;  // outside the date range, left out
  size_t noCall = 0;        // without a CALL
  size_t unreadable = 0;    // damaged records
  size_t stations = 0;      // calls labelled
  size_t labels = 0;
  std::vector<std::string> unknownCalls;  // not in the directory: bureau labels
  // "K1ABC: 1 contact before the licence's grant date (1999-07-04): bureau label without the
  // current holder's address"
  std::vector<std::string> beforeGrant;
  std::vector<std::string> noManagerAddress;  // managers the directory has no address of
};

struct TQslJob {
  std::vector<TQslLabel> labels;  // in print order
  TQslSummary summary;
  std::vector<size_t> records;  // the contacts on the labels, ascending
};

// The labels of a log: direct labels first in call order, then the bureau labels in the order
// of their entity's prefix and call (all of them bureau labels with TQslKind::Bureau).
TQslJob MakeQslLabels(const TAdifLog& log, TCallbookSource& source, const TQslOptions& options,
                      const TLabelLayout& layout);

// The summary lines ("contacts on labels: 25" ...), each ending in "\n".
std::string QslSummaryText(const TAdifLog& log, const TQslJob& job);

// The log with QSL_SENT Y and QSL_SDATE date ("20240105") in each of records (ascending);
// every other byte is kept.
std::string MarkQslSent(const TAdifLog& log, const std::vector<size_t>& records,
                        std::string_view date);

// "20240105" for a time (UTC).
std::string AdifDateUtc(long long unixSeconds);

// The template file a name gives: an existing file as it is, else a file of homeDir's labels/
// folder ("av5160", "av5160.cls"), else the predefined template whose list entry begins with
// the name ("Avery 5160", any case); empty when none.
std::string FindLabelTemplate(const std::string& name, const std::string& homeDir);
