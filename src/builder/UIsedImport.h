#pragma once
// Canada's amateur licence register (amateur_delim.txt, or the zip that holds it) as International
// entries: UTF-8, ";" between fields, no quoting, one header line naming the 18 fields.
//
// An entry: name "First Surname" (a club station: the club's name, with the person named in the
// comments), street, "CITY PR  A1A 1A1" (the postal code in its written form), country and DXCC
// entity Canada, a class text from the qualifications, and a locator: of the town when the
// Canadian places table knows it (6 characters), else of the town most of the register's stations
// of the same forward sortation area (the postal code's first three characters) live in
// (4 characters), else none. A call that input.intl already holds (from the user's CSV) is kept
// as it is there and counted. Lines with the wrong number of fields, an empty call or a call that
// is no call are counted and reported (the first ten), never fatal.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "builder/UBuildEntry.h"
#include "common/UStatus.h"

struct TSourceTables;

inline constexpr const char* kIsedHeader =
    "callsign;first_name;surname;address_line;city;prov_cd;postal_code;qual_a;qual_b;qual_c;"
    "qual_d;qual_e;club_name;club_name_2;club_address;club_city;club_prov_cd;club_postal_code";

struct TIsedImportReport {
  uint64_t lines = 0;  // data lines (the header and empty lines not counted)
  uint64_t imported = 0;
  uint64_t clubs = 0;
  uint64_t keptFromCsv = 0;  // calls input.intl already held
  uint64_t locatorFromTown = 0, locatorFromArea = 0, withoutLocator = 0;
  uint64_t bad = 0;
  std::vector<std::string> badSamples;  // the first ten: "line N: reason"
};

// The class text of the qualifications A..E as the register writes them (a letter, or nothing):
// Basic (or Basic with Honours), Advanced, then the Morse speed ("Basic with Honours, Advanced,
// 12 WPM").
std::string IsedClassText(std::string_view a, std::string_view b, std::string_view c,
                          std::string_view d, std::string_view e);
// "B4E2X8" as written on mail, "B4E 2X8"; a code of another shape is kept as it is.
std::string CanadianPostalCode(std::string_view code);

// Appends the register's stations to input.intl. Throws EStatusError when the file cannot be
// read or its first line is not the register's header (the message names the header expected).
TIsedImportReport ImportIsed(const std::string& path, TBuildInput& input,
                             const TSourceTables& tables);
