#pragma once
// The country file every logging program resolves calls with: for each entity its name, ADIF
// number, continent, CQ and ITU zone, position and time offset, and its call prefixes and exact
// calls ("=CALL"), each of which may override the entity's CQ zone "(n)", ITU zone "[n]",
// continent "{XX}", position "<lat/lon>" and time offset "~n~". An entity whose prefix begins
// with "*" is not a DXCC entity of its own (a WAE entity such as Sicily): its calls count for the
// DXCC entity of the same number, with its own zones and continent. The version of the file is
// the exact call "=VERyyyymmdd" it lists.
//
// Read in three forms: the comma-separated form (cty.csv: prefix, name, number, continent, CQ,
// ITU, latitude, longitude west positive, time offset west positive, calls separated by blanks
// and ended by ";"), the same columns tab-separated with a heading line (data/sources/cty.tsv
// and the edition's entity table), and the colon form (cty.dat), whose entities carry no ADIF
// number: those come from another country file's entity of the same prefix.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/UStatus.h"

struct TCountryEntity {
  std::string prefix;    // the file's key prefix, without the "*"
  bool waeOnly = false;  // written "*": counts for the DXCC entity of the same number
  std::string name;      // "Fed. Rep. of Germany"
  int code = 0;          // ADIF number
  std::string continent;
  int cq = 0, itu = 0;
  std::string latitude, longitude, utcOffset;  // the file's texts: north, west, west positive
  std::vector<std::string> calls;              // "VE3(4)[4]", "=VA3QSL/1[4]": as written
};

struct TCountryFile {
  std::vector<TCountryEntity> entities;
  bool Empty() const { return entities.empty(); }
  // "VER20230502" of the pseudo-call "=VER20230502"; empty when the file lists none.
  std::string Version() const;
};

// One prefix or exact call with its overrides.
struct TCountryToken {
  std::string text;  // "VE3", "VA3QSL/1" (without "=")
  bool exact = false;
  std::optional<int> cq, itu;
  std::string continent;                      // empty: the entity's
  std::optional<double> latitude, longitude;  // north and west positive, as the file writes them
  std::optional<double> utcOffset;            // west positive
};
// false for a malformed token (no text, an unclosed or bad override).
bool ParseCountryToken(std::string_view written, TCountryToken& token);

// The heading line of the tab-separated form.
inline constexpr const char* kCountryHeading =
    "prefix\tname\tdxcc\tcontinent\tcq\titu\tlat\tlon\tutc\tcalls";

// One entity of the tab-separated form (without the line end) and back; Corrupt saying what is
// wrong with the row.
std::string FormatCountryRow(const TCountryEntity& e);
TResult<TCountryEntity> ParseCountryRow(std::string_view line);

// A whole country file in any of the three forms; numbers gives the ADIF numbers of the colon
// form's entities (by prefix; may be null for the other forms). Corrupt ("line 7: ...") on
// anything malformed.
TResult<TCountryFile> ParseCountryFile(std::string_view text, const TCountryFile* numbers);
