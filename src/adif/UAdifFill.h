#pragma once
// Filling an ADIF log from the directory: the empty or missing fields of each contact from the
// callbook record of its call, minding when the licence was granted and where a portable
// station was. One look-up per distinct call.
#include <array>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "adif/UAdif.h"
#include "callbook/UCallbookRecord.h"
#include "common/USafeFile.h"
#include "common/UStatus.h"

// Where the filler gets its records.
class TAdifSource {
 public:
  virtual ~TAdifSource() = default;
  // The record of a licensed base call ("K5DRC"); nullopt when the directory has none.
  virtual std::optional<TCallbookRecord> FindBaseCall(std::string_view baseCall) = 0;
  // The entity table calls with designators are placed with (PlaceRecord); null when none.
  virtual const TEntityTable* Entities() = 0;
};

class TCallbook;

// The directory's answers: the entry of exactly the base call (a next-greater entry is none),
// and the entities of the edition's table.
class TCallbookLookupSource : public TAdifSource {
 public:
  explicit TCallbookLookupSource(const TCallbook& callbook) : callbook_(callbook) {}
  std::optional<TCallbookRecord> FindBaseCall(std::string_view baseCall) override;
  const TEntityTable* Entities() override;

 private:
  const TCallbook& callbook_;
};

// A record's mailing address: name, street, "CITY, ST ZIP", country; empty parts left out.
std::vector<std::string> AdifMailingLines(const TCallbookRecord& r);

// The fields the filler writes, in this order.
inline constexpr std::array<const char*, 15> kAdifFillFields = {
    "NAME",    "QTH",  "ADDRESS", "STATE", "CNTY", "GRIDSQUARE", "LAT",  "LON",
    "COUNTRY", "DXCC", "CQZ",     "ITUZ",  "CONT", "QSL_VIA",    "EMAIL"};

struct TAdifFillSummary {
  size_t contacts = 0;        // sound records read
  size_t filledContacts = 0;  // contacts with at least one field filled
  std::array<size_t, kAdifFillFields.size()> perField{};
  size_t notFound = 0;                     // contacts whose call the directory does not have
  std::vector<std::string> notFoundCalls;  // those calls, each once, in log order
  size_t noCall = 0;                       // contacts without a CALL
  size_t dateRule = 0;                     // contacts before the licence's grant date
  size_t elsewhere = 0;   // contacts whose logged place is not the directory's: no place filled
  size_t unreadable = 0;  // damaged records, left as they were
  size_t lookups = 0;     // distinct calls looked up
  size_t synthetic = 0;   // contacts whose entry is invented (left as they were)
  std::vector<std::string> syntheticCalls;  // their calls, each once, in log order
};

// What the rules allow for one contact with the call as logged ("VE3/K5DRC"), its QSO_DATE
// ("19990403" or empty) and the record of the call, already placed where its designators say
// (PlaceRecord). dateRule is set when the contact lies before the licence's grant date. Values
// are in the ADIF forms (texts UTF-8); absent values are left out.
std::vector<std::pair<std::string, std::string>> AdifValuesFor(std::string_view loggedCall,
                                                               std::string_view qsoDate,
                                                               const TCallbookRecord& rec,
                                                               bool& dateRule);

// The characters of the String fields the filler writes (NAME, QTH, ADDRESS). Auto: UTF-8 when
// the log already holds UTF-8 values (its writer chose it), else ASCII, as ADIF types them.
enum class TAdifCharset { Auto, Ascii, Utf8 };
// "auto", "ascii", "utf8" to the charset; false for another text.
bool ParseAdifCharset(std::string_view text, TAdifCharset& charset);
// A UTF-8 text in ASCII: accented letters folded as the word search folds them ("Désiré" ->
// "Desire", "ß" -> "ss"), capitals kept capital, every other non-ASCII character left out.
std::string AdifAscii(std::string_view utf8);

struct TAdifFillResult {
  std::string text;  // the log with the fields filled
  TAdifFillSummary summary;
};

// Fills every sound record of log; a field that has a value is never changed. The place fields
// (QTH, ADDRESS, STATE, CNTY, GRIDSQUARE, LAT, LON) are filled only when the contact has none of
// them, or those it has agree with the directory (same QTH town, state and county, the address
// naming the town, the same grid square at 4 characters, a position within half a degree);
// otherwise none, and the contact counts as logged elsewhere.
// An invented entry (TCallbookRecord::synthetic) fills nothing and is counted, unless allowSample.
TAdifFillResult FillAdifLog(const TAdifLog& log, TAdifSource& source,
                            TAdifCharset charset = TAdifCharset::Auto, bool allowSample = false);

// A log file filled: read from in, written to out, or over in when inPlace (WriteFileSafely:
// links followed, only regular files, a write-protected one only when force), or to stdOut
// when neither; the file's problems and the summary go to err (each line begun by prefix).
// Returns the summary, or the status of a log that cannot be read or written (then nothing is
// replaced). A log that would be filled from invented entries of a sample edition is refused
// whole (nothing written) unless job.allowSample.
struct TAdifFileJob {
  std::string in, out;
  bool inPlace = false;
  bool force = false;
  bool allowSample = false;
  TAdifCharset charset = TAdifCharset::Auto;
};

// What refusing to write a log says, with the command line's way around it where there is one.
std::string AdifWriteFailureText(const TSafeFileResult& r);
TResult<TAdifFillSummary> FillAdifFile(const TAdifFileJob& job, TAdifSource& source,
                                       std::ostream& stdOut, std::ostream& err,
                                       std::string_view prefix = "tellmark-lookup: ");

// The summary as lines for standard error, the log's problems first.
std::string AdifFillSummaryText(const TAdifLog& log, const TAdifFillSummary& s);

// How a fill went, worst first: a record could not be read, a call was not found, all found.
enum class TAdifFillOutcome { Unreadable, NotFound, AllFound };
TAdifFillOutcome AdifFillOutcome(const TAdifFillSummary& s);

// ADIF forms.
// "N032 42.696" (latitude) / "W096 40.632" (longitude); empty when out of range.
std::string AdifLocation(double degrees, bool latitude);
// "TX,Dallas": the state and the county as the ADIF county list writes it (an upper-case
// county name in mixed case, "Mc" and "St." kept right); empty without both.
std::string AdifCounty(std::string_view state, std::string_view county);
// "EM12kq"; empty when the text is no locator.
std::string AdifGrid(std::string_view locator);

// The calls of a log for the report file: the base call of every sound contact, in log order.
struct TAdifCalls {
  std::vector<std::string> calls;
  size_t unreadable = 0;  // damaged records, skipped
  size_t noCall = 0;      // contacts without a CALL
};
TAdifCalls AdifLogCalls(const TAdifLog& log);
