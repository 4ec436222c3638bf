#pragma once
// International entries from a CSV file (RFC 4180: comma-separated, fields in double quotes may
// hold commas, line breaks and doubled quotes; CRLF or LF line ends), UTF-8 (a byte-order mark is
// skipped; a field that is not valid UTF-8 is read as Latin-1), converted to code page 437.
//
// The first row names the columns, in any order and case; only "call" is required:
//   call         call sign (letters, digits and "/"), stored upper case
//   class        licence class, free text
//   name, street, postcode, city
//                the address, stored as "name, street, postcode city"
//   country      country name
//   dxcc         DXCC entity (prefix or name, as it should be shown)
//   locator      Maidenhead locator, 4 or 6 characters (an invalid one is left out, with a note)
//   qsl_manager  call of the station's QSL manager; makes a QSL managers record for the station
//   qsl_info     information text of that record (at most 15 characters)
//   qsl_date     date of last change of that record, MMDDYYYY
//   comments, fax, email
//                details (at most 60 characters are shown)
// With the source tables given, an entry without country and DXCC entity gets them from the
// prefix of its call (the longest prefix of the DXCC table; of a call with "/" the part that is
// the prefix, as in VK2/W1AW), and an entry without a (valid) locator gets the locator of its
// city when the world-town table has the city in the entry's entity (the town with the most
// people of that name).
// Other columns are ignored (and listed in the report). A row with a different number of fields
// than the header, without a call or with an unusable call is counted and reported, not fatal.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "builder/UBuildEntry.h"
#include "common/UStatus.h"

struct TSourceTables;

struct TCsvImportReport {
  uint64_t rows = 0;  // data rows (header and empty lines not counted)
  uint64_t imported = 0;
  uint64_t malformed = 0;
  std::vector<std::string> malformedSamples;  // the first few, with line numbers
  std::vector<std::string> notes;             // ignored columns, dropped locators (first few)
  uint64_t managers = 0;                      // QSL manager records added
  uint64_t derivedEntity = 0;   // entries whose country and DXCC entity came from the call
  uint64_t derivedLocator = 0;  // entries whose locator came from the city
};

// Splits RFC 4180 text into rows; calls row(fields, first line number of the row). Corrupt when
// a quoted field is not closed.
TStatus ParseCsv(
    std::string_view text,
    const std::function<void(const std::vector<std::string>& fields, uint64_t line)>& row);

// Appends the entries of the file to input.intl (and their QSL managers to input.qslManagers,
// numbered after those already there). Throws EStatusError when the file cannot be read, has
// no header or no "call" column, or ends inside a quoted field.
TCsvImportReport ImportIntlCsv(const std::string& path, TBuildInput& input,
                               const TSourceTables* tables = nullptr);
