#pragma once
// Import of the public FCC amateur licence dump: "l_amat.zip" or a folder holding EN.dat, HD.dat
// and AM.dat. Pipe-delimited records, CRLF line ends; a line that does not start with the file's
// record type ("HD|", "EN|", "AM|") continues the record before it (joined with a blank). Records
// are joined on the unique system identifier (field 2); only active licences (HD field 6 "A")
// are taken. A record with a field count outside the known layouts or a bad identifier is
// counted and reported, never fatal.
//
// Fields used (1-based):
//   HD: 2 identifier, 5 call sign, 6 licence status, 7 radio service ("HV" = vanity call),
//       8 grant date, 9 expiry date (MM/DD/YYYY, stored as MMDDYYYY)
//   EN: 2 identifier, 6 entity type ("L" licensee preferred), 8 entity name, 9 first name,
//       10 middle initial, 11 last name, 12 suffix, 16 street, 17 city, 18 state, 19 ZIP,
//       20 PO box, 24 applicant type ("B" club, "M" military recreation)
//   AM: 2 identifier, 6 operator class, 9 trustee call sign, 16 previous call sign,
//       17 previous operator class
//
// Daily transaction files (l_am_mon.zip .. l_am_sun.zip, the same three files and layouts) are
// applied over the full dump in date order, record by record: each HD, EN and AM record of a
// daily file replaces the record of the same type of the same unique system identifier, and the
// licence's other records stay (an address change carries only an EN record). A licence whose
// header says it is no longer active leaves; one with no header record anywhere is left out and
// counted. Archives are ordered by the date of their HD.dat member (files of one date in the
// order given); one of a day before the full dump's is refused, one of the same day is applied.
// Folders, which keep no trustworthy date, apply in the order given.
//
// Place (county, coordinates, time zone, area code): from the ZIP when the ZIP lies in the
// licence's own state, else from the licence's city and state, else none.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "builder/UBuildEntry.h"
#include "common/UStatus.h"

// What the tables say about a place (texts as the U.S. entries store them).
struct TFccPlace {
  std::string state;  // the state the place lies in
  std::string county;
  std::string longitude;  // west positive
  std::string latitude;
  std::string timeZone;
  std::string areaCode;
};

struct TFccImportOptions {
  // Place of a 5-digit ZIP code; false when it is not known.
  std::function<bool(std::string_view zip, TFccPlace& place)> zipPlace;
  // Place of a city (as the dump writes it) in a state; false when it is not known.
  std::function<bool(std::string_view city, std::string_view state, TFccPlace& place)> cityPlace;
  // Country and DXCC entity texts of a state or territory.
  std::function<void(std::string_view state, std::string& country, std::string& dxcc)> country;
  std::function<void(std::string_view stage, uint64_t done, uint64_t total)> progress;
  // Daily transaction files (archives or folders), in any order.
  std::vector<std::string> daily;
};

struct TFccImportReport {
  uint64_t hdRecords = 0, enRecords = 0, amRecords = 0;
  uint64_t malformed = 0;
  std::vector<std::string> malformedSamples;  // the first few, with file and line
  uint64_t active = 0;                        // active licences in HD.dat
  uint64_t imported = 0;                      // entries made
  uint64_t withoutEntity = 0;                 // active licences without an EN record (left out)
  uint64_t superseded = 0;     // active licences of a call that has a newer one (left out)
  uint64_t unknownZip = 0;     // entries whose ZIP the tables do not know
  uint64_t zipOtherState = 0;  // entries whose ZIP lies in another state than the licence
  // Where each entry's place came from.
  uint64_t placeFromZip = 0, placeFromCity = 0, placeNone = 0;
  std::vector<std::string> dailyApplied;  // daily files, in the order applied
  // "YYYY-MM-DD" of the dump and of the last daily file applied (their HD.dat); empty for
  // folders, which keep no trustworthy date.
  std::string dumpDay, lastDailyDay;
  uint64_t dailyLicences = 0;  // licences whose records came from a daily file
  // Of them, those without a header record in the dump or any daily file: left out.
  uint64_t dailyWithoutHeader = 0;
};

// Field counts accepted per record type: the oldest and the newest published layout.
struct TFccLayout {
  const char* type;
  int minFields;
  int maxFields;
};
inline constexpr TFccLayout kFccLayouts[3] = {{"HD", 51, 59}, {"EN", 27, 30}, {"AM", 18, 18}};

// Appends the U.S. entries of the dump at path (and its daily files) to `us`; throws
// EStatusError when a file cannot be read (missing file, damaged archive) or a daily file is
// older than the full dump.
TFccImportReport ImportFcc(const std::string& path, std::vector<TBuildEntry>& us,
                           const TFccImportOptions& options = {});
