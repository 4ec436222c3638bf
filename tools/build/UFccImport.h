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
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "UBuildEntry.h"

class EFccImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the ZIP tables say about a place (texts as the U.S. entries store them).
struct TFccPlace {
  std::string county;
  std::string longitude;  // west positive
  std::string latitude;
  std::string timeZone;
  std::string areaCode;
};

struct TFccImportOptions {
  // Place of a 5-digit ZIP code in a state; false when it is not known.
  std::function<bool(std::string_view zip, std::string_view state, TFccPlace& place)> place;
  // Country and DXCC entity texts of a state or territory.
  std::function<void(std::string_view state, std::string& country, std::string& dxcc)> country;
  std::function<void(std::string_view stage, uint64_t done, uint64_t total)> progress;
};

struct TFccImportReport {
  uint64_t hdRecords = 0, enRecords = 0, amRecords = 0;
  uint64_t malformed = 0;
  std::vector<std::string> malformedSamples;  // the first few, with file and line
  uint64_t active = 0;                        // active licences in HD.dat
  uint64_t imported = 0;                      // entries made
  uint64_t withoutEntity = 0;                 // active licences without an EN record (left out)
  uint64_t superseded = 0;  // active licences of a call that has a newer one (left out)
  uint64_t unknownZip = 0;  // entries whose ZIP the tables do not know
};

// Field counts accepted per record type: the oldest and the newest published layout.
struct TFccLayout {
  const char* type;
  int minFields;
  int maxFields;
};
inline constexpr TFccLayout kFccLayouts[3] = {{"HD", 51, 59}, {"EN", 27, 30}, {"AM", 18, 18}};

// Appends the U.S. entries of the dump at path to `us`; throws EFccImportError when the dump
// cannot be read (missing file, damaged archive).
TFccImportReport ImportFcc(const std::string& path, std::vector<TBuildEntry>& us,
                           const TFccImportOptions& options = {});
